// The live market: shared, bounded upstream requests to the public feeds and
// their quotes as pages (see LiveMarket.h).
#include "server/LiveMarket.h"

#include "server/Log.h"
#include "server/Market.h"
#include "server/Upstream.h"

#include <algorithm>
#include <exception>

namespace server {
namespace {

constexpr int kMorningClose = 11 * 3600 + 30 * 60;
constexpr int kAfternoonOpen = 13 * 3600;
constexpr int kAfternoonClose = 15 * 3600;

std::int64_t DayOf(const platform::LocalTime& t) {
    return DayNumber(t.year, t.month, t.day);
}

int SecondOfDay(const platform::LocalTime& t) {
    return t.hour * 3600 + t.minute * 60 + t.second;
}

bool Contains(const std::vector<FeedSymbol>& symbols, const FeedSymbol& symbol) {
    return std::find(symbols.begin(), symbols.end(), symbol) != symbols.end();
}

void Log(const std::string& line) {
    LogLine(line);
}

} // namespace

std::optional<FeedSource> ParseFeedOption(std::string_view text, std::string* error) {
    const size_t equals = text.find('=');
    const std::string_view name = text.substr(0, equals);
    const FeedAdapter* adapter = FindFeedAdapter(name);
    if (!adapter) {
        if (error) {
            *error = "unknown feed \"" + std::string(name) + "\"; the feeds are";
            for (const FeedAdapter& a : FeedAdapters())
                error->append(" ").append(a.name);
        }
        return std::nullopt;
    }
    FeedSource source{adapter, std::string(adapter->defaultBase)};
    if (equals != std::string_view::npos) {
        std::string url(text.substr(equals + 1));
        if (!ParseUpstreamBase(url, nullptr)) {
            if (error)
                *error = "feed " + std::string(name) +
                         " wants http://HOST[:PORT] or https://HOST[:PORT], got \"" + url + "\"";
            return std::nullopt;
        }
        if (url.back() == '/')
            url.pop_back();
        source.base = url;
    }
    return source;
}

std::vector<FeedSource> DefaultFeeds() {
    std::vector<FeedSource> feeds;
    for (const FeedAdapter& adapter : FeedAdapters())
        feeds.push_back({&adapter, std::string(adapter.defaultBase)});
    return feeds;
}

LiveMarket::LiveMarket(LiveMarketOptions options, const platform::DeviceClock& clock)
    : options_(std::move(options)), clock_(clock) {
    if (options_.caFile.empty())
        options_.caFile = DefaultCaFile();
    options_.maxBatch = std::max<std::size_t>(options_.maxBatch, 3);
    feeds_.resize(options_.feeds.size());
    for (FeedState& state : feeds_) {
        state.tokens = options_.burst;
        state.tokensAtMs = clock_.NowMs();
    }
}

std::int64_t LiveMarket::UpstreamRequests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::int64_t LiveMarket::UpstreamRequests(std::string_view feed) const {
    std::lock_guard lock(mutex_);
    std::int64_t n = 0;
    for (size_t i = 0; i < feeds_.size(); ++i)
        if (options_.feeds[i].adapter->name == feed)
            n += feeds_[i].requests;
    return n;
}

bool LiveMarket::IsCurrent(const FeedSymbol& symbol, std::int64_t now) const {
    auto found = cache_.find(symbol);
    return found != cache_.end() && now - found->second.fetchedMs < options_.ttlMs &&
           now >= found->second.fetchedMs;
}

bool LiveMarket::MayAsk(FeedState& state, std::int64_t now) {
    if (now < state.restUntilMs)
        return false;
    if (options_.refillMs > 0 && now > state.tokensAtMs)
        state.tokens = std::min<double>(options_.burst,
                                        state.tokens + static_cast<double>(now - state.tokensAtMs) /
                                                           static_cast<double>(options_.refillMs));
    state.tokensAtMs = std::max(state.tokensAtMs, now);
    if (state.lastRequestMs && now - *state.lastRequestMs < options_.ttlMs) {
        // A second request within the time-to-live: only from the burst.
        if (state.tokens < 1.0)
            return false;
        state.tokens -= 1.0;
    }
    state.lastRequestMs = now;
    ++state.requests;
    ++requests_;
    return true;
}

std::vector<FeedSymbol> LiveMarket::Batch(const FeedSymbol& symbol, std::int64_t now) {
    // Forget what nobody asked for within the window.
    for (auto it = interest_.begin(); it != interest_.end();)
        it = now - it->second >= options_.interestMs ? interest_.erase(it) : std::next(it);
    std::vector<FeedSymbol> batch{symbol};
    for (const FeedSymbol& index : {ShIndexSymbol(), SzIndexSymbol()})
        if (!Contains(batch, index))
            batch.push_back(index);
    std::vector<std::pair<std::int64_t, FeedSymbol>> recent;
    for (const auto& [s, asked] : interest_)
        if (!Contains(batch, s))
            recent.push_back({asked, s});
    std::sort(recent.begin(), recent.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& [asked, s] : recent) {
        if (batch.size() >= options_.maxBatch)
            break;
        batch.push_back(s);
    }
    return batch;
}

void LiveMarket::Fetch(const FeedSymbol& symbol, std::vector<FeedSymbol> batch) {
    const auto start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < options_.feeds.size(); ++i) {
        const FeedSource& source = options_.feeds[i];
        const FeedAdapter& adapter = *source.adapter;
        std::vector<FeedSymbol> ask;
        for (const FeedSymbol& s : batch)
            if (s.exchange != Exchange::Bj || adapter.servesBeijing)
                ask.push_back(s);
        if (!Contains(ask, symbol))
            continue;
        const auto left =
            options_.totalDeadline - std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - start);
        if (left.count() <= 0)
            return;
        {
            std::lock_guard lock(mutex_);
            FeedState& state = feeds_[i];
            const std::int64_t now = clock_.NowMs();
            if (!MayAsk(state, now))
                continue;
        }
        UpstreamRequest request;
        request.base = source.base;
        request.target = adapter.target(ask);
        request.headers = adapter.headers();
        request.deadline = std::min(options_.deadline, left);
        request.caFile = options_.caFile;
        UpstreamReply reply = UpstreamGet(request);

