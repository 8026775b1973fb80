// FindWindow across the copies of the program on one device, and the request
// that brings another copy to the front.
//
// The first copy, the one that holds a named mutex (Kernel.cpp), listens on
// the Unix stream socket "<runtime folder>/<mutex name>.sock" from the moment
// it takes the mutex. The program names its mutex after its window class, so
// the socket is "<class>.sock"; FindWindow asks that socket first and then
// every other socket of the runtime folder. Requests are served on the UI
// thread (through the loop's descriptor watches), because only that thread
// may look at windows.
//
// Protocol: one request per connection. Every message is a frame
// (platform/FdFrame.h): a 32-bit little-endian length, then that many bytes. Strings inside are a
// 32-bit length and UTF-8 bytes.
//   'F' flags:u8 [class] [title]      find a top-level window; flags bit 0:
//                                     class given, bit 1: title given
//      reply 'W' id:u64 class title   found
//            'N'                      none
//   'B' id:u64 groupBit:u8 hasFd:u8   bring window `id` to the front; with
//                                     hasFd, the frame's first byte carries
//                                     one descriptor (SCM_RIGHTS)
//      reply 'A'                      received (sent at once)
//            'D' or 'R'               done / refused, sent when the
//                                     foreground handler finishes
// A proxy HWND for a found window is the address of a record of this file;
// records live until the process ends.

#include "platform/instance.h"
#include "platform/FdFrame.h"
#include "platform/Handles.h"
#include "platform/Text.h"
#include "platform/device.h"
#include "platform/loop.h"
#include "platform/win.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::uint32_t kMaxFrame = 64 * 1024;
constexpr size_t kMaxPending = 16;
// How long a second copy waits for the first to answer a search, and to
// take up a foreground request. The first copy answers from its message loop,
// which a network fetch may hold for up to 20 seconds.
constexpr int kFindTimeoutMs = 3000;
constexpr int kAckTimeoutMs = 30000;

// --- Frames -------------------------------------------------------------

void PutU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}
void PutU64(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}
void PutString(std::string& out, const std::u16string& s) {
    std::string utf8 = platform::Utf16ToUtf8(s);
    PutU32(out, static_cast<std::uint32_t>(utf8.size()));
    out += utf8;
}
using platform::fdframe::Frame;

// Reads the fields of a payload; any read past the end marks it bad.
struct Reader {
    const std::string& data;
    size_t pos = 0;
    bool bad = false;

    std::uint64_t Uint(int bytes) {
        if (data.size() - pos < static_cast<size_t>(bytes)) {
            bad = true;
            return 0;
        }
        std::uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) {
            v |= std::uint64_t(static_cast<unsigned char>(data[pos + i])) << (8 * i);
        }
        pos += bytes;
        return v;
    }
    std::u16string String() {
        std::uint64_t n = Uint(4);
        if (bad || data.size() - pos < n) {
            bad = true;
            return {};
        }
        std::u16string s = platform::Utf8ToUtf16(std::string_view(data).substr(pos, n));
        pos += n;
        return s;
    }
};

// Takes one whole frame off the front of `buffer`; false when none is there
// yet. A frame announcing more than kMaxFrame bytes sets `bad`.
bool TakeFrame(std::string& buffer, std::string& payload, bool& bad) {
    std::optional<std::uint32_t> length = platform::fdframe::FrameLength(buffer);
    if (!length) {
        return false;
    }
    std::uint32_t n = *length;
    if (n > kMaxFrame) {
        bad = true;
        return false;
    }
    if (buffer.size() - 4 < n) {
        return false;
    }
    payload = buffer.substr(4, n);
    buffer.erase(0, 4 + n);
    return true;
}

bool SendAll(int fd, const std::string& bytes, int passFd = -1) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = platform::fdframe::SendWithFd(fd, bytes.data() + sent, bytes.size() - sent,
                                                  sent == 0 ? passFd : -1, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN) {
                pollfd p{fd, POLLOUT, 0};
                if (poll(&p, 1, 1000) <= 0) {
                    return false;
                }
                continue;
            }
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Reads from `fd` into `buffer`, keeping any descriptors that arrive.
// Returns the bytes read, 0 at the end, -1 on error (EAGAIN included).
ssize_t ReceiveSome(int fd, std::string& buffer, std::vector<int>& fds) {
    return platform::fdframe::ReceiveWithFds(fd, buffer, 4096, fds, 0);
}

