// Alert evaluation: the four checks, their order and strictness, the
// once-only flags of each record and the once-per-run day notices, delivery
// by bubble (with consecutive ids) and the alert consumed when no method is
// chosen. The program's thread is this test's thread; the bubbles are read
// from the platform's record of what it showed.
#include "alerts/AlertChecker.h"
#include "alerts/AlertDelivery.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "platform/observe.h"
#include "tests/support/ShellTestKit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class AlertCheckerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testsupport::ResetProgramOnThisThread();
        // g++ 12 at -O3 takes this inlined assignment of a literal to a std::string for an
        // overlapping copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
        Settings.NotifyMethod = "t";
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
        stockCount = 2;
    }
    void TearDown() override { platform::observe::ResetForTests(); }

    static void SetQuote(int i, const std::string& latest, const std::string& high,
                         const std::string& low, const std::string& sell, const std::string& buy) {
        QuoteRecord& r = WatchList[i];
        r.code = i == 0 ? "600016" : "600036";
        r.name = i == 0 ? "MSYH" : "ZSYH";
        r.latest = latest;
        r.high = high;
        r.low = low;
        r.sellTarget = sell;
        r.buyTarget = buy;
        // g++ 12 at -O3 takes these inlined assignments of literals to std::strings for
        // overlapping copies: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
        r.sellAlerted = "N";
        r.buyAlerted = "N";
        r.updateTime = "03-18 10:00:00";
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    }

    // The kinds of the bubbles shown so far, read back from their texts.
    static std::vector<std::string> Kinds() {
        std::vector<std::string> kinds;
        for (const auto& b : platform::observe::BubblesShown()) {
            const std::u16string& t = b.text;
            const bool sell = t.find(u"卖出价位") != std::u16string::npos;
            const bool day = t.find(u"今日") != std::u16string::npos;
            kinds.push_back(std::string(sell ? "H" : "L") + (day ? (sell ? "H" : "L") : ""));
        }
        return kinds;
    }
};

using KindList = std::vector<std::string>;

} // namespace

TEST_F(AlertCheckerTest, EqualityReachesTheTargets) {
    SetQuote(0, "10.00", "10.20", "9.90", "10.00", "--");
    AlertChecker(0);
    SetQuote(1, "9.50", "9.60", "9.50", "--", "9.50");
    AlertChecker(1);
    EXPECT_EQ(Kinds(), (KindList{"H", "L"}));
    EXPECT_EQ(WatchList[0].sellAlerted, "Y");
    EXPECT_EQ(WatchList[1].buyAlerted, "Y");
}

TEST_F(AlertCheckerTest, SellAlertIsRaisedOncePerTarget) {
    SetQuote(0, "10.50", "10.50", "10.00", "10.00", "--");
    AlertChecker(0);
    WatchList[0].latest = "10.60";
    AlertChecker(0);
    EXPECT_EQ(Kinds(), (KindList{"H"}));
}

TEST_F(AlertCheckerTest, SellAndBuyInOneCallSellFirstWithConsecutiveIds) {
    SetQuote(0, "11.00", "11.00", "11.00", "10.00", "12.00");
    AlertChecker(0);
    EXPECT_EQ(Kinds(), (KindList{"H", "L"}));
    const auto bubbles = platform::observe::BubblesShown();
    ASSERT_EQ(bubbles.size(), 2u);
    EXPECT_EQ(bubbles[0].id, 10000u);
    EXPECT_EQ(bubbles[1].id, 10001u);
    EXPECT_EQ(bubbles[0].title, u"新通知");
    EXPECT_EQ(NotificationId, 10002);
}

TEST_F(AlertCheckerTest, DayNoticesAreRaisedOncePerRunAcrossStocks) {
    // The high touched the sell target, the latest is back below it.
    SetQuote(0, "9.80", "10.20", "9.70", "10.00", "--");
    SetQuote(1, "19.80", "20.20", "19.70", "20.00", "--");
    AlertChecker(0);
    AlertChecker(1);
    AlertChecker(0);
    EXPECT_EQ(Kinds(), (KindList{"HH"}));
    EXPECT_EQ(DayHighNoticed, "Y");
    // The record's own flag is not what holds the day notice back.
    EXPECT_EQ(WatchList[0].sellAlerted, "N");

    // The low side has its own once-per-run flag.
    SetQuote(1, "10.20", "10.30", "9.90", "--", "10.00");
    AlertChecker(1);
    SetQuote(0, "10.20", "10.30", "9.90", "--", "10.00");
    AlertChecker(0);
    EXPECT_EQ(Kinds(), (KindList{"HH", "LL"}));
}

