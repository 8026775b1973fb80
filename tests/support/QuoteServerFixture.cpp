// Loopback quote servers for tests: a scripted HTTP peer on a thread of its
// own, and the bundled quote server's pages served through it.
#include "tests/support/QuoteServerFixture.h"

#include "platform/clock.h"
#include "platform/device.h"
#include "server/Market.h"
#include "server/Pages.h"
#include "server/QuoteServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace testsupport {

struct ScriptedServer::Impl {
    Handler handler;
    int listenFd = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    std::uint16_t port = 0;
    std::thread thread;
    mutable std::mutex mutex;
    std::vector<std::string> requests;

    void Run();
    void Serve(int fd);
};

namespace {

// Reads one request up to its blank line; gives up after a few seconds of
// silence or 64 KiB, so that a broken client cannot hold the server.
std::string ReadRequest(int fd) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0) {
            break;
        }
        ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
        if (n <= 0) {
            break;
        }
        request.append(buffer, static_cast<size_t>(n));
    }
    return request;
}

void SendAll(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        sent += static_cast<size_t>(n);
    }
}

} // namespace

void ScriptedServer::Impl::Serve(int fd) {
    std::string request = ReadRequest(fd);
    int number = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        requests.push_back(request);
        number = static_cast<int>(requests.size());
    }
    ScriptedReply reply = handler(request, number);
    if (reply.reset) {
        // Closing with a zero linger time sends RST: the peer's recv fails.
        linger l{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof(l));
        close(fd);
        return;
    }
    SendAll(fd, reply.bytes);
    shutdown(fd, SHUT_WR);
    // Drain what the client still sends so that the close is orderly.
    char buffer[512];
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, 200) > 0 && recv(fd, buffer, sizeof(buffer), 0) > 0) {
    }
    close(fd);
}

void ScriptedServer::Impl::Run() {
    for (;;) {
        pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakeRead, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            continue;
        }
        if (fds[1].revents != 0) {
            return;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            int fd = accept(listenFd, nullptr, nullptr);
            if (fd >= 0) {
                Serve(fd);
            }
        }
    }
}

ScriptedServer::ScriptedServer(Handler handler) : impl_(std::make_unique<Impl>()) {
    impl_->handler = std::move(handler);
    impl_->listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (impl_->listenFd < 0) {
        throw std::runtime_error("ScriptedServer: socket failed");
    }
    int one = 1;
    setsockopt(impl_->listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (bind(impl_->listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        listen(impl_->listenFd, 64) != 0) {
        close(impl_->listenFd);
        throw std::runtime_error("ScriptedServer: bind/listen on 127.0.0.1 failed");
    }
    socklen_t len = sizeof(addr);
    getsockname(impl_->listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    impl_->port = ntohs(addr.sin_port);
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        close(impl_->listenFd);
        throw std::runtime_error("ScriptedServer: pipe failed");
    }
    impl_->wakeRead = pipeFds[0];
    impl_->wakeWrite = pipeFds[1];
    impl_->thread = std::thread([impl = impl_.get()] { impl->Run(); });
}

ScriptedServer::~ScriptedServer() {
    char byte = 1;
    (void)!write(impl_->wakeWrite, &byte, 1);
    impl_->thread.join();
    close(impl_->listenFd);
    close(impl_->wakeRead);
    close(impl_->wakeWrite);
}

std::uint16_t ScriptedServer::port() const {
    return impl_->port;
}

int ScriptedServer::requestCount() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return static_cast<int>(impl_->requests.size());
}

std::vector<std::string> ScriptedServer::requests() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->requests;
}

void ScriptedServer::PointDevice() const {
    platform::DeviceConfig& device = platform::Device();
    device.serverHost = "127.0.0.1";
    device.serverPort = impl_->port;
    device.gatewayAddress = "127.0.0.1";
    device.gatewayPort = impl_->port;
    device.networkUp = true;
}

std::string RequestTarget(const std::string& request) {
    size_t lineEnd = request.find("\r\n");
    std::string line = request.substr(0, lineEnd);
    size_t first = line.find(' ');
    if (first == std::string::npos) {
        return {};
    }
    size_t second = line.find(' ', first + 1);
    return line.substr(first + 1,
                       second == std::string::npos ? std::string::npos : second - first - 1);
}

