// One typical quote of each kind, for the tests and benchmarks of the page
// parser: the stock 600036 while trading, an index, and the moment of both.
// The hand-made pages of the parser tests carry the same values, so one set
// of expectations serves pages built by hand and pages rendered by the
// bundled quote server.
#pragma once

#include "server/Pages.h"

#include <cstdint>
#include <string_view>

namespace testsupport {

// 招商银行 at 12.34 yuan, up 0.15 from 12.19 (+1.23%).
inline server::StockQuote SampleStockQuote() {
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
    return s;
}

// An index that closed at 2197.66 yesterday and stands at `latest`
// hundredths of a point.
inline server::IndexQuote SampleIndexQuote(std::string_view name, std::int64_t latest) {
    server::IndexQuote q;
    q.name = std::string(name);
    q.previousClose = 219766;
    q.latest = latest;
    q.open = 219901;
    q.high = 221540;
    q.low = 219012;
    q.volume = 98765432;
    q.turnover = 81235;
    return q;
}

// 2026-03-18 14:32:05, a Wednesday: "03-18 14:32:05" on the pages.
inline platform::LocalTime SampleStamp() {
    return {2026, 3, 18, 3, 14, 32, 5, 0};
}

} // namespace testsupport
