// Feeds arbitrary bytes to the reader of tencent's v_CODE="..."; lines: it may
// refuse them, but never crash, hang, or answer a symbol that was not asked,
// twice, or with a negative number.
#include "fuzz/FeedFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    feedfuzz::Run(server::ParseTencentReply, data, size);
    return 0;
}
