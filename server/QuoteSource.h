// The one question both markets of the quote server answer: a code's quote
// and its state. The server renders every page from that answer, so the
// rules of what a page shows in each state live here once for both markets.
#pragma once

#include "platform/clock.h"
#include "server/Market.h"
#include "server/Pages.h"

#include <string>
#include <string_view>

namespace server {

// Where a quote stands.
enum class QuoteState {
    Trading,     // a trade today: the latest price (phase: trading, break, after close)
    PreOpen,     // a trading day before the first trade: the previous close, no change
    Closed,      // the last trading day's close
    Suspended,   // no trade today: the closed-market page at the previous close
    Unknown,     // no such instrument: the not-found page
    Unavailable, // no current quote could be had: an error reply
};

struct IndexAnswer {
    QuoteState state = QuoteState::Unavailable;
    IndexQuote index;
    platform::LocalTime stamp{};
};

struct StockAnswer {
    QuoteState state = QuoteState::Unavailable;
    StockQuote stock;
    // Every stock page carries both index lines; a page without them is
    // unavailable.
    IndexAnswer sh, sz;
    platform::LocalTime stamp{};
};

class QuoteSource {
  public:
    virtual ~QuoteSource() = default;
    // A stock by the program's code; `client` is the asking client's address
    // (empty when not known).
    virtual StockAnswer Stock(std::string_view code, std::string_view client) = 0;
    virtual IndexAnswer ShIndex(std::string_view client) = 0;
    virtual IndexAnswer SzIndex(std::string_view client) = 0;
};

// The values a page shows for an answer: before the open the previous close
// stands and there is no open; a suspended stock shows its previous close
// on the closed-market page.
StockQuote ShownStock(const StockAnswer& answer);
IndexQuote ShownIndex(const IndexAnswer& answer);

// The simulated market at the server's device clock.
class SimSource : public QuoteSource {
  public:
    SimSource(std::uint64_t seed, const platform::DeviceClock& clock, std::string timeZone);
    StockAnswer Stock(std::string_view code, std::string_view client) override;
    IndexAnswer ShIndex(std::string_view client) override;
    IndexAnswer SzIndex(std::string_view client) override;
    const Market& market() const { return market_; }

  private:
    MarketMoment Now() const;
    Market market_;
    const platform::DeviceClock& clock_;
    std::string timeZone_;
};

} // namespace server
