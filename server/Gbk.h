// UTF-8 to GBK (code page 936) conversion for the server's GBK texts, on
// glibc iconv.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace server {

// The GBK bytes of a UTF-8 text, or nothing when the text is not valid UTF-8
// or holds a character that GBK cannot write.
std::optional<std::string> Utf8ToGbk(std::string_view utf8);

} // namespace server
