// The quote page parser on a typical stock page (about 1 KB, as the bundled
// server renders it) and on a 50,000-byte page (the largest reply a fetch
// keeps, with the quote at its end so that every marker search runs through
// it), each beside one memchr pass over the same bytes: the parser makes
// about thirty searches from the start of the reply, so the ratio of the two
// times says what those searches cost against the least any reader of the
// page must spend.
#include "net/HttpFetch.h"
#include "net/QuotePageParser.h"
#include "server/Pages.h"
#include "watchlist/QuoteRecord.h"

#include <benchmark/benchmark.h>
#include <cstring>

namespace {

std::string TypicalPage() {
    server::StockQuote s;
    s.code = "600036";
    s.name = "招商银行";
    s.previousClose = 1219;
    s.latest = 1234;
    s.open = 1220;
    s.high = 1240;
    s.low = 1205;
    s.volume = 1234500;
    s.turnover = 15234000;
    server::IndexQuote sh;
    sh.name = std::string(server::kShIndexName);
    sh.previousClose = 219766;
    sh.latest = 220995;
    sh.open = 219901;
    sh.high = 221540;
    sh.low = 219012;
    server::IndexQuote sz = sh;
    sz.name = std::string(server::kSzIndexName);
    platform::LocalTime stamp{2026, 3, 18, 3, 14, 32, 5, 0};
    return ReplyToDeviceText(server::StockPageReply(s, sh, sz, stamp));
}

// A 50,000-byte reply: the typical page's head, then plain markup, then the
// quote part of the page at the very end.
std::string LargePage() {
    std::string page = TypicalPage();
    std::size_t body = page.find("<p>");
    std::string filler;
    while (filler.size() < 50000 - page.size()) {
        filler += "<p>market news line without any of the markers</p>\n";
    }
    filler.resize(50000 - page.size());
    page.insert(body, filler);
    return page;
}

void Parse(benchmark::State& state, const std::string& page) {
    LastReply = page;
    WatchList[0].code = "600036";
    for (auto _ : state) {
        ParseQuotePage(0);
        benchmark::DoNotOptimize(WatchList[0].latest.data());
    }
    if (WatchList[0].latest != "12.34") {
        state.SkipWithError("the page did not parse");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page.size());
}

void Memchr(benchmark::State& state, const std::string& page) {
    for (auto _ : state) {
        // A byte that is not in the page: the whole page is read.
        const void* hit = std::memchr(page.data(), '\x01', page.size());
        benchmark::DoNotOptimize(hit);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page.size());
}

void BM_ParseTypicalPage(benchmark::State& state) {
    Parse(state, TypicalPage());
}
void BM_MemchrTypicalPage(benchmark::State& state) {
    Memchr(state, TypicalPage());
}
void BM_Parse50000BytePage(benchmark::State& state) {
    Parse(state, LargePage());
}
void BM_Memchr50000BytePage(benchmark::State& state) {
    Memchr(state, LargePage());
}

BENCHMARK(BM_ParseTypicalPage);
BENCHMARK(BM_MemchrTypicalPage);
BENCHMARK(BM_Parse50000BytePage);
BENCHMARK(BM_Memchr50000BytePage);

} // namespace

BENCHMARK_MAIN();