        std::string error;
        FeedReply parsed;
        if (reply.status == 200) {
            parsed = adapter.parse(reply.body, ask);
            if (!parsed.ok)
                error = parsed.error.empty() ? "unreadable reply" : parsed.error;
            else if (!std::any_of(parsed.quotes.begin(), parsed.quotes.end(),
                                  [&](const FeedQuote& q) { return q.symbol == symbol; }) &&
                     !Contains(parsed.unknown, symbol))
                error = "no line for " + symbol.Text();
        } else {
            error = reply.status != 0 ? "HTTP " + std::to_string(reply.status) : reply.error;
        }

        std::lock_guard lock(mutex_);
        const std::int64_t now = clock_.NowMs();
        if (error.empty()) {
            for (FeedQuote& quote : parsed.quotes) {
                // Only what was asked for, each code once.
                if (!Contains(ask, quote.symbol))
                    continue;
                Cached& entry = cache_[quote.symbol];
                // Broken down once here rather than for every page.
                const platform::LocalTime stamp = Stamp(quote);
                entry = Cached{now, true, std::move(quote), stamp};
            }
            for (const FeedSymbol& unknown : parsed.unknown) {
                if (!Contains(ask, unknown))
                    continue;
                Cached& entry = cache_[unknown];
                entry = Cached{now, false, FeedQuote{}};
                entry.quote.symbol = unknown;
            }
            return;
        }
        const bool refused = reply.status == 403 || reply.status == 429;
        feeds_[i].restUntilMs = now + (refused ? options_.refusedCoolDownMs : options_.coolDownMs);
        Log("feed " + std::string(adapter.name) + " (" + source.base + "): " + error +
            "; resting " +
            std::to_string((refused ? options_.refusedCoolDownMs : options_.coolDownMs) / 1000) +
            " s");
    }
}

