// The stock detail dialog on the whole program: opened from the list with
// Enter, redisplayed under a timed refresh only inside trading hours and on
// weekdays, its timer re-armed by every message, its colours on both
// backgrounds, "(非保存)" before the first refresh, and its commands.
#include "tests/watchlist/addstock_harness.h"

#include "watchlist/StockDetailDialog.h"

namespace {

using lookuptest::Wide;

class DetailTest : public lookuptest::AppTest {
  protected:
    explicit DetailTest(const std::string& start = "2026-03-04 20:00:00")
        : AppTest(lookuptest::EveningOptions(start)) {}

    // Selects the first row of the list and opens it with Enter.
    void OpenFirstRow() {
        driver.Down();
        driver.Enter();
        ASSERT_EQ(TopTitle(), u"瞰市[个股]");
    }

    std::u16string DetailTimerDue() {
        for (const auto& [id, due] : platform::observe::TimersOf(driver.Top())) {
            if (id == kDetailTimerId) {
                return std::u16string(u"due in ") + Wide(std::to_string(due - driver.NowMs()));
            }
        }
        return u"no timer";
    }
};

TEST_F(DetailTest, ShowsEveryFieldOfTheSelectedRowAndClosesOnOk) {
    Seed({"600016", "600036"});
    StartApp();
    driver.Down();
    driver.Down();
    driver.Enter();
    ASSERT_EQ(TopTitle(), u"瞰市[个股]");
    EXPECT_EQ(driver.SoftKeyText(0), u"返回");
    EXPECT_EQ(driver.SoftKeyText(1), u"提醒设置");
    EXPECT_EQ(Item(IDC_DETAIL_CODE), u"600036");
    EXPECT_EQ(Item(IDC_DETAIL_NAME), u"S600036");
    EXPECT_EQ(Item(IDC_DETAIL_LATEST), u"10.00");
    // Volume and turnover are not kept in the file: nothing fetched yet.
    EXPECT_EQ(Item(IDC_DETAIL_VOLUME), u"(非保存)");
    EXPECT_EQ(Item(IDC_DETAIL_TURNOVER), u"(非保存)");
    EXPECT_EQ(previewMode, "N");

    driver.TitleButton(); // OK in watch-list mode closes like 返回
    EXPECT_TRUE(MainOnTop());
}

TEST_F(DetailTest, EveryMessageReArmsTheFortySecondTimer) {
    Seed({"600016"});
    StartApp();
    OpenFirstRow();
    EXPECT_EQ(DetailTimerDue(), u"due in 40000");
    driver.Advance(30000);
    EXPECT_EQ(DetailTimerDue(), u"due in 10000");
    driver.Key(VK_DOWN); // any message reaching the dialog
    EXPECT_EQ(DetailTimerDue(), u"due in 40000");
}

TEST_F(DetailTest, AlertSettingsOpensTheTargetDialogAndClosesAfterIt) {
    Seed({"600016"});
    StartApp();
    OpenFirstRow();
    driver.SoftKey(1); // 提醒设置
    ASSERT_EQ(TopTitle(), u"瞰市[提醒]");
    driver.SoftKey(0); // 取消 of the target dialog
    EXPECT_TRUE(MainOnTop());
}

TEST_F(DetailTest, ChangeColoursOnBothBackgrounds) {
    struct Case {
        const char* background;
        const char* percent;
        COLORREF change;
        COLORREF text;
        COLORREF bg;
        COLORREF target;
    };
    const Case cases[] = {
        {"W", "-1.20%", 0x005000, 0x000000, 0xFFFFFF, 0xFF0000},
        {"W", "+1.20%", 0x0000FF, 0x000000, 0xFFFFFF, 0xFF0000},
        {"W", "0%", 0x000000, 0x000000, 0xFFFFFF, 0xFF0000},
        {"B", "-1.20%", 0x00FF00, 0xFFFFFF, 0x000000, 0x00FFFF},
        {"B", "0%", 0xFFFFFF, 0xFFFFFF, 0x000000, 0x00FFFF},
    };
    Seed({"600016"});
    StartApp();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.background) + " " + c.percent);
        driver.Run([&] {
            Settings.Background = c.background;
            WatchList[0].changePercent = c.percent;
            WatchList[0].sellTarget = "11.00";
        });
        OpenFirstRow();
        for (int id : {IDC_DETAIL_LATEST, IDC_DETAIL_CHANGE, IDC_DETAIL_PERCENT}) {
            EXPECT_EQ(LastCellOf(id).fg, c.change) << id;
            EXPECT_EQ(LastCellOf(id).bg, c.bg) << id;
        }
        EXPECT_EQ(LastCellOf(IDC_DETAIL_PREVCLOSE).fg, c.text);
        EXPECT_EQ(LastCellOf(IDC_DETAIL_SELL).fg, c.target);
        EXPECT_EQ(FirstCellOf(IDC_DETAIL_NAME).fg, 0x0000FFu);
        EXPECT_EQ(FirstCellOf(IDC_DETAIL_NAME).bg, c.bg);
        driver.SoftKey(0);
        ASSERT_TRUE(MainOnTop());
    }
}

