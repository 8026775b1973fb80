// The live market: shared, bounded upstream requests to the public feeds,
// judged code by code, and their quotes as answers (see LiveMarket.h).
#include "server/LiveMarket.h"

#include "server/Log.h"
#include "server/Market.h"
#include "server/Upstream.h"

#include <algorithm>
#include <exception>
#include <set>

namespace server {
namespace {

constexpr int kAuctionEnd = 9 * 3600 + 25 * 60;
constexpr int kMorningOpen = 9 * 3600 + 30 * 60;
constexpr int kMorningClose = 11 * 3600 + 30 * 60;
constexpr int kAfternoonOpen = 13 * 3600;
constexpr int kAfternoonClose = 15 * 3600;

std::int64_t DayOf(const platform::LocalTime& t) {
    return DayNumber(t.year, t.month, t.day);
}

int SecondOfDay(const platform::LocalTime& t) {
    return t.hour * 3600 + t.minute * 60 + t.second;
}

bool InSession(int s) {
    return (s >= kMorningOpen && s < kMorningClose) || (s >= kAfternoonOpen && s < kAfternoonClose);
}

// Seconds of trading from the morning open to a time of day: the lunch
// break and the time before the open count for nothing.
int TradingSecond(int s) {
    if (s < kMorningOpen)
        return 0;
    if (s < kMorningClose)
        return s - kMorningOpen;
    if (s < kAfternoonOpen)
        return kMorningClose - kMorningOpen;
    return kMorningClose - kMorningOpen + std::min(s, kAfternoonClose) - kAfternoonOpen;
}

bool Contains(const std::vector<FeedSymbol>& symbols, const FeedSymbol& symbol) {
    return std::find(symbols.begin(), symbols.end(), symbol) != symbols.end();
}

// Thousandths to hundredths, half away from zero.
std::int64_t ToHundredths(std::int64_t thousandths) {
    return thousandths >= 0 ? (thousandths + 5) / 10 : -((-thousandths + 5) / 10);
}

std::int64_t InDecimals(std::int64_t thousandths, int decimals) {
    return decimals == 3 ? thousandths : ToHundredths(thousandths);
}

bool IsIndexCode(std::string_view code) {
    return code == "999998" || code == "999999";
}

} // namespace

LiveMarket::LiveMarket(LiveMarketOptions options, const platform::DeviceClock& clock)
    : options_(std::move(options)), clock_(clock) {
    if (options_.caFile.empty())
        options_.caFile = DefaultCaFile();
    options_.maxBatch = std::max<std::size_t>(options_.maxBatch, 3);
    feeds_.resize(options_.feeds.size());
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

platform::LocalTime LiveMarket::Now() const {
    return platform::ToLocalTime(clock_.NowEpochMs(), options_.timeZone);
}

bool LiveMarket::IsCurrent(const FeedSymbol& symbol, std::int64_t now) const {
    auto found = cache_.find(symbol);
    if (found == cache_.end() || now < found->second.fetchedMs)
        return false;
    // That a code is unknown holds for the interest window: a client asking
    // for made-up codes again and again costs nothing upstream.
    const std::int64_t life = found->second.known ? options_.ttlMs : options_.interestMs;
    return now - found->second.fetchedMs < life;
}

bool LiveMarket::MayAsk(std::size_t i, const std::string& client, std::int64_t now, bool dryRun) {
    FeedState& state = feeds_[i];
    if (now < state.restUntilMs)
        return false;
    if (state.lastRequestMs && now - *state.lastRequestMs < options_.ttlMs) {
        // A second request within the time-to-live: only from the asking
        // client's own burst allowance.
        Client& c = clients_[client];
        if (options_.refillMs > 0 && now > c.tokensAtMs)
            c.tokens = std::min<double>(options_.burst,
                                        c.tokens + static_cast<double>(now - c.tokensAtMs) /
                                                       static_cast<double>(options_.refillMs));
        c.tokensAtMs = std::max(c.tokensAtMs, now);
        if (c.tokens < 1.0)
            return false;
        if (!dryRun)
            c.tokens -= 1.0;
    }
    if (!dryRun) {
        state.lastRequestMs = now;
        ++state.requests;
        ++requests_;
    }
    return true;
}

void LiveMarket::NoteInterest(const FeedSymbol& symbol, const std::string& client,
                              std::int64_t now) {
    auto [it, fresh] = clients_.try_emplace(client);
    Client& c = it->second;
    if (fresh) {
        c.tokens = options_.burst;
        c.tokensAtMs = now;
    }
    if (symbol == ShIndexSymbol() || symbol == SzIndexSymbol())
        return; // always in the batch
    if (c.interest.find(symbol) == c.interest.end() && c.interest.size() >= options_.maxBatch) {
        // Room for the newcomer: the client's code asked for least recently
        // goes.
        auto oldest =
            std::min_element(c.interest.begin(), c.interest.end(),
                             [](const auto& a, const auto& b) { return a.second < b.second; });
        c.interest.erase(oldest);
    }
    c.interest[symbol] = now;
}

std::vector<FeedSymbol> LiveMarket::Batch(const FeedSymbol& symbol, std::int64_t now) {
    // Forget what nobody asked for within the window, and the clients with
    // nothing left to ask and a full allowance.
    for (auto c = clients_.begin(); c != clients_.end();) {
        auto& interest = c->second.interest;
        for (auto it = interest.begin(); it != interest.end();)
            it = now - it->second >= options_.interestMs ? interest.erase(it) : std::next(it);
        const bool idle = interest.empty() && (now - c->second.tokensAtMs >= options_.interestMs);
        c = idle ? clients_.erase(c) : std::next(c);
    }
    for (auto it = cache_.begin(); it != cache_.end();)
        it = now - it->second.fetchedMs >= options_.interestMs ? cache_.erase(it) : std::next(it);
    const std::int64_t today = DayOf(Now());
    for (auto it = closedCodes_.begin(); it != closedCodes_.end();)
        it = it->second != today ? closedCodes_.erase(it) : std::next(it);

    std::vector<FeedSymbol> batch{symbol};
    for (const FeedSymbol& index : {ShIndexSymbol(), SzIndexSymbol()})
        if (!Contains(batch, index))
            batch.push_back(index);
    // Each client's codes, most recently asked first, taken in turn.
    std::vector<std::vector<FeedSymbol>> lists;
    for (const auto& [name, c] : clients_) {
        std::vector<std::pair<std::int64_t, FeedSymbol>> recent;
        for (const auto& [s, asked] : c.interest)
            recent.push_back({asked, s});
        std::sort(recent.begin(), recent.end(),
                  [](const auto& a, const auto& b) { return a.first > b.first; });
        std::vector<FeedSymbol> list;
        for (auto& [asked, s] : recent)
            list.push_back(s);
        lists.push_back(std::move(list));
    }
    std::set<FeedSymbol> in(batch.begin(), batch.end());
    for (std::size_t k = 0; batch.size() < options_.maxBatch; ++k) {
        bool more = false;
        for (const std::vector<FeedSymbol>& list : lists) {
            if (k >= list.size())
                continue;
            more = true;
            if (batch.size() < options_.maxBatch && in.insert(list[k]).second)
                batch.push_back(list[k]);
        }
        if (!more)
            break;
    }
    return batch;
}

Freshness JudgeFreshness(const FeedQuote& quote, const platform::LocalTime& stamp,
                         const platform::LocalTime& now, std::int64_t maxLagMs,
                         std::optional<std::int64_t> closedDay) {
    if (quote.status != FeedStatus::Trading || quote.epochMs <= 0)
        return Freshness::Good;
    const std::int64_t today = DayOf(now);
    // Weekends, a known holiday and the hours outside the sessions: an
    // earlier day's quote or a quiet feed is what the market looks like.
    if (!IsTradingDay(today) || closedDay == today || !InSession(SecondOfDay(now)))
        return Freshness::Good;
    if (DayOf(stamp) < today)
        return Freshness::EarlierDay;
    if (DayOf(stamp) > today)
        return Freshness::Good;
    const std::int64_t lagMs = static_cast<std::int64_t>(TradingSecond(SecondOfDay(now)) -
                                                         TradingSecond(SecondOfDay(stamp))) *
                               1000;
    return lagMs > maxLagMs ? Freshness::Stale : Freshness::Good;
}

void LiveMarket::Fetch(const std::vector<FeedSymbol>& batch, const std::string& client) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<FeedSymbol> pending = batch;
    // The best quote so far of each code no feed gave a good one for.
    std::map<FeedSymbol, std::pair<FeedQuote, Verdict>> fallback;
    std::vector<std::string> faults; // per-code faults of this round, for the log
    for (size_t i = 0; i < options_.feeds.size() && !pending.empty(); ++i) {
        const FeedSource& source = options_.feeds[i];
        const FeedAdapter& adapter = *source.adapter;
        if (i > 0) {
            // A code that rode along and is still current from an earlier
            // round is not worth a request to the next feed.
            std::lock_guard lock(mutex_);
            const std::int64_t now = clock_.NowMs();
            pending.erase(std::remove_if(pending.begin(), pending.end(),
                                         [&](const FeedSymbol& s) {
                                             return s != batch.front() && !fallback.count(s) &&
                                                    IsCurrent(s, now);
                                         }),
                          pending.end());
        }
        std::vector<FeedSymbol> ask;
        for (const FeedSymbol& s : pending)
            if (s.exchange != Exchange::Bj || adapter.servesBeijing)
                ask.push_back(s);
        if (ask.empty())
            continue;
        const auto left =
            options_.totalDeadline - std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - start);
        if (left.count() <= 0)
            break;
        {
            std::lock_guard lock(mutex_);
            if (!MayAsk(i, client, clock_.NowMs()))
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
        } else {
            error = reply.status != 0 ? "HTTP " + std::to_string(reply.status) : reply.error;
        }

        std::lock_guard lock(mutex_);
        const std::int64_t now = clock_.NowMs();
        if (!error.empty()) {
            const bool refused = reply.status == 403 || reply.status == 429;
            const std::int64_t rest = refused ? options_.refusedCoolDownMs : options_.coolDownMs;
            feeds_[i].restUntilMs = now + rest;
            LogLine("feed " + std::string(adapter.name) + " (" + source.base + "): " + error +
                    "; resting " + std::to_string(rest / 1000) + " s");
            continue;
        }
        const platform::LocalTime local = Now();
        auto done = [&](const FeedSymbol& s) {
            pending.erase(std::remove(pending.begin(), pending.end(), s), pending.end());
            fallback.erase(s);
        };
        for (FeedQuote& quote : parsed.quotes) {
            // Only what was asked for, each code once.
            if (!Contains(ask, quote.symbol) || !Contains(pending, quote.symbol))
                continue;
            if (std::optional<std::string> why = QuoteInconsistency(quote)) {
                faults.push_back(std::string(adapter.name) + " " + quote.symbol.Text() + ": " +
                                 *why);
                continue;
            }
            // Broken down once here rather than for every page.
            const platform::LocalTime stamp = Stamp(quote);
            // A day known closed for the whole market, or for this code
            // (every feed agreed on an earlier day for it: a stock not
            // trading today that the feeds do not mark suspended).
            auto closedCode = closedCodes_.find(quote.symbol);
            const std::optional<std::int64_t> closed =
                closedCode != closedCodes_.end() ? closedCode->second : closedDay_;
            const Verdict verdict = JudgeFreshness(quote, stamp, local, options_.maxLagMs, closed);
            if (verdict == Verdict::Good) {
                const FeedSymbol symbol = quote.symbol;
                cache_[symbol] = Cached{now, true, std::move(quote), stamp};
                done(symbol);
                continue;
            }
            faults.push_back(std::string(adapter.name) + " " + quote.symbol.Text() +
                             (verdict == Verdict::Stale ? ": lagging" : ": an earlier day"));
            auto found = fallback.find(quote.symbol);
            if (found == fallback.end() || found->second.first.epochMs < quote.epochMs)
                fallback[quote.symbol] = {quote, verdict};
        }
        for (const FeedSymbol& unknown : parsed.unknown) {
            if (!Contains(ask, unknown) || !Contains(pending, unknown))
                continue;
            Cached& entry = cache_[unknown];
            entry = Cached{now, false, FeedQuote{}};
            entry.quote.symbol = unknown;
            // A code the feeds do not know no longer rides along.
            for (auto& [name, c] : clients_)
                c.interest.erase(unknown);
            done(unknown);
        }
        for (const auto& [symbol, why] : parsed.failed)
            faults.push_back(std::string(adapter.name) + " " + symbol.Text() + ": " + why);
    }

