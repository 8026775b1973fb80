// A whole HttpFetch of one stock page from the bundled quote server over
// loopback (Winsock start, socket, connect, send, receive until close, the
// traffic count and the UTF-8 to GBK re-encoding), beside a bare POSIX
// connect/send/recv of the same request to the same server: the difference
// is what the fetch itself adds to the exchange.
#include "net/HttpFetch.h"
#include "platform/device.h"
#include "server/QuoteServer.h"
#include "watchlist/QuoteRecord.h"

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// 2026-03-18 10:00 Beijing time: the market is trading.
constexpr std::int64_t kTradingMoment = 1773799200000;

server::QuoteServer& Running() {
    static std::unique_ptr<server::QuoteServer> quoted;
    static std::once_flag once;
    std::call_once(once, [] {
        server::ServerOptions options;
        options.port = 0;
        quoted = std::make_unique<server::QuoteServer>(
            options, platform::DeviceClock::Manual(kTradingMoment));
        std::string error;
        if (!quoted->Start(&error)) {
            std::abort();
        }
    });
    return *quoted;
}

void BM_HttpFetchStockPage(benchmark::State& state) {
    server::QuoteServer& quoted = Running();
    platform::Device().serverHost = "127.0.0.1";
    platform::Device().serverPort = static_cast<std::uint16_t>(quoted.Port());
    Settings.ConnectionMethod = "2";
    const std::string request = BuildStockRequest("600036");
    std::size_t bytes = 0;
    for (auto _ : state) {
        if (HttpFetch(request) != 0 || !ReplyIsQuotePage(kStockPageMarker)) {
            state.SkipWithError("fetch failed");
            break;
        }
        bytes += LastReply.size();
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void BM_BareExchangeStockPage(benchmark::State& state) {
    server::QuoteServer& quoted = Running();
    platform::Device().serverHost = "127.0.0.1";
    const std::string request = BuildStockRequest("600036");
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<std::uint16_t>(quoted.Port()));
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::size_t bytes = 0;
    char buffer[50000];
    for (auto _ : state) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0 ||
            ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) <= 0) {
            ::close(fd);
            state.SkipWithError("exchange failed");
            break;
        }
        std::size_t fill = 0;
        ssize_t n;
        while (fill < sizeof buffer &&
               (n = ::recv(fd, buffer + fill, sizeof buffer - fill, 0)) > 0) {
            fill += static_cast<std::size_t>(n);
        }
        ::close(fd);
        bytes += fill;
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

BENCHMARK(BM_HttpFetchStockPage)->UseRealTime();
BENCHMARK(BM_BareExchangeStockPage)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
