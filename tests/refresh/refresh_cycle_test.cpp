// The refresh road end to end: the program on the headless driver with a
// manual clock, the bundled quote server's pages on loopback, timer 1 inside
// and outside trading hours, the interval settings, a user holding the
// refresh off, a refresh under an open box, the manual refresh with its
// progress pop-up and failure messages, a fetch that fails part-way, a
// network that is down, replies that are not quote pages and an empty list.
#include "app/ServiceInfo.h"
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "platform/Text.h"
#include "platform/connmgr.h"
#include "platform/device.h"
#include "refresh/RefreshCycle.h"
#include "res/ResourceIds.h"
#include "tests/support/SettingsHarness.h"
#include "tests/support/ShellTestKit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

using testsupport::Gbk;
using testsupport::SettingsSession;

class RefreshTest : public ::testing::Test {
  protected:
    // Starts the program at `start` (device local time) with `stocks` codes.
    void Begin(const std::string& start, int interval,
               const std::vector<std::string>& codes = {"600016", "600036", "000001"}) {
        ResetProgramState();
        s = std::make_unique<SettingsSession>(start);
        s->settings.RefreshInterval = interval;
        s->settings.NotifyMethod = "t";
        for (const std::string& code : codes) {
            s->AddStock(code, "股票", "1.00", "0.00%", "1.00");
        }
        s->Start();
        ASSERT_NE(Shell.mainWindow, nullptr);
    }
    void TearDown() override {
        s.reset();
        platform::Device().networkUp = true;
    }

    platform::headless::Driver& d() { return s->driver(); }
    // Quote requests the server has had (the service request not counted).
    int QuoteRequests() {
        int n = 0;
        for (const std::string& r : s->server().requests()) {
            if (r.find("stockquery.php") != std::string::npos) {
                ++n;
            }
        }
        return n;
    }
    bool BoxOpen() { return testsupport::MessageBoxOpen(d()); }
    bool ScreenShows(const std::string& utf8) { return testsupport::ScreenShowsText(d(), utf8); }
    void Command(int id) { s->Command(id); }
    // Keys go to the bubbles on the screen first: dismiss them, then press
    // OK in the box.
    void CloseBox() {
        while (!d().Bubbles().empty()) {
            d().Enter();
        }
        d().Enter();
        EXPECT_FALSE(BoxOpen());
    }

    std::unique_ptr<SettingsSession> s;
};

struct Boundary {
    const char* start; // the tick comes 30 s later, in the same minute
    bool refreshes;
};

// "2026-03-04 09:15:10, idle" in failure messages and test listings.
void PrintTo(const Boundary& b, std::ostream* out) {
    *out << b.start << (b.refreshes ? ", refreshes" : ", idle");
}

// The test's name: the weekday and the minute of the start, and what is
// expected ("Wed0915Idle", "Sat1000Idle", "Wed0916Refreshes").
std::string BoundaryName(const ::testing::TestParamInfo<Boundary>& info) {
    const std::string start = info.param.start; // "YYYY-MM-DD HH:MM:SS"
    const std::chrono::year_month_day date{
        std::chrono::year{std::stoi(start.substr(0, 4))},
        std::chrono::month{static_cast<unsigned>(std::stoi(start.substr(5, 2)))},
        std::chrono::day{static_cast<unsigned>(std::stoi(start.substr(8, 2)))}};
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    const unsigned day = std::chrono::weekday{std::chrono::sys_days{date}}.c_encoding();
    return std::string(kDays[day]) + start.substr(11, 2) + start.substr(14, 2) +
           (info.param.refreshes ? "Refreshes" : "Idle");
}

class TradingBoundaryTest : public RefreshTest, public ::testing::WithParamInterface<Boundary> {};

} // namespace