std::optional<LiveMarket::Cached> LiveMarket::Current(const FeedSymbol& symbol,
                                                      std::unique_lock<std::mutex>& lock) {
    std::int64_t now = clock_.NowMs();
    if (interest_.find(symbol) == interest_.end() && interest_.size() >= options_.maxBatch) {
        // Room for the newcomer: the code asked for least recently goes.
        auto oldest =
            std::min_element(interest_.begin(), interest_.end(),
                             [](const auto& a, const auto& b) { return a.second < b.second; });
        interest_.erase(oldest);
    }
    interest_[symbol] = now;
    bool fetchedHere = false;
    for (;;) {
        now = clock_.NowMs();
        if (IsCurrent(symbol, now))
            return cache_.at(symbol);
        if (fetchedHere)
            return std::nullopt;
        if (inFlight_) {
            // Wait for the request under way; when it was for this code and
            // still brought nothing, every feed failed: don't ask again.
            const std::uint64_t round = round_;
            fetched_.wait(lock, [&] { return round_ != round; });
            if (Contains(lastBatch_, symbol) && !IsCurrent(symbol, clock_.NowMs()))
                return std::nullopt;
            continue;
        }
        inFlight_ = true;
        std::vector<FeedSymbol> batch = Batch(symbol, now);
        lock.unlock();
        try {
            Fetch(symbol, batch);
        } catch (const std::exception& e) {
            // Out of memory or threads: this round failed, the next may not;
            // those waiting for it must not wait forever.
            Log(std::string("upstream request failed: ") + e.what());
        }
        lock.lock();
        inFlight_ = false;
        lastBatch_ = std::move(batch);
        ++round_;
        fetched_.notify_all();
        fetchedHere = true;
    }
}

platform::LocalTime LiveMarket::Stamp(const FeedQuote& quote) const {
    platform::LocalTime t = platform::ToLocalTime(
        quote.epochMs > 0 ? quote.epochMs : clock_.NowEpochMs(), options_.timeZone);
    t.millisecond = 0;
    return t;
}

MarketPhase LiveMarket::PhaseOf(const Cached& entry, const platform::LocalTime& now) const {
    const FeedQuote& quote = entry.quote;
    if (quote.status != FeedStatus::Trading)
        return MarketPhase::Closed;
    const platform::LocalTime& stamp = entry.stamp;
    // A quote from an earlier day than today's: a weekend, a holiday, or
    // today before the first trade, when the feeds still show the last day.
    if (DayOf(stamp) < DayOf(now))
        return MarketPhase::Closed;
    if (quote.latest <= 0)
        return MarketPhase::PreOpen;
    // A clock behind the feed's own day goes by the feed's time of day.
    const int s = DayOf(stamp) > DayOf(now) ? SecondOfDay(stamp) : SecondOfDay(now);
    if (s >= kAfternoonClose)
        return MarketPhase::AfterClose;
    if (s >= kMorningClose && s < kAfternoonOpen)
        return MarketPhase::Break;
    return MarketPhase::Trading;
}

StockQuote LiveMarket::ToStock(const Cached& entry, std::string_view code,
                               const platform::LocalTime& now) const {
    const FeedQuote& quote = entry.quote;
    StockQuote s;
    s.code = std::string(code);
    s.name = quote.name;
    s.phase = PhaseOf(entry, now);
    s.previousClose = quote.previousClose;
    s.latest = quote.latest;
    s.open = quote.open;
    s.high = quote.high;
    s.low = quote.low;
    s.volume = quote.volume;
    s.turnover = quote.turnover;
    if (quote.status != FeedStatus::Trading) {
        // Suspended: no trade today; the previous close stands.
        s.latest = quote.previousClose;
        s.open = s.high = s.low = 0;
        s.volume = s.turnover = 0;
    } else if (s.phase == MarketPhase::PreOpen) {
        s.latest = s.high = s.low = quote.previousClose;
        s.open = 0;
    }
    return s;
}

IndexQuote LiveMarket::ToIndex(const Cached& entry, std::string_view name,
                               const platform::LocalTime& now) const {
    const FeedQuote& quote = entry.quote;
    IndexQuote q;
    q.name = std::string(name);
    q.phase = PhaseOf(entry, now);
    q.previousClose = quote.previousClose;
    q.latest = quote.latest;
    q.open = quote.open;
    q.high = quote.high;
    q.low = quote.low;
    q.volume = quote.volume / 100;         // lots
    q.turnover = quote.turnover / 1000000; // units of 1,000,000 yuan
    if (q.phase == MarketPhase::PreOpen || q.latest <= 0) {
        q.latest = q.high = q.low = quote.previousClose;
        q.open = 0;
    }
    return q;
}

