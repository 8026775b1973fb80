// Feeds arbitrary bytes to the reader of sina's var hq_str_CODE="..."; lines:
// it may refuse them, but never crash, hang, or answer a symbol that was not
// asked, twice, or with a negative number.
#include "fuzz/FeedFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    feedfuzz::Run(server::ParseSinaReply, data, size);
    return 0;
}