struct ScriptedQuoteServer::State {
    std::mutex mutex;
    std::optional<std::int64_t> fixedEpochMs;
    std::vector<int> failing;
};

ScriptedQuoteServer::ScriptedQuoteServer(std::uint64_t seed)
    : seed_(seed), state_(std::make_shared<State>()) {
    server_ = std::make_unique<ScriptedServer>(
        [this, state = state_](const std::string& request, int number) {
            std::int64_t now = 0;
            {
                std::lock_guard<std::mutex> lock(state->mutex);
                for (int n : state->failing) {
                    if (n == number) {
                        return ScriptedReply::Reset();
                    }
                }
                now = state->fixedEpochMs ? *state->fixedEpochMs : platform::Clock().NowEpochMs();
            }
            return ScriptedReply::Send(ReplyFor(RequestTarget(request), now));
        });
}

ScriptedQuoteServer::~ScriptedQuoteServer() {
    server_.reset();
}

std::uint16_t ScriptedQuoteServer::port() const {
    return server_->port();
}

void ScriptedQuoteServer::SetClock(std::optional<std::int64_t> epochMs) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->fixedEpochMs = epochMs;
}

void ScriptedQuoteServer::FailRequest(int number) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->failing.push_back(number);
}

int ScriptedQuoteServer::requestCount() const {
    return server_->requestCount();
}
std::vector<std::string> ScriptedQuoteServer::requests() const {
    return server_->requests();
}
void ScriptedQuoteServer::PointDevice() const {
    server_->PointDevice();
}

std::string ScriptedQuoteServer::ReplyFor(const std::string& target, std::int64_t epochMs) const {
    const server::Market market(seed_);
    const platform::LocalTime beijing = platform::ToLocalTime(epochMs, "Asia/Shanghai");
    const server::MarketMoment moment = server::MomentAt(beijing);
    const std::string path = target.substr(0, target.find('?'));
    if (path == server::kShIndexPath) {
        return server::IndexPageReply(market.ShIndex(moment), moment.stamp);
    }
    if (path == server::kSzIndexPath) {
        return server::IndexPageReply(market.SzIndex(moment), moment.stamp);
    }
    std::string code;
    size_t at = target.find("code=");
    if (at != std::string::npos) {
        code = target.substr(at + 5);
        code = code.substr(0, code.find('&'));
    }
    if (path == server::kStockPath) {
        if (std::optional<server::StockQuote> stock = market.Stock(code, moment)) {
            return server::StockPageReply(*stock, market.ShIndex(moment), market.SzIndex(moment),
                                          moment.stamp);
        }
    }
    return server::NotFoundPageReply(code);
}

std::int64_t BeijingEpochMs(const std::string& beijingTime) {
    std::optional<std::int64_t> ms = platform::ParseLocalTime(beijingTime, "Asia/Shanghai");
    if (!ms) {
        throw std::runtime_error("BeijingEpochMs: bad time " + beijingTime);
    }
    return *ms;
}

QuoteServerFixture::QuoteServerFixture(const std::string& beijingTime, std::uint64_t seed) {
    server::ServerOptions options;
    options.address = "127.0.0.1";
    options.port = 0;
    options.seed = seed;
    options.threads = 4;
    server_ = std::make_unique<server::QuoteServer>(
        options, platform::DeviceClock::Manual(BeijingEpochMs(beijingTime)));
    std::string error;
    if (!server_->Start(&error)) {
        throw std::runtime_error("QuoteServerFixture: " + error);
    }
}

QuoteServerFixture::~QuoteServerFixture() {
    server_->Stop();
}

std::uint16_t QuoteServerFixture::port() const {
    return static_cast<std::uint16_t>(server_->Port());
}

void QuoteServerFixture::SetClock(const std::string& beijingTime) {
    SetClockEpochMs(BeijingEpochMs(beijingTime));
}

void QuoteServerFixture::SetClockEpochMs(std::int64_t epochMs) {
    server_->Clock().SetEpochMs(epochMs);
}

void QuoteServerFixture::PointDevice() const {
    platform::DeviceConfig& device = platform::Device();
    device.serverHost = "127.0.0.1";
    device.serverPort = port();
    device.gatewayAddress = "127.0.0.1";
    device.gatewayPort = port();
    device.networkUp = true;
}

} // namespace testsupport
