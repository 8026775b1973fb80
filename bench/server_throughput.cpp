// Throughput of the bundled quote server: rendering a stock page from the
// simulated market, and whole pages per second over loopback (one connection
// per page, as the phone fetches them), from one and from several clients.
#include "server/QuoteServer.h"

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <mutex>

namespace {

// 2009-03-18 10:00 Beijing time: the market is trading.
constexpr std::int64_t kTradingMoment = 1237341600000;

const std::string kRequest = "GET /prog/wapsite/stock/stockquery.php?code=600036&vt=2 HTTP/1.1\r\n"
                             "Host: wap.stockat.test\r\nConnection: Close\r\n"
                             "User-agent:Mozilla/4.0\r\nAccept-language:zh-cn\r\n\r\n";

server::QuoteServer& Running() {
    static std::unique_ptr<server::QuoteServer> quoted;
    static std::once_flag once;
    std::call_once(once, [] {
        server::ServerOptions options;
        options.port = 0;
        quoted = std::make_unique<server::QuoteServer>(
            options, platform::DeviceClock::Manual(kTradingMoment));
        std::string error;
        if (!quoted->Start(&error))
            std::abort();
    });
    return *quoted;
}

// One exchange; the number of reply bytes.
size_t FetchOnce(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    size_t total = 0;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::send(fd, kRequest.data(), kRequest.size(), MSG_NOSIGNAL) > 0) {
        char buffer[8192];
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
            total += static_cast<size_t>(n);
    }
    ::close(fd);
    return total;
}

void BM_RespondStockPage(benchmark::State& state) {
    server::QuoteServer quoted(server::ServerOptions{},
                               platform::DeviceClock::Manual(kTradingMoment));
    for (auto _ : state)
        benchmark::DoNotOptimize(quoted.Respond(server::kStockPath, "600036"));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RespondStockPage);

void BM_StockPagesOverLoopback(benchmark::State& state) {
    int port = Running().Port();
    size_t bytes = 0;
    for (auto _ : state) {
        size_t n = FetchOnce(port);
        if (n == 0)
            state.SkipWithError("fetch failed");
        bytes += n;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_StockPagesOverLoopback)->Threads(1)->Threads(4)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