TEST_P(TradingBoundaryTest, TimerTickRefreshesOnlyInsideTradingHours) {
    const Boundary b = GetParam();
    Begin(b.start, 30);
    EXPECT_EQ(QuoteRequests(), 0) << "no network activity at start";
    d().Advance(29000);
    EXPECT_EQ(QuoteRequests(), 0);
    d().Advance(1000);
    EXPECT_EQ(QuoteRequests(), b.refreshes ? 3 : 0) << b.start;
    if (b.refreshes) {
        // The list shows the records as the pages filled them.
        EXPECT_NE(WatchList[0].updateTime, "10:00:00");
        EXPECT_EQ(WatchList[0].name, Gbk("民生银行"));
        EXPECT_TRUE(d().ScreenHas("民生银行"));
    } else {
        EXPECT_EQ(WatchList[0].updateTime, "10:00:00");
    }
}

// 2026-03-04 is a Wednesday, 03-07 a Saturday and 03-08 a Sunday.
INSTANTIATE_TEST_SUITE_P(
    Boundaries, TradingBoundaryTest,
    ::testing::Values(Boundary{"2026-03-04 09:15:10", false}, Boundary{"2026-03-04 09:16:10", true},
                      Boundary{"2026-03-04 11:31:10", true}, Boundary{"2026-03-04 11:32:10", false},
                      Boundary{"2026-03-04 12:58:10", false}, Boundary{"2026-03-04 12:59:10", true},
                      Boundary{"2026-03-04 15:09:10", true}, Boundary{"2026-03-04 15:10:10", false},
                      Boundary{"2026-03-07 10:00:10", false},
                      Boundary{"2026-03-08 10:00:10", false}),
    BoundaryName);

TEST(TradingHours, TimeUntilTheNextSession) {
    struct Case {
        WORD dayOfWeek, hour, minute, second, ms;
        std::int64_t expected;
    };
    constexpr std::int64_t kMin = 60000;
    const std::vector<Case> cases = {
        {3, 10, 0, 0, 0, 0},                                      // inside
        {3, 9, 15, 10, 0, 50000},                                 // just before the opening
        {3, 11, 32, 0, 0, 87 * kMin},                             // lunch
        {3, 15, 10, 0, 0, (1440 - 910 + 556) * kMin},             // after the close
        {5, 15, 10, 0, 0, (3 * 1440 - 910 + 556) * kMin},         // Friday to Monday
        {6, 10, 0, 10, 0, (2 * 1440 - 600 + 556) * kMin - 10000}, // Saturday
        {0, 23, 59, 59, 500, (1 + 556) * kMin - 59500},           // late on Sunday
    };
    for (const Case& c : cases) {
        SYSTEMTIME t{};
        t.wDayOfWeek = c.dayOfWeek;
        t.wHour = c.hour;
        t.wMinute = c.minute;
        t.wSecond = c.second;
        t.wMilliseconds = c.ms;
        EXPECT_EQ(MsUntilTrading(t), c.expected) << c.dayOfWeek << " " << c.hour << ":" << c.minute;
    }
}

TEST_F(RefreshTest, OutsideTradingHoursTheTimerSleepsUntilTheOpening) {
    // After Wednesday's close the timer does not tick every 30 s: it wakes an
    // hour before Thursday's opening, then at the opening, which refreshes.
    Begin("2026-03-04 15:10:10", 30);
    auto due = [&] {
        for (const auto& [id, at] : platform::observe::TimersOf(Shell.mainWindow)) {
            if (id == 1) {
                return at - d().NowMs();
            }
        }
        return std::int64_t{-1};
    };
    const std::int64_t untilOpen = (1440 - 910 + 556) * 60000LL - 10000;
    EXPECT_EQ(due(), untilOpen - 3600000);
    d().Advance(untilOpen - 3600000);
    EXPECT_EQ(QuoteRequests(), 0);
    EXPECT_EQ(due(), 3600000); // re-armed by its own tick: the opening exactly
    d().Advance(3600000 - 1);
    EXPECT_EQ(QuoteRequests(), 0);
    d().Advance(1);
    EXPECT_EQ(QuoteRequests(), 3);
    EXPECT_EQ(due(), 30000); // inside: the interval again
}

