// The feed symbols, the readers' shared number and time rules, and the
// table of adapters. The readers themselves are in FeedsLines.cpp (tencent,
// sina) and FeedsEastmoney.cpp.
#include "server/Feeds.h"

#include <array>

namespace server {

namespace {

bool AllDigits(std::string_view text) {
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return !text.empty();
}

// "sh600519,sz000002".
std::string SymbolList(const std::vector<FeedSymbol>& symbols) {
    std::string list;
    for (const FeedSymbol& s : symbols) {
        if (!list.empty()) {
            list += ',';
        }
        list += s.Text();
    }
    return list;
}

std::string TencentTarget(const std::vector<FeedSymbol>& symbols) {
    return "/q=" + SymbolList(symbols);
}

std::string SinaTarget(const std::vector<FeedSymbol>& symbols) {
    return "/list=" + SymbolList(symbols);
}

// Eastmoney names the market by number: 1 Shanghai, 0 Shenzhen. It is not
// asked for the Beijing exchange, whose symbols are left out.
std::string EastmoneyTarget(const std::vector<FeedSymbol>& symbols) {
    std::string secids;
    for (const FeedSymbol& s : symbols) {
        if (s.exchange == Exchange::Bj) {
            continue;
        }
        secids += secids.empty() ? "" : ",";
        secids += (s.exchange == Exchange::Sh ? "1." : "0.") + s.code;
    }
    return "/api/qt/ulist.np/get?secids=" + secids +
           "&fields=f2,f3,f4,f5,f6,f12,f13,f14,f15,f16,f17,f18,f124&fltt=2";
}

std::vector<std::pair<std::string, std::string>> NoHeaders() {
    return {};
}

// Sina answers "Forbidden" to a request that does not come from its site.
std::vector<std::pair<std::string, std::string>> SinaHeaders() {
    return {{"Referer", "https://finance.sina.com.cn"}};
}

// Days from 1970-01-01 to a civil date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool IsLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

} // namespace

std::string FeedSymbol::Text() const {
    const char* prefix = exchange == Exchange::Sh ? "sh" : exchange == Exchange::Sz ? "sz" : "bj";
    return prefix + code;
}

std::optional<FeedSymbol> SymbolForCode(std::string_view code) {
    if (code.size() != 6 || !AllDigits(code)) {
        return std::nullopt;
    }
    if (code == "999998") {
        return ShIndexSymbol();
    }
    if (code == "999999") {
        return SzIndexSymbol();
    }
    std::string text(code);
    const std::string_view two = code.substr(0, 2);
    const std::string_view three = code.substr(0, 3);
    switch (code[0]) {
    case '5':
    case '6':
        return FeedSymbol{Exchange::Sh, text};
    case '9':
        // 900 is Shanghai's B shares, 92 the Beijing exchange's new codes.
        if (three == "900") {
            return FeedSymbol{Exchange::Sh, text};
        }
        if (code[1] == '2') {
            return FeedSymbol{Exchange::Bj, text};
        }
        return std::nullopt;
    case '0':
        // Shanghai's treasury bonds; Shenzhen's shares.
        return FeedSymbol{two == "01" ? Exchange::Sh : Exchange::Sz, text};
    case '1':
        // Shanghai's convertible bonds; Shenzhen's bonds and funds.
        if (three == "110" || three == "111" || three == "113" || three == "118") {
            return FeedSymbol{Exchange::Sh, text};
        }
        return FeedSymbol{Exchange::Sz, text};
    case '2':
        // Shanghai's repos; Shenzhen's B shares.
        if (two == "20" && code[2] >= '1' && code[2] <= '6') {
            return FeedSymbol{Exchange::Sh, text};
        }
        return FeedSymbol{Exchange::Sz, text};
    case '3':
        return FeedSymbol{Exchange::Sz, text};
    case '4':
    case '8':
        return FeedSymbol{Exchange::Bj, text};
    default:
        return std::nullopt;
    }
}

bool IsIndexSymbol(const FeedSymbol& symbol) {
    const std::string_view three = std::string_view(symbol.code).substr(0, 3);
    return (symbol.exchange == Exchange::Sh && three == "000") ||
           (symbol.exchange == Exchange::Sz && three == "399");
}

int PriceDecimals(const FeedSymbol& symbol) {
    if (IsIndexSymbol(symbol) || symbol.code.empty()) {
        return 2;
    }
    const char first = symbol.code[0];
    if (symbol.exchange == Exchange::Sh) {
        // Shares (6) quote fen; funds (5), B shares (900), bonds and repos
        // (0, 1, 2) tenths of a fen.
        return first == '6' ? 2 : 3;
    }
    if (symbol.exchange == Exchange::Sz) {
        // Funds, bonds and repos (1) quote tenths of a fen; shares and the
        // B shares (200, in Hong Kong cents) fen.
        return first == '1' ? 3 : 2;
    }
    return 2;
}

std::string_view PriceCurrency(const FeedSymbol& symbol) {
    const std::string_view three = std::string_view(symbol.code).substr(0, 3);
    if (symbol.exchange == Exchange::Sh && three == "900") {
        return "美元";
    }
    if (symbol.exchange == Exchange::Sz && three == "200") {
        return "港元";
    }
    return {};
}

std::optional<std::string> QuoteInconsistency(const FeedQuote& q) {
    if (q.status == FeedStatus::Delisted) {
        return std::nullopt;
    }
    if (q.previousClose <= 0) {
        return "no previous close";
    }
    if (q.status == FeedStatus::Suspended || q.latest == 0) {
        // No trade today: nothing to check against the day's range.
        return std::nullopt;
    }
    if (q.high <= 0 || q.low <= 0 || q.low > q.high) {
        return "no day's range";
    }
    if (q.latest < q.low || q.latest > q.high) {
        return "latest outside the day's range";
    }
    if (q.open != 0 && (q.open < q.low || q.open > q.high)) {
        return "open outside the day's range";
    }
    // The stated change, where the line states one, to within the feed's
    // rounding of its last digit.
    if (q.change) {
        const std::int64_t expected = q.latest - q.previousClose;
        const std::int64_t off = *q.change > expected ? *q.change - expected : expected - *q.change;
        if (off > 10) {
            return "change disagrees with latest and previous close";
        }
    }
    return std::nullopt;
}

FeedSymbol ShIndexSymbol() {
    return FeedSymbol{Exchange::Sh, "000001"};
}

FeedSymbol SzIndexSymbol() {
    return FeedSymbol{Exchange::Sz, "399001"};
}

std::optional<std::int64_t> ParseFeedDecimal(std::string_view text, int scale) {
    if (scale < 0 || scale > 6) {
        return std::nullopt;
    }
    std::size_t point = text.find('.');
    std::string_view whole = text.substr(0, point);
    std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (!AllDigits(whole) || (point != std::string_view::npos && !AllDigits(fraction))) {
        return std::nullopt;
    }
    // Leading zeros aside, 12 whole digits and 6 of scale stay far inside
    // 64 bits.
    std::size_t first = whole.find_first_not_of('0');
    if (first != std::string_view::npos && whole.size() - first > 12) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (char c : whole) {
        value = value * 10 + (c - '0');
    }
    for (int i = 0; i < scale; ++i) {
        value =
            value * 10 + (static_cast<std::size_t>(i) < fraction.size() ? fraction[i] - '0' : 0);
    }
    // Half away from zero: only the first dropped digit decides.
    if (fraction.size() > static_cast<std::size_t>(scale) && fraction[scale] >= '5') {
        ++value;
    }
    return value;
}

std::optional<std::int64_t> ParseSignedFeedDecimal(std::string_view text, int scale) {
    const bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        text.remove_prefix(1);
    }
    std::optional<std::int64_t> value = ParseFeedDecimal(text, scale);
    if (value && negative) {
        *value = -*value;
    }
    return value;
}

