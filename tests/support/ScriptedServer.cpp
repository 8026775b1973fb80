// The scripted loopback peer: an accept thread with a wake-up pipe, and one
// thread per connection running the script.
#include "tests/support/ScriptedServer.h"

#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "net/HttpFetch.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace testsupport {

struct ScriptedPeer::Connection::Shared {
    std::mutex mutex;
    std::condition_variable stopped;
    bool stopping = false;
    std::vector<std::string> requests;
};

struct ScriptedPeer::Impl {
    Script script;
    int listenFd = -1;
    int wakePipe[2] = {-1, -1};
    std::uint16_t port = 0;
    std::atomic<int> connections{0};
    std::shared_ptr<Connection::Shared> shared = std::make_shared<Connection::Shared>();
    std::thread acceptThread;
    std::mutex threadsMutex;
    std::vector<std::thread> connectionThreads;
    std::vector<int> openFds;

    void AcceptLoop() {
        for (;;) {
            pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return;
            }
            if (fds[1].revents != 0) {
                return;
            }
            int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                continue;
            }
            ++connections;
            std::lock_guard lock(threadsMutex);
            openFds.push_back(fd);
            connectionThreads.emplace_back([this, fd] {
                Connection connection(fd, shared);
                script(connection);
                std::lock_guard lock(threadsMutex);
                for (int& open : openFds) {
                    if (open == fd) {
                        close(fd);
                        open = -1;
                    }
                }
            });
        }
    }
};

std::string ScriptedPeer::Connection::ReadRequest() {
    std::string request;
    char buffer[1024];
    while (request.find("\r\n\r\n") == std::string::npos) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0) {
            break;
        }
        ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) {
            break;
        }
        request.append(buffer, static_cast<std::size_t>(n));
    }
    std::lock_guard lock(shared_->mutex);
    shared_->requests.push_back(request);
    return request;
}

bool ScriptedPeer::Connection::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool ScriptedPeer::Connection::Pause(int ms) {
    std::unique_lock lock(shared_->mutex);
    return !shared_->stopped.wait_for(lock, std::chrono::milliseconds(ms),
                                      [this] { return shared_->stopping; });
}

void ScriptedPeer::Connection::WaitForStop() {
    std::unique_lock lock(shared_->mutex);
    shared_->stopped.wait(lock, [this] { return shared_->stopping; });
}

void ScriptedPeer::Connection::Reset() {
    // With a zero linger time the close at the end of the script sends RST.
    linger option{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &option, sizeof option);
}

ScriptedPeer::ScriptedPeer(Script script) : impl_(std::make_unique<Impl>()) {
    impl_->script = std::move(script);
    impl_->listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (impl_->listenFd < 0 || pipe2(impl_->wakePipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("ScriptedPeer: no socket");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (bind(impl_->listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(impl_->listenFd, 16) != 0 ||
        getsockname(impl_->listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("ScriptedPeer: cannot listen on loopback");
    }
    impl_->port = ntohs(address.sin_port);
    impl_->acceptThread = std::thread([impl = impl_.get()] { impl->AcceptLoop(); });
}

ScriptedPeer::~ScriptedPeer() {
    {
        std::lock_guard lock(impl_->shared->mutex);
        impl_->shared->stopping = true;
    }
    impl_->shared->stopped.notify_all();
    char wake = 1;
    (void)!write(impl_->wakePipe[1], &wake, 1);
    impl_->acceptThread.join();
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(impl_->threadsMutex);
        // Wake scripts blocked in a read or a send.
        for (int fd : impl_->openFds) {
            if (fd >= 0) {
                shutdown(fd, SHUT_RDWR);
            }
        }
        threads.swap(impl_->connectionThreads);
    }
    for (std::thread& t : threads) {
        t.join();
    }
    close(impl_->listenFd);
    close(impl_->wakePipe[0]);
    close(impl_->wakePipe[1]);
}

std::uint16_t ScriptedPeer::port() const {
    return impl_->port;
}

int ScriptedPeer::connections() const {
    return impl_->connections.load();
}

std::vector<std::string> ScriptedPeer::requests() const {
    std::lock_guard lock(impl_->shared->mutex);
    return impl_->shared->requests;
}

ScriptedPeer::Script ScriptedPeer::Reply(std::string bytes) {
    return [bytes = std::move(bytes)](Connection& c) {
        c.ReadRequest();
        c.Send(bytes);
    };
}

ScriptedPeer::Script ScriptedPeer::CloseAtOnce() {
    return [](Connection&) {};
}

ScriptedPeer::Script ScriptedPeer::ResetAfterRequest() {
    return [](Connection& c) {
        c.ReadRequest();
        c.Reset();
    };
}

ScriptedPeer::Script ScriptedPeer::Stall() {
    return [](Connection& c) {
        c.ReadRequest();
        c.WaitForStop();
    };
}

ScriptedPeer::Script ScriptedPeer::Drip(std::string bytes, int intervalMs) {
    return [bytes = std::move(bytes), intervalMs](Connection& c) {
        c.ReadRequest();
        for (char b : bytes) {
            if (!c.Send(std::string_view(&b, 1)) || !c.Pause(intervalMs)) {
                return;
            }
        }
        c.WaitForStop();
    };
}

std::uint16_t ScriptedPeer::RefusedPort() {
    // Bind a port without listening: connections to it are refused while
    // the socket holds it, and a port just released is rarely reused at
    // once; keeping the socket open makes the refusal certain.
    static int holder = -1;
    static std::uint16_t port = 0;
    if (holder < 0) {
        holder = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address);
        getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    return port;
}

FetchTestState::FetchTestState() : savedDevice_(platform::Device()) {
    ResetProgramState();
    // g++ 12 at -O3 takes this inlined assignment of a literal to a std::string for an overlapping
    // copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
    Settings.ConnectionMethod = "2";
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    SetFetchDeadlineForTesting(10000);
}

FetchTestState::~FetchTestState() {
    platform::Device() = savedDevice_;
    SetFetchDeadlineForTesting(0);
    ResetProgramState();
}

} // namespace testsupport