bool SocketAddress(const std::filesystem::path& path, sockaddr_un& addr) {
    std::string s = path.string();
    if (s.size() >= sizeof addr.sun_path) {
        return false; // too long for a Unix socket address
    }
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, s.c_str(), s.size() + 1);
    return true;
}

// --- Windows of this process --------------------------------------------

struct Search {
    const char16_t* className;
    const char16_t* title;
    HWND found = nullptr;
};

std::u16string ClassOf(HWND hwnd) {
    char16_t buffer[256];
    int n = GetClassName(hwnd, buffer, 256);
    return std::u16string(buffer, static_cast<size_t>(std::max(n, 0)));
}

std::u16string TitleOf(HWND hwnd) {
    int length = GetWindowTextLength(hwnd);
    std::u16string text(static_cast<size_t>(std::max(length, 0)) + 1, u'\0');
    int n = GetWindowText(hwnd, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(std::max(n, 0)));
    return text;
}

bool SameClassName(const std::u16string& a, const std::u16string& b) {
    // Class names compare without regard to case, as on the platform.
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

// An atom (a small integer in place of a class name) is not supported here
// and matches nothing.
bool IsAtom(LPCWSTR name) {
    return reinterpret_cast<std::uintptr_t>(name) < 0x10000;
}

HWND FindLocalWindow(LPCWSTR className, LPCWSTR title) {
    Search search{className, title};
    EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            if (s->className != nullptr && !SameClassName(ClassOf(hwnd), s->className)) {
                return TRUE;
            }
            if (s->title != nullptr && TitleOf(hwnd) != s->title) {
                return TRUE;
            }
            s->found = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool IsOurTopLevelWindow(HWND target) {
    bool found = false;
    std::pair<HWND, bool*> ctx{target, &found};
    EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
            auto* c = reinterpret_cast<std::pair<HWND, bool*>*>(param);
            if (hwnd == c->first) {
                *c->second = true;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&ctx));
    return found;
}

// --- Foreground handling in the first copy -------------------------------

using AsyncHandler = std::function<void(HWND, int, platform::instance::ForegroundCompletion)>;

std::mutex handlerMutex;
AsyncHandler& Handler() {
    static auto* handler = new AsyncHandler();
    return *handler;
}

void DefaultForeground(HWND window, int passedFd, platform::instance::ForegroundCompletion done) {
    if (passedFd >= 0) {
        close(passedFd);
    }
    done(SetForegroundWindow(window) != FALSE);
}

std::atomic<int> passFd{-1};

// --- The server -----------------------------------------------------------

struct Connection : std::enable_shared_from_this<Connection> {
    int fd = -1;
    int watch = -1;
    std::string buffer;
    std::vector<int> fds; // descriptors received and not yet handed on
    std::mutex mutex;
    bool answered = false;

    ~Connection() {
        for (int passed : fds) {
            close(passed);
        }
        if (fd >= 0) {
            close(fd);
        }
    }

    void StopWatching() {
        if (watch >= 0) {
            platform::RemoveFdWatch(watch);
            watch = -1;
        }
    }

    void Reply(const std::string& payload) {
        std::lock_guard lock(mutex);
        if (fd >= 0) {
            SendAll(fd, Frame(payload));
        }
    }
};

struct Listener {
    std::string name;
    std::filesystem::path path;
    int fd = -1;
    int watch = -1;
    std::set<std::shared_ptr<Connection>> pending; // still reading a request
};

std::mutex listenersMutex;
std::map<int, std::unique_ptr<Listener>>& Listeners() {
    static auto* listeners = new std::map<int, std::unique_ptr<Listener>>();
    return *listeners;
}
int nextToken = 1;

// The paths this process listens on, so that FindWindow does not ask itself.
std::set<std::filesystem::path> OwnSocketPaths() {
    std::lock_guard lock(listenersMutex);
    std::set<std::filesystem::path> paths;
    for (auto& [token, listener] : Listeners()) {
        paths.insert(listener->path);
    }
    return paths;
}

void Drop(int token, const std::shared_ptr<Connection>& conn) {
    conn->StopWatching();
    std::lock_guard lock(listenersMutex);
    auto it = Listeners().find(token);
    if (it != Listeners().end()) {
        it->second->pending.erase(conn);
    }
}

void HandleRequest(const std::shared_ptr<Connection>& conn, const std::string& payload) {
    Reader r{payload};
    char op = static_cast<char>(r.Uint(1));
    if (op == 'F') {
        auto flags = r.Uint(1);
        std::u16string className = (flags & 1) ? r.String() : u"";
        std::u16string title = (flags & 2) ? r.String() : u"";
        if (r.bad) {
            return;
        }
        HWND found = FindLocalWindow((flags & 1) ? className.c_str() : nullptr,
                                     (flags & 2) ? title.c_str() : nullptr);
        std::string reply;
        if (found != nullptr) {
            reply.push_back('W');
            PutU64(reply, reinterpret_cast<std::uintptr_t>(found));
            PutString(reply, ClassOf(found));
            PutString(reply, TitleOf(found));
        } else {
            reply.push_back('N');
        }
        conn->Reply(reply);
        return;
    }
    if (op == 'B') {
        auto id = r.Uint(8);
        auto groupBit = r.Uint(1);
        auto hasFd = r.Uint(1);
        if (r.bad) {
            return;
        }
        int passed = -1;
        if (hasFd != 0 && !conn->fds.empty()) {
            passed = conn->fds.front();
            conn->fds.erase(conn->fds.begin());
        }
        conn->Reply("A");
        auto window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(id));
        if (window == nullptr || !IsOurTopLevelWindow(window)) {
            if (passed >= 0) {
                close(passed);
            }
            conn->Reply("R");
            return;
        }
        (void)groupBit; // our windows have no owned group apart from themselves
        AsyncHandler handler;
        {
            std::lock_guard lock(handlerMutex);
            handler = Handler() ? Handler() : AsyncHandler(DefaultForeground);
        }
        // The completion keeps the connection open until it is called.
        handler(window, passed, [conn](bool done) {
            std::lock_guard lock(conn->mutex);
            if (conn->answered || conn->fd < 0) {
                return;
            }
            conn->answered = true;
            SendAll(conn->fd, Frame(done ? "D" : "R"));
            close(conn->fd);
            conn->fd = -1;
        });
    }
}

