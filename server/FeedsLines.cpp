// The readers of the two feeds that answer in GBK JavaScript lines, one
// assignment per code:
//   tencent  v_sz002039="51~NAME~002039~13.85~...";    fields split by "~"
//   sina     var hq_str_sz002074="NAME,32.400,...";    fields split by ","
//
// The whole body is converted to UTF-8 first, so that a field separator is
// never mistaken for the second byte of a double-byte character ("~" is a
// possible GBK trail byte) and bytes that are not GBK fail the reply at once.
#include "server/Feeds.h"
#include "server/Gbk.h"

#include <map>
#include <set>

namespace server {

namespace {

struct Statement {
    std::string_view name;  // after the prefix, up to "="
    std::string_view value; // between the quotes
};

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Splits `text` into `prefix NAME="VALUE";` statements separated by blanks
// and line ends. Anything else (a "Forbidden" page, HTML, a line without its
// closing `";`) is an error, returned as its text.
std::optional<std::string> Scan(std::string_view text, std::string_view prefix,
                                std::vector<Statement>& out) {
    std::size_t pos = 0;
    while (true) {
        while (pos < text.size() && IsBlank(text[pos])) {
            ++pos;
        }
        if (pos == text.size()) {
            break;
        }
        if (text.substr(pos, prefix.size()) != prefix) {
            return out.empty() ? "not a quote reply" : "garbage between lines";
        }
        pos += prefix.size();
        std::size_t nameBegin = pos;
        while (pos < text.size() && IsNameChar(text[pos])) {
            ++pos;
        }
        std::string_view name = text.substr(nameBegin, pos - nameBegin);
        if (name.empty() || text.substr(pos, 2) != "=\"") {
            return "malformed line";
        }
        pos += 2;
        std::size_t valueEnd = text.find_first_of("\"\r\n", pos);
        if (valueEnd == std::string_view::npos || text[valueEnd] != '"') {
            return "truncated line";
        }
        if (valueEnd + 1 >= text.size() || text[valueEnd + 1] != ';') {
            return valueEnd + 1 >= text.size() ? "truncated line" : "malformed line";
        }
        out.push_back({name, text.substr(pos, valueEnd - pos)});
        pos = valueEnd + 2;
    }
    if (out.empty()) {
        return "empty reply";
    }
    return std::nullopt;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> fields;
    std::size_t begin = 0;
    while (true) {
        std::size_t end = text.find(separator, begin);
        fields.push_back(text.substr(begin, end == std::string_view::npos ? end : end - begin));
        if (end == std::string_view::npos) {
            return fields;
        }
        begin = end + 1;
    }
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// The `count` digits at `text[at]` as a number, or -1.
int Digits(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) {
        return -1;
    }
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return -1;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// Where a feed's line keeps a quote's numbers, and their scales: the
// decimal places that make one share or one yuan (prices are in
// thousandths). `change` is npos where the line states none.
struct NumberFields {
    std::size_t latest, previousClose, open, high, low, volume, turnover, change;
    int volumeScale, turnoverScale;
};

constexpr int kPriceScale = 3;

// The reader's state for one reply: the asked symbols by their text, the
// lines seen, and the reply being built.
class Reader {
  public:
    explicit Reader(const std::vector<FeedSymbol>& asked) {
        for (const FeedSymbol& s : asked) {
            if (asked_.emplace(s.Text(), s).second) {
                order_.push_back(s);
            }
        }
    }

    // The asked symbol a line names, or an error when it names none or one
    // already answered.
    const FeedSymbol* Claim(std::string_view name) {
        auto it = asked_.find(std::string(name));
        if (it == asked_.end()) {
            Fail("line for " + std::string(name) + ", not asked");
            return nullptr;
        }
        if (!seen_.insert(it->first).second) {
            Fail("two lines for " + it->first);
            return nullptr;
        }
        return &it->second;
    }

    // A price or amount field: empty and "-" are 0.
    bool Number(std::string_view field, int scale, std::int64_t& out, const FeedSymbol& s,
                int index) {
        if (field.empty() || field == "-") {
            out = 0;
            return true;
        }
        std::optional<std::int64_t> value = ParseFeedDecimal(field, scale);
        if (!value) {
            FailCode(s, "bad number in field " + std::to_string(index) + " of " + s.Text());
            return false;
        }
        out = *value;
        return true;
    }

    // The quote's numbers from the line's fields `f`, laid out as `at` says.
    bool Numbers(const std::vector<std::string_view>& f, const NumberFields& at, FeedQuote& q) {
        const FeedSymbol& s = q.symbol;
        auto read = [&](std::size_t index, int scale, std::int64_t& out) {
            return Number(f[index], scale, out, s, static_cast<int>(index));
        };
        if (!(read(at.latest, kPriceScale, q.latest) &&
              read(at.previousClose, kPriceScale, q.previousClose) &&
              read(at.open, kPriceScale, q.open) && read(at.high, kPriceScale, q.high) &&
              read(at.low, kPriceScale, q.low) && read(at.volume, at.volumeScale, q.volume) &&
              read(at.turnover, at.turnoverScale, q.turnover))) {
            return false;
        }
        if (at.change != std::string_view::npos && !f[at.change].empty()) {
            q.change = ParseSignedFeedDecimal(f[at.change], kPriceScale);
            if (!q.change) {
                FailCode(s, "bad number in field " + std::to_string(at.change) + " of " + s.Text());
                return false;
            }
        }
        return true;
    }

    // The quote's time, when the line gives one: `ms` as read from it. A
    // time that cannot be read fails the line, except for a delisted stock,
    // whose line may keep whatever stood there last.
    bool Time(bool given, std::optional<std::int64_t> ms, FeedQuote& q) {
        if (!given) {
            return true;
        }
        if (ms) {
            q.epochMs = *ms;
        } else if (q.status != FeedStatus::Delisted) {
            FailCode(q.symbol, "bad time for " + q.symbol.Text());
            return false;
        }
        return true;
    }

    void Fail(std::string error) {
        if (reply_.error.empty()) {
            reply_.error = std::move(error);
        }
    }
    // A line that fails its own code only.
    void FailCode(const FeedSymbol& s, std::string error) {
        reply_.failed.push_back({s, std::move(error)});
    }
    bool Failed() const { return !reply_.error.empty(); }
    void Add(FeedQuote quote) { reply_.quotes.push_back(std::move(quote)); }
    void Unknown(const FeedSymbol& s) { reply_.unknown.push_back(s); }
    bool Seen(const FeedSymbol& s) const { return seen_.count(s.Text()) != 0; }
    const std::vector<FeedSymbol>& Asked() const { return order_; }

    FeedReply Finish() {
        if (Failed()) {
            FeedReply failed;
            failed.error = reply_.error;
            return failed;
        }
        reply_.ok = true;
        return std::move(reply_);
    }

  private:
    std::map<std::string, FeedSymbol> asked_;
    std::vector<FeedSymbol> order_;
    std::set<std::string> seen_;
    FeedReply reply_;
};

// The body in UTF-8 and its statements, or the reason it has none.
std::optional<std::string> Prepare(std::string_view body, std::string_view prefix,
                                   std::string& utf8, std::vector<Statement>& statements) {
    std::optional<std::string> converted = GbkToUtf8(body);
    if (!converted) {
        return "not GBK";
    }
    utf8 = std::move(*converted);
    return Scan(utf8, prefix, statements);
}

FeedReply Failure(std::string error) {
    FeedReply reply;
    reply.error = std::move(error);
    return reply;
}

// Tencent's field positions.
constexpr std::size_t kTencentMinFields = 45;
enum TencentField {
    kTcName = 1,
    kTcCode = 2,
    kTcLatest = 3,
    kTcPreviousClose = 4,
    kTcOpen = 5,
    kTcVolumeLots = 6,
    kTcTime = 30,
    kTcChange = 31,
    kTcHigh = 33,
    kTcLow = 34,
    kTcTurnoverWan = 37,
    kTcStatus = 40,
};
// Volume in lots of 100 shares, turnover in units of 10,000 yuan.
constexpr NumberFields kTencentNumbers{.latest = kTcLatest,
                                       .previousClose = kTcPreviousClose,
                                       .open = kTcOpen,
                                       .high = kTcHigh,
                                       .low = kTcLow,
                                       .volume = kTcVolumeLots,
                                       .turnover = kTcTurnoverWan,
                                       .change = kTcChange,
                                       .volumeScale = 2,
                                       .turnoverScale = 4};
// The STAR market's shares (688, 689) trade by the share, and tencent gives
// their volume in shares.
constexpr NumberFields kTencentStarNumbers = [] {
    NumberFields f = kTencentNumbers;
    f.volumeScale = 0;
    return f;
}();

bool IsStar(const FeedSymbol& s) {
    return s.exchange == Exchange::Sh &&
           (s.code.rfind("688", 0) == 0 || s.code.rfind("689", 0) == 0);
}

// "YYYYMMDDhhmmss", Beijing time.
std::optional<std::int64_t> TencentTime(std::string_view text) {
    if (text.size() != 14) {
        return std::nullopt;
    }
    int y = Digits(text, 0, 4), mo = Digits(text, 4, 2), d = Digits(text, 6, 2);
    int h = Digits(text, 8, 2), mi = Digits(text, 10, 2), s = Digits(text, 12, 2);
    if (y < 0 || mo < 0 || d < 0 || h < 0 || mi < 0 || s < 0) {
        return std::nullopt;
    }
    return BeijingTimeToEpochMs(y, mo, d, h, mi, s);
}

void ReadTencentLine(Reader& reader, const Statement& st) {
    if (st.name == "pv_none_match") {
        // Says that some asked code is not known; which, the lines tell.
        if (st.value != "1") {
            reader.Fail("malformed none-match line");
        }
        return;
    }
    const FeedSymbol* s = reader.Claim(st.name);
    if (!s) {
        return;
    }
    std::vector<std::string_view> f = Split(st.value, '~');
    if (f.size() < kTencentMinFields) {
        reader.FailCode(*s, "too few fields for " + s->Text());
        return;
    }
    if (f[kTcCode] != s->code) {
        reader.FailCode(*s, "code " + std::string(f[kTcCode]) + " in the line for " + s->Text());
        return;
    }
    FeedQuote q;
    q.symbol = *s;
    q.name = Trim(f[kTcName]);
    if (q.name.empty()) {
        reader.FailCode(*s, "no name for " + s->Text());
        return;
    }
    std::string_view status = f[kTcStatus];
    if (status == "S") {
        q.status = FeedStatus::Suspended;
    } else if (status == "D") {
        q.status = FeedStatus::Delisted;
    } else if (!status.empty()) {
        reader.FailCode(*s, "unknown status for " + s->Text());
        return;
    }
    if (!reader.Numbers(f, IsStar(*s) ? kTencentStarNumbers : kTencentNumbers, q) ||
        !reader.Time(!f[kTcTime].empty(), TencentTime(f[kTcTime]), q)) {
        return;
    }
    reader.Add(std::move(q));
}

// Sina's field positions.
constexpr std::size_t kSinaMinFields = 32; // through the time; the status may follow
enum SinaField {
    kSnName = 0,
    kSnOpen = 1,
    kSnPreviousClose = 2,
    kSnLatest = 3,
    kSnHigh = 4,
    kSnLow = 5,
    kSnVolume = 8,
    kSnTurnover = 9,
    kSnDate = 30,
    kSnTime = 31,
    kSnStatus = 32,
};
// Volume in shares, turnover in yuan.
constexpr NumberFields kSinaNumbers{.latest = kSnLatest,
                                    .previousClose = kSnPreviousClose,
                                    .open = kSnOpen,
                                    .high = kSnHigh,
                                    .low = kSnLow,
                                    .volume = kSnVolume,
                                    .turnover = kSnTurnover,
                                    .change = std::string_view::npos,
                                    .volumeScale = 0,
                                    .turnoverScale = 0};
// Sina gives an index's volume in lots of 100 shares.
constexpr NumberFields kSinaIndexNumbers = [] {
    NumberFields f = kSinaNumbers;
    f.volumeScale = 2;
    return f;
}();

// "YYYY-MM-DD" and "HH:MM:SS", Beijing time.
std::optional<std::int64_t> SinaTime(std::string_view date, std::string_view time) {
    if (date.size() != 10 || date[4] != '-' || date[7] != '-' || time.size() != 8 ||
        time[2] != ':' || time[5] != ':') {
        return std::nullopt;
    }
    int y = Digits(date, 0, 4), mo = Digits(date, 5, 2), d = Digits(date, 8, 2);
    int h = Digits(time, 0, 2), mi = Digits(time, 3, 2), s = Digits(time, 6, 2);
    if (y < 0 || mo < 0 || d < 0 || h < 0 || mi < 0 || s < 0) {
        return std::nullopt;
    }
    return BeijingTimeToEpochMs(y, mo, d, h, mi, s);
}

void ReadSinaLine(Reader& reader, const Statement& st) {
    const FeedSymbol* s = reader.Claim(st.name);
    if (!s) {
        return;
    }
    if (st.value.empty()) {
        reader.Unknown(*s);
        return;
    }
    std::vector<std::string_view> f = Split(st.value, ',');
    // Shanghai's lines end in one more comma.
    if (f.back().empty()) {
        f.pop_back();
    }
    if (f.size() < kSinaMinFields) {
        reader.FailCode(*s, "too few fields for " + s->Text());
        return;
    }
    FeedQuote q;
    q.symbol = *s;
    q.name = Trim(f[kSnName]);
    if (q.name.empty()) {
        reader.FailCode(*s, "no name for " + s->Text());
        return;
    }
    // Older index lines have no status: they are trading.
    if (f.size() > kSnStatus) {
        std::string_view status = f[kSnStatus];
        if (status == "03") {
            q.status = FeedStatus::Suspended;
        } else if (status == "-3") {
            q.status = FeedStatus::Delisted;
        } else if (status != "00") {
            reader.FailCode(*s, "unknown status for " + s->Text());
            return;
        }
    }
    if (!reader.Numbers(f, IsIndexSymbol(*s) ? kSinaIndexNumbers : kSinaNumbers, q) ||
        !reader.Time(!f[kSnDate].empty() || !f[kSnTime].empty(), SinaTime(f[kSnDate], f[kSnTime]),
                     q)) {
        return;
    }
    reader.Add(std::move(q));
}

// Reads a reply of `prefix`-named statements line by line. An asked code
// without a line of its own is unknown when the feed said it left unknown
// codes out (`unknownMark`, a statement's name), and otherwise that code's
// fault: the next feed is asked for it.
FeedReply ReadStatements(std::string_view body, const std::vector<FeedSymbol>& asked,
                         const char* prefix, void (*readLine)(Reader&, const Statement&),
                         std::string_view unknownMark) {
    std::string utf8;
    std::vector<Statement> statements;
    if (std::optional<std::string> error = Prepare(body, prefix, utf8, statements)) {
        return Failure(*error);
    }
    Reader reader(asked);
    bool marked = false;
    for (const Statement& st : statements) {
        marked = marked || (!unknownMark.empty() && st.name == unknownMark);
        readLine(reader, st);
        if (reader.Failed()) {
            return reader.Finish();
        }
    }
    for (const FeedSymbol& s : reader.Asked()) {
        if (reader.Seen(s)) {
            continue;
        }
        if (marked) {
            reader.Unknown(s);
        } else {
            reader.FailCode(s, "no line for " + s.Text());
        }
    }
    return reader.Finish();
}

} // namespace

// Tencent leaves a code it does not know out of its reply and says so with
// a `v_pv_none_match="1";` line. An asked code without a line of its own is
// unknown when that line is there, and otherwise missing (a reply cut short
// or a feed in trouble): that code's fault.
FeedReply ParseTencentReply(std::string_view body, const std::vector<FeedSymbol>& asked) {
    return ReadStatements(body, asked, "v_", ReadTencentLine, "pv_none_match");
}

// Sina answers every asked code with a line of its own, empty for a code it
// does not know; a code left out is that code's fault.
FeedReply ParseSinaReply(std::string_view body, const std::vector<FeedSymbol>& asked) {
    return ReadStatements(body, asked, "var hq_str_", ReadSinaLine, {});
}

} // namespace server
