// Code-page conversion: MultiByteToWideChar and WideCharToMultiByte for the
// device's ANSI code page 936 (GBK; CP_ACP is fixed to it) and for UTF-8.
//
// Code page 936 goes through two tables built once, at first use, from
// glibc's iconv converter: one from every double-byte sequence to UTF-16 and
// one from every BMP code point back to GBK. Converting a reply of 50,000
// bytes is then a table lookup per character, with no iconv call and no
// allocation. The platform's code page 936 maps the single byte 0x80 to the
// euro sign, which plain GBK lacks; we add it by hand.
//
// Nothing is ever dropped silently: a character that GBK lacks becomes the
// default character ("?" unless the caller gives one) and the conversion
// goes on; a byte sequence that is not valid becomes U+FFFD.

#include "platform/Text.h"
#include "platform/win.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <mutex>

namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr char16_t kEuro = 0x20AC;
constexpr unsigned char kEuroByte = 0x80;

// GBK double-byte sequences: lead 0x81-0xFE, trail 0x40-0xFE without 0x7F.
constexpr int kLeadFirst = 0x81;
constexpr int kLeadCount = 0xFE - 0x81 + 1;
constexpr int kTrailFirst = 0x40;
constexpr int kTrailCount = 0xFE - 0x40 + 1;

bool IsLead(unsigned char b) {
    return b >= 0x81 && b <= 0xFE;
}
bool IsTrail(unsigned char b) {
    return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

struct GbkTables {
    // UTF-16 unit of each double-byte sequence; 0 where GBK assigns none.
    std::array<std::array<char16_t, kTrailCount>, kLeadCount> decode{};
    // GBK bytes of each BMP code point (lead << 8 | trail, or the single
    // byte); 0 where GBK has none. Index 0 (NUL) is handled separately.
    std::array<std::uint16_t, 0x10000> encode{};
};

// Builds the tables from iconv. glibc's "GBK" converter is the reference;
// should it be missing, the tables stay empty and every non-ASCII character
// converts to the default character or U+FFFD, which is loud but safe.
GbkTables* BuildGbkTables() {
    auto* tables = new GbkTables();
    iconv_t toUtf16 = iconv_open("UTF-16LE", "GBK");
    if (toUtf16 != reinterpret_cast<iconv_t>(-1)) {
        for (int lead = 0; lead < kLeadCount; ++lead) {
            for (int trail = 0; trail < kTrailCount; ++trail) {
                if (trail + kTrailFirst == 0x7F) {
                    continue;
                }
                char in[2] = {static_cast<char>(lead + kLeadFirst),
                              static_cast<char>(trail + kTrailFirst)};
                unsigned char out[8];
                char* inPtr = in;
                char* outPtr = reinterpret_cast<char*>(out);
                size_t inLeft = 2, outLeft = sizeof out;
                iconv(toUtf16, nullptr, nullptr, nullptr, nullptr);
                if (iconv(toUtf16, &inPtr, &inLeft, &outPtr, &outLeft) == 0 && inLeft == 0 &&
                    sizeof out - outLeft == 2) {
                    char16_t unit = static_cast<char16_t>(out[0] | (out[1] << 8));
                    if (unit >= 0x80 && !(unit >= 0xD800 && unit <= 0xDFFF)) {
                        tables->decode[lead][trail] = unit;
                    }
                }
            }
        }
        iconv_close(toUtf16);
    }
    iconv_t fromUtf16 = iconv_open("GBK", "UTF-16LE");
    if (fromUtf16 != reinterpret_cast<iconv_t>(-1)) {
        for (unsigned cp = 0x80; cp < 0x10000; ++cp) {
            if (cp >= 0xD800 && cp <= 0xDFFF) {
                continue;
            }
            char in[2] = {static_cast<char>(cp & 0xFF), static_cast<char>(cp >> 8)};
            unsigned char out[8];
            char* inPtr = in;
            char* outPtr = reinterpret_cast<char*>(out);
            size_t inLeft = 2, outLeft = sizeof out;
            iconv(fromUtf16, nullptr, nullptr, nullptr, nullptr);
            if (iconv(fromUtf16, &inPtr, &inLeft, &outPtr, &outLeft) == 0 && inLeft == 0) {
                size_t n = sizeof out - outLeft;
                // Only keep encodings that decode back to the same code point,
                // so a round trip never changes a character.
                if (n == 2 && IsLead(out[0]) && IsTrail(out[1]) &&
                    tables->decode[out[0] - kLeadFirst][out[1] - kTrailFirst] == cp) {
                    tables->encode[cp] = static_cast<std::uint16_t>(out[0] << 8 | out[1]);
                }
            }
        }
        iconv_close(fromUtf16);
    }
    tables->encode[kEuro] = kEuroByte;
    return tables;
}

const GbkTables& Gbk() {
    static std::once_flag once;
    static GbkTables* tables = nullptr;
    std::call_once(once, [] { tables = BuildGbkTables(); });
    return *tables;
}

// Collects output units, counting only when the caller asked for the size
// needed, and noting when the caller's buffer is too small.
template <typename Unit> struct Sink {
    Unit* dst;
    size_t capacity; // 0: count only
    size_t count = 0;
    bool overflow = false;

    void Put(Unit u) {
        if (capacity != 0) {
            if (count >= capacity) {
                overflow = true;
                return;
            }
            dst[count] = u;
        }
        ++count;
    }
};

// Decoders return whether every byte was valid.
template <typename Out> bool DecodeGbk(const unsigned char* s, size_t n, Out& out) {
    const GbkTables& t = Gbk();
    bool valid = true;
    size_t i = 0;
    while (i < n && !out.overflow) {
        unsigned char b = s[i];
        if (b < 0x80) {
            out.Put(b);
            ++i;
        } else if (b == kEuroByte) {
            out.Put(kEuro);
            ++i;
        } else if (IsLead(b) && i + 1 < n && IsTrail(s[i + 1])) {
            char16_t unit = t.decode[b - kLeadFirst][s[i + 1] - kTrailFirst];
            if (unit == 0) {
                unit = kReplacement;
                valid = false;
            }
            out.Put(unit);
            i += 2;
        } else {
            // A lone lead byte, a lead byte without a valid trail (the next
            // byte is read again on its own) or 0xFF.
            out.Put(kReplacement);
            valid = false;
            ++i;
        }
    }
    return valid;
}

template <typename Out> void PutCodePoint(char32_t cp, Out& out) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.Put(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.Put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.Put(static_cast<char16_t>(cp));
    }
}