void OnConnectionReadable(int token, std::weak_ptr<Connection> weak) {
    std::shared_ptr<Connection> conn = weak.lock();
    if (!conn) {
        return;
    }
    ssize_t n = ReceiveSome(conn->fd, conn->buffer, conn->fds);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return;
    }
    std::string payload;
    bool bad = false;
    if (n > 0 && TakeFrame(conn->buffer, payload, bad)) {
        Drop(token, conn); // one request per connection
        HandleRequest(conn, payload);
        return;
    }
    if (n <= 0 || bad) {
        Drop(token, conn); // closed early, failed or sent garbage
    }
}

void OnListenerReadable(int token) {
    int listenFd;
    {
        std::lock_guard lock(listenersMutex);
        auto it = Listeners().find(token);
        if (it == Listeners().end()) {
            return;
        }
        listenFd = it->second->fd;
    }
    for (;;) {
        int fd = accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            return; // EAGAIN: no more for now
        }
        auto conn = std::make_shared<Connection>();
        conn->fd = fd;
        {
            std::lock_guard lock(listenersMutex);
            auto it = Listeners().find(token);
            if (it == Listeners().end() || it->second->pending.size() >= kMaxPending) {
                return; // a flood of silent clients gets no more room
            }
            it->second->pending.insert(conn);
        }
        std::weak_ptr<Connection> weak = conn;
        conn->watch =
            platform::AddFdWatch(fd, [token, weak] { OnConnectionReadable(token, weak); });
    }
}

// --- Proxies for windows of another copy -----------------------------------

struct alignas(16) RemoteWindow {
    std::filesystem::path socketPath;
    std::uint64_t id = 0;
    std::u16string className;
    std::u16string title;
};

std::mutex remotesMutex;
std::set<const RemoteWindow*>& Remotes() {
    static auto* remotes = new std::set<const RemoteWindow*>();
    return *remotes;
}

