// The watch list's storage, RemoveStock, and the number readers that every
// part of the program uses on record and settings texts.
#include "common/QuoteRecord.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

QuoteRecord WatchList[kWatchListSize];
std::int32_t stockCount = 0;
std::string previewMode;
SettingsRecord Settings;

std::string& FieldOf(QuoteRecord& r, int f) {
    switch (f) {
    case 0:
        return r.code;
    case 1:
        return r.name;
    case 2:
        return r.latest;
    case 3:
        return r.changePercent;
    case 4:
        return r.sellTarget;
    case 5:
        return r.sellAlerted;
    case 6:
        return r.buyTarget;
    case 7:
        return r.buyAlerted;
    case 8:
        return r.change;
    case 9:
        return r.previousClose;
    case 10:
        return r.open;
    case 11:
        return r.high;
    case 12:
        return r.low;
    case 13:
        return r.turnover;
    case 14:
        return r.volume;
    default:
        return r.updateTime;
    }
}

const std::string& FieldOf(const QuoteRecord& r, int f) {
    return FieldOf(const_cast<QuoteRecord&>(r), f);
}

int RemoveStock(int index) {
    if (index < 0 || index >= stockCount) {
        return -1;
    }
    for (int p = index; p <= stockCount - 2; ++p) {
        WatchList[p] = WatchList[p + 1];
    }
    --stockCount;
    return 0;
}

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Moves `p` past the leading blanks and an optional sign of a number; true
// when the sign was "-".
bool SkipBlanksAndSign(const char*& p) {
    while (IsBlank(*p)) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    return negative;
}

} // namespace

double ReadNumber(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    const char* p = text;
    const bool negative = SkipBlanksAndSign(p);
    const char* begin = p;
    int digits = 0;
    while (IsDigit(*p)) {
        ++p;
        ++digits;
    }
    if (*p == '.') {
        ++p;
        while (IsDigit(*p)) {
            ++p;
            ++digits;
        }
    }
    if (digits == 0) {
        return 0;
    }
    bool negativeExponent = false;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        if (*q == '+' || *q == '-') {
            negativeExponent = *q == '-';
            ++q;
        }
        if (IsDigit(*q)) {
            while (IsDigit(*q)) {
                ++q;
            }
            p = q;
        } else {
            negativeExponent = false;
        }
    }
    // from_chars is independent of the C locale, which a front-end may have
    // changed (a decimal comma would otherwise break every price).
    double value = 0;
    auto [end, ec] = std::from_chars(begin, p, value, std::chars_format::general);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        value = negativeExponent ? 0.0 : HUGE_VAL;
    } else if (ec != std::errc()) {
        value = 0;
    }
    return negative ? -value : value;
}

double ReadNumber(const std::string& text) {
    return ReadNumber(text.c_str());
}

std::int32_t ReadInteger(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    const char* p = text;
    const bool negative = SkipBlanksAndSign(p);
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    while (IsDigit(*p)) {
        if (value <= kLimit) {
            value = value * 10 + (*p - '0');
        }
        ++p;
    }
    if (negative) {
        value = -value;
    }
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

std::int32_t ReadInteger(const std::string& text) {
    return ReadInteger(text.c_str());
}