LivePage LiveMarket::StockPage(std::string_view code) {
    std::optional<FeedSymbol> symbol = SymbolForCode(code);
    // The index codes have pages of their own; on the stock road they are
    // not stocks.
    if (!symbol || code == "999998" || code == "999999")
        return {200, RenderNotFoundPage(code)};
    // An exchange that none of the feeds serves.
    if (symbol->exchange == Exchange::Bj &&
        std::none_of(options_.feeds.begin(), options_.feeds.end(),
                     [](const FeedSource& f) { return f.adapter->servesBeijing; }))
        return {200, RenderNotFoundPage(code)};
    std::unique_lock lock(mutex_);
    std::optional<Cached> stock = Current(*symbol, lock);
    if (!stock)
        return {503, ""};
    if (!stock->known)
        return {200, RenderNotFoundPage(code)};
    const FeedQuote& q = stock->quote;
    // Neither a price nor a previous close: nothing worth showing.
    if (q.previousClose <= 0 && q.latest <= 0)
        return {200, RenderNotFoundPage(code)};
    std::optional<Cached> sh = Current(ShIndexSymbol(), lock);
    std::optional<Cached> sz = sh ? Current(SzIndexSymbol(), lock) : std::nullopt;
    if (!sh || !sz || !sh->known || !sz->known)
        return {503, ""};
    lock.unlock();
    const platform::LocalTime now = platform::ToLocalTime(clock_.NowEpochMs(), options_.timeZone);
    return {200, RenderStockPage(ToStock(*stock, code, now), ToIndex(*sh, kShIndexName, now),
                                 ToIndex(*sz, kSzIndexName, now), stock->stamp)};
}

LivePage LiveMarket::IndexPage(const FeedSymbol& symbol, std::string_view name) {
    std::unique_lock lock(mutex_);
    std::optional<Cached> index = Current(symbol, lock);
    if (!index || !index->known)
        return {503, ""};
    lock.unlock();
    return {200,
            RenderIndexPage(ToIndex(*index, name,
                                    platform::ToLocalTime(clock_.NowEpochMs(), options_.timeZone)),
                            index->stamp)};
}

LivePage LiveMarket::ShIndexPage() {
    return IndexPage(ShIndexSymbol(), kShIndexName);
}

LivePage LiveMarket::SzIndexPage() {
    return IndexPage(SzIndexSymbol(), kSzIndexName);
}

std::vector<ProbeResult> LiveMarket::Probe(const std::vector<std::string>& codes) const {
    std::vector<FeedSymbol> symbols;
    for (const std::string& code : codes)
        if (std::optional<FeedSymbol> s = SymbolForCode(code); s && !Contains(symbols, *s))
            symbols.push_back(*s);
    std::vector<ProbeResult> results;
    for (const FeedSource& source : options_.feeds) {
        const FeedAdapter& adapter = *source.adapter;
        ProbeResult result{std::string(adapter.name), source.base, false, {}, {}, {}};
        std::vector<FeedSymbol> ask;
        for (const FeedSymbol& s : symbols)
            if (s.exchange != Exchange::Bj || adapter.servesBeijing)
                ask.push_back(s);
        if (ask.empty()) {
            result.error = "no code this feed serves";
            results.push_back(std::move(result));
            continue;
        }
        UpstreamRequest request;
        request.base = source.base;
        request.target = adapter.target(ask);
        request.headers = adapter.headers();
        request.deadline = options_.deadline;
        request.caFile = options_.caFile;
        UpstreamReply reply = UpstreamGet(request);
        if (reply.status != 200) {
            result.error = reply.status != 0 ? "HTTP " + std::to_string(reply.status) : reply.error;
        } else {
            FeedReply parsed = adapter.parse(reply.body, ask);
            result.ok = parsed.ok;
            result.error = parsed.ok ? "" : parsed.error;
            result.quotes = std::move(parsed.quotes);
            result.unknown = std::move(parsed.unknown);
        }
        results.push_back(std::move(result));
    }
    return results;
}

} // namespace server
