// The simulated market behind the bundled quote server: the 48 stocks that
// the program offers as presets and the two market indices, with prices that
// are a pure function of the seed, the instrument and the Beijing time.
//
// Each trading day (Monday to Friday; holidays are not modelled) has a
// previous close, drawn from a slow seeded curve, and a path of prices with
// one point every 10 seconds of trading (09:30-11:30 and 13:00-15:00, 1,441
// points) that starts at the day's open and ends exactly at the next trading
// day's previous close, so that one day's close is the next day's previous
// close. Prices are whole fen (hundredths of a point for the indices) and
// stay inside the band of +-10 % around the previous close. Because nothing
// depends on which requests came before, any two servers with the same seed
// show the same quote for the same moment.
#pragma once

#include "server/Pages.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace server {

// A stock the market knows.
struct ListedStock {
    const char* code;       // six digits
    const char* name;       // UTF-8 short name
    std::int64_t basePrice; // fen, the level its price curve moves around
};

// The 48 stocks, in the order of the program's preset list.
const std::vector<ListedStock>& ListedStocks();

// Where the market stands at a moment: which trading day the quotes belong
// to, the phase of that day, how far its price path has run, and the time
// stamp that the pages carry.
struct MarketMoment {
    std::int64_t day = 0; // the trading day shown, in days since 1970-01-01
    MarketPhase phase = MarketPhase::Closed;
    int step = -1;               // index into the day's path; -1 before the open
    platform::LocalTime stamp{}; // time stamp of the quotes
};

// Days since 1970-01-01 of a calendar date, and the weekday of such a day
// (0 Sunday .. 6 Saturday).
std::int64_t DayNumber(int year, int month, int day);
int Weekday(std::int64_t day);
bool IsTradingDay(std::int64_t day);
std::int64_t PreviousTradingDay(std::int64_t day);
std::int64_t NextTradingDay(std::int64_t day);

// The market's state at a Beijing local time.
MarketMoment MomentAt(const platform::LocalTime& beijing);

class Market {
  public:
    // Points of a day's path: one every 10 s over 4 hours of trading.
    static constexpr int kPathSteps = 1440;

    explicit Market(std::uint64_t seed);

    // The quote of a listed stock, or nothing for a code the market does not
    // know.
    std::optional<StockQuote> Stock(std::string_view code, const MarketMoment& moment) const;
    IndexQuote ShIndex(const MarketMoment& moment) const;
    IndexQuote SzIndex(const MarketMoment& moment) const;

    // The previous close of instrument `instrument` (a stock's position in
    // ListedStocks(), or kShIndex / kSzIndex) on trading day `day`.
    std::int64_t PreviousClose(int instrument, std::int64_t day) const;
    // The whole price path of a trading day, kPathSteps + 1 points.
    std::vector<std::int64_t> PricePath(int instrument, std::int64_t day) const;

    static constexpr int kShIndex = 1000;
    static constexpr int kSzIndex = 1001;

  private:
    struct Day;      // one instrument's day up to a step
    struct DayTable; // one instrument's whole day, step by step
    struct Cache;    // the day tables computed so far
    Day Run(int instrument, std::int64_t day, int step) const;
    IndexQuote Index(int instrument, std::string_view name, const MarketMoment& moment) const;
    std::shared_ptr<const DayTable> Table(int instrument, std::int64_t day) const;
    std::shared_ptr<const DayTable> Build(int instrument, std::int64_t day) const;
    std::int64_t Base(int instrument) const;
    std::uint64_t Hash(int instrument, std::int64_t day, std::uint64_t purpose) const;

    std::uint64_t seed_;
    // Shared by copies of the market; a page is then a few look-ups instead
    // of three walks through a whole day.
    std::shared_ptr<Cache> cache_;
};

} // namespace server