// UTF-8 decoding with one U+FFFD for each maximal ill-formed subpart, the
// Unicode standard's recommended practice.
template <typename Out> bool DecodeUtf8(const unsigned char* s, size_t n, Out& out) {
    bool valid = true;
    size_t i = 0;
    while (i < n && !out.overflow) {
        unsigned char b = s[i];
        if (b < 0x80) {
            out.Put(b);
            ++i;
            continue;
        }
        int need;
        unsigned char lo = 0x80, hi = 0xBF;
        char32_t cp;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            cp = b & 0x0F;
            if (b == 0xE0) {
                lo = 0xA0;
            } else if (b == 0xED) {
                hi = 0x9F;
            }
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            cp = b & 0x07;
            if (b == 0xF0) {
                lo = 0x90;
            } else if (b == 0xF4) {
                hi = 0x8F;
            }
        } else {
            out.Put(kReplacement);
            valid = false;
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < need; ++k, ++j) {
            if (j >= n || s[j] < lo || s[j] > hi) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (s[j] & 0x3F);
            lo = 0x80;
            hi = 0xBF;
        }
        if (!ok) {
            out.Put(kReplacement);
            valid = false;
            i = j; // the offending byte starts the next sequence
            continue;
        }
        PutCodePoint(cp, out);
        i = j;
    }
    return valid;
}

// Encoders return whether the default character was used.
template <typename Out>
bool EncodeGbk(const char16_t* s, size_t n, const char* defaultChar, Out& out) {
    const GbkTables& t = Gbk();
    unsigned char def[2] = {'?', 0};
    size_t defLen = 1;
    if (defaultChar != nullptr && defaultChar[0] != '\0') {
        def[0] = static_cast<unsigned char>(defaultChar[0]);
        if (IsLead(def[0]) && IsTrail(static_cast<unsigned char>(defaultChar[1]))) {
            def[1] = static_cast<unsigned char>(defaultChar[1]);
            defLen = 2;
        }
    }
    bool usedDefault = false;
    size_t i = 0;
    while (i < n && !out.overflow) {
        char16_t u = s[i++];
        if (u < 0x80) {
            out.Put(static_cast<char>(u));
            continue;
        }
        std::uint16_t code = t.encode[u];
        if (code == 0) {
            // A surrogate pair is one character: one default character.
            if (u >= 0xD800 && u <= 0xDBFF && i < n && s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
                ++i;
            }
            usedDefault = true;
            for (size_t k = 0; k < defLen; ++k) {
                out.Put(static_cast<char>(def[k]));
            }
        } else if (code < 0x100) {
            out.Put(static_cast<char>(code));
        } else {
            out.Put(static_cast<char>(code >> 8));
            out.Put(static_cast<char>(code & 0xFF));
        }
    }
    return usedDefault;
}

