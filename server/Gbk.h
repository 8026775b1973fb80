// Conversions between UTF-8 and GBK (code page 936) for the server's texts,
// on glibc iconv.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace server {

// The GBK bytes of a UTF-8 text, or nothing when the text is not valid UTF-8
// or holds a character that GBK cannot write.
std::optional<std::string> Utf8ToGbk(std::string_view utf8);

// The UTF-8 form of a GBK text, or nothing when it is not valid GBK.
std::optional<std::string> GbkToUtf8(std::string_view gbk);

} // namespace server