    std::lock_guard lock(mutex_);
    const std::int64_t now = clock_.NowMs();
    const platform::LocalTime local = Now();
    // Every feed asked showed an earlier day: the market has not opened
    // today. The feeds' word for it is remembered for the day, so that the
    // next rounds cost one request.
    for (auto& [symbol, best] : fallback) {
        if (best.second != Verdict::EarlierDay)
            continue;
        if (symbol == ShIndexSymbol())
            closedDay_ = DayOf(local);
        closedCodes_[symbol] = DayOf(local);
        const platform::LocalTime stamp = Stamp(best.first);
        cache_[symbol] = Cached{now, true, best.first, stamp};
    }
    if (!faults.empty()) {
        std::string line = "asked the next feed for";
        for (std::size_t k = 0; k < faults.size() && k < 8; ++k)
            line += (k ? "; " : " ") + faults[k];
        if (faults.size() > 8)
            line += "; and " + std::to_string(faults.size() - 8) + " more";
        // The same faults round after round: once a minute is enough.
        if (line != lastFaults_ || now - lastFaultsMs_ >= 60 * 1000) {
            LogLine(line);
            lastFaults_ = line;
            lastFaultsMs_ = now;
        }
    }
}

std::optional<LiveMarket::Cached> LiveMarket::Current(const FeedSymbol& symbol,
                                                      const std::string& client,
                                                      std::unique_lock<std::mutex>& lock) {
    std::int64_t now = clock_.NowMs();
    if (!IsCurrent(symbol, now) || cache_.at(symbol).known)
        NoteInterest(symbol, client, now);
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
        // No feed may be asked for this client now: don't hold up the
        // others with a round that asks nobody.
        bool any = false;
        for (std::size_t i = 0; i < feeds_.size() && !any; ++i)
            any = MayAsk(i, client, now, /*dryRun=*/true);
        if (!any)
            return std::nullopt;
        inFlight_ = true;
        std::vector<FeedSymbol> batch = Batch(symbol, now);
        lock.unlock();
        try {
            Fetch(batch, client);
        } catch (const std::exception& e) {
            // Out of memory or threads: this round failed, the next may not;
            // those waiting for it must not wait forever.
            LogLine(std::string("upstream request failed: ") + e.what());
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

QuoteState LiveMarket::StateOf(const Cached& entry, const platform::LocalTime& now,
                               MarketPhase& phase) const {
    const FeedQuote& quote = entry.quote;
    phase = MarketPhase::Closed;
    if (quote.status != FeedStatus::Trading)
        return QuoteState::Suspended;
    const platform::LocalTime& stamp = entry.stamp;
    // A quote from an earlier day than today's: a weekend, a holiday, or
    // today before the auction, when the feeds still show the last day.
    if (DayOf(stamp) < DayOf(now))
        return QuoteState::Closed;
    // Before 09:25 the feeds carry the call auction's indicative price, not
    // a trade: the previous close stands. From 09:25 the open is a trade.
    phase = MarketPhase::PreOpen;
    if (quote.latest <= 0 || SecondOfDay(stamp) < kAuctionEnd)
        return QuoteState::PreOpen;
    // A clock behind the feed's own day goes by the feed's time of day.
    const int s = DayOf(stamp) > DayOf(now) ? SecondOfDay(stamp) : SecondOfDay(now);
    phase = s >= kAfternoonClose                       ? MarketPhase::AfterClose
            : s >= kMorningClose && s < kAfternoonOpen ? MarketPhase::Break
                                                       : MarketPhase::Trading;
    return QuoteState::Trading;
}

IndexAnswer LiveMarket::ToIndex(const Cached& entry, std::string_view name,
                                const platform::LocalTime& now) const {
    const FeedQuote& quote = entry.quote;
    IndexAnswer a;
    a.index.name = std::string(name);
    a.state = StateOf(entry, now, a.index.phase);
    if (a.state == QuoteState::Suspended)
        a.state = QuoteState::Closed;
    a.index.previousClose = ToHundredths(quote.previousClose);
    a.index.latest = ToHundredths(quote.latest);
    a.index.open = ToHundredths(quote.open);
    a.index.high = ToHundredths(quote.high);
    a.index.low = ToHundredths(quote.low);
    a.index.volume = quote.volume / 100;         // lots
    a.index.turnover = quote.turnover / 1000000; // units of 1,000,000 yuan
    a.stamp = entry.stamp;
    return a;
}

StockAnswer LiveMarket::Stock(std::string_view code, std::string_view clientName) {
    StockAnswer answer;
    answer.state = QuoteState::Unknown;
    std::optional<FeedSymbol> symbol = SymbolForCode(code);
    // The index codes have pages of their own; on the stock route they are
    // not stocks.
    if (!symbol || IsIndexCode(code) || IsIndexSymbol(*symbol))
        return answer;
    // An exchange that none of the feeds serves.
    if (symbol->exchange == Exchange::Bj &&
        std::none_of(options_.feeds.begin(), options_.feeds.end(),
                     [](const FeedSource& f) { return f.adapter->servesBeijing; }))
        return answer;
    const std::string client(clientName);
    std::unique_lock lock(mutex_);
    std::optional<Cached> stock = Current(*symbol, client, lock);
    answer.state = QuoteState::Unavailable;
    if (!stock)
        return answer;
    answer.state = QuoteState::Unknown;
    const FeedQuote& q = stock->quote;
    // Neither a price nor a previous close: nothing worth showing.
    if (!stock->known || (q.previousClose <= 0 && q.latest <= 0))
        return answer;
    std::optional<Cached> sh = Current(ShIndexSymbol(), client, lock);
    std::optional<Cached> sz = sh ? Current(SzIndexSymbol(), client, lock) : std::nullopt;
    answer.state = QuoteState::Unavailable;
    if (!sh || !sz || !sh->known || !sz->known)
        return answer;
    lock.unlock();
    const platform::LocalTime now = Now();
    StockQuote& s = answer.stock;
    answer.state = StateOf(*stock, now, s.phase);
    s.code = std::string(code);
    s.name = q.name;
    s.decimals = PriceDecimals(*symbol);
    s.currency = std::string(PriceCurrency(*symbol));
    s.previousClose = InDecimals(q.previousClose, s.decimals);
    s.latest = InDecimals(q.latest, s.decimals);
    s.open = InDecimals(q.open, s.decimals);
    s.high = InDecimals(q.high, s.decimals);
    s.low = InDecimals(q.low, s.decimals);
    s.volume = q.volume;
    s.turnover = q.turnover;
    answer.sh = ToIndex(*sh, kShIndexName, now);
    answer.sz = ToIndex(*sz, kSzIndexName, now);
    answer.stamp = stock->stamp;
    return answer;
}

IndexAnswer LiveMarket::Index(const FeedSymbol& symbol, std::string_view name,
                              const std::string& client) {
    std::unique_lock lock(mutex_);
    std::optional<Cached> index = Current(symbol, client, lock);
    if (!index || !index->known)
        return {};
    lock.unlock();
    return ToIndex(*index, name, Now());
}

IndexAnswer LiveMarket::ShIndex(std::string_view client) {
    return Index(ShIndexSymbol(), kShIndexName, std::string(client));
}

IndexAnswer LiveMarket::SzIndex(std::string_view client) {
    return Index(SzIndexSymbol(), kSzIndexName, std::string(client));
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
