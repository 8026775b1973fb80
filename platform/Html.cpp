// The reader of notification pages (see Html.h).
#include "platform/Html.h"

namespace platform::html {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The code point at `i` (a surrogate pair is one), and its length in units.
char32_t CodePointAt(std::u16string_view s, std::size_t i, std::size_t& length) {
    char16_t u = s[i];
    length = 1;
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
        length = 2;
        return 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (s[i + 1] - 0xDC00);
    }
    if (u >= 0xD800 && u <= 0xDFFF) {
        return kReplacement;
    }
    return u;
}

// Decodes the character reference that starts at `page[i]` ('&') into `out`
// and moves `i` past its ';'; false when it is none we know, so that the '&'
// stands for itself.
bool DecodeReference(std::u16string_view page, std::size_t& i, char32_t& out) {
    std::size_t end = page.find(u';', i);
    if (end == std::u16string_view::npos || end - i > 10) {
        return false;
    }
    std::u16string_view name = page.substr(i + 1, end - i - 1);
    char32_t cp = 0;
    if (name == u"amp") {
        cp = U'&';
    } else if (name == u"lt") {
        cp = U'<';
    } else if (name == u"gt") {
        cp = U'>';
    } else if (name == u"quot") {
        cp = U'"';
    } else if (name == u"apos") {
        cp = U'\'';
    } else if (name == u"nbsp") {
        cp = U' ';
    } else if (name.size() > 1 && name[0] == u'#') {
        bool hex = name[1] == u'x' || name[1] == u'X';
        if (hex && name.size() == 2) {
            return false;
        }
        for (std::size_t k = hex ? 2 : 1; k < name.size(); ++k) {
            char16_t c = name[k];
            int digit = (c >= u'0' && c <= u'9')          ? c - u'0'
                        : (hex && c >= u'a' && c <= u'f') ? c - u'a' + 10
                        : (hex && c >= u'A' && c <= u'F') ? c - u'A' + 10
                                                          : -1;
            if (digit < 0 || cp > 0x10FFFF) {
                return false;
            }
            cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(digit);
        }
        if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            cp = kReplacement;
        }
    } else {
        return false;
    }
    out = cp;
    i = end + 1;
    return true;
}

bool IsAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

} // namespace

void Read(std::u16string_view page, Unterminated unterminated, const Handler& handler) {
    std::size_t i = 0;
    while (i < page.size()) {
        char16_t c = page[i];
        char16_t next = i + 1 < page.size() ? page[i + 1] : u'\0';
        if (c == u'<' && (IsAsciiLetter(next) || next == u'/' || next == u'!')) {
            std::size_t end = page.find(u'>', i);
            if (end == std::u16string_view::npos) {
                if (unterminated == Unterminated::EndsPage) {
                    return;
                }
                handler.text(U'<', false);
                ++i;
                continue;
            }
            std::u16string_view tag = page.substr(i + 1, end - i - 1);
            i = end + 1;
            bool closing = !tag.empty() && tag[0] == u'/';
            std::u16string name;
            for (std::size_t k = closing ? 1 : 0; k < tag.size(); ++k) {
                char16_t t = tag[k];
                if (t == u' ' || t == u'/' || t == u'\t' || t == u'\n' || t == u'\r') {
                    break;
                }
                name.push_back(t >= u'A' && t <= u'Z' ? static_cast<char16_t>(t + 32) : t);
            }
            handler.tag(name, closing);
            continue;
        }
        if (c == u'&') {
            char32_t decoded = 0;
            if (DecodeReference(page, i, decoded)) {
                handler.text(decoded, true);
                continue;
            }
        }
        std::size_t length = 1;
        handler.text(CodePointAt(page, i, length), false);
        i += length;
    }
}

std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace platform::html
