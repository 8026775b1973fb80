// Throughput of the bundled quote server: rendering a stock page from the
// simulated market, and whole pages per second over loopback (one connection
// per page, as the phone fetches them), from one and from several clients.
#include "bench/LoopbackServer.h"
#include "server/QuoteServer.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

// 2009-03-18 10:00 Beijing time: the market is trading.
constexpr std::int64_t kTradingMoment = 1237341600000;

const std::string kRequest = "GET /prog/wapsite/stock/stockquery.php?code=600036&vt=2 HTTP/1.1\r\n"
                             "Host: wap.stockat.test\r\nConnection: Close\r\n"
                             "User-agent:Mozilla/4.0\r\nAccept-language:zh-cn\r\n\r\n";

void BM_RespondStockPage(benchmark::State& state) {
    server::QuoteServer quoted(server::ServerOptions{},
                               platform::DeviceClock::Manual(kTradingMoment));
    for (auto _ : state)
        benchmark::DoNotOptimize(quoted.Respond(server::kStockPath, "600036"));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RespondStockPage);

void BM_StockPagesOverLoopback(benchmark::State& state) {
    int port = benchsupport::RunningQuoteServer(kTradingMoment).Port();
    size_t bytes = 0;
    for (auto _ : state) {
        long n = benchsupport::BareExchange(port, kRequest, SIZE_MAX);
        if (n <= 0)
            state.SkipWithError("fetch failed");
        else
            bytes += static_cast<size_t>(n);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_StockPagesOverLoopback)->Threads(1)->Threads(4)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
