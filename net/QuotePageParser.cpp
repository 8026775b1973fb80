// The quote page parser. Every rule follows one pattern: set the field to its
// default, find the marker (present only at a position greater than 0), find
// the end text from the marker's first byte, and take the bytes between a
// fixed offset from the marker and the end text when their length lies
// within the rule's bounds.
#include "net/QuotePageParser.h"

#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "net/HttpFetch.h"

#include <algorithm>
#include <cstring>

std::string LastUpdateTime;
std::string ShIndexText;
std::string SzIndexText;

namespace {

constexpr std::size_t kNone = std::string::npos;

// Markers and end texts, GBK.
constexpr const char* kStockName = "\271\311\306\261\303\373\263\306:"; // "股票名称:"
constexpr const char* kClosedMark = "(\327\362\312\325)";               // "(昨收)"
constexpr const char* kCurrentPrice = "\265\261\307\260\274\333";       // "当前价"
constexpr const char* kChangePercent = "\325\307\265\370\267\371";      // "涨跌幅"
constexpr const char* kChangeAmount = "\325\307\265\370\266\356";       // "涨跌额"
constexpr const char* kPreviousClose = "\327\362\312\325\305\314";      // "昨收盘"
constexpr const char* kTodayOpen = "\275\361\277\252\305\314";          // "今开盘"
constexpr const char* kHighPrice = "\327\356\270\337\274\333";          // "最高价"
constexpr const char* kLowPrice = "\327\356\265\315\274\333";           // "最低价"
constexpr const char* kUpdateTime = "\270\374\320\302\312\261\274\344"; // "更新时间"
constexpr const char* kVolume = "\263\311\275\273\301\277";             // "成交量"
constexpr const char* kTurnover = "\263\311\275\273\266\356";           // "成交额"
constexpr const char* kYuan = "\324\252";                               // "元"
constexpr const char* kShares = "\271\311";                             // "股"
constexpr const char* kLots = "\312\326";                               // "手"
constexpr const char* kHundredMillionYuan = "\322\332\324\252";         // "亿元"
constexpr const char* kIndexName = "\303\373 \263\306:";                // "名 称:"
constexpr const char* kIndexLatest = "\327\356 \320\302:";              // "最 新:"
constexpr const char* kIndexPreviousClose = "\327\362 \312\325:";       // "昨 收:"
constexpr const char* kIndexOpen = "\275\361 \277\252:";                // "今 开:"
constexpr const char* kIndexLow = "\327\356 \265\315:";                 // "最 低:"
constexpr const char* kIndexHigh = "\327\356 \270\337:";                // "最 高:"

constexpr std::size_t kUpdateTimeLength = 14;

// Position of the first occurrence of `text` at or after `from`, or kNone.
std::size_t Find(const std::string& page, const char* text, std::size_t from) {
    return page.find(text, from);
}

// Position of a marker when it is present (found at a position greater
// than 0), kNone otherwise.
std::size_t Marker(const std::string& page, const char* marker) {
    std::size_t m = Find(page, marker, 0);
    return (m == kNone || m == 0) ? kNone : m;
}

// Cuts the value that starts `offset` bytes after the marker's first byte and
// runs up to the end text (found from the marker's first byte). With
// `withEnd` the end text's first byte is part of the value. The value is
// written into `field` only when its length lies in [minLength, maxLength].
void Cut(const std::string& page, const char* marker, std::size_t offset, const char* end,
         bool withEnd, std::size_t minLength, std::size_t maxLength, std::string& field) {
    std::size_t m = Marker(page, marker);
    if (m == kNone) {
        return;
    }
    std::size_t e = Find(page, end, m);
    if (e == kNone) {
        return;
    }
    std::size_t begin = m + offset;
    std::size_t stop = withEnd ? e + 1 : e;
    if (stop < begin) {
        return;
    }
    std::size_t length = stop - begin;
    if (length < minLength || length > maxLength) {
        return;
    }
    field.assign(page, begin, length);
}

constexpr std::size_t kNoBound = static_cast<std::size_t>(-1);

// The longest price or change amount taken from a stock page: a sign, eight
// whole digits, the point and three decimals ("-12345678.901"), far above
// any price an A share has traded at (four- and five-digit prices are real).
// The bound still refuses a value whose own end text is missing: on the
// quote pages the next "元" then lies past the markup, the line break and the
// next marker, 15 bytes or more away.
constexpr std::size_t kPriceMaxLength = 13;
// A change percentage with its sign and two decimals: the exchanges' limits
// keep it under 100 %, but a new listing's first day has none ("+150.00%",
// "+1234.56%").
constexpr std::size_t kPercentMaxLength = 10;

// g++ 12 at -O3 takes these inlined assignments of a literal to a std::string for an overlapping
// copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
void ParseStockPage(const std::string& page, QuoteRecord& r) {
    r.name = "--";
    Cut(page, kStockName, 9, "<", false, 1, kNoBound, r.name);

    bool closed = Marker(page, kClosedMark) != kNone;

    r.latest = "0";
    Cut(page, kCurrentPrice, closed ? 29 : 35, kYuan, false, 1, kNoBound, r.latest);

    if (closed) {
        r.changePercent = "0%";
        r.change = r.previousClose = r.open = r.high = r.low = r.volume = r.turnover = "0";
        r.updateTime = "--";
        return;
    }

    r.changePercent = "0%";
    Cut(page, kChangePercent, 35, "%", true, 1, kPercentMaxLength, r.changePercent);
    r.change = "0";
    Cut(page, kChangeAmount, 35, kYuan, false, 1, kPriceMaxLength, r.change);
    r.previousClose = "0";
    Cut(page, kPreviousClose, 7, kYuan, false, 1, kPriceMaxLength, r.previousClose);
    if (r.latest == "0") {
        r.latest = r.previousClose;
    }
    r.open = "0";
    Cut(page, kTodayOpen, 7, kYuan, false, 1, kPriceMaxLength, r.open);
    r.high = "0";
    Cut(page, kHighPrice, 7, kYuan, false, 1, kPriceMaxLength, r.high);
    r.low = "0";
    Cut(page, kLowPrice, 7, kYuan, false, 1, kPriceMaxLength, r.low);

    r.updateTime = "--";
    // A page that ends within the 14 bytes gives what it has, down to the
    // empty text when it ends right at the value's first byte.
    if (std::optional<std::string> time = StockPageUpdateTime(page)) {
        r.updateTime = *time;
    }
    LastUpdateTime = r.updateTime;

    r.volume = "0";
    Cut(page, kVolume, 7, kShares, false, 1, 19, r.volume);
    r.turnover = "0";
    Cut(page, kTurnover, 7, kYuan, false, 1, 14, r.turnover);

    ShIndexText = IndexLineText(page, kShIndexLabel);
    SzIndexText = IndexLineText(page, kSzIndexLabel);
}

void ParseIndexPage(const std::string& page, QuoteRecord& r) {
    // The name has no default: an absent marker keeps the old name.
    Cut(page, kIndexName, 6, "<", false, 0, kNoBound, r.name);
    r.latest = "0";
    Cut(page, kIndexLatest, 6, "<", false, 0, kNoBound, r.latest);
    r.previousClose = "0";
    Cut(page, kIndexPreviousClose, 6, "<", false, 0, kNoBound, r.previousClose);
    r.open = "0";
    Cut(page, kIndexOpen, 6, "<", false, 0, kNoBound, r.open);
    r.low = "0";
    Cut(page, kIndexLow, 6, "<", false, 0, kNoBound, r.low);
    r.high = "0";
    Cut(page, kIndexHigh, 6, "<", false, 0, kNoBound, r.high);

    r.updateTime = "--";
    const std::string stampMarker = std::string(kQuoteSiteShortName) + "[";
    Cut(page, stampMarker.c_str(), stampMarker.size(), "]", false, 1, kNoBound, r.updateTime);
    // The time stamp is always copied to the shared text, as the stock page's
    // rule does: it then shows the time of the last page parsed.
    LastUpdateTime = r.updateTime;

    if (r.open == "0") {
        r.changePercent = "0%";
        r.change = r.volume = r.turnover = "0";
        return;
    }
    r.change = "0";
    Cut(page, kChangeAmount, 35, "</", false, 0, kNoBound, r.change);
    r.changePercent = "0%";
    Cut(page, kChangePercent, 35, "%", true, 1, kPercentMaxLength, r.changePercent);
    r.volume = "0";
    Cut(page, kVolume, 7, kLots, false, 1, 19, r.volume);
    r.turnover = "0";
    Cut(page, kTurnover, 7, kHundredMillionYuan, false, 1, 14, r.turnover);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

} // namespace

std::optional<std::string> StockPageUpdateTime(const std::string& reply) {
    std::size_t m = Marker(reply, kUpdateTime);
    if (m == kNone) {
        return std::nullopt;
    }
    // The marker may be the page's last bytes: nothing is then read past
    // its end.
    std::size_t begin = std::min(m + 9, reply.size());
    return reply.substr(begin, kUpdateTimeLength);
}

std::string IndexLineText(const std::string& reply, const char* label) {
    std::size_t x = Marker(reply, label);
    if (x == kNone) {
        return std::string();
    }
    std::size_t p = Find(reply, "%", x);
    if (p == kNone || p <= x) {
        return std::string();
    }
    std::size_t lineLength = p - x;
    std::size_t innerBegin = x + 4;
    std::string inner = innerBegin < p ? reply.substr(innerBegin, p - innerBegin) : std::string();
    std::size_t plus = inner.find('+');
    std::size_t minus = inner.find('-');
    bool signed_ = (plus != kNone && plus > 0) || (minus != kNone && minus > 0);
    if (signed_ && lineLength > 32) {
        return reply.substr(x + 33, p - (x + 33) + 1);
    }
    bool markup = inner.size() > 1 && inner.find('>', 1) != kNone;
    if (!markup && lineLength > 3) {
        return reply.substr(x + 4, p - (x + 4) + 1);
    }
    return std::string();
}

int ParseQuotePage(int i) {
    if (i < 0 || i >= kWatchListSize) {
        return 0;
    }
    QuoteRecord& r = WatchList[i];
    if (r.code == "999998" || r.code == "999999") {
        ParseIndexPage(LastReply, r);
    } else {
        ParseStockPage(LastReply, r);
    }
    return 0;
}

namespace {

// These values go back to their start with the rest of the program's state.
[[maybe_unused]] const bool kStateResetRegistered = RegisterStateReset([] {
    LastUpdateTime.clear();
    ShIndexText.clear();
    SzIndexText.clear();
});

} // namespace
