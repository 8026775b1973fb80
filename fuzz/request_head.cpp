// Feeds arbitrary bytes to the quote server's reader of request heads: it
// may neither crash nor read out of bounds, finds a head's end only after
// "\r\n\r\n", and answers only GET and HEAD without a body.
#include "server/RequestHead.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // A head ends just past its first "\r\n\r\n", wherever scanning starts.
    for (std::size_t from : {std::size_t{0}, size / 2}) {
        server::HeadScan scan = server::ScanHead(bytes, from);
        if (scan.end != 0 &&
            (scan.bareLineFeed || scan.end < 4 || bytes.substr(scan.end - 4, 4) != "\r\n\r\n"))
            __builtin_trap();
    }
    server::HeadScan whole = server::ScanHead(bytes);
    std::string_view head =
        whole.end != 0 && !whole.bareLineFeed ? bytes.substr(0, whole.end) : bytes;
    server::RequestHead parsed = server::ParseRequestHead(head);
    if (parsed.refusal == server::Refusal::None &&
        (!(head.substr(0, 4) == "GET " || head.substr(0, 5) == "HEAD ") || parsed.path.empty() ||
         parsed.path.front() != '/'))
        __builtin_trap();
    server::DecodePercent(bytes, true);
    return 0;
}
