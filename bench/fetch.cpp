// A whole HttpFetch of one stock page from the bundled quote server over
// loopback (Winsock start, socket, connect, send, receive until close, the
// traffic count and the UTF-8 to GBK re-encoding), beside a bare POSIX
// connect/send/recv of the same request to the same server: the difference
// is what the fetch itself adds to the exchange.
#include "bench/LoopbackServer.h"
#include "common/QuoteRecord.h"
#include "net/HttpFetch.h"
#include "platform/device.h"

#include <benchmark/benchmark.h>

namespace {

// 2026-03-18 10:00 Beijing time: the market is trading.
constexpr std::int64_t kTradingMoment = 1773799200000;

void BM_HttpFetchStockPage(benchmark::State& state) {
    server::QuoteServer& quoted = benchsupport::RunningQuoteServer(kTradingMoment);
    platform::Device().serverHost = "127.0.0.1";
    platform::Device().serverPort = static_cast<std::uint16_t>(quoted.Port());
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
    server::QuoteServer& quoted = benchsupport::RunningQuoteServer(kTradingMoment);
    platform::Device().serverHost = "127.0.0.1";
    const std::string request = BuildStockRequest("600036");
    std::size_t bytes = 0;
    for (auto _ : state) {
        // The same 50,000-byte limit as the fetch.
        long n = benchsupport::BareExchange(quoted.Port(), request, kReplyBufferSize);
        if (n < 0) {
            state.SkipWithError("exchange failed");
            break;
        }
        bytes += static_cast<std::size_t>(n);
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

BENCHMARK(BM_HttpFetchStockPage)->UseRealTime();
BENCHMARK(BM_BareExchangeStockPage)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
