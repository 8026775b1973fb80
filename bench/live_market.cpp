// The live market against a loopback stand-in feed: upstream requests per
// refresh cycle of a 16-stock watch list on a trading day and on a holiday,
// the cost of the checks a quote passes before it is served, the cost of a page served from the
// cache next to the simulated market's page, and 1,000 clients of 16 stocks
// each refreshing at once over loopback against one server (upstream
// requests per time-to-live and per round, page latency).
#include "bench/LoopbackServer.h"
#include "server/QuoteServer.h"
#include "tests/support/FeedStandIn.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

namespace {

// 2022-11-22 10:30 Beijing time, the day of the stand-in's quotes.
constexpr std::int64_t kTradingMoment = 1669084200000;

const std::vector<std::string> kWatchList = {
    "600519", "000002", "601398", "600036", "000858", "601318", "000651", "600030",
    "002024", "600028", "000063", "601988", "300750", "688981", "000001", "600000"};

server::ServerOptions LiveOptions(const testsupport::FeedStandIn& feed) {
    server::ServerOptions options;
    options.port = 0;
    options.market = server::MarketKind::Live;
    options.live.feeds = testsupport::StandInFeeds({&feed});
    return options;
}

// Upstream requests per steady refresh cycle of 16 stocks, with two feeds:
// argument 0 a trading day (the first feed fresh), 1 a holiday on a weekday
// (every feed on the last trading day: the first cycle asks both, and from
// then on the closed day is known).
void BM_UpstreamRequestsPerRefreshCycle(benchmark::State& state) {
    testsupport::FeedStandIn tencent(testsupport::FeedStandIn::Format::Tencent);
    testsupport::FeedStandIn sina(testsupport::FeedStandIn::Format::Sina);
    const bool holiday = state.range(0) == 1;
    // Fresh for the whole run of the manual clock, or yesterday's close.
    const char* stamp = holiday ? "2022-11-21 15:00:03" : "2022-11-22 11:29:58";
    tencent.SetStamp(stamp);
    sina.SetStamp(stamp);
    server::ServerOptions options = LiveOptions(tencent);
    options.live.feeds = testsupport::StandInFeeds({&tencent, &sina});
    server::QuoteServer quoted(options, platform::DeviceClock::Manual(kTradingMoment));
    const std::int64_t ttl = quoted.GetLiveMarket()->Options().ttlMs;
    for (const std::string& code : kWatchList)
        quoted.Respond(server::kStockPath, code);
    const std::int64_t before = quoted.GetLiveMarket()->UpstreamRequests();
    int served = 0, pages = 0;
    for (auto _ : state) {
        quoted.Clock().Advance(ttl);
        for (const std::string& code : kWatchList) {
            server::Reply reply = quoted.Respond(server::kStockPath, code);
            served += reply.status == 200;
            ++pages;
        }
    }
    if (served != pages)
        state.SkipWithError("a page was not served");
    state.counters["upstream_per_cycle"] =
        static_cast<double>(quoted.GetLiveMarket()->UpstreamRequests() - before) /
        static_cast<double>(state.iterations());
    state.counters["first_cycle_upstream"] = static_cast<double>(before);
    state.counters["first_cycle_second_feed"] = sina.requestCount();
}
BENCHMARK(BM_UpstreamRequestsPerRefreshCycle)->Arg(0)->Arg(1)->Iterations(200);

// The checks a quote passes before it is served, per quote of an upstream
// round: its consistency, and its freshness against the clock (its time
// stamp is broken down in Beijing time once per round anyway, for the
// pages). A page from the cache costs none of it; a round of 18 quotes
// costs 18 times this.
void BM_FreshnessChecksPerQuote(benchmark::State& state) {
    server::FeedQuote quote;
    quote.symbol = *server::SymbolForCode("600036");
    quote.previousClose = 35000;
    quote.latest = quote.open = quote.high = quote.low = 35120;
    quote.change = 120;
    quote.epochMs = kTradingMoment - 2000;
    const platform::LocalTime now = platform::ToLocalTime(kTradingMoment, "Asia/Shanghai");
    const platform::LocalTime stamp = platform::ToLocalTime(quote.epochMs, "Asia/Shanghai");
    for (auto _ : state) {
        benchmark::DoNotOptimize(server::QuoteInconsistency(quote));
        benchmark::DoNotOptimize(
            server::JudgeFreshness(quote, stamp, now, 3 * 60 * 1000, std::nullopt));
    }
}
BENCHMARK(BM_FreshnessChecksPerQuote);

void BM_RespondSimStockPage(benchmark::State& state) {
    server::QuoteServer quoted(server::ServerOptions{},
                               platform::DeviceClock::Manual(kTradingMoment));
    for (auto _ : state)
        benchmark::DoNotOptimize(quoted.Respond(server::kStockPath, "600036"));
}
BENCHMARK(BM_RespondSimStockPage);

void BM_RespondLiveStockPageFromCache(benchmark::State& state) {
    testsupport::FeedStandIn feed(testsupport::FeedStandIn::Format::Tencent);
    feed.SetStamp("2022-11-22 10:29:58");
    server::QuoteServer quoted(LiveOptions(feed), platform::DeviceClock::Manual(kTradingMoment));
    quoted.Respond(server::kStockPath, "600036");
    for (auto _ : state)
        benchmark::DoNotOptimize(quoted.Respond(server::kStockPath, "600036"));
    if (feed.requestCount() != 1)
        state.SkipWithError("the cache was missed");
}
BENCHMARK(BM_RespondLiveStockPageFromCache);

// One page over a fresh loopback connection; false when no "200 OK" came.
bool FetchPage(int port, const std::string& request) {
    int fd = benchsupport::SendOverLoopback(port, request);
    if (fd < 0)
        return false;
    std::string reply;
    char buffer[8192];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
        reply.append(buffer, static_cast<size_t>(n));
    ::close(fd);
    return reply.rfind("HTTP/1.1 200 OK", 0) == 0;
}

// 1,000 clients, each with 16 of the 48 preset stocks, all refreshing at
// once on the real clock; one round per iteration. With argument 0 the same
// load on the simulated market, as the measure of the server itself.
void BM_ThousandClientsOverLoopback(benchmark::State& state) {
    testsupport::FeedStandIn feed(testsupport::FeedStandIn::Format::Tencent);
    feed.SetStamp("2022-11-22 10:29:58");
    server::ServerOptions options = LiveOptions(feed);
    // Argument 0: the simulated market under the same load, for comparison.
    if (state.range(0) == 0)
        options.market = server::MarketKind::Sim;
    server::QuoteServer quoted(options, platform::DeviceClock::Scaled(kTradingMoment, 1.0));
    std::string error;
    if (!quoted.Start(&error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const int port = quoted.Port();
    constexpr int kClients = 1000, kStocks = 16, kThreads = 64;
    std::vector<std::vector<std::string>> requests(kClients);
    for (int c = 0; c < kClients; ++c)
        for (int s = 0; s < kStocks; ++s) {
            const auto& listed = server::ListedStocks();
            const char* code = listed[static_cast<size_t>(c * 7 + s * 3) % listed.size()].code;
            requests[c].push_back(
                "GET /prog/wapsite/stock/stockquery.php?code=" + std::string(code) +
                "&vt=2 HTTP/1.1\r\nHost: wap.stockat.test\r\n"
                "Connection: Close\r\n\r\n");
        }
    // One round: every client fetches its 16 pages; each page's latency in
    // microseconds, the failed pages and the seconds the round took.
    struct Round {
        std::vector<double> latencies;
        std::int64_t failed = 0;
        double seconds = 0;
    };
    auto runRound = [&] {
        Round r;
        std::vector<std::vector<double>> perThread(kThreads);
        std::atomic<std::int64_t> failed{0};
        const auto start = std::chrono::steady_clock::now();
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                for (int c = t; c < kClients; c += kThreads)
                    for (const std::string& request : requests[c]) {
                        const auto begin = std::chrono::steady_clock::now();
                        if (!FetchPage(port, request))
                            ++failed;
                        perThread[t].push_back(std::chrono::duration<double, std::micro>(
                                                   std::chrono::steady_clock::now() - begin)
                                                   .count());
                    }
            });
        for (std::thread& t : threads)
            t.join();
        r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        for (auto& v : perThread)
            r.latencies.insert(r.latencies.end(), v.begin(), v.end());
        r.failed = failed;
        return r;
    };
    // The first round meets every code for the first time; the iterations
    // measure the steady state that follows.
    const int cold = feed.requestCount();
    const Round first = runRound();
    state.counters["first_round_upstream"] = feed.requestCount() - cold;
    state.counters["first_round_failed"] = static_cast<double>(first.failed);

    std::vector<double> latencies;
    std::int64_t failures = 0, upstream = 0;
    double seconds = 0;
    for (auto _ : state) {
        const int before = feed.requestCount();
        Round r = runRound();
        upstream += feed.requestCount() - before;
        seconds += r.seconds;
        failures += r.failed;
        latencies.insert(latencies.end(), r.latencies.begin(), r.latencies.end());
    }
    quoted.Stop();
    std::sort(latencies.begin(), latencies.end());
    const double ttlSeconds = static_cast<double>(options.live.ttlMs) / 1000.0;
    state.counters["pages"] = static_cast<double>(latencies.size());
    state.counters["failed"] = static_cast<double>(failures);
    state.counters["median_us"] = latencies[latencies.size() / 2];
    state.counters["p99_us"] = latencies[latencies.size() * 99 / 100];
    state.counters["round_s"] = seconds / static_cast<double>(state.iterations());
    state.counters["upstream_per_round"] =
        static_cast<double>(upstream) / static_cast<double>(state.iterations());
    state.counters["upstream_per_ttl"] = static_cast<double>(upstream) / (seconds / ttlSeconds);
}
BENCHMARK(BM_ThousandClientsOverLoopback)
    ->ArgName("live")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