// The proxy a handle stands for, the lowest bit (the group request) ignored.
const RemoteWindow* RemoteOf(HWND hwnd) {
    auto* p = reinterpret_cast<const RemoteWindow*>(reinterpret_cast<std::uintptr_t>(hwnd) &
                                                    ~std::uintptr_t(1));
    std::lock_guard lock(remotesMutex);
    return Remotes().count(p) != 0 ? p : nullptr;
}

int Connect(const std::filesystem::path& path) {
    sockaddr_un addr;
    if (!SocketAddress(path, addr)) {
        return -1;
    }
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        // A Unix socket connects at once or not at all (EAGAIN: backlog full).
        close(fd);
        return -1;
    }
    return fd;
}

// Waits for one reply frame; `timeoutMs` < 0 waits as long as the peer lives.
bool ReadReply(int fd, std::string& buffer, std::string& payload, int timeoutMs) {
    for (;;) {
        bool bad = false;
        if (TakeFrame(buffer, payload, bad)) {
            return true;
        }
        if (bad) {
            return false;
        }
        pollfd p{fd, POLLIN, 0};
        int rc = poll(&p, 1, timeoutMs);
        if (rc < 0 && errno == EINTR) {
            continue;
        }
        if (rc <= 0) {
            return false;
        }
        std::vector<int> fds;
        ssize_t n = ReceiveSome(fd, buffer, fds);
        for (int stray : fds) {
            close(stray); // replies carry no descriptors
        }
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
            return false;
        }
    }
}

HWND AskForWindow(const std::filesystem::path& socketPath, LPCWSTR className, LPCWSTR title) {
    int fd = Connect(socketPath);
    if (fd < 0) {
        return nullptr;
    }
    std::string request;
    request.push_back('F');
    request.push_back(static_cast<char>((className ? 1 : 0) | (title ? 2 : 0)));
    if (className != nullptr) {
        PutString(request, className);
    }
    if (title != nullptr) {
        PutString(request, title);
    }
    std::string buffer, payload;
    bool ok = SendAll(fd, Frame(request)) && ReadReply(fd, buffer, payload, kFindTimeoutMs);
    close(fd);
    if (!ok) {
        return nullptr;
    }
    Reader r{payload};
    if (r.Uint(1) != 'W') {
        return nullptr;
    }
    auto remote = std::make_unique<RemoteWindow>();
    remote->socketPath = socketPath;
    remote->id = r.Uint(8);
    remote->className = r.String();
    remote->title = r.String();
    if (r.bad || remote->id == 0) {
        return nullptr;
    }
    std::lock_guard lock(remotesMutex);
    // Reuse the proxy of a window found before, so that a program that
    // searches in a loop does not pile up records.
    for (const RemoteWindow* known : Remotes()) {
        if (known->socketPath == remote->socketPath && known->id == remote->id) {
            const_cast<RemoteWindow*>(known)->title = remote->title;
            return reinterpret_cast<HWND>(const_cast<RemoteWindow*>(known));
        }
    }
    const RemoteWindow* added = remote.release();
    Remotes().insert(added);
    return reinterpret_cast<HWND>(const_cast<RemoteWindow*>(added));
}

// The sockets to ask: "<class>.sock" first, then the others of the folder.
std::vector<std::filesystem::path> SocketsToAsk(LPCWSTR className) {
    std::filesystem::path dir = platform::RuntimeDir();
    std::vector<std::filesystem::path> paths;
    std::filesystem::path preferred;
    if (className != nullptr) {
        std::string name = platform::Utf16ToUtf8(className);
        if (name.find('/') == std::string::npos && name != "." && name != "..") {
            preferred = dir / (name + ".sock");
            paths.push_back(preferred);
        }
    }
    std::error_code ec;
    std::vector<std::filesystem::path> others;
    for (auto it = std::filesystem::directory_iterator(dir, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::filesystem::path& p = it->path();
        if (p.extension() == ".sock" && p != preferred && it->is_socket(ec)) {
            others.push_back(p);
        }
    }
    std::sort(others.begin(), others.end());
    paths.insert(paths.end(), others.begin(), others.end());
    std::set<std::filesystem::path> own = OwnSocketPaths();
    paths.erase(std::remove_if(paths.begin(), paths.end(),
                               [&](const std::filesystem::path& p) { return own.count(p) != 0; }),
                paths.end());
    return paths;
}

} // namespace