TEST_F(RefreshTest, AtTheWeekendOnlyAManualRefreshRuns) {
    Begin("2026-03-07 10:00:00", 30);
    d().Advance(120000);
    EXPECT_EQ(QuoteRequests(), 0);

    Command(IDC_MANUALREFRESH);
    // The pop-up shows its text for a quiet second before the cycle runs.
    EXPECT_TRUE(ScreenShows("正在刷新，请稍候...")) << d().ScreenText();
    EXPECT_EQ(QuoteRequests(), 0);
    d().Advance(1000);
    EXPECT_EQ(QuoteRequests(), 3);
    EXPECT_FALSE(ScreenShows("正在刷新，请稍候..."));
    EXPECT_FALSE(BoxOpen());
    EXPECT_EQ(FetchStatus, "");
    EXPECT_EQ(RefreshIdle, 1);
}

TEST_F(RefreshTest, IntervalMinusOneNeverRefreshesByItself) {
    Begin("2026-03-04 10:00:00", -1);
    d().Advance(3 * 3600 * 1000);
    EXPECT_EQ(QuoteRequests(), 0);
    for (const auto& [id, due] : platform::observe::TimersOf(Shell.mainWindow)) {
        if (id == 1) {
            // Armed at the last message, three hours ago, for 0xFFFFFFFF ms.
            EXPECT_EQ(due - d().NowMs(), 0xFFFFFFFFLL - 3 * 3600 * 1000);
        }
    }
    // A manual refresh ignores the setting.
    Command(IDC_MANUALREFRESH);
    d().Advance(1000);
    EXPECT_EQ(QuoteRequests(), 3);
}

TEST_F(RefreshTest, IntervalZeroBecomesFortySeconds) {
    Begin("2026-03-04 10:00:00", 0);
    EXPECT_EQ(Settings.RefreshInterval, 40);
    EXPECT_EQ(Settings.RefreshUnit, Gbk("秒"));
    d().Advance(39000);
    EXPECT_EQ(QuoteRequests(), 0);
    d().Advance(1000);
    EXPECT_EQ(QuoteRequests(), 3);
}

TEST_F(RefreshTest, AUserTouchingTheListHoldsTheRefreshOff) {
    Begin("2026-03-04 10:00:00", 30);
    for (int i = 0; i < 9; ++i) {
        d().Advance(10000);
        if (i % 2 == 0) {
            d().Down();
        } else {
            d().Up();
        }
    }
    EXPECT_EQ(QuoteRequests(), 0) << "90 s with a key every 10 s";
    d().Advance(29000);
    EXPECT_EQ(QuoteRequests(), 0);
    d().Advance(1000);
    EXPECT_EQ(QuoteRequests(), 3);
}

TEST_F(RefreshTest, ARefreshComesDueWhileABoxIsOpen) {
    Begin("2026-03-04 10:00:00", 30);
    Command(IDC_DELETESTOCK); // nothing selected: a box with its own loop
    ASSERT_TRUE(BoxOpen());
    d().Advance(30000);
    EXPECT_EQ(QuoteRequests(), 3);
    EXPECT_TRUE(BoxOpen()) << "the box stays open over the refresh";
    EXPECT_NE(WatchList[0].updateTime, "10:00:00");
    d().Enter();
    EXPECT_FALSE(BoxOpen());
    EXPECT_TRUE(d().ScreenHas("民生银行"));
}

