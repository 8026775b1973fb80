// Adapters for the public A-share quote feeds behind the live market: how to
// name an instrument to a feed, how to ask a feed for many instruments in one
// request, and how to read its reply into quotes in the units the pages use.
//
// The readers are strict on purpose. A reply that is not what the feed sends
// when it is well (a "Forbidden" page, HTML, a truncated line, a record with
// too few fields, a number that is not a number, bytes that are not GBK, a
// line for a code that was not asked for) makes the whole reply unusable, so
// that the live market moves on to the next feed instead of serving a wrong
// price. A code the feed answers "unknown" for is not an error: it is listed
// in FeedReply::unknown.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace server {

// The exchange an instrument trades on, as the feeds prefix its code.
enum class Exchange { Sh, Sz, Bj };

// One instrument as the feeds name it: exchange and six-digit code.
struct FeedSymbol {
    Exchange exchange = Exchange::Sh;
    std::string code; // six digits

    // "sh600519", "sz000002", "bj430047".
    std::string Text() const;
    bool operator==(const FeedSymbol&) const = default;
    auto operator<=>(const FeedSymbol&) const = default;
};

// The program's code as a feed symbol: "999998" is the Shanghai composite
// index sh000001 and "999999" the Shenzhen component index sz399001; codes
// beginning 6, 5 or 900 are Shanghai, 0, 1, 2 or 3 Shenzhen, 4, 8 or 92 the
// Beijing exchange. Nothing for anything else (not six digits, or a prefix
// no exchange uses), which the server answers as not found.
std::optional<FeedSymbol> SymbolForCode(std::string_view code);

// The two index symbols that ride along with every stock page.
FeedSymbol ShIndexSymbol(); // sh000001
FeedSymbol SzIndexSymbol(); // sz399001

enum class FeedStatus { Trading, Suspended, Delisted };

// One instrument's quote as a feed gave it, in one set of units for every
// feed: prices in hundredths (fen for stocks, hundredths of a point for the
// indices), rounded half away from zero; volume in shares; turnover in yuan.
// Fields the feed leaves empty or gives as "-" are 0.
struct FeedQuote {
    FeedSymbol symbol;
    std::string name; // UTF-8, inner blanks and full-width letters kept
    FeedStatus status = FeedStatus::Trading;
    std::int64_t previousClose = 0;
    std::int64_t latest = 0; // 0 before the day's first trade
    std::int64_t open = 0;
    std::int64_t high = 0;
    std::int64_t low = 0;
    std::int64_t volume = 0;   // shares
    std::int64_t turnover = 0; // yuan
    // The feed's time stamp of the quote (its Beijing time), in milliseconds
    // since 1970-01-01 UTC.
    std::int64_t epochMs = 0;
};

// What one reply said.
struct FeedReply {
    bool ok = false;                 // false: unusable, see `error`
    std::string error;               // why, in a few words, for logs and --probe
    std::vector<FeedQuote> quotes;   // in the reply's order
    std::vector<FeedSymbol> unknown; // asked for, and the feed does not know it
};

// A feed: its name, where it is by default, the request for a set of
// symbols and the reader of the reply's body.
struct FeedAdapter {
    std::string_view name;        // "tencent", "sina", "eastmoney"
    std::string_view defaultBase; // scheme, host and port: "https://qt.gtimg.cn"
    // The request's path and query for `symbols` (at least one).
    std::string (*target)(const std::vector<FeedSymbol>& symbols);
    // Extra request headers the feed insists on (sina wants a Referer).
    std::vector<std::pair<std::string, std::string>> (*headers)();
    // Reads a reply body to a request for `asked`.
    FeedReply (*parse)(std::string_view body, const std::vector<FeedSymbol>& asked);
    // Whether the feed serves the Beijing exchange at all; symbols of an
    // exchange a feed does not serve are never asked of it.
    bool servesBeijing;
};

// The adapters, in the default order of preference: tencent, sina,
// eastmoney.
const std::vector<FeedAdapter>& FeedAdapters();
// The adapter of that name, or nullptr.
const FeedAdapter* FindFeedAdapter(std::string_view name);

// The readers, each usable on its own (tests, fuzz targets).
FeedReply ParseTencentReply(std::string_view body, const std::vector<FeedSymbol>& asked);
FeedReply ParseSinaReply(std::string_view body, const std::vector<FeedSymbol>& asked);
FeedReply ParseEastmoneyReply(std::string_view body, const std::vector<FeedSymbol>& asked);

// The pieces the readers share, usable on their own.

// A plain decimal ("32.400", "1480.5", "0") times 10^scale, rounded half
// away from zero: ParseFeedDecimal("32.405", 2) is 3241. Digits with at most
// one point and a digit before it; nothing else (no sign, blank, exponent,
// hexadecimal, "nan"); nothing when the value would not fit.
std::optional<std::int64_t> ParseFeedDecimal(std::string_view text, int scale);

// A Beijing wall-clock time (UTC+8: China has kept that offset without summer
// time since 1992) in epoch milliseconds, or nothing for an impossible date or
// time or a year before 1992 or after 9999.
std::optional<std::int64_t> BeijingTimeToEpochMs(int year, int month, int day, int hour, int minute,
                                                 int second);

} // namespace server
