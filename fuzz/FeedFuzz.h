// What every feed reader must keep to, whatever the reply: a refused reply
// carries its reason and nothing else; a read reply answers every asked
// symbol exactly once, with a quote (no negative number, a name), as
// unknown, or as failed with a reason, and nothing that was not asked.
#pragma once

#include "server/Feeds.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace feedfuzz {

inline void Check(const server::FeedReply& reply, const std::vector<server::FeedSymbol>& asked) {
    if (!reply.ok) {
        if (reply.error.empty() || !reply.quotes.empty() || !reply.unknown.empty() ||
            !reply.failed.empty()) {
            std::abort();
        }
        return;
    }
    if (!reply.error.empty()) {
        std::abort();
    }
    std::set<server::FeedSymbol> wanted(asked.begin(), asked.end());
    std::set<server::FeedSymbol> answered;
    for (const server::FeedQuote& q : reply.quotes) {
        if (!wanted.count(q.symbol) || !answered.insert(q.symbol).second || q.name.empty() ||
            q.previousClose < 0 || q.latest < 0 || q.open < 0 || q.high < 0 || q.low < 0 ||
            q.volume < 0 || q.turnover < 0 || q.epochMs < 0) {
            std::abort();
        }
    }
    for (const server::FeedSymbol& s : reply.unknown) {
        if (!wanted.count(s) || !answered.insert(s).second) {
            std::abort();
        }
    }
    for (const auto& [s, why] : reply.failed) {
        if (!wanted.count(s) || !answered.insert(s).second || why.empty()) {
            std::abort();
        }
    }
    if (answered != wanted) {
        std::abort();
    }
}

// The symbols of the seed corpora, so that the fuzzer starts from replies
// that are read, not refused.
inline std::vector<server::FeedSymbol> Asked() {
    using server::Exchange;
    return {{Exchange::Sz, "002039"}, {Exchange::Sz, "002150"}, {Exchange::Sz, "002257"},
            {Exchange::Sz, "002074"}, {Exchange::Sh, "600000"}, {Exchange::Sh, "600519"},
            {Exchange::Sz, "000002"}, {Exchange::Sh, "000001"}, {Exchange::Sz, "000001"}};
}

inline void Run(server::FeedReply (*read)(std::string_view,
                                          const std::vector<server::FeedSymbol>&),
                const std::uint8_t* data, std::size_t size) {
    std::string_view body(reinterpret_cast<const char*>(data), size);
    // Those whose code the reply names (sina answers each asked code with
    // a line of its own), or all of them.
    std::vector<server::FeedSymbol> asked;
    for (const server::FeedSymbol& s : Asked()) {
        if (body.find(s.code) != std::string_view::npos) {
            asked.push_back(s);
        }
    }
    if (asked.empty()) {
        asked = Asked();
    }
    Check(read(body, asked), asked);
}

} // namespace feedfuzz