TEST_F(RefreshTest, AFetchFailingOnTheThirdOfFiveStopsTheCycle) {
    Begin("2026-03-04 10:00:00", 30, {"600016", "600036", "000001", "600519", "999998"});
    for (int i = 0; i < 5; ++i) {
        WatchList[i].sellTarget = "0.01"; // reached by any price
    }
    s->server().FailRequest(3);
    Command(IDC_MANUALREFRESH);
    d().Advance(1000);
    EXPECT_EQ(QuoteRequests(), 3);
    // Records 0 and 1 were fetched, parsed and checked; 2 to 4 are as they
    // were.
    for (int i = 0; i < 2; ++i) {
        EXPECT_NE(WatchList[i].updateTime, "10:00:00") << i;
        EXPECT_EQ(WatchList[i].sellAlerted, "Y") << i;
    }
    for (int i = 2; i < 5; ++i) {
        EXPECT_EQ(WatchList[i].updateTime, "10:00:00") << i;
        EXPECT_EQ(WatchList[i].latest, "1.00") << i;
        EXPECT_EQ(WatchList[i].sellAlerted, "N") << i;
    }
    const auto bubbles = d().BubblesShown();
    ASSERT_EQ(bubbles.size(), 2u);
    EXPECT_EQ(bubbles[0].id, 10000u);
    EXPECT_EQ(bubbles[1].id, 10001u);
    // The manual refresh reports the failed connection for CMNET.
    ASSERT_TRUE(BoxOpen());
    EXPECT_TRUE(ScreenShows("GRPS连接失败，请检查GPRS CMNET设置是否正确！")) << d().ScreenText();
    EXPECT_EQ(FetchStatus, "error");
    EXPECT_EQ(RefreshIdle, 1);
    CloseBox();

    // The next cycle fetches all five, the index row through its own page,
    // and raises the remaining alerts.
    d().Advance(30000);
    EXPECT_EQ(QuoteRequests(), 8);
    EXPECT_EQ(WatchList[4].name, Gbk("上证指数"));
    EXPECT_EQ(d().BubblesShown().size(), 5u);
    EXPECT_EQ(d().BubblesShown().back().id, 10004u);
    EXPECT_FALSE(BoxOpen()) << "an automatic cycle shows no message of its own";
}

TEST_F(RefreshTest, AFailedAutomaticCycleSaysNothing) {
    Begin("2026-03-04 10:00:00", 30);
    s->server().FailRequest(1);
    d().Advance(30000);
    EXPECT_EQ(QuoteRequests(), 1);
    EXPECT_FALSE(BoxOpen());
    EXPECT_EQ(RefreshIdle, 1);
    EXPECT_EQ(WatchList[0].updateTime, "10:00:00");
}

TEST_F(RefreshTest, ManualRefreshFailureTextFollowsTheConnectionMethod) {
    Begin("2026-03-07 10:00:00", 30);
    platform::Device().networkUp = false;
    const std::pair<const char*, const char*> cases[] = {
        {"1", "GRPS连接失败，请检查GPRS CMWAP设置是否正确！"},
        {"2", "GRPS连接失败，请检查GPRS CMNET设置是否正确！"},
        {"3", "连接失败，请检查Wi-Fi设置是否正确！"},
        {"", nullptr}};
    for (const auto& [method, text] : cases) {
        Settings.ConnectionMethod = method;
        Command(IDC_MANUALREFRESH);
        d().Advance(1000);
        EXPECT_EQ(FetchStatus, "error") << method;
        if (text != nullptr) {
            ASSERT_TRUE(BoxOpen()) << method;
            EXPECT_TRUE(ScreenShows(text)) << method << "\n" << d().ScreenText();
            d().Enter();
        } else {
            EXPECT_FALSE(BoxOpen()) << "no text for an unknown method";
        }
    }
    EXPECT_EQ(QuoteRequests(), 0);
}

TEST_F(RefreshTest, ManualRefreshOfAnEmptyListDoesNothing) {
    Begin("2026-03-04 10:00:00", 30, {});
    Command(IDC_MANUALREFRESH);
    EXPECT_FALSE(ScreenShows("正在刷新，请稍候..."));
    d().Advance(60000);
    EXPECT_EQ(QuoteRequests(), 0);
}

TEST_F(RefreshTest, ProgressPopUpColours) {
    Begin("2026-03-07 10:00:00", 30);
    for (const char* background : {"W", "B"}) {
        Settings.Background = background;
        Command(IDC_MANUALREFRESH);
        const platform::Canvas& screen = d().Screen();
        bool found = false;
        const std::string text = "正在刷新";
        for (int r = 0; r < screen.Rows() && !found; ++r) {
            const std::string row = screen.RowText(r);
            if (row.find(text) == std::string::npos) {
                continue;
            }
            for (int c = 0; c < screen.Cols(); ++c) {
                if (screen.At(c, r).ch == U'正') {
                    found = true;
                    const COLORREF bg =
                        std::string(background) == "W" ? RGB(153, 204, 204) : RGB(255, 255, 255);
                    EXPECT_EQ(screen.At(c, r).fg, 0x000000u) << background;
                    EXPECT_EQ(screen.At(c, r).bg, bg) << background;
                    break;
                }
            }
        }
        EXPECT_TRUE(found) << d().ScreenText();
        d().Advance(1000);
    }
}

