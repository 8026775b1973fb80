// The tests' texts in the program's encodings: GBK (code page 936) for
// records, pages and files, UTF-8 for the screen.
#pragma once

#include <string>
#include <string_view>

namespace testsupport {

// The GBK bytes of a UTF-8 text, converted by glibc's iconv rather than by
// the code page under test. A text that GBK cannot write throws
// std::invalid_argument, which fails the test that asked.
std::string Gbk(std::string_view utf8);
// The GBK bytes of a UTF-16 text, by the same rule.
std::string Gbk(const std::u16string& text);
// The UTF-8 form of a UTF-16 text.
std::string Utf8(const std::u16string& text);

} // namespace testsupport