HWND FindWindow(LPCWSTR className, LPCWSTR windowName) {
    if (className != nullptr && IsAtom(className)) {
        return nullptr;
    }
    if (HWND local = FindLocalWindow(className, windowName)) {
        return local;
    }
    for (const std::filesystem::path& socketPath : SocketsToAsk(className)) {
        if (HWND remote = AskForWindow(socketPath, className, windowName)) {
            return remote;
        }
    }
    return nullptr;
}

namespace platform::instance {

bool IsRemoteWindow(HWND hwnd) {
    return RemoteOf(hwnd) != nullptr;
}

bool RemoteWindowInfo(HWND hwnd, std::u16string* className, std::u16string* title) {
    const RemoteWindow* remote = RemoteOf(hwnd);
    if (remote == nullptr) {
        return false;
    }
    std::lock_guard lock(remotesMutex);
    if (className != nullptr) {
        *className = remote->className;
    }
    if (title != nullptr) {
        *title = remote->title;
    }
    return true;
}

BOOL BringRemoteToFront(HWND hwnd) {
    const RemoteWindow* remote = RemoteOf(hwnd);
    if (remote == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    int fd = Connect(remote->socketPath);
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE); // that copy has gone
        return FALSE;
    }
    int toPass = passFd.load();
    std::string request;
    request.push_back('B');
    PutU64(request, remote->id);
    request.push_back(static_cast<char>(reinterpret_cast<std::uintptr_t>(hwnd) & 1));
    request.push_back(toPass >= 0 ? 1 : 0);
    std::string buffer, payload;
    bool done = SendAll(fd, Frame(request), toPass) &&
                ReadReply(fd, buffer, payload, kAckTimeoutMs) && payload == "A" &&
                ReadReply(fd, buffer, payload, -1) && payload == "D";
    close(fd);
    if (!done) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    return TRUE;
}

void SetForegroundRequestHandler(std::function<void(HWND window, int passedFd)> handler) {
    if (!handler) {
        SetForegroundRequestHandlerAsync(nullptr);
        return;
    }
    SetForegroundRequestHandlerAsync(
        [handler = std::move(handler)](HWND window, int passedFd, ForegroundCompletion done) {
            handler(window, passedFd);
            done(true);
        });
}

void SetForegroundRequestHandlerAsync(
    std::function<void(HWND window, int passedFd, ForegroundCompletion complete)> handler) {
    std::lock_guard lock(handlerMutex);
    Handler() = std::move(handler);
}

void SetForegroundRequestFd(int fd) {
    passFd.store(fd);
}

} // namespace platform::instance

namespace platform::instance::detail {

int StartListening(const std::string& name) {
    std::filesystem::path path = platform::RuntimeDir() / (name + ".sock");
    sockaddr_un addr;
    if (!SocketAddress(path, addr)) {
        return -1; // the runtime folder's path is too long: nobody can find us
    }
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    // We hold the mutex, so a socket file left there belongs to a copy that
    // ended without cleaning up.
    unlink(path.c_str());
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        chmod(path.c_str(), 0600) != 0 || listen(fd, 8) != 0) { // only this user may connect
        close(fd);
        return -1;
    }
    auto listener = std::make_unique<Listener>();
    listener->name = name;
    listener->path = path;
    listener->fd = fd;
    int token;
    {
        std::lock_guard lock(listenersMutex);
        token = nextToken++;
        Listeners()[token] = std::move(listener);
    }
    int watch = platform::AddFdWatch(fd, [token] { OnListenerReadable(token); });
    std::lock_guard lock(listenersMutex);
    Listeners()[token]->watch = watch;
    return token;
}

void StopListening(int token) {
    std::unique_ptr<Listener> listener;
    {
        std::lock_guard lock(listenersMutex);
        auto it = Listeners().find(token);
        if (it == Listeners().end()) {
            return;
        }
        listener = std::move(it->second);
        Listeners().erase(it);
    }
    if (listener->watch >= 0) {
        platform::RemoveFdWatch(listener->watch);
    }
    for (const auto& conn : listener->pending) {
        conn->StopWatching();
    }
    unlink(listener->path.c_str());
    close(listener->fd);
}

} // namespace platform::instance::detail
