// The Winsock stand-in over POSIX sockets (through WinsockPosix, which keeps
// the POSIX headers' macros out of this file). Socket handles are the POSIX
// file descriptors; the error of the last failed call is kept per thread and
// reported in Winsock's numbering.
#include "platform/winsock.h"

#include "platform/WinsockPosix.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <strings.h>
#include <vector>

namespace platform::winsock {
namespace {

std::mutex gMutex;
int gStartCount = 0;        // WSAStartup calls not yet matched by WSACleanup
std::set<int> gOpenSockets; // sockets made through socket() and not closed
int gNameLookups = 0;
thread_local int tLastError = 0;

int FromErrno(int e) {
    switch (e) {
    case EINTR:
        return WSAEINTR;
    case EFAULT:
        return WSAEFAULT;
    case EINVAL:
        return WSAEINVAL;
    case EMFILE:
    case ENFILE:
        return WSAEMFILE;
    case EBADF:
    case ENOTSOCK:
        return WSAENOTSOCK;
    case EAFNOSUPPORT:
        return WSAEAFNOSUPPORT;
    case ENETDOWN:
        return WSAENETDOWN;
    case ENETUNREACH:
        return WSAENETUNREACH;
    case ECONNABORTED:
        return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE:
        return WSAECONNRESET;
    case ENOTCONN:
        return WSAENOTCONN;
    case EAGAIN:
    case ETIMEDOUT:
    case EINPROGRESS:
        return WSAETIMEDOUT;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case EHOSTUNREACH:
        return WSAEHOSTUNREACH;
    default:
        return WSAEINVAL;
    }
}

int Fail(int error) {
    tLastError = error;
    return SOCKET_ERROR;
}

bool Started() {
    std::lock_guard lock(gMutex);
    return gStartCount > 0;
}

// The descriptor of a socket handle that this layer made and has not closed.
int Descriptor(SOCKET s) {
    std::lock_guard lock(gMutex);
    if (s == INVALID_SOCKET || s > static_cast<SOCKET>(INT32_MAX)) {
        return -1;
    }
    int fd = static_cast<int>(s);
    return gOpenSockets.count(fd) ? fd : -1;
}

// True when `name` ends in the reserved top-level domain "invalid".
bool IsReservedInvalidName(const std::string& name) {
    std::string n = name;
    while (!n.empty() && n.back() == '.') {
        n.pop_back();
    }
    static const std::string kTld = "invalid";
    if (n.size() < kTld.size()) {
        return false;
    }
    std::string tail = n.substr(n.size() - kTld.size());
    bool endsInTld = strcasecmp(tail.c_str(), kTld.c_str()) == 0;
    return endsInTld && (n.size() == kTld.size() || n[n.size() - kTld.size() - 1] == '.');
}

// The last lookup's result, per thread, as gethostbyname hands it out.
struct HostEntryStore {
    hostent entry{};
    std::string name;
    std::vector<std::uint32_t> addresses;
    std::vector<char*> addressList;
    char* aliases[1] = {nullptr};
};
thread_local HostEntryStore tHost;
thread_local char tDottedQuad[16];

std::uint16_t Swap16(std::uint16_t v) {
    if constexpr (std::endian::native == std::endian::little) {
        return static_cast<std::uint16_t>((v >> 8) | (v << 8));
    }
    return v;
}
std::uint32_t Swap32(std::uint32_t v) {
    if constexpr (std::endian::native == std::endian::little) {
        return ((v & 0xffu) << 24) | ((v & 0xff00u) << 8) | ((v >> 8) & 0xff00u) | (v >> 24);
    }
    return v;
}

} // namespace

int WSAStartup(WORD versionRequested, WSADATA* data) {
    BYTE major = static_cast<BYTE>(versionRequested & 0xff);
    BYTE minor = static_cast<BYTE>(versionRequested >> 8);
    if (data == nullptr) {
        return WSAEFAULT;
    }
    if (major < 1 || (major == 1 && minor < 1)) {
        return WSAVERNOTSUPPORTED;
    }
    std::memset(data, 0, sizeof *data);
    WORD offered = (major > 2 || (major == 2 && minor > 2)) ? 0x0202 : versionRequested;
    data->wVersion = offered;
    data->wHighVersion = 0x0202;
    std::strncpy(data->szDescription, "POSIX sockets", WSADESCRIPTION_LEN);
    std::strncpy(data->szSystemStatus, "Running", WSASYS_STATUS_LEN);
    std::lock_guard lock(gMutex);
    ++gStartCount;
    return 0;
}

int WSACleanup() {
    std::lock_guard lock(gMutex);
    if (gStartCount == 0) {
        tLastError = WSANOTINITIALISED;
        return SOCKET_ERROR;
    }
    if (--gStartCount == 0) {
        for (int fd : gOpenSockets) {
            posixnet::CloseSocket(fd);
        }
        gOpenSockets.clear();
    }
    return 0;
}

int WSAGetLastError() {
    return tLastError;
}

SOCKET socket(int af, int type, int protocol) {
    if (!Started()) {
        Fail(WSANOTINITIALISED);
        return INVALID_SOCKET;
    }
    if (af != AF_INET) {
        Fail(WSAEAFNOSUPPORT);
        return INVALID_SOCKET;
    }
    if (type != SOCK_STREAM || (protocol != 0 && protocol != IPPROTO_TCP)) {
        Fail(WSAEINVAL);
        return INVALID_SOCKET;
    }
    int error = 0;
    int fd = posixnet::OpenTcpSocket(&error);
    if (fd < 0) {
        Fail(FromErrno(error));
        return INVALID_SOCKET;
    }
    std::lock_guard lock(gMutex);
    gOpenSockets.insert(fd);
    return static_cast<SOCKET>(fd);
}

int closesocket(SOCKET s) {
    std::lock_guard lock(gMutex);
    if (s == INVALID_SOCKET || s > static_cast<SOCKET>(INT32_MAX) ||
        !gOpenSockets.count(static_cast<int>(s))) {
        return Fail(WSAENOTSOCK);
    }
    gOpenSockets.erase(static_cast<int>(s));
    posixnet::CloseSocket(static_cast<int>(s));
    return 0;
}

int connect(SOCKET s, const sockaddr* name, int nameLength) {
    int fd = Descriptor(s);
    if (fd < 0) {
        return Fail(WSAENOTSOCK);
    }
    if (name == nullptr || nameLength < static_cast<int>(sizeof(sockaddr_in))) {
        return Fail(WSAEFAULT);
    }
    sockaddr_in in;
    std::memcpy(&in, name, sizeof in);
    if (in.sin_family != AF_INET) {
        return Fail(WSAEAFNOSUPPORT);
    }
    int error = 0;
    if (posixnet::Connect(fd, in.sin_addr.s_addr, in.sin_port, &error) != 0) {
        return Fail(FromErrno(error));
    }
    return 0;
}

namespace {

// send and recv alike: checks the socket and the buffer, then moves the
// bytes with `io` (posixnet::Send or posixnet::Receive).
template <typename Buffer, typename Io> int Transfer(SOCKET s, Buffer buffer, int length, Io io) {
    int fd = Descriptor(s);
    if (fd < 0) {
        return Fail(WSAENOTSOCK);
    }
    if (length < 0 || (buffer == nullptr && length > 0)) {
        return Fail(WSAEFAULT);
    }
    int error = 0;
    long n = io(fd, buffer, static_cast<std::size_t>(length), &error);
    return n < 0 ? Fail(FromErrno(error)) : static_cast<int>(n);
}

} // namespace

int send(SOCKET s, const char* buffer, int length, int flags) {
    return Transfer(s, buffer, length, posixnet::Send);
}

int recv(SOCKET s, char* buffer, int length, int flags) {
    return Transfer(s, buffer, length, posixnet::Receive);
}

int setsockopt(SOCKET s, int level, int name, const char* value, int valueLength) {
    int fd = Descriptor(s);
    if (fd < 0) {
        return Fail(WSAENOTSOCK);
    }
    if (level != SOL_SOCKET || (name != SO_RCVTIMEO && name != SO_SNDTIMEO)) {
        return Fail(WSAEINVAL);
    }
    if (value == nullptr || valueLength < static_cast<int>(sizeof(DWORD))) {
        return Fail(WSAEFAULT);
    }
    DWORD ms;
    std::memcpy(&ms, value, sizeof ms);
    int error = 0;
    if (posixnet::SetTimeout(fd, name == SO_RCVTIMEO, ms, &error) != 0) {
        return Fail(FromErrno(error));
    }
    return 0;
}

hostent* gethostbyname(const char* name) {
    {
        std::lock_guard lock(gMutex);
        ++gNameLookups;
        if (gStartCount == 0) {
            tLastError = WSANOTINITIALISED;
            return nullptr;
        }
    }
    if (name == nullptr || *name == '\0' || IsReservedInvalidName(name)) {
        tLastError = WSAHOST_NOT_FOUND;
        return nullptr;
    }
    HostEntryStore& h = tHost;
    int error = 0;
    if (!posixnet::Resolve(name, &h.addresses, &h.name, &error)) {
        tLastError = error == 1 ? WSAHOST_NOT_FOUND : WSANO_DATA;
        return nullptr;
    }
    h.addressList.clear();
    for (std::uint32_t& address : h.addresses) {
        h.addressList.push_back(reinterpret_cast<char*>(&address));
    }
    h.addressList.push_back(nullptr);
    h.entry.h_name = h.name.data();
    h.entry.h_aliases = h.aliases;
    h.entry.h_addrtype = static_cast<short>(AF_INET);
    h.entry.h_length = 4;
    h.entry.h_addr_list = h.addressList.data();
    return &h.entry;
}

std::uint32_t inet_addr(const char* text) {
    std::uint32_t address = 0;
    if (text == nullptr || !posixnet::ParseDottedQuad(text, &address)) {
        return INADDR_NONE;
    }
    return address;
}

char* inet_ntoa(in_addr address) {
    std::string text = posixnet::FormatDottedQuad(address.s_addr);
    std::strncpy(tDottedQuad, text.c_str(), sizeof tDottedQuad - 1);
    tDottedQuad[sizeof tDottedQuad - 1] = '\0';
    return tDottedQuad;
}

u_short htons(u_short value) {
    return Swap16(value);
}
u_short ntohs(u_short value) {
    return Swap16(value);
}
u_long htonl(u_long value) {
    return Swap32(static_cast<std::uint32_t>(value));
}

int NameLookupCountForTesting() {
    std::lock_guard lock(gMutex);
    return gNameLookups;
}

} // namespace platform::winsock
