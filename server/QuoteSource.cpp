// The page rules shared by both markets, and the simulated market as a
// quote source (see QuoteSource.h).
#include "server/QuoteSource.h"

namespace server {
namespace {

QuoteState StateOf(MarketPhase phase) {
    switch (phase) {
    case MarketPhase::PreOpen:
        return QuoteState::PreOpen;
    case MarketPhase::Closed:
        return QuoteState::Closed;
    default:
        return QuoteState::Trading;
    }
}

} // namespace

StockQuote ShownStock(const StockAnswer& answer) {
    StockQuote s = answer.stock;
    switch (answer.state) {
    case QuoteState::PreOpen:
        s.phase = MarketPhase::PreOpen;
        s.latest = s.high = s.low = s.previousClose;
        s.open = 0;
        break;
    case QuoteState::Suspended:
        // No trade today: the previous close stands.
        s.phase = MarketPhase::Closed;
        s.latest = s.previousClose;
        s.open = s.high = s.low = 0;
        s.volume = s.turnover = 0;
        break;
    case QuoteState::Closed:
        s.phase = MarketPhase::Closed;
        break;
    default:
        if (s.phase == MarketPhase::PreOpen || s.phase == MarketPhase::Closed)
            s.phase = MarketPhase::Trading;
        break;
    }
    return s;
}

IndexQuote ShownIndex(const IndexAnswer& answer) {
    IndexQuote q = answer.index;
    if (answer.state == QuoteState::PreOpen || q.latest <= 0) {
        if (answer.state == QuoteState::PreOpen)
            q.phase = MarketPhase::PreOpen;
        q.latest = q.high = q.low = q.previousClose;
        q.open = 0;
    } else if (answer.state == QuoteState::Closed) {
        q.phase = MarketPhase::Closed;
    }
    return q;
}

SimSource::SimSource(std::uint64_t seed, const platform::DeviceClock& clock, std::string timeZone)
    : market_(seed), clock_(clock), timeZone_(std::move(timeZone)) {}

MarketMoment SimSource::Now() const {
    return MomentAt(platform::ToLocalTime(clock_.NowEpochMs(), timeZone_));
}

StockAnswer SimSource::Stock(std::string_view code, std::string_view) {
    const MarketMoment moment = Now();
    StockAnswer answer;
    std::optional<StockQuote> stock = market_.Stock(code, moment);
    if (!stock) {
        answer.state = QuoteState::Unknown;
        return answer;
    }
    answer.state = StateOf(moment.phase);
    answer.stock = std::move(*stock);
    answer.sh = {answer.state, market_.ShIndex(moment), moment.stamp};
    answer.sz = {answer.state, market_.SzIndex(moment), moment.stamp};
    answer.stamp = moment.stamp;
    return answer;
}

IndexAnswer SimSource::ShIndex(std::string_view) {
    const MarketMoment moment = Now();
    return {StateOf(moment.phase), market_.ShIndex(moment), moment.stamp};
}

IndexAnswer SimSource::SzIndex(std::string_view) {
    const MarketMoment moment = Now();
    return {StateOf(moment.phase), market_.SzIndex(moment), moment.stamp};
}

} // namespace server
