// Adapters for the public A-share quote feeds behind the live market: how to
// name an instrument to a feed, how to ask a feed for many instruments in one
// request, and how to read its reply into quotes in the units the pages use.
//
// The readers are strict on purpose, at two levels. A reply that is not what
// the feed sends when it is well (a "Forbidden" page, HTML, a truncated
// reply, bytes that are not GBK, a line for a code that was not asked for)
// is unusable as a whole. A line that cannot be read (too few fields, a
// number that is not a number, an unknown status) or that is missing fails
// its own code only: the code is listed in FeedReply::failed, the other
// codes are served, and the live market asks the next feed for that code
// instead of serving a wrong price. A code the feed answers "unknown" for is
// not an error: it is listed in FeedReply::unknown.
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
// index sh000001 and "999999" the Shenzhen component index sz399001.
// Shanghai: 6 (shares), 5 (funds), 900 (B shares), 01 (treasury bonds), 110,
// 111, 113 and 118 (convertible bonds), 201 to 206 (repos). Shenzhen: every
// other code beginning 0, 1, 2 or 3 (shares, bonds, funds, 200 B shares).
// Beijing: 4, 8 or 92. Nothing for anything else (not six digits, or a
// prefix no exchange uses), which the server answers as not found.
std::optional<FeedSymbol> SymbolForCode(std::string_view code);

// Whether a symbol is an index rather than a tradable instrument: sh000xxx
// and sz399xxx.
bool IsIndexSymbol(const FeedSymbol& symbol);

// Decimal places the exchange quotes an instrument's price in: 3 for funds,
// bonds, repos and Shanghai's B shares, 2 for shares and the indices.
int PriceDecimals(const FeedSymbol& symbol);

// The currency of an instrument's prices when it is not the yuan: "美元"
// for Shanghai's B shares, "港元" for Shenzhen's; empty otherwise.
std::string_view PriceCurrency(const FeedSymbol& symbol);

// The two index symbols that ride along with every stock page.
FeedSymbol ShIndexSymbol(); // sh000001
FeedSymbol SzIndexSymbol(); // sz399001

enum class FeedStatus { Trading, Suspended, Delisted };

// One instrument's quote as a feed gave it, in one set of units for every
// feed: prices in thousandths (of a yuan, of a point for the indices),
// rounded half away from zero; volume in shares; turnover in yuan. Fields
// the feed leaves empty or gives as "-" are 0.
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
    // The change against the previous close when the line states it
    // (thousandths, signed), to check the quote against itself.
    std::optional<std::int64_t> change;
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
    // Asked for, and this feed gave no usable line for it (missing,
    // unreadable): the code's fault, not the reply's. With the reason.
    std::vector<std::pair<FeedSymbol, std::string>> failed;
};

// Why a quote read from a well-formed line cannot be true, or nothing: a
// price that is not positive where it must be, the latest outside the day's
// low and high, the stated change disagreeing with the latest and the
// previous close. Such a quote is that feed's fault for that code.
std::optional<std::string> QuoteInconsistency(const FeedQuote& quote);

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

// One feed in the order of preference, and where it is asked.
struct FeedSource {
    const FeedAdapter* adapter = nullptr;
    std::string base; // scheme, host and port
};

// "tencent" or "tencent=http://127.0.0.1:8081": a feed by name, its base
// replaced when a URL is given (the URL's scheme, host and port; a path of
// "/" at most). Nothing, with a reason in `error`, for an unknown name or an
// unusable URL.
std::optional<FeedSource> ParseFeedOption(std::string_view text, std::string* error);
// tencent, sina, eastmoney at their own addresses.
std::vector<FeedSource> DefaultFeeds();

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
// The same with an optional leading "-" or "+", for a change.
std::optional<std::int64_t> ParseSignedFeedDecimal(std::string_view text, int scale);

// A Beijing wall-clock time (UTC+8: China has kept that offset without summer
// time since 1992) in epoch milliseconds, or nothing for an impossible date or
// time or a year before 1992 or after 9999.
std::optional<std::int64_t> BeijingTimeToEpochMs(int year, int month, int day, int hour, int minute,
                                                 int second);

} // namespace server
