// Fuzzes the code-page conversions with arbitrary bytes, read both as GBK
// and as UTF-8: no crash, the size query agrees with the conversion, and
// whatever decodes without a replacement character comes back unchanged
// through an encode and a second decode.
#include "platform/win.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::u16string Decode(UINT cp, const std::string& bytes) {
    if (bytes.empty()) {
        return {};
    }
    int size = static_cast<int>(bytes.size());
    int need = MultiByteToWideChar(cp, 0, bytes.data(), size, nullptr, 0);
    std::u16string out(static_cast<size_t>(need), u'\0');
    int got = MultiByteToWideChar(cp, 0, bytes.data(), size, out.data(), need);
    if (need <= 0 || got != need) {
        std::abort();
    }
    return out;
}

std::string Encode(UINT cp, const std::u16string& text, bool* usedDefault) {
    if (text.empty()) {
        return {};
    }
    int size = static_cast<int>(text.size());
    BOOL used = FALSE;
    int need = WideCharToMultiByte(cp, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(need), '\0');
    int got = WideCharToMultiByte(cp, 0, text.data(), size, out.data(), need, nullptr, &used);
    if (need <= 0 || got != need) {
        std::abort();
    }
    *usedDefault = used != FALSE;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    for (UINT cp : {CP_ACP, CP_UTF8}) {
        std::u16string wide = Decode(cp, bytes);
        bool usedDefault = false;
        std::string again = Encode(cp, wide, &usedDefault);
        if (wide.find(u'\uFFFD') == std::u16string::npos) {
            // Valid input round-trips to the very same bytes.
            if (usedDefault || again != bytes) {
                std::abort();
            }
        }
        if (Decode(cp, again) != Decode(cp, Encode(cp, Decode(cp, again), &usedDefault))) {
            std::abort();
        }
    }
    return 0;
}