TEST_F(AlertCheckerTest, DayNoticeAfterTheRecordsOwnAlert) {
    SetQuote(0, "10.50", "10.50", "10.00", "10.00", "--");
    AlertChecker(0);
    WatchList[0].latest = "9.80";
    WatchList[0].high = "10.60";
    AlertChecker(0);
    EXPECT_EQ(Kinds(), (KindList{"H", "HH"}));
}

TEST_F(AlertCheckerTest, StrictLatestSideOfDayNotices) {
    // latest == sell is "H", never "HH"; latest == buy is "L", never "LL".
    SetQuote(0, "10.00", "10.20", "9.00", "10.00", "10.00");
    AlertChecker(0);
    EXPECT_EQ(Kinds(), (KindList{"H", "L"}));
    EXPECT_EQ(DayHighNoticed, "N");
    EXPECT_EQ(DayLowNoticed, "N");
}

TEST_F(AlertCheckerTest, UnsetTargetsNewStocksAndMissingHighLowNeverFire) {
    SetQuote(0, "10.00", "10.00", "10.00", "--", "");
    AlertChecker(0);
    // A new stock: "P" flags.
    SetQuote(1, "10.00", "10.00", "10.00", "9.00", "11.00");
    WatchList[1].sellAlerted = "P";
    WatchList[1].buyAlerted = "P";
    AlertChecker(1);
    // A high or low of 0 never makes a day notice.
    SetQuote(0, "9.00", "0", "0", "10.00", "8.00");
    AlertChecker(0);
    EXPECT_TRUE(Kinds().empty());
    EXPECT_EQ(WatchList[1].sellAlerted, "P");
}

TEST_F(AlertCheckerTest, NoTradeYetDoesNotRaiseABuyAlert) {
    // A latest price that reads as 0 (no trade before the opening auction, a
    // suspended stock, a damaged page) is no price at the buy target: the
    // target stays armed for the first real price.
    SetQuote(0, "0", "0", "0", "--", "10.00");
    AlertChecker(0);
    WatchList[0].latest = "--";
    AlertChecker(0);
    EXPECT_TRUE(Kinds().empty());
    EXPECT_EQ(WatchList[0].buyAlerted, "N");
    WatchList[0].latest = "9.90";
    AlertChecker(0);
    EXPECT_EQ(Kinds(), (KindList{"L"}));
}

TEST_F(AlertCheckerTest, NoMethodChosenConsumesTheAlertSilently) {
    Settings.NotifyMethod = "";
    SetQuote(0, "10.50", "10.50", "10.50", "10.00", "--");
    AlertChecker(0);
    EXPECT_TRUE(Kinds().empty());
    EXPECT_EQ(WatchList[0].sellAlerted, "Y");
    // Choosing a method afterwards does not bring the alert back.
    Settings.NotifyMethod = "t";
    AlertChecker(0);
    EXPECT_TRUE(Kinds().empty());
    EXPECT_EQ(NotificationId, 10000);
}

TEST_F(AlertCheckerTest, BubbleShowsTheAlertPage) {
    SetQuote(0, "10.50", "10.62", "10.00", "10.00", "--");
    AlertChecker(0);
    const auto bubbles = platform::observe::BubblesShown();
    ASSERT_EQ(bubbles.size(), 1u);
    EXPECT_NE(bubbles[0].text.find(u"MSYH(600016)"), std::u16string::npos);
    EXPECT_NE(bubbles[0].text.find(u"现价:10.50元，最高:10.62元 。[瞰市03-18 10:00:00]"),
              std::u16string::npos);
    EXPECT_EQ(bubbles[0].leftKey, u"Ok");
    EXPECT_EQ(bubbles[0].rightKey, u"Cancel");
}