template <typename Out> bool EncodeUtf8(const char16_t* s, size_t n, Out& out) {
    bool replaced = false;
    size_t i = 0;
    while (i < n && !out.overflow) {
        char32_t cp = s[i++];
        if (cp >= 0xD800 && cp <= 0xDBFF && i < n && s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i++] - 0xDC00);
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement; // an unpaired surrogate
            replaced = true;
        }
        if (cp < 0x80) {
            out.Put(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.Put(static_cast<char>(0xC0 | (cp >> 6)));
            out.Put(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.Put(static_cast<char>(0xE0 | (cp >> 12)));
            out.Put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.Put(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.Put(static_cast<char>(0xF0 | (cp >> 18)));
            out.Put(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.Put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.Put(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return replaced;
}

enum class Page { Gbk, Utf8, Unsupported };

Page PageOf(UINT codePage) {
    switch (codePage) {
    case CP_ACP:
    case CP_GBK:
        return Page::Gbk;
    case CP_UTF8:
        return Page::Utf8;
    default:
        return Page::Unsupported;
    }
}

// Appends to a std::basic_string; never overflows.
template <typename Unit> struct StringSink {
    std::basic_string<Unit>& s;
    bool overflow = false;
    void Put(Unit u) { s.push_back(u); }
};

// The whole of a conversion into a string with room for `expected` units:
// `convert` writes into the sink it is given.
template <typename Unit, typename Convert>
std::basic_string<Unit> ConvertAll(std::size_t expected, Convert convert) {
    std::basic_string<Unit> result;
    result.reserve(expected);
    StringSink<Unit> out{result};
    convert(out);
    return result;
}

const unsigned char* Bytes(std::string_view text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

} // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int srcLen, LPWSTR dst,
                        int dstLen) {
    Page page = PageOf(codePage);
    if (page == Page::Unsupported || src == nullptr || srcLen == 0 || srcLen < -1 || dstLen < 0 ||
        (dstLen > 0 && dst == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = srcLen == -1 ? std::strlen(src) + 1 : static_cast<size_t>(srcLen);
    Sink<char16_t> out{dst, static_cast<size_t>(dstLen)};
    const auto* bytes = reinterpret_cast<const unsigned char*>(src);
    bool valid = page == Page::Gbk ? DecodeGbk(bytes, n, out) : DecodeUtf8(bytes, n, out);
    if (!valid && (flags & MB_ERR_INVALID_CHARS) != 0) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (out.overflow) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return static_cast<int>(out.count);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLen, char* dst, int dstLen,
                        const char* defaultChar, BOOL* usedDefault) {
    Page page = PageOf(codePage);
    if (page == Page::Unsupported || src == nullptr || srcLen == 0 || srcLen < -1 || dstLen < 0 ||
        (dstLen > 0 && dst == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n =
        srcLen == -1 ? std::char_traits<char16_t>::length(src) + 1 : static_cast<size_t>(srcLen);
    Sink<char> out{dst, static_cast<size_t>(dstLen)};
    bool defaulted = false;
    if (page == Page::Gbk) {
        defaulted = EncodeGbk(src, n, defaultChar, out);
    } else {
        EncodeUtf8(src, n, out); // UTF-8 has no default character
    }
    if (usedDefault != nullptr) {
        *usedDefault = defaulted ? TRUE : FALSE;
    }
    if (out.overflow) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return static_cast<int>(out.count);
}

namespace platform {

std::string Utf16ToUtf8(std::u16string_view text) {
    return ConvertAll<char>(text.size(),
                            [&](auto& out) { EncodeUtf8(text.data(), text.size(), out); });
}

std::u16string Utf8ToUtf16(std::string_view text) {
    return ConvertAll<char16_t>(text.size(),
                                [&](auto& out) { DecodeUtf8(Bytes(text), text.size(), out); });
}

std::string Utf16ToGbk(std::u16string_view text) {
    return ConvertAll<char>(text.size() * 2,
                            [&](auto& out) { EncodeGbk(text.data(), text.size(), nullptr, out); });
}

std::u16string GbkToUtf16(std::string_view text) {
    return ConvertAll<char16_t>(text.size(),
                                [&](auto& out) { DecodeGbk(Bytes(text), text.size(), out); });
}

} // namespace platform
