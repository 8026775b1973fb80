// UTF-8 to GBK conversion on glibc iconv.
#include "server/Gbk.h"

#include <cerrno>
#include <iconv.h>

namespace server {

namespace {

// Converts the whole text or nothing; `growth` bounds the output size as a
// multiple of the input's.
std::optional<std::string> Convert(const char* to, const char* from, std::string_view text,
                                   size_t growth) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out(text.size() * growth + 4, '\0');
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* dst = out.data();
    size_t outLeft = out.size();
    size_t result = iconv(cd, &in, &inLeft, &dst, &outLeft);
    iconv_close(cd);
    if (result == static_cast<size_t>(-1) || inLeft != 0)
        return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace

std::optional<std::string> Utf8ToGbk(std::string_view utf8) {
    // GBK never needs more bytes than UTF-8 for the same text.
    return Convert("GBK", "UTF-8", utf8, 1);
}

std::optional<std::string> GbkToUtf8(std::string_view gbk) {
    // A GBK character of one or two bytes takes at most three in UTF-8.
    return Convert("UTF-8", "GBK", gbk, 3);
}

} // namespace server
