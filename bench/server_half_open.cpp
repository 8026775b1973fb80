// Page latency of the bundled quote server while other clients hold
// connections open with half a request (the cheapest way to stall a server
// that gives each connection a thread). Beside 0, 300 and 1,000 such
// connections, one client fetches stock pages one after another; the
// counters are the median, the 99th percentile and the slowest page in
// milliseconds. A held connection that the server closes is opened again at
// once, so the pressure stays constant for the whole run.
//
// A run fetches pages for at least 8 s (longer than the server's head
// deadline, so that held connections are dropped and opened again during the
// run) and 1,000 pages; each page waits at most 60 s and a run ends after
// 90 s in any case, so that a server that stalls still gives figures in
// bounded time.
#include "server/QuoteServer.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// 2009-03-18 10:00 Beijing time: the market is trading.
constexpr std::int64_t kTradingMoment = 1237341600000;

const std::string kRequest = "GET /prog/wapsite/stock/stockquery.php?code=600036&vt=2 HTTP/1.1\r\n"
                             "Host: wap.stockat.test\r\nConnection: Close\r\n"
                             "User-agent:Mozilla/4.0\r\nAccept-language:zh-cn\r\n\r\n";

int ConnectTo(int port, bool nonBlocking) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
    if (fd < 0)
        return -1;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<std::uint16_t>(port));
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0 &&
        errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Holds `count` connections to the server, each with half a request sent,
// until destroyed; reopens those the server closes.
class HalfOpenHolders {
  public:
    HalfOpenHolders(int port, int count) : port_(port) {
        fds_.resize(static_cast<size_t>(count), -1);
        for (int& fd : fds_)
            fd = Open();
        thread_ = std::thread([this] { Hold(); });
    }
    ~HalfOpenHolders() {
        stop_ = true;
        thread_.join();
        for (int fd : fds_)
            if (fd >= 0)
                ::close(fd);
    }
    long Reopened() const { return reopened_; }

  private:
    int Open() {
        int fd = ConnectTo(port_, false);
        if (fd >= 0)
            ::send(fd, kRequest.data(), kRequest.size() / 2, MSG_NOSIGNAL);
        return fd;
    }
    void Hold() {
        std::vector<pollfd> polls(fds_.size());
        while (!stop_) {
            for (size_t i = 0; i < fds_.size(); ++i) {
                if (fds_[i] < 0) {
                    fds_[i] = Open();
                    ++reopened_;
                }
                polls[i] = {fds_[i], POLLIN, 0};
            }
            if (::poll(polls.data(), polls.size(), 50) <= 0)
                continue;
            for (size_t i = 0; i < fds_.size(); ++i) {
                if (polls[i].revents == 0)
                    continue;
                char sink[512];
                if (::recv(fds_[i], sink, sizeof sink, MSG_DONTWAIT) <= 0) {
                    ::close(fds_[i]);
                    fds_[i] = -1;
                }
            }
        }
    }

    int port_;
    std::vector<int> fds_;
    std::atomic<bool> stop_{false};
    std::atomic<long> reopened_{0};
    std::thread thread_;
};

// One page: connect, ask, read until the server closes. The time it took,
// or nothing when it failed or took longer than `limit`.
std::optional<double> PageMs(int port, std::chrono::milliseconds limit) {
    Clock::time_point start = Clock::now();
    int fd = ConnectTo(port, true);
    if (fd < 0)
        return std::nullopt;
    size_t sent = 0;
    long received = 0;
    bool done = false;
    while (!done) {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(start + limit - Clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{fd, static_cast<short>(sent < kRequest.size() ? POLLOUT : POLLIN), 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        if (sent < kRequest.size()) {
            ssize_t n = ::send(fd, kRequest.data() + sent, kRequest.size() - sent, MSG_NOSIGNAL);
            if (n < 0 && errno != EAGAIN)
                break;
            sent += n > 0 ? static_cast<size_t>(n) : 0;
            continue;
        }
        char buffer[16384];
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0)
            received += n;
        else if (n == 0 || errno != EAGAIN)
            done = true;
    }
    ::close(fd);
    if (!done || received == 0)
        return std::nullopt;
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void BM_PageBesideHalfOpenConnections(benchmark::State& state) {
    // Both ends of every held connection live in this process.
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);

    server::ServerOptions options;
    options.port = 0;
    server::QuoteServer quoted(options, platform::DeviceClock::Manual(kTradingMoment));
    std::string error;
    if (!quoted.Start(&error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const int port = quoted.Port();
    const int held = static_cast<int>(state.range(0));
    std::vector<double> ms;
    long failed = 0;
    long reopened = 0;
    for (auto _ : state) {
        HalfOpenHolders holders(port, held);
        // Let the server take in the held connections first.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const Clock::time_point began = Clock::now();
        const Clock::time_point enough = began + std::chrono::seconds(8);
        const Clock::time_point end = began + std::chrono::seconds(90);
        while ((ms.size() < 1000 || Clock::now() < enough) && Clock::now() < end) {
            if (std::optional<double> t = PageMs(port, std::chrono::seconds(60)))
                ms.push_back(*t);
            else
                ++failed;
        }
        reopened = holders.Reopened();
    }
    quoted.Stop();
    if (ms.empty()) {
        state.SkipWithError("no page was served");
        return;
    }
    std::sort(ms.begin(), ms.end());
    auto at = [&](double q) { return ms[std::min(ms.size() - 1, size_t(q * ms.size()))]; };
    state.counters["pages"] = static_cast<double>(ms.size());
    state.counters["failed"] = static_cast<double>(failed);
    state.counters["p50_ms"] = at(0.50);
    state.counters["p99_ms"] = at(0.99);
    state.counters["max_ms"] = ms.back();
    state.counters["reopened"] = static_cast<double>(reopened);
}
BENCHMARK(BM_PageBesideHalfOpenConnections)
    ->Arg(0)
    ->Arg(300)
    ->Arg(1000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