std::optional<std::int64_t> BeijingTimeToEpochMs(int year, int month, int day, int hour, int minute,
                                                 int second) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1992 || year > 9999 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 59) {
        return std::nullopt;
    }
    int monthDays = kDays[static_cast<std::size_t>(month - 1)] + (month == 2 && IsLeapYear(year));
    if (day > monthDays) {
        return std::nullopt;
    }
    std::int64_t days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second - 8 * 3600;
    return seconds * 1000;
}

const std::vector<FeedAdapter>& FeedAdapters() {
    // Whether a feed serves the Beijing exchange, and under which names, is
    // not settled for any of them: none is asked for it.
    static const std::vector<FeedAdapter> adapters = {
        {"tencent", "https://qt.gtimg.cn", TencentTarget, NoHeaders, ParseTencentReply, false},
        {"sina", "https://hq.sinajs.cn", SinaTarget, SinaHeaders, ParseSinaReply, false},
        {"eastmoney", "https://push2.eastmoney.com", EastmoneyTarget, NoHeaders,
         ParseEastmoneyReply, false},
    };
    return adapters;
}

const FeedAdapter* FindFeedAdapter(std::string_view name) {
    for (const FeedAdapter& adapter : FeedAdapters()) {
        if (adapter.name == name) {
            return &adapter;
        }
    }
    return nullptr;
}

} // namespace server
