// The live market behind the bundled quote server: real quotes from the
// public A-share feeds (server/Feeds.h), served as the same pages as the
// simulated market.
//
// Upstream requests are few and shared. Every quote is kept for a short
// time-to-live of the server's device clock. A page for a quote older than
// that starts one upstream request that brings back, together, the code
// asked for, every code asked for within the interest window and both index
// symbols (every stock page carries both index lines); page requests that
// arrive while it is under way wait for it instead of starting their own. A
// watch list refreshed over and over thus costs one upstream request per
// time-to-live however many clients share the server.
//
// A feed that fails (no reply within the deadline, a status other than 200,
// a reply its reader rejects) is skipped for the next feed and rests for a
// cool-down, longer after 403 or 429. When no feed gives the quote, the page
// request gets a 503 reply: a quote older than the time-to-live is never
// served as if it were current.
#pragma once

#include "platform/clock.h"
#include "server/Feeds.h"
#include "server/Pages.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace server {

// One feed in the order of preference, and where it is asked.
struct FeedSource {
    const FeedAdapter* adapter = nullptr;
    std::string base; // scheme, host and port
};

// "tencent" or "tencent=http://127.0.0.1:8081": a feed by name, its base
// replaced when a URL is given (the URL's scheme, host and port; a path of
// "/" at most). Nothing, with a reason in `error`, for an unknown name or an
// unusable URL.
std::optional<FeedSource> ParseFeedOption(std::string_view text, std::string* error);
// tencent, sina, eastmoney at their own addresses.
std::vector<FeedSource> DefaultFeeds();

struct LiveMarketOptions {
    std::vector<FeedSource> feeds = DefaultFeeds();
    // Device-clock times.
    std::int64_t ttlMs = 3000;                       // a quote is current this long
    std::int64_t interestMs = 10 * 60 * 1000;        // a code asked for rides along this long
    std::int64_t coolDownMs = 30 * 1000;             // a failed feed rests this long
    std::int64_t refusedCoolDownMs = 10 * 60 * 1000; // after 403 or 429
    // A feed is asked at most once per time-to-live, except for codes asked
    // for the first time (a watch list's first refresh): for those it may
    // take up to `burst` requests more, refilled at one per `refillMs`.
    int burst = 20;
    std::int64_t refillMs = 60 * 1000;
    // Real time: one upstream request, name resolution included, and all the
    // feeds tried for one page request together.
    std::chrono::milliseconds deadline{3000};
    std::chrono::milliseconds totalDeadline{7000};
    // Codes in one upstream request, at most; the interest set keeps at most
    // this many (the least recently asked go first).
    std::size_t maxBatch = 120;
    std::string timeZone = "Asia/Shanghai";
    std::string caFile; // empty: DefaultCaFile()
};

// What the market says to one page request.
struct LivePage {
    int status = 200; // 503 when no feed gave the quote
    std::string body; // UTF-8 HTML
};

// One feed's answer to a probe.
struct ProbeResult {
    std::string feed, base;
    bool ok = false;
    std::string error;
    std::vector<FeedQuote> quotes;
    std::vector<FeedSymbol> unknown;
};

class LiveMarket {
  public:
    LiveMarket(LiveMarketOptions options, const platform::DeviceClock& clock);
    LiveMarket(const LiveMarket&) = delete;
    LiveMarket& operator=(const LiveMarket&) = delete;

    // A stock page for `code` (six digits), or an index page.
    LivePage StockPage(std::string_view code);
    LivePage ShIndexPage();
    LivePage SzIndexPage();

    // Asks every feed once for `codes` (program codes: "600519", "999998"),
    // without cache, interest set or cool-down.
    std::vector<ProbeResult> Probe(const std::vector<std::string>& codes) const;

    // Upstream requests made so far, in all and per feed (by name).
    std::int64_t UpstreamRequests() const;
    std::int64_t UpstreamRequests(std::string_view feed) const;

    const LiveMarketOptions& Options() const { return options_; }

  private:
    struct Cached {
        std::int64_t fetchedMs = 0; // device clock
        bool known = true;          // false: the feed does not know the code
        FeedQuote quote;
        platform::LocalTime stamp{}; // the quote's time stamp, Beijing time
    };
    struct FeedState {
        std::int64_t restUntilMs = 0; // cool-down
        std::optional<std::int64_t> lastRequestMs;
        double tokens = 0; // requests within a time-to-live of the last one
        std::int64_t tokensAtMs = 0;
        std::int64_t requests = 0;
    };

    // The quote of `symbol`, current within the time-to-live, fetching it
    // when needed; nothing when no feed gave it. `lock` holds mutex_.
    std::optional<Cached> Current(const FeedSymbol& symbol, std::unique_lock<std::mutex>& lock);
    bool IsCurrent(const FeedSymbol& symbol, std::int64_t now) const;
    // One upstream round for `symbol` and the interest set, called with the
    // lock released; fills cache_ from the first feed that answers well.
    void Fetch(const FeedSymbol& symbol, std::vector<FeedSymbol> batch);
    std::vector<FeedSymbol> Batch(const FeedSymbol& symbol, std::int64_t now);
    // Whether the feed may be asked now, counting the request when it may.
    bool MayAsk(FeedState& state, std::int64_t now);

    LivePage IndexPage(const FeedSymbol& symbol, std::string_view name);
    MarketPhase PhaseOf(const Cached& entry, const platform::LocalTime& now) const;
    StockQuote ToStock(const Cached& entry, std::string_view code,
                       const platform::LocalTime& now) const;
    IndexQuote ToIndex(const Cached& entry, std::string_view name,
                       const platform::LocalTime& now) const;
    platform::LocalTime Stamp(const FeedQuote& quote) const;

    LiveMarketOptions options_;
    const platform::DeviceClock& clock_;
    mutable std::mutex mutex_;
    std::condition_variable fetched_;
    bool inFlight_ = false;             // an upstream round is under way
    std::uint64_t round_ = 0;           // upstream rounds finished
    std::vector<FeedSymbol> lastBatch_; // what the last round asked for
    std::map<FeedSymbol, Cached> cache_;
    std::map<FeedSymbol, std::int64_t> interest_; // symbol -> last asked (device ms)
    std::vector<FeedState> feeds_;
    std::int64_t requests_ = 0;
};

} // namespace server
