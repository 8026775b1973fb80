// A strict reader of the quote server's request heads (see RequestHead.h).
#include "server/RequestHead.h"

#include <array>
#include <optional>

namespace server {
namespace {

// The characters of a token (a method, a header name).
bool IsTokenChar(unsigned char c) {
    if (c >= '0' && c <= '9')
        return true;
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z')
        return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

bool IsToken(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (!IsTokenChar(static_cast<unsigned char>(c)))
            return false;
    return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// A Content-Length value: decimal digits only, at most 18 of them.
std::optional<unsigned long long> ParseLength(std::string_view text) {
    text = Trim(text);
    if (text.empty() || text.size() > 18)
        return std::nullopt;
    unsigned long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned long long>(c - '0');
    }
    return value;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
        return (c | 0x20) - 'a' + 10;
    return -1;
}

// The request line's target, split into the decoded path and code.
bool ReadTarget(std::string_view target, RequestHead& head) {
    // The absolute form ("http://host/path") names the host in the target.
    if (target.size() > 7 && EqualsNoCase(target.substr(0, 7), "http://")) {
        std::size_t slash = target.find('/', 7);
        target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
    }
    if (target.empty() || target.front() != '/')
        return false;
    std::size_t mark = target.find('?');
    head.path = DecodePercent(target.substr(0, mark), false);
    if (mark == std::string_view::npos)
        return true;
    std::string_view query = target.substr(mark + 1);
    while (!query.empty()) {
        std::size_t amp = query.find('&');
        std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        std::size_t eq = pair.find('=');
        if (DecodePercent(pair.substr(0, eq), true) == "code") {
            head.code =
                eq == std::string_view::npos ? "" : DecodePercent(pair.substr(eq + 1), true);
            break;
        }
    }
    return true;
}

} // namespace

int RefusalStatus(Refusal refusal) {
    switch (refusal) {
    case Refusal::BadHead:
        return 400;
    case Refusal::TooLarge:
        return 431;
    case Refusal::Method:
        return 405;
    case Refusal::Body:
        return 413;
    case Refusal::Expectation:
        return 417;
    case Refusal::Version:
        return 505;
    case Refusal::None:
    case Refusal::HeadDeadline:
        break;
    }
    return 0;
}

std::string_view RefusalName(Refusal refusal) {
    static constexpr std::array<std::string_view, kRefusalKinds> kNames = {
        "none", "bad head",    "head too large", "method",
        "body", "expectation", "version",        "head deadline"};
    return kNames[static_cast<std::size_t>(refusal)];
}

HeadScan ScanHead(std::string_view data, std::size_t from) {
    HeadScan scan;
    for (std::size_t i = data.find('\n', from); i != std::string_view::npos;
         i = data.find('\n', i + 1)) {
        if (i == 0 || data[i - 1] != '\r') {
            scan.bareLineFeed = true;
            return scan;
        }
        if (i >= 3 && data[i - 2] == '\n' && data[i - 3] == '\r') {
            scan.end = i + 1;
            return scan;
        }
    }
    return scan;
}

RequestHead ParseRequestHead(std::string_view text) {
    RequestHead head;
    auto refuse = [&](Refusal why) {
        head = RequestHead{};
        head.refusal = why;
        return head;
    };
    if (text.size() < 4 || text.substr(text.size() - 4) != "\r\n\r\n")
        return refuse(Refusal::BadHead);
    text.remove_suffix(2); // every line, the last one included, ends in CRLF

    std::size_t lineEnd = text.find("\r\n");
    std::string_view line = text.substr(0, lineEnd);
    text.remove_prefix(lineEnd + 2);
    std::size_t sp1 = line.find(' ');
    std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos)
        return refuse(Refusal::BadHead);
    std::string_view method = line.substr(0, sp1);
    std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    std::string_view version = line.substr(sp2 + 1);
    if (!IsToken(method) || target.empty())
        return refuse(Refusal::BadHead);
    for (char c : target)
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f)
            return refuse(Refusal::BadHead);
    bool versionOk = version == "HTTP/1.1" || version == "HTTP/1.0";
    if (!versionOk) {
        bool shaped = version.size() == 8 && version.substr(0, 5) == "HTTP/" &&
                      HexDigit(version[5]) >= 0 && HexDigit(version[5]) < 10 && version[6] == '.' &&
                      HexDigit(version[7]) >= 0 && HexDigit(version[7]) < 10;
        return refuse(shaped ? Refusal::Version : Refusal::BadHead);
    }

    bool body = false, expectation = false;
    std::optional<unsigned long long> length;
    while (!text.empty()) {
        lineEnd = text.find("\r\n");
        line = text.substr(0, lineEnd);
        text.remove_prefix(lineEnd + 2);
        std::size_t colon = line.find(':');
        // No name, a space before the colon, or a folded continuation line.
        if (colon == std::string_view::npos || !IsToken(line.substr(0, colon)))
            return refuse(Refusal::BadHead);
        std::string_view name = line.substr(0, colon);
        std::string_view value = line.substr(colon + 1);
        for (char c : value) {
            unsigned char u = static_cast<unsigned char>(c);
            if ((u < 0x20 && u != '\t') || u == 0x7f)
                return refuse(Refusal::BadHead);
        }
        if (EqualsNoCase(name, "content-length")) {
            std::optional<unsigned long long> n = ParseLength(value);
            if (!n || (length && *length != *n))
                return refuse(Refusal::BadHead);
            length = n;
            body = body || *n > 0;
        } else if (EqualsNoCase(name, "transfer-encoding")) {
            body = true;
        } else if (EqualsNoCase(name, "expect")) {
            expectation = true;
        }
    }
    if (body)
        return refuse(Refusal::Body);
    if (method != "GET" && method != "HEAD")
        return refuse(Refusal::Method);
    if (expectation)
        return refuse(Refusal::Expectation);
    if (!ReadTarget(target, head))
        return refuse(Refusal::BadHead);
    head.headOnly = method == "HEAD";
    return head;
}

std::string DecodePercent(std::string_view text, bool plusIsSpace) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
            HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace server
