// The tests' text conversions (see Gbk.h).
#include "tests/support/Gbk.h"

#include "platform/Text.h"
#include "server/Gbk.h"

#include <optional>
#include <stdexcept>

namespace testsupport {

std::string Gbk(std::string_view utf8) {
    std::optional<std::string> gbk = server::Utf8ToGbk(utf8);
    if (!gbk) {
        throw std::invalid_argument("test text is not GBK: " + std::string(utf8));
    }
    return *gbk;
}

std::string Gbk(const std::u16string& text) {
    return Gbk(platform::Utf16ToUtf8(text));
}

std::string Utf8(const std::u16string& text) {
    return platform::Utf16ToUtf8(text);
}

} // namespace testsupport
