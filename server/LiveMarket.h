// The live market behind the bundled quote server: real quotes from the
// public A-share feeds (server/Feeds.h), answered as the same quote states
// as the simulated market (server/QuoteSource.h).
//
// Upstream requests are few and shared. Every quote is kept for a short
// time-to-live of the server's device clock. A page for a quote older than
// that starts one upstream request that brings back, together, the code
// asked for, the codes the clients asked for within the interest window and
// both index symbols (every stock page carries both index lines); page
// requests that arrive while it is under way wait for it instead of
// starting their own. A watch list refreshed over and over thus costs one
// upstream request per time-to-live however many clients share the server.
//
// Each feed gives a verdict per code. A code the feed left out, whose line
// it could not read, whose quote contradicts itself, or whose quote is stale
// during a session (from an earlier day on a trading day, or lagging the
// clock by more than a few minutes outside the lunch break) is that feed's
// fault for that code: the next feed is asked for the codes the first one
// failed, and the freshest good quote is kept. When every feed agrees on an
// earlier day, the market is closed today (a holiday): that day is
// remembered, so that later rounds cost one request again.
//
// A feed whose whole reply fails (no reply within the deadline, a status
// other than 200, a reply its reader rejects) rests for a cool-down, longer
// after 403 or 429. When no feed gives the quote, the answer is unavailable:
// a quote older than the time-to-live is never served as if it were
// current.
//
// One client cannot take the market from the others: each client's codes
// ride in the batch in turn with everybody else's, a client keeps at most
// `maxBatch` codes of interest, codes the feeds do not know leave the batch
// at once, and the requests beyond one per time-to-live for new codes come
// out of the asking client's own burst allowance.
#pragma once

#include "platform/clock.h"
#include "server/Feeds.h"
#include "server/QuoteSource.h"

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

struct LiveMarketOptions {
    std::vector<FeedSource> feeds = DefaultFeeds();
    // Device-clock times.
    std::int64_t ttlMs = 3000;                       // a quote is current this long
    std::int64_t interestMs = 10 * 60 * 1000;        // a code asked for rides along this long
    std::int64_t coolDownMs = 30 * 1000;             // a failed feed rests this long
    std::int64_t refusedCoolDownMs = 10 * 60 * 1000; // after 403 or 429
    // A feed is asked at most once per time-to-live, except for codes asked
    // for the first time (a watch list's first refresh): for those a client
    // may spend up to `burst` requests more, refilled at one per `refillMs`.
    int burst = 20;
    std::int64_t refillMs = 60 * 1000;
    // During a session, a quote lagging the clock by more than this much
    // trading time is stale.
    std::int64_t maxLagMs = 3 * 60 * 1000;
    // Real time: one upstream request, name resolution included, and all the
    // feeds tried for one page request together.
    std::chrono::milliseconds deadline{3000};
    std::chrono::milliseconds totalDeadline{7000};
    // Codes in one upstream request, at most; each client's interest set
    // keeps at most this many (the least recently asked go first).
    std::size_t maxBatch = 120;
    std::string timeZone = "Asia/Shanghai";
    std::string caFile; // empty: DefaultCaFile()
};

// What a feed's quote is worth during a session: good, lagging the clock by
// more than `maxLagMs` of trading time, or from an earlier day. Outside the
// sessions, on weekends, on a day known closed (`closedDay`, days since
// 1970-01-01) and for a stock not trading, every quote is good. `stamp` is
// the quote's time stamp and `now` the clock, both Beijing time.
enum class Freshness { Good, Stale, EarlierDay };
Freshness JudgeFreshness(const FeedQuote& quote, const platform::LocalTime& stamp,
                         const platform::LocalTime& now, std::int64_t maxLagMs,
                         std::optional<std::int64_t> closedDay);

// One feed's answer to a probe.
struct ProbeResult {
    std::string feed, base;
    bool ok = false;
    std::string error;
    std::vector<FeedQuote> quotes;
    std::vector<FeedSymbol> unknown;
};

class LiveMarket : public QuoteSource {
  public:
    LiveMarket(LiveMarketOptions options, const platform::DeviceClock& clock);
    LiveMarket(const LiveMarket&) = delete;
    LiveMarket& operator=(const LiveMarket&) = delete;

    StockAnswer Stock(std::string_view code, std::string_view client) override;
    IndexAnswer ShIndex(std::string_view client) override;
    IndexAnswer SzIndex(std::string_view client) override;

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
        bool known = true;          // false: the feeds do not know the code
        FeedQuote quote;
        platform::LocalTime stamp{}; // the quote's time stamp, Beijing time
    };
    struct FeedState {
        std::int64_t restUntilMs = 0; // cool-down
        std::optional<std::int64_t> lastRequestMs;
        std::int64_t requests = 0;
    };
    struct Client {
        std::map<FeedSymbol, std::int64_t> interest; // symbol -> last asked (device ms)
        double tokens = 0;                           // burst allowance
        std::int64_t tokensAtMs = 0;
    };
    using Verdict = Freshness;

    // The quote of `symbol`, current within the time-to-live, fetching it
    // when needed; nothing when no feed gave it. `lock` holds mutex_.
    std::optional<Cached> Current(const FeedSymbol& symbol, const std::string& client,
                                  std::unique_lock<std::mutex>& lock);
    bool IsCurrent(const FeedSymbol& symbol, std::int64_t now) const;
    // One upstream round for `batch` (the asked symbol first), called with
    // the lock released; fills cache_ code by code from the feeds' verdicts.
    void Fetch(const std::vector<FeedSymbol>& batch, const std::string& client);
    std::vector<FeedSymbol> Batch(const FeedSymbol& symbol, std::int64_t now);
    void NoteInterest(const FeedSymbol& symbol, const std::string& client, std::int64_t now);
    // Whether feed `i` may be asked now for `client`, counting the request
    // when it may. `dryRun` only tells.
    bool MayAsk(std::size_t i, const std::string& client, std::int64_t now, bool dryRun = false);

    IndexAnswer Index(const FeedSymbol& symbol, std::string_view name, const std::string& client);
    QuoteState StateOf(const Cached& entry, const platform::LocalTime& now,
                       MarketPhase& phase) const;
    IndexAnswer ToIndex(const Cached& entry, std::string_view name,
                        const platform::LocalTime& now) const;
    platform::LocalTime Stamp(const FeedQuote& quote) const;
    platform::LocalTime Now() const;

    LiveMarketOptions options_;
    const platform::DeviceClock& clock_;
    mutable std::mutex mutex_;
    std::condition_variable fetched_;
    bool inFlight_ = false;             // an upstream round is under way
    std::uint64_t round_ = 0;           // upstream rounds finished
    std::vector<FeedSymbol> lastBatch_; // what the last round asked for
    std::map<FeedSymbol, Cached> cache_;
    std::map<std::string, Client> clients_;
    std::vector<FeedState> feeds_;
    std::int64_t requests_ = 0;
    // A trading day on which every feed showed an earlier day: a holiday;
    // and the same for single codes.
    std::optional<std::int64_t> closedDay_;
    std::map<FeedSymbol, std::int64_t> closedCodes_;
    // The last log line of per-code faults, and when it was written.
    std::string lastFaults_;
    std::int64_t lastFaultsMs_ = 0;
};

} // namespace server
