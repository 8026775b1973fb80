// Fuzzes the quote page parser with arbitrary replies, on both page layouts
// and with the index-line rule, and checks that the parser never touches the
// fields it does not own and never makes up a value longer than the reply.
#include "common/QuoteRecord.h"
#include "net/HttpFetch.h"
#include "net/QuotePageParser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first byte picks the layout: stock page, or one of the two index
    // pseudo-codes; the rest is the reply.
    const char* codes[] = {"600036", "999998", "999999"};
    const char* code = size > 0 ? codes[data[0] % 3] : codes[0];
    std::string reply =
        size > 0 ? std::string(reinterpret_cast<const char*>(data) + 1, size - 1) : std::string();

    QuoteRecord& r = WatchList[0];
    r = QuoteRecord{};
    r.code = code;
    r.sellTarget = "13.00";
    r.sellAlerted = "N";
    r.buyTarget = "--";
    r.buyAlerted = "Y";
    LastReply = reply;
    if (ParseQuotePage(0) != 0) {
        std::abort();
    }
    if (r.code != code || r.sellTarget != "13.00" || r.sellAlerted != "N" || r.buyTarget != "--" ||
        r.buyAlerted != "Y") {
        std::abort();
    }
    for (int f : {1, 2, 3, 8, 9, 10, 11, 12, 13, 14, 15}) { // the parser's fields
        if (FieldOf(r, f).size() > reply.size() + 2) {      // "0%" and "--" on an empty reply
            std::abort();
        }
    }
    for (const char* label : {kShIndexLabel, kSzIndexLabel}) {
        std::string line = IndexLineText(reply, label);
        if (!line.empty() && (line.back() != '%' || reply.find(line) == std::string::npos)) {
            std::abort();
        }
    }
    if (std::optional<std::string> time = StockPageUpdateTime(reply); time && time->size() > 14) {
        std::abort();
    }
    return 0;
}