TEST_F(RefreshTest, TheBundledQuoteServerOverHttp) {
    Begin("2026-03-04 10:00:00", 30, {"600016", "999999"});
    testsupport::QuoteServerFixture server("2026-03-04 10:00:30");
    server.PointDevice();
    d().Advance(30000);
    EXPECT_EQ(s->server().requestCount(), 0) << "the real server answered";
    EXPECT_EQ(WatchList[0].name, Gbk("民生银行"));
    EXPECT_EQ(WatchList[0].updateTime, "03-04 10:00:30");
    EXPECT_EQ(WatchList[1].name, Gbk("深证成指"));
    const std::string firstLatest = WatchList[0].latest;
    EXPECT_GT(ReadNumber(firstLatest), 0);

    // The market moves with the server's clock; the next tick shows it.
    server.SetClock("2026-03-04 10:45:00");
    d().Advance(30000);
    EXPECT_EQ(WatchList[0].updateTime, "03-04 10:45:00");
    EXPECT_TRUE(d().ScreenHas("民生银行"));
    EXPECT_TRUE(d().ScreenHas(WatchList[0].latest));
}

TEST_F(RefreshTest, NoCycleStartsWhileOneRuns) {
    Begin("2026-03-04 10:00:00", 30);
    // As inside a running cycle (a box that a fetch opened pumps messages).
    d().Run([] { RefreshIdle = 0; });
    d().Advance(90000);
    EXPECT_EQ(QuoteRequests(), 0);
    // A manual refresh clears a flag left at 0 and runs.
    Command(IDC_MANUALREFRESH);
    d().Advance(1000);
    EXPECT_EQ(QuoteRequests(), 3);
    EXPECT_EQ(RefreshIdle, 1);
}

TEST_F(RefreshTest, ARefreshComesDueWhileADialogIsOpen) {
    Begin("2026-03-04 10:00:00", 30);
    HWND main = Shell.mainWindow;
    Command(IDC_TRAFFIC); // the data-traffic dialog, modal, without an owner
    HWND dialog = d().Top();
    ASSERT_NE(dialog, main);
    d().Advance(30000);
    EXPECT_EQ(QuoteRequests(), 3);
    EXPECT_EQ(d().Top(), dialog) << "the dialog stays open over the refresh";
    EXPECT_NE(WatchList[0].updateTime, "10:00:00");
}

TEST_F(RefreshTest, EveryMessageToThePopUpPutsItsSecondBack) {
    Begin("2026-03-07 10:00:00", 30);
    Command(IDC_MANUALREFRESH);
    HWND popUp = d().Top();
    ASSERT_NE(popUp, Shell.mainWindow);
    d().Advance(600);
    d().Post(popUp, WM_USER, 0, 0);
    d().Advance(600);
    EXPECT_EQ(QuoteRequests(), 0) << "a message 0.6 s in re-armed timer 3";
    d().Advance(400);
    EXPECT_EQ(QuoteRequests(), 3);
    EXPECT_EQ(d().Top(), Shell.mainWindow);
}

TEST_F(RefreshTest, TheServiceRequestIsPartOfTheRunningCycle) {
    Begin("2026-03-04 10:00:00", 30, {"600016"});
    // A peer that notes the refresh-permitted flag while the program waits
    // for the once-a-run service reply (the program's thread is blocked in
    // the fetch then), and serves the quote pages as usual.
    std::atomic<int> flagDuringService{-1};
    testsupport::ScriptedServer peer([&](const std::string& request, int) {
        const std::string target = testsupport::RequestTarget(request);
        if (target.rfind(kServiceInfoPath, 0) == 0) {
            flagDuringService = RefreshIdle;
            return testsupport::ScriptedReply::Send("HTTP/1.1 404 Not Found\r\n\r\n");
        }
        return testsupport::ScriptedReply::Send(
            s->server().ReplyFor(target, platform::Clock().NowEpochMs()));
    });
    peer.PointDevice();
    d().Advance(30000);
    ASSERT_EQ(peer.requestCount(), 2) << "one quote page, then the service request";
    EXPECT_EQ(flagDuringService.load(), 0);
    EXPECT_EQ(RefreshIdle, 1);
}

