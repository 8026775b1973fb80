// The bundled quote server's pages, fetched over loopback exactly as the
// program fetches them (HttpFetch, the reply test, ParseQuotePage), must put
// every quote field of the record on the simulated market's own values: for
// every listed stock, both indices, before the open, in the midday break and
// after the close. The expected texts are formatted here from the market's
// numbers, independently of the server's page code.
#include "common/QuoteRecord.h"
#include "net/HttpFetch.h"
#include "net/QuotePageParser.h"
#include "platform/device.h"
#include "server/Market.h"
#include "server/QuoteServer.h"
#include "tests/support/Gbk.h"
#include "tests/support/QuoteServerFixture.h"
#include "tests/support/ScriptedServer.h"

#include <cinttypes>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

using server::MarketPhase;

using testsupport::Gbk;

// "12.34" from 1234 hundredths (prices here are never negative).
std::string Hundredths(std::int64_t v) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRId64 ".%02" PRId64, v / 100, v % 100);
    return text;
}

// g++ 12 at -O3 takes these inlined string concatenations for an overlapping copy: a known false
// -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
std::string SignedHundredths(std::int64_t v) {
    if (v < 0) {
        return "-" + Hundredths(-v);
    }
    return (v > 0 ? "+" : "") + Hundredths(v);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

std::string Stamp(const platform::LocalTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d-%02d %02d:%02d:%02d", t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

// One index line of a stock page: the value and the change in percent.
std::string IndexLine(const server::IndexQuote& q) {
    std::int64_t change = q.phase == MarketPhase::PreOpen ? 0 : q.latest - q.previousClose;
    return Hundredths(q.latest) + " " + server::FormatPercent(change, q.previousClose);
}

class QuoteServerPagesTest : public ::testing::Test {
  protected:
    void SetUp() override { LastUpdateTime = ShIndexText = SzIndexText = ""; }
    void TearDown() override { LastUpdateTime = ShIndexText = SzIndexText = ""; }

    // Moves the server to a Beijing time and returns the market's moment.
    server::MarketMoment At(const std::string& beijingTime) {
        quoted_.SetClock(beijingTime);
        return server::MomentAt(
            platform::ToLocalTime(testsupport::BeijingEpochMs(beijingTime), "Asia/Shanghai"));
    }

    // Fetches and parses the page of `code` into record 0, as a refresh does.
    QuoteRecord& Refresh(const std::string& code, const char* marker) {
        QuoteRecord& r = WatchList[0];
        r.code = code;
        EXPECT_EQ(HttpFetch(BuildQuoteRequest(code)), 0) << code;
        EXPECT_TRUE(ReplyIsQuotePage(marker)) << code;
        ParseQuotePage(0);
        return r;
    }

    // Every field that a stock page gives, against the market's quote.
    void ExpectStock(const QuoteRecord& r, const server::StockQuote& q,
                     const server::MarketMoment& m, const server::IndexQuote& sh,
                     const server::IndexQuote& sz) {
        SCOPED_TRACE(q.code);
        EXPECT_EQ(r.name, Gbk(q.name));
        EXPECT_EQ(r.latest, Hundredths(q.latest));
        std::int64_t change = m.phase == MarketPhase::PreOpen ? 0 : q.latest - q.previousClose;
        EXPECT_EQ(r.changePercent, server::FormatPercent(change, q.previousClose));
        EXPECT_EQ(r.change, SignedHundredths(change));
        EXPECT_EQ(r.previousClose, Hundredths(q.previousClose));
        EXPECT_EQ(r.open, Hundredths(q.open));
        EXPECT_EQ(r.high, Hundredths(q.high));
        EXPECT_EQ(r.low, Hundredths(q.low));
        EXPECT_EQ(r.volume, std::to_string(q.volume));
        EXPECT_EQ(r.turnover, std::to_string(q.turnover));
        EXPECT_EQ(r.updateTime, Stamp(m.stamp));
        EXPECT_EQ(LastUpdateTime, r.updateTime);
        EXPECT_EQ(ShIndexText, IndexLine(sh));
        EXPECT_EQ(SzIndexText, IndexLine(sz));
    }

    // Every field that an index page gives, against the market's index.
    void ExpectIndex(const QuoteRecord& r, const server::IndexQuote& q,
                     const server::MarketMoment& m) {
        SCOPED_TRACE(q.name);
        EXPECT_EQ(r.name, Gbk(q.name));
        EXPECT_EQ(r.latest, Hundredths(q.latest));
        EXPECT_EQ(r.previousClose, Hundredths(q.previousClose));
        EXPECT_EQ(r.low, Hundredths(q.low));
        EXPECT_EQ(r.high, Hundredths(q.high));
        EXPECT_EQ(r.updateTime, Stamp(m.stamp));
        EXPECT_EQ(LastUpdateTime, r.updateTime);
        if (m.phase == MarketPhase::PreOpen) {
            // No open yet: the page says "0" and the change and trade default.
            EXPECT_EQ(r.open, "0");
            EXPECT_EQ(r.change, "0");
            EXPECT_EQ(r.changePercent, "0%");
            EXPECT_EQ(r.volume, "0");
            EXPECT_EQ(r.turnover, "0");
            return;
        }
        std::int64_t change = q.latest - q.previousClose;
        EXPECT_EQ(r.open, Hundredths(q.open));
        EXPECT_EQ(r.change, SignedHundredths(change));
        EXPECT_EQ(r.changePercent, server::FormatPercent(change, q.previousClose));
        EXPECT_EQ(r.volume, std::to_string(q.volume));
        EXPECT_EQ(r.turnover, Hundredths(q.turnover));
    }

    const server::Market& Market() { return quoted_.Server().GetMarket(); }

    testsupport::FetchTestState state_;
    // The server's clock only moves forward: every test starts before the
    // open and visits its moments in order.
    testsupport::QuoteServerFixture quoted_{"2026-03-18 08:00"};
};

TEST_F(QuoteServerPagesTest, EveryListedStockWhileTrading) {
    quoted_.PointDevice();
    // Morning and afternoon session (2026-03-18 is a Wednesday).
    for (const char* time : {"2026-03-18 10:17:42", "2026-03-18 14:59:55"}) {
        SCOPED_TRACE(time);
        server::MarketMoment m = At(time);
        ASSERT_EQ(m.phase, MarketPhase::Trading);
        server::IndexQuote sh = Market().ShIndex(m);
        server::IndexQuote sz = Market().SzIndex(m);
        for (const server::ListedStock& listed : server::ListedStocks()) {
            std::optional<server::StockQuote> q = Market().Stock(listed.code, m);
            ASSERT_TRUE(q);
            ExpectStock(Refresh(listed.code, kStockPageMarker), *q, m, sh, sz);
        }
    }
}

TEST_F(QuoteServerPagesTest, BothIndicesOnEachRoadAndInEveryPhase) {
    quoted_.PointDevice();
    for (const char* time : {"2026-03-18 09:05", "2026-03-18 10:30", "2026-03-18 12:10",
                             "2026-03-18 16:00", "2026-03-21 11:00"}) {
        SCOPED_TRACE(time);
        server::MarketMoment m = At(time);
        // CMWAP through the gateway (here the same server), CMNET, Wi-Fi.
        for (const char* method : {"1", "2", "3"}) {
            Settings.ConnectionMethod = method;
            ExpectIndex(Refresh("999998", kIndexPageMarker), Market().ShIndex(m), m);
            ExpectIndex(Refresh("999999", kIndexPageMarker), Market().SzIndex(m), m);
            // The add flow's test for an index choice passes as well.
            EXPECT_TRUE(ReplyIsQuotePage(kChangeAmountMarker));
        }
    }
}

TEST_F(QuoteServerPagesTest, AStockBeforeTheOpenInTheMiddayBreakAndAfterTheClose) {
    quoted_.PointDevice();
    // After the close a weekday's page is a normal one with today's change.
    for (const char* time : {"2026-03-18 08:45", "2026-03-18 12:30", "2026-03-18 15:30"}) {
        SCOPED_TRACE(time);
        server::MarketMoment m = At(time);
        std::optional<server::StockQuote> q = Market().Stock("600036", m);
        ASSERT_TRUE(q);
        ExpectStock(Refresh("600036", kStockPageMarker), *q, m, Market().ShIndex(m),
                    Market().SzIndex(m));
    }
}

TEST_F(QuoteServerPagesTest, AClosedMarketGivesTheCloseAndKeepsTheSharedTexts) {
    quoted_.PointDevice();
    server::MarketMoment open = At("2026-03-18 14:00");
    Refresh("600036", kStockPageMarker);
    const std::string shBefore = ShIndexText, szBefore = SzIndexText, timeBefore = LastUpdateTime;
    ASSERT_EQ(shBefore, IndexLine(Market().ShIndex(open)));

    // At the weekend.
    for (const char* time : {"2026-03-22 10:00"}) {
        SCOPED_TRACE(time);
        server::MarketMoment m = At(time);
        ASSERT_EQ(m.phase, MarketPhase::Closed);
        std::optional<server::StockQuote> q = Market().Stock("600036", m);
        ASSERT_TRUE(q);
        QuoteRecord& r = Refresh("600036", kStockPageMarker);
        EXPECT_EQ(r.name, Gbk(q->name));
        EXPECT_EQ(r.latest, Hundredths(q->latest));
        EXPECT_EQ(r.changePercent, "0%");
        for (const std::string* f :
             {&r.change, &r.previousClose, &r.open, &r.high, &r.low, &r.volume, &r.turnover}) {
            EXPECT_EQ(*f, "0");
        }
        EXPECT_EQ(r.updateTime, "--");
        EXPECT_EQ(ShIndexText, shBefore);
        EXPECT_EQ(SzIndexText, szBefore);
        EXPECT_EQ(LastUpdateTime, timeBefore);
    }
}

TEST_F(QuoteServerPagesTest, AnUnknownCodeFailsTheStockTestButNotTheIndexViewTest) {
    quoted_.PointDevice();
    ASSERT_EQ(HttpFetch(BuildStockRequest("123456")), 0);
    EXPECT_TRUE(ReplyIsQuotePage(nullptr));
    EXPECT_FALSE(ReplyIsQuotePage(kStockPageMarker));
    EXPECT_FALSE(ReplyIsQuotePage(kChangeAmountMarker));
}

} // namespace
