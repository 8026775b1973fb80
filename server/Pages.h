// The quote site's pages: pure functions that render a stock page, the two
// index pages and the not-found page from given quote values and a given
// time, as UTF-8 HTML bodies (RenderStockPage, RenderIndexPage,
// RenderNotFoundPage) or as complete UTF-8 HTTP replies (the *Reply
// functions: status line, headers, blank line, body).
//
// The client converts a reply to GBK (code page 936) and then cuts the quote
// fields out of it at fixed byte offsets after Chinese marker texts. The
// layout below is built so that those offsets land on the values; all byte
// counts in this comment are GBK bytes (a Chinese character is two bytes,
// ASCII one), which is what the client sees after its conversion.
//
// Stock page, one line per field ("m" is the marker's first byte):
//   股票名称:NAME<          name at m + 9, up to "<"
//   币种:美元               only for a stock not quoted in yuan (B shares)
//   当前价:<span style="color:#f00"><b>12.34元   latest at m + 35, up to "元"
//   当前价:<span>(昨收)</span><b>12.34元         closed market: latest at m + 29
//   涨跌幅:<span style="color:#f00"><b>+1.23%    at m + 35, through the "%"
//   涨跌额:<span style="color:#f00"><b>+0.15元   at m + 35, up to "元"
//   昨收盘:12.19元  今开盘:  最高价:  最低价:     at m + 7, up to "元"
//   成交量:1234500股                            at m + 7, up to "股"
//   成交额:15234000元                           at m + 7, up to "元"
//   更新时间:03-18 14:32:05                     14 bytes at m + 9
//   上证指数:<span class="idx-up"><b>2209.95 +0.56%
//   深成指数:<span class="idx-dn"><b>8123.45 -0.31%
//                        index lines: the label "上证"/"深成" at x, the value
//                        at x + 33 through the first "%" after the label; the
//                        markup always holds a "-" after the label, so the
//                        fixed lead-in applies even to an unchanged index.
// The colour in the style is one of #f00 (up), #080 (down), #000 (flat),
// always four characters, so the offsets do not depend on the direction.
//
// Index page:
//   名 称:上证指数<   最 新:2209.95<   昨 收:   今 开:   最 低:   最 高:
//                        each value at m + 6, up to the next "<"; the open is
//                        "0" before the market opens
//   涨跌额:<span style="color:#f00"><b>+12.29</   at m + 35, up to "</"
//   涨跌幅:<span style="color:#f00"><b>+0.56%     at m + 35, through the "%"
//   成交量:98765432手   成交额:812.35亿元            at m + 7
//   stockat.test[03-18 14:32:05]                 the time stamp after the
//                        short domain name and "[", up to "]"
//
// The not-found page is a "200 OK" page without "当前价:".
#pragma once

#include "platform/clock.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace server {

// The quote site's host name (what the Host header names) and its short
// domain name, which stands before the "[" of an index page's time stamp.
inline constexpr std::string_view kHostName = "wap.stockat.test";
inline constexpr std::string_view kSiteDomain = "stockat.test";

// Request paths (the query follows a "?").
inline constexpr std::string_view kStockPath = "/prog/wapsite/stock/stockquery.php";
inline constexpr std::string_view kShIndexPath = "/prog/wapsite/stock/sh_stockquery.php";
inline constexpr std::string_view kSzIndexPath = "/prog/wapsite/stock/sz_stockquery.php";

// The index names that the index pages carry.
inline constexpr std::string_view kShIndexName = "上证指数";
inline constexpr std::string_view kSzIndexName = "深证成指";

// Where a trading day stands.
enum class MarketPhase {
    PreOpen,    // a weekday before 09:30: the previous close stands, no open yet
    Trading,    // 09:30-11:30 and 13:00-15:00: prices move
    Break,      // 11:30-13:00: the morning's last prices stand
    AfterClose, // after 15:00 of a trading day: today's close and today's change
    Closed,     // a quote from an earlier day (weekends, holidays): that day's close
};

// One stock's quote. Prices are in units of 10^-decimals of the currency:
// fen for shares, tenths of a fen for funds and bonds.
struct StockQuote {
    std::string code; // six digits
    std::string name; // UTF-8 short name, e.g. "招商银行"
    MarketPhase phase = MarketPhase::Trading;
    std::int64_t previousClose = 0;
    std::int64_t latest = 0;
    std::int64_t open = 0; // 0 before the open
    std::int64_t high = 0;
    std::int64_t low = 0;
    std::int64_t volume = 0;   // shares
    std::int64_t turnover = 0; // yuan
    int decimals = 2;          // 2 or 3
    // The currency when it is not the yuan ("美元", "港元"): the page names it
    // on a line of its own, since the client ends every price at "元".
    std::string currency;
};

// One index's quote. Values are in hundredths of a point.
struct IndexQuote {
    std::string name; // UTF-8, kShIndexName or kSzIndexName
    MarketPhase phase = MarketPhase::Trading;
    std::int64_t previousClose = 0;
    std::int64_t latest = 0;
    std::int64_t open = 0; // 0 before the open
    std::int64_t high = 0;
    std::int64_t low = 0;
    std::int64_t volume = 0;   // lots of 100 shares
    std::int64_t turnover = 0; // units of 1,000,000 yuan (0.01 of 100 million)
};

// "12.34" from 1234 hundredths; "-0.05" from -5.
std::string FormatHundredths(std::int64_t value);
// "+0.15", "-0.15" or "0.00": a change with its sign.
std::string FormatSignedHundredths(std::int64_t value);
// The same for a value with `decimals` (2 or 3) places: "3.912", "+0.007".
std::string FormatDecimal(std::int64_t value, int decimals);
std::string FormatSignedDecimal(std::int64_t value, int decimals);
// "+1.23%", "-1.23%" or "0.00%": the change relative to `base`, rounded to
// hundredths of a percent ("0.00%" for a base of 0).
std::string FormatPercent(std::int64_t change, std::int64_t base);
// The quote time stamp: "MM-DD HH:MM:SS", 14 bytes.
std::string FormatStamp(const platform::LocalTime& time);

// UTF-8 HTML bodies. `stamp` is the time of the quote.
std::string RenderStockPage(const StockQuote& stock, const IndexQuote& sh, const IndexQuote& sz,
                            const platform::LocalTime& stamp);
std::string RenderIndexPage(const IndexQuote& index, const platform::LocalTime& stamp);
// `code` is echoed only when it is six digits.
std::string RenderNotFoundPage(std::string_view code);

// A complete "HTTP/1.1 200 OK" reply around a body of the given content
// type, with Content-Length and "Connection: close", as the server sends it.
std::string OkReply(std::string_view contentType, std::string_view body);
// The same around a UTF-8 HTML body.
std::string HtmlReply(std::string_view body);
std::string StockPageReply(const StockQuote& stock, const IndexQuote& sh, const IndexQuote& sz,
                           const platform::LocalTime& stamp);
std::string IndexPageReply(const IndexQuote& index, const platform::LocalTime& stamp);
std::string NotFoundPageReply(std::string_view code);

} // namespace server