// A timed refresh every 30 seconds rewrites the record under the open
// dialog; the dialog shows it at its 40-second tick when that tick falls
// inside trading hours on a weekday.
class DetailRedisplayTest : public DetailTest {
  protected:
    explicit DetailRedisplayTest(const std::string& start) : DetailTest(start) {}

    // Opens the first row, lets the refresh run under it and then the
    // dialog's own tick; returns whether the dialog then showed the
    // refreshed price.
    bool RedisplaysTheRefresh() {
        Seed({"600036"}, "3", 30);
        StartApp();
        driver.Down();
        driver.Enter();
        EXPECT_EQ(TopTitle(), u"瞰市[个股]");
        EXPECT_EQ(Item(IDC_DETAIL_LATEST), u"10.00");
        driver.Advance(35000);
        EXPECT_GE(server.requestCount(), 1) << "the refresh ran under the dialog";
        EXPECT_NE(WatchList[0].latest, "10.00");
        EXPECT_EQ(Item(IDC_DETAIL_LATEST), u"10.00") << "not before the dialog's tick";
        driver.Advance(6000);
        return Item(IDC_DETAIL_LATEST) == Wide(WatchList[0].latest);
    }
};

class DetailAt1130 : public DetailRedisplayTest {
  protected:
    DetailAt1130() : DetailRedisplayTest("2026-03-04 11:30:25") {}
};
TEST_F(DetailAt1130, RedisplaysAtEleventhirtyOne) {
    EXPECT_TRUE(RedisplaysTheRefresh());
}

class DetailAt1131 : public DetailRedisplayTest {
  protected:
    DetailAt1131() : DetailRedisplayTest("2026-03-04 11:31:25") {}
};
// The refresh still runs at 11:31:55, but the tick comes at 11:32:05.
TEST_F(DetailAt1131, DoesNotRedisplayAtEleventhirtyTwo) {
    EXPECT_FALSE(RedisplaysTheRefresh());
}

class DetailOnSaturday : public DetailTest {
  protected:
    DetailOnSaturday() : DetailTest("2026-03-07 10:30:00") {}
};
TEST_F(DetailOnSaturday, DoesNotRedisplay) {
    Seed({"600036"}, "3", 20);
    StartApp();
    OpenFirstRow();
    driver.Advance(25000);
    EXPECT_EQ(server.requestCount(), 0) << "no timed refresh at the weekend";
    driver.Run([] { WatchList[0].latest = "12.34"; });
    driver.Advance(20000);
    EXPECT_EQ(Item(IDC_DETAIL_LATEST), u"10.00");
}

} // namespace
