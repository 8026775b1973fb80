// The quote page parser on a typical stock page (about 1 KB, as the bundled
// server renders it) and on a 50,000-byte page (the largest reply a fetch
// keeps, with the quote at its end so that every marker search runs through
// it), each beside one memchr pass over the same bytes: the parser makes
// about thirty searches from the start of the reply, so the ratio of the two
// times says what those searches cost against the least any reader of the
// page must spend.
#include "common/QuoteRecord.h"
#include "net/HttpFetch.h"
#include "net/QuotePageParser.h"
#include "server/Pages.h"
#include "tests/support/SampleQuotes.h"

#include <benchmark/benchmark.h>
#include <cstring>

namespace {

std::string TypicalPage() {
    server::IndexQuote sh = testsupport::SampleIndexQuote(server::kShIndexName, 220995);
    server::IndexQuote sz = testsupport::SampleIndexQuote(server::kSzIndexName, 220995);
    return ReplyToDeviceText(server::StockPageReply(testsupport::SampleStockQuote(), sh, sz,
                                                    testsupport::SampleStamp()));
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
