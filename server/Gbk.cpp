// UTF-8 to GBK conversion on glibc iconv.
#include "server/Gbk.h"

#include <cerrno>
#include <iconv.h>

namespace server {

std::optional<std::string> Utf8ToGbk(std::string_view utf8) {
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    // GBK never needs more bytes than UTF-8 for the same text.
    std::string out(utf8.size() + 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* dst = out.data();
    size_t outLeft = out.size();
    size_t result = iconv(cd, &in, &inLeft, &dst, &outLeft);
    iconv_close(cd);
    if (result == static_cast<size_t>(-1) || inLeft != 0)
        return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace server
