// The simulated market: deterministic for a seed, whole fen inside the
// +-10 % band, one day's close is the next day's previous close, and the
// phases of the trading day follow Beijing trading hours.
#include "server/Market.h"

#include <gtest/gtest.h>

#include <set>

namespace server {
namespace {

platform::LocalTime At(int year, int month, int day, int hour, int minute, int second = 0) {
    platform::LocalTime t{};
    t.year = year;
    t.month = month;
    t.day = day;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    t.dayOfWeek = Weekday(DayNumber(year, month, day));
    return t;
}

// 2009-03-18 was a Wednesday; 2009-03-20 a Friday.
constexpr int kYear = 2009, kMonth = 3;

TEST(MarketTest, CalendarArithmetic) {
    EXPECT_EQ(DayNumber(1970, 1, 1), 0);
    EXPECT_EQ(DayNumber(2009, 3, 18), 14321);
    EXPECT_EQ(Weekday(DayNumber(2009, 3, 18)), 3);
    EXPECT_EQ(Weekday(DayNumber(1969, 12, 31)), 3);
    std::int64_t friday = DayNumber(2009, 3, 20);
    std::int64_t monday = DayNumber(2009, 3, 23);
    EXPECT_EQ(NextTradingDay(friday), monday);
    EXPECT_EQ(PreviousTradingDay(monday), friday);
    EXPECT_FALSE(IsTradingDay(DayNumber(2009, 3, 21)));
    EXPECT_EQ(DayNumber(2008, 2, 29) + 1, DayNumber(2008, 3, 1));
}

TEST(MarketTest, PhasesFollowTradingHours) {
    struct Case {
        int day, hour, minute, second;
        MarketPhase phase;
        int step;
    } cases[] = {
        {18, 9, 29, 59, MarketPhase::PreOpen, -1},    {18, 9, 30, 0, MarketPhase::Trading, 0},
        {18, 11, 29, 59, MarketPhase::Trading, 719},  {18, 11, 30, 0, MarketPhase::Break, 720},
        {18, 12, 59, 59, MarketPhase::Break, 720},    {18, 13, 0, 0, MarketPhase::Trading, 720},
        {18, 14, 59, 59, MarketPhase::Trading, 1439}, {18, 15, 0, 0, MarketPhase::AfterClose, 1440},
        {21, 10, 0, 0, MarketPhase::Closed, 1440},    {22, 23, 0, 0, MarketPhase::Closed, 1440},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.day << " " << c.hour << ":" << c.minute);
        MarketMoment m = MomentAt(At(kYear, kMonth, c.day, c.hour, c.minute, c.second));
        EXPECT_EQ(m.phase, c.phase);
        EXPECT_EQ(m.step, c.step);
    }
    // At a weekend the quotes are Friday's, stamped at its close.
    MarketMoment saturday = MomentAt(At(kYear, kMonth, 21, 10, 0));
    EXPECT_EQ(saturday.day, DayNumber(kYear, kMonth, 20));
    EXPECT_EQ(saturday.stamp.day, 20);
    EXPECT_EQ(saturday.stamp.hour, 15);
    // In the midday break the stamp stays at the morning's end.
    MarketMoment noon = MomentAt(At(kYear, kMonth, 18, 12, 10, 7));
    EXPECT_EQ(noon.stamp.hour, 11);
    EXPECT_EQ(noon.stamp.minute, 30);
    EXPECT_EQ(noon.stamp.second, 0);
    MarketMoment trading = MomentAt(At(kYear, kMonth, 18, 14, 32, 5));
    EXPECT_EQ(trading.stamp.minute, 32);
    EXPECT_EQ(trading.stamp.second, 5);
}

TEST(MarketTest, KnowsThePresetStocksAndNoOthers) {
    const auto& stocks = ListedStocks();
    ASSERT_EQ(stocks.size(), 48u);
    std::set<std::string> codes;
    for (const ListedStock& s : stocks) {
        codes.insert(s.code);
        EXPECT_EQ(std::string(s.code).size(), 6u);
        // Prices stay below 1000 yuan even at the top of the curve, so that
        // every price has at most six characters on the page.
        EXPECT_LT(s.basePrice * 13 / 10, 99999);
    }
    EXPECT_EQ(codes.size(), 48u);
    Market market(1);
    MarketMoment m = MomentAt(At(kYear, kMonth, 18, 10, 0));
    std::optional<StockQuote> cmb = market.Stock("600036", m);
    ASSERT_TRUE(cmb);
    EXPECT_EQ(cmb->name, "招商银行");
    EXPECT_EQ(market.Stock("000002", m)->name, "万科Ａ");
    EXPECT_EQ(market.Stock("000858", m)->name, "五粮液");
    EXPECT_FALSE(market.Stock("600000", m));
    EXPECT_FALSE(market.Stock("999998", m));
    EXPECT_FALSE(market.Stock("", m));
}

TEST(MarketTest, SameSeedSameQuotesOtherSeedOtherQuotes) {
    Market a(42), b(42), c(43);
    int differing = 0;
    for (int hour : {9, 10, 13, 14, 16}) {
        MarketMoment m = MomentAt(At(kYear, kMonth, 18, hour, 17, 30));
        for (const ListedStock& s : ListedStocks()) {
            StockQuote qa = *a.Stock(s.code, m), qb = *b.Stock(s.code, m), qc = *c.Stock(s.code, m);
            EXPECT_EQ(qa.latest, qb.latest);
            EXPECT_EQ(qa.previousClose, qb.previousClose);
            EXPECT_EQ(qa.high, qb.high);
            EXPECT_EQ(qa.volume, qb.volume);
            EXPECT_EQ(qa.turnover, qb.turnover);
            differing += qa.latest != qc.latest;
        }
        EXPECT_EQ(a.ShIndex(m).latest, b.ShIndex(m).latest);
    }
    EXPECT_GT(differing, 48);
}

TEST(MarketTest, PathsStayInTheBandAndCloseAtTheNextPreviousClose) {
    Market market(7);
    std::vector<int> instruments = {Market::kShIndex, Market::kSzIndex};
    for (int i = 0; i < static_cast<int>(ListedStocks().size()); ++i)
        instruments.push_back(i);
    std::int64_t day = DayNumber(2009, 1, 5);
    int moved = 0;
    for (int n = 0; n < 45; ++n, day = NextTradingDay(day)) {
        for (int instrument : instruments) {
            std::int64_t p0 = market.PreviousClose(instrument, day);
            std::vector<std::int64_t> path = market.PricePath(instrument, day);
            ASSERT_EQ(path.size(), static_cast<size_t>(Market::kPathSteps + 1));
            for (std::int64_t price : path) {
                // Strictly inside +-10 % of the previous close, in whole fen.
                ASSERT_LE(price * 100, p0 * 110) << instrument << " day " << day;
                ASSERT_GE(price * 100, p0 * 90) << instrument << " day " << day;
            }
            ASSERT_EQ(path.back(), market.PreviousClose(instrument, NextTradingDay(day)));
            for (size_t k = 1; k < path.size(); ++k)
                moved += path[k] != path[k - 1];
        }
    }
    EXPECT_GT(moved, 45 * 50 * 100);
}

TEST(MarketTest, QuotesThroughTheDay) {
    Market market(3);
    const char* code = "601318";
    auto quote = [&](int day, int hour, int minute, int second = 0) {
        return *market.Stock(code, MomentAt(At(kYear, kMonth, day, hour, minute, second)));
    };
    // Before the open the previous close stands and nothing has traded.
    StockQuote pre = quote(18, 9, 20);
    EXPECT_EQ(pre.phase, MarketPhase::PreOpen);
    EXPECT_EQ(pre.latest, pre.previousClose);
    EXPECT_EQ(pre.open, 0);
    EXPECT_EQ(pre.volume, 0);
    EXPECT_EQ(pre.high, pre.latest);
    EXPECT_EQ(pre.low, pre.latest);
    // During trading: high and low bracket the price, volume only grows.
    std::int64_t lastVolume = 0, lastTurnover = 0;
    for (int minute = 30; minute < 60; minute += 3) {
        StockQuote q = quote(18, 10, minute);
        EXPECT_EQ(q.phase, MarketPhase::Trading);
        EXPECT_LE(q.low, q.latest);
        EXPECT_GE(q.high, q.latest);
        EXPECT_LE(q.low, q.open);
        EXPECT_GE(q.high, q.open);
        EXPECT_GT(q.volume, lastVolume);
        EXPECT_EQ(q.volume % 100, 0);
        EXPECT_GT(q.turnover, lastTurnover);
        lastVolume = q.volume;
        lastTurnover = q.turnover;
    }
    // The midday break holds the morning's last price.
    EXPECT_EQ(quote(18, 12, 0).latest, quote(18, 11, 30).latest);
    EXPECT_EQ(quote(18, 12, 0).latest, quote(18, 13, 0).latest);
    // After the close: today's close, which is Thursday's previous close,
    // on a normal page with today's change.
    StockQuote closed = quote(18, 15, 30);
    EXPECT_EQ(closed.phase, MarketPhase::AfterClose);
    EXPECT_EQ(closed.latest, quote(19, 9, 0).previousClose);
    // Friday's close stands over the weekend and is Monday's previous close.
    StockQuote friday = quote(20, 15, 0);
    StockQuote sunday = quote(22, 11, 0);
    EXPECT_EQ(sunday.phase, MarketPhase::Closed);
    EXPECT_EQ(sunday.latest, friday.latest);
    EXPECT_EQ(quote(23, 9, 25).previousClose, friday.latest);
}

TEST(MarketTest, IndicesBeforeTheOpenHaveNoOpen) {
    Market market(5);
    MarketMoment pre = MomentAt(At(kYear, kMonth, 18, 9, 16));
    IndexQuote sh = market.ShIndex(pre);
    EXPECT_EQ(sh.name, kShIndexName);
    EXPECT_EQ(sh.phase, MarketPhase::PreOpen);
    EXPECT_EQ(sh.open, 0);
    EXPECT_EQ(sh.latest, sh.previousClose);
    IndexQuote sz = market.SzIndex(MomentAt(At(kYear, kMonth, 18, 10, 16)));
    EXPECT_EQ(sz.name, kSzIndexName);
    EXPECT_GT(sz.open, 0);
    EXPECT_GT(sz.volume, 0);
    EXPECT_GT(sz.turnover, 0);
}

} // namespace
} // namespace server
