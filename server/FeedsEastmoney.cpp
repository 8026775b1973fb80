// The reader of eastmoney's JSON list reply:
//   {"rc":0,...,"data":{"total":2,"diff":[{"f2":1480.5,...,"f12":"600519",
//    "f13":1,"f14":"NAME",...},...]}}
// with `data` null when the feed knows none of the asked codes.
//
// A JSON number is read as a double by default, and a double cannot hold
// 1480.505 exactly. The reply is therefore parsed with nlohmann's SAX
// interface into a document whose numbers keep the text they were written
// with (stored as binary values, which JSON text itself can never produce),
// and that text is read with the same decimal rules as the other feeds.
#include "server/Feeds.h"

#include <nlohmann/json.hpp>

#include <map>
#include <set>

namespace server {

namespace {

using nlohmann::json;

// Builds a json document in which every number is a binary value holding
// the number's text. Refuses duplicate keys and nesting deeper than any
// reply of the feed goes.
class ExactNumberDocument {
  public:
    using number_integer_t = json::number_integer_t;
    using number_unsigned_t = json::number_unsigned_t;
    using number_float_t = json::number_float_t;
    using string_t = json::string_t;
    using binary_t = json::binary_t;

    explicit ExactNumberDocument(json& root) : root_(root) {}

    bool null() { return Put(nullptr) != nullptr; }
    bool boolean(bool value) { return Put(value) != nullptr; }
    bool number_integer(number_integer_t value) { return Number(std::to_string(value)); }
    bool number_unsigned(number_unsigned_t value) { return Number(std::to_string(value)); }
    bool number_float(number_float_t, const string_t& text) { return Number(text); }
    bool string(string_t& value) { return Put(std::move(value)) != nullptr; }
    bool binary(binary_t&) { return false; }
    bool start_object(std::size_t) { return Open(json::object()); }
    bool key(string_t& key) {
        json& object = *stack_.back();
        if (object.contains(key)) {
            return false;
        }
        slot_ = &object[key];
        return true;
    }
    bool end_object() { return Close(); }
    bool start_array(std::size_t) { return Open(json::array()); }
    bool end_array() { return Close(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
        return false;
    }

  private:
    static constexpr std::size_t kMaxDepth = 16;

    json* Put(json value) {
        if (stack_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        json& top = *stack_.back();
        if (top.is_array()) {
            top.push_back(std::move(value));
            return &top.back();
        }
        *slot_ = std::move(value);
        return slot_;
    }
    bool Number(const std::string& text) {
        return Put(json::binary(std::vector<std::uint8_t>(text.begin(), text.end()))) != nullptr;
    }
    bool Open(json container) {
        if (stack_.size() >= kMaxDepth) {
            return false;
        }
        stack_.push_back(Put(std::move(container)));
        return true;
    }
    bool Close() {
        stack_.pop_back();
        return true;
    }

    json& root_;
    std::vector<json*> stack_; // the open containers, innermost last
    json* slot_ = nullptr;     // the value of the key just read
};

// The text of a number of the document, or nothing for any other value.
std::optional<std::string> NumberText(const json& value) {
    if (!value.is_binary()) {
        return std::nullopt;
    }
    const auto& bytes = value.get_binary();
    return std::string(bytes.begin(), bytes.end());
}

// A JSON number's text as a plain decimal: an exponent ("2.9781234E11", as
// a serializer may write a large turnover) moves the point, exactly. Signs
// are kept, for ParseFeedDecimal to refuse.
std::string PlainDecimal(const std::string& text) {
    std::size_t e = text.find_first_of("eE");
    if (e == std::string::npos) {
        return text;
    }
    std::string mantissa = text.substr(0, e);
    std::string exponent = text.substr(e + 1);
    if (!exponent.empty() && exponent[0] == '+') {
        exponent.erase(0, 1);
    }
    bool negative = !exponent.empty() && exponent[0] == '-';
    std::string digitsOfExponent = negative ? exponent.substr(1) : exponent;
    if (digitsOfExponent.empty() || digitsOfExponent.size() > 2 ||
        digitsOfExponent.find_first_not_of("0123456789") != std::string::npos) {
        return text; // refused by ParseFeedDecimal
    }
    int shift = std::stoi(digitsOfExponent) * (negative ? -1 : 1);
    std::size_t point = mantissa.find('.');
    std::string digits = mantissa;
    if (point != std::string::npos) {
        digits.erase(point, 1);
    } else {
        point = mantissa.size();
    }
    long newPoint = static_cast<long>(point) + shift;
    if (newPoint <= 0) {
        return "0." + std::string(static_cast<std::size_t>(-newPoint), '0') + digits;
    }
    if (static_cast<std::size_t>(newPoint) >= digits.size()) {
        return digits + std::string(static_cast<std::size_t>(newPoint) - digits.size(), '0');
    }
    return digits.substr(0, static_cast<std::size_t>(newPoint)) + "." +
           digits.substr(static_cast<std::size_t>(newPoint));
}

FeedReply Failure(std::string error) {
    FeedReply reply;
    reply.error = std::move(error);
    return reply;
}

// A number field of a row: "-" (no value, as for a suspended stock) is 0,
// anything but a plain non-negative decimal number an error.
bool Field(const json& row, const char* key, int scale, std::int64_t& out) {
    auto it = row.find(key);
    if (it == row.end()) {
        return false;
    }
    if (it->is_string() && it->get_ref<const std::string&>() == "-") {
        out = 0;
        return true;
    }
    std::optional<std::string> text = NumberText(*it);
    std::optional<std::int64_t> value =
        text ? ParseFeedDecimal(PlainDecimal(*text), scale) : std::nullopt;
    if (!value) {
        return false;
    }
    out = *value;
    return true;
}

const std::string* StringField(const json& row, const char* key) {
    auto it = row.find(key);
    return it != row.end() && it->is_string() ? &it->get_ref<const std::string&>() : nullptr;
}

} // namespace

// Eastmoney leaves a code it does not know out of data.diff, and gives
// "data": null when it knows none of them.
FeedReply ParseEastmoneyReply(std::string_view body, const std::vector<FeedSymbol>& asked) {
    json doc;
    ExactNumberDocument builder(doc);
    bool parsed = false;
    try {
        parsed = json::sax_parse(body.begin(), body.end(), &builder);
    } catch (const json::exception&) {
        parsed = false;
    }
    if (!parsed || !doc.is_object()) {
        return Failure("not a JSON reply");
    }
    if (auto rc = doc.find("rc"); rc != doc.end() && NumberText(*rc) != "0") {
        return Failure("feed error");
    }
    auto data = doc.find("data");
    if (data == doc.end() || !(data->is_null() || data->is_object())) {
        return Failure("no data in the reply");
    }

    std::map<std::string, FeedSymbol> wanted;
    std::vector<FeedSymbol> order;
    for (const FeedSymbol& s : asked) {
        if (wanted.emplace(s.Text(), s).second) {
            order.push_back(s);
        }
    }
    FeedReply reply;
    std::set<std::string> seen;
    if (data->is_object()) {
        auto diff = data->find("diff");
        if (diff == data->end() || !diff->is_array()) {
            return Failure("no rows in the reply");
        }
        for (const json& row : *diff) {
            if (!row.is_object()) {
                return Failure("a row is not an object");
            }
            const std::string* code = StringField(row, "f12");
            auto market = row.find("f13");
            std::optional<std::string> marketText =
                market != row.end() ? NumberText(*market) : std::nullopt;
            if (!code || !marketText || (*marketText != "0" && *marketText != "1")) {
                return Failure("a row without its code or market");
            }
            FeedSymbol symbol{*marketText == "1" ? Exchange::Sh : Exchange::Sz, *code};
            std::string text = symbol.Text();
            auto it = wanted.find(text);
            if (it == wanted.end()) {
                return Failure("row for " + text + ", not asked");
            }
            if (!seen.insert(text).second) {
                return Failure("two rows for " + text);
            }
            FeedQuote q;
            q.symbol = it->second;
            const std::string* name = StringField(row, "f14");
            std::size_t first = name ? name->find_first_not_of(" \t") : std::string::npos;
            if (first == std::string::npos) {
                reply.failed.push_back({it->second, "no name for " + text});
                continue;
            }
            // Outer blanks go, inner ones stay.
            q.name = name->substr(first, name->find_last_not_of(" \t") + 1 - first);
            // Lots of 100 shares; the time stamp in epoch seconds.
            if (!Field(row, "f2", 3, q.latest) || !Field(row, "f18", 3, q.previousClose) ||
                !Field(row, "f17", 3, q.open) || !Field(row, "f15", 3, q.high) ||
                !Field(row, "f16", 3, q.low) || !Field(row, "f5", 2, q.volume) ||
                !Field(row, "f6", 0, q.turnover) || !Field(row, "f124", 3, q.epochMs)) {
                reply.failed.push_back({it->second, "a missing or bad number for " + text});
                continue;
            }
            // A suspended stock has no latest price: "-".
            if (auto latest = row.find("f2"); latest->is_string()) {
                q.status = FeedStatus::Suspended;
            }
            if (auto change = row.find("f4"); change != row.end()) {
                if (std::optional<std::string> t = NumberText(*change)) {
                    q.change = ParseSignedFeedDecimal(PlainDecimal(*t), 3);
                }
            }
            reply.quotes.push_back(std::move(q));
        }
    }
    for (const FeedSymbol& s : order) {
        if (!seen.count(s.Text())) {
            reply.unknown.push_back(s);
        }
    }
    reply.ok = true;
    return reply;
}

} // namespace server
