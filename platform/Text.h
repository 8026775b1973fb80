// Text conversions for the platform's own use: file names, socket messages,
// D-Bus strings and the terminal all want UTF-8, while the program's texts
// are UTF-16 (controls) or GBK (records). These helpers never fail: what does
// not convert becomes U+FFFD (decoding) or "?" (encoding to GBK), as with
// MultiByteToWideChar and WideCharToMultiByte.
#pragma once

#include <string>
#include <string_view>

namespace platform {

std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToGbk(std::u16string_view text);
std::u16string GbkToUtf16(std::string_view text);

} // namespace platform
