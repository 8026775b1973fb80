// One whole refresh cycle of 16 stocks against the bundled quote server over
// loopback (connection, 16 fetches of one connection each, parsing and alert
// checks), beside curl fetching the same 16 pages, one connection each, in
// the same run.
#include "alerts/AlertChecker.h"
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "net/HttpFetch.h"
#include "platform/device.h"
#include "platform/frontend.h"
#include "refresh/RefreshCycle.h"
#include "res/Resources.h"
#include "server/Market.h"
#include "server/QuoteServer.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

constexpr int kStocks = 16;

struct Setup {
    std::unique_ptr<server::QuoteServer> server;
    std::string urls;

    Setup() {
        server::ServerOptions options;
        options.address = "127.0.0.1";
        options.port = 0;
        options.threads = 4;
        // A trading moment, so that the pages carry moving prices.
        const auto start = platform::ParseLocalTime("2026-03-18 10:30", "Asia/Shanghai");
        server = std::make_unique<server::QuoteServer>(
            options, platform::DeviceClock::Manual(start.value_or(0)));
        std::string error;
        if (!server->Start(&error)) {
            std::fprintf(stderr, "quote server: %s\n", error.c_str());
            std::exit(1);
        }
        platform::BindUiThread();
        platform::DeviceConfig& device = platform::Device();
        device.serverHost = "127.0.0.1";
        device.serverPort = static_cast<std::uint16_t>(server->Port());
        device.networkUp = true;
        Shell.instance = RegisterResourceModule(&StockAtResources());

        ResetProgramState();
        Settings.ConnectionMethod = "2";
        Settings.NotifyMethod = "";
        const auto& listed = server::ListedStocks();
        for (int i = 0; i < kStocks; ++i) {
            WatchList[i].code = listed[static_cast<size_t>(i)].code;
            // g++ 12 at -O3 takes these inlined assignments of a literal to a std::string for an
            // overlapping copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
            WatchList[i].sellTarget = "--";
            WatchList[i].buyTarget = "--";
            WatchList[i].sellAlerted = "N";
            WatchList[i].buyAlerted = "N";
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
            urls += " -o /dev/null 'http://127.0.0.1:" + std::to_string(server->Port()) +
                    "/prog/wapsite/stock/stockquery.php?code=" + WatchList[i].code + "&vt=2'";
        }
        stockCount = kStocks;
        // The first successful cycle also fetches the service information
        // once; keep that out of the measured cycles.
        RunRefreshCycle();
    }
};

Setup& Shared() {
    static Setup setup;
    return setup;
}

void BM_RefreshCycle16Stocks(benchmark::State& state) {
    Shared();
    for (auto _ : state) {
        int result = RunRefreshCycle();
        if (result != 0) {
            state.SkipWithError("refresh cycle failed");
            break;
        }
        benchmark::DoNotOptimize(LastReply.size());
    }
    state.SetItemsProcessed(state.iterations() * kStocks);
}
BENCHMARK(BM_RefreshCycle16Stocks)->Unit(benchmark::kMillisecond);

void BM_Curl16Pages(benchmark::State& state) {
    Setup& setup = Shared();
    // One curl process for the 16 pages; the server closes every connection,
    // so each page costs its own connection, as in the cycle.
    const std::string command = "curl -s -H 'Connection: close'" + setup.urls;
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("curl failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kStocks);
}
BENCHMARK(BM_Curl16Pages)->Unit(benchmark::kMillisecond);

// curl with one page: its start-up cost, to be taken off the 16-page figure
// when comparing the per-page cost.
void BM_Curl1Page(benchmark::State& state) {
    Setup& setup = Shared();
    const std::string first = setup.urls.substr(0, setup.urls.find(" -o ", 1));
    const std::string command = "curl -s -H 'Connection: close'" + first;
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("curl failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Curl1Page)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
