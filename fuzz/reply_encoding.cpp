// Fuzzes the UTF-8 to GBK re-encoding of replies: any bytes must convert
// without a crash, never grow (one to four UTF-8 bytes become one or two GBK
// bytes, a broken byte one "?"), and leave ASCII text as it is.
#include "net/HttpFetch.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    std::string output = ReplyToDeviceText(input);
    if (output.size() > input.size()) {
        std::abort();
    }
    bool ascii = true;
    for (unsigned char c : input) {
        ascii = ascii && c < 0x80;
    }
    if (ascii && output != input) {
        std::abort();
    }
    return 0;
}
