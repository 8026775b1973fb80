// Feeds arbitrary bytes to the reader of the maker's service text and to the
// recommendation splitter: neither may crash, read out of bounds or accept a
// text without its counted END line.
#include "app/ServiceInfo.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string reply(reinterpret_cast<const char*>(data), size);
    if (auto report = ParseServiceReply(reply)) {
        if (reply.find("STOCKAT-SERVICE 1\r\n") == std::string::npos ||
            reply.find("\r\nEND ") == std::string::npos) {
            __builtin_trap();
        }
        RecommendationLines(report->recommend);
    }
    RecommendationLines(reply);
    return 0;
}