TEST_F(RefreshTest, ANetworkThatIsDownLeavesTheAutomaticRefreshOnForItsReturn) {
    Begin("2026-03-04 10:00:00", 30);
    platform::Device().networkUp = false;
    d().Advance(30000);
    EXPECT_EQ(QuoteRequests(), 0);
    EXPECT_EQ(RefreshIdle, 1) << "a connection that fails gives the flag back";
    // The network comes back: the next tick refreshes by itself, without a
    // manual refresh first.
    platform::Device().networkUp = true;
    d().Advance(30000);
    EXPECT_EQ(QuoteRequests(), 3);
    EXPECT_EQ(WatchList[0].name, Gbk("民生银行"));
}

TEST_F(RefreshTest, RepliesThatAreNotQuotePagesLeaveTheirRecordsAsTheyWere) {
    Begin("2026-03-04 10:00:00", 30);
    // 600016 gets its page; 600036 a 404 page; 000001 an answer that is no
    // quote page (a busy server's page, "200 OK" but without the markers).
    testsupport::ScriptedServer peer([&](const std::string& request, int) {
        const std::string target = testsupport::RequestTarget(request);
        if (target.find("600036") != std::string::npos) {
            return testsupport::ScriptedReply::Send(
                "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nNot Found");
        }
        if (target.find("000001") != std::string::npos) {
            return testsupport::ScriptedReply::Send(
                "HTTP/1.1 200 OK\r\nContent-Length: 19\r\n\r\n<p>server busy</p>\n");
        }
        return testsupport::ScriptedReply::Send(
            s->server().ReplyFor(target, platform::Clock().NowEpochMs()));
    });
    peer.PointDevice();
    d().Advance(30000);
    ASSERT_GE(peer.requestCount(), 3);
    EXPECT_EQ(WatchList[0].name, Gbk("民生银行"));
    for (int i = 1; i < 3; ++i) {
        EXPECT_EQ(WatchList[i].name, Gbk("股票")) << i;
        EXPECT_EQ(WatchList[i].latest, "1.00") << i;
        EXPECT_EQ(WatchList[i].previousClose, "1.00") << i;
        EXPECT_EQ(WatchList[i].updateTime, "10:00:00") << i;
    }
    EXPECT_EQ(RefreshIdle, 1);
}

TEST_F(RefreshTest, AManualRefreshGivesTheListItsRowsAgain) {
    Begin("2026-03-07 10:00:00", 30);
    // A record the list has not been told of yet (the list still has three
    // rows): the manual refresh fetches it with the others, and at its end
    // the list takes the watch list's row count and shows every record.
    d().Run([] {
        WatchList[3] = WatchList[2];
        WatchList[3].code = "600519";
        ++stockCount;
    });
    ASSERT_EQ(d().ItemMessage(Shell.mainWindow, IDC_QUOTELIST, LVM_GETITEMCOUNT), 3);
    Command(IDC_MANUALREFRESH);
    d().Advance(1000);
    ASSERT_EQ(QuoteRequests(), 4);
    ASSERT_EQ(d().Top(), Shell.mainWindow);
    EXPECT_EQ(d().ItemMessage(Shell.mainWindow, IDC_QUOTELIST, LVM_GETITEMCOUNT), 4);
    for (int i = 0; i < 4; ++i) {
        ASSERT_NE(WatchList[i].name, Gbk("股票")) << i;
        const std::string name = platform::Utf16ToUtf8(platform::GbkToUtf16(WatchList[i].name));
        EXPECT_TRUE(ScreenShows(name)) << name << "\n" << d().ScreenText();
    }
}

TEST_F(RefreshTest, AnEmptyListMakesNoConnectionOnTheTimer) {
    Begin("2026-03-04 10:00:00", 30, {});
    const int before = platform::ConnMgrRequestCountForTesting();
    d().Advance(120000);
    EXPECT_EQ(platform::ConnMgrRequestCountForTesting(), before);
    EXPECT_TRUE(s->server().requests().empty()) << "not even the once-a-run service request";
}
