// Timers and the order of the message queue, driven through the headless
// driver with the manual clock: a re-armed timer waits for a quiet period,
// SetTimer restarts, a late timer ticks once, KillTimer drops a due tick,
// and GetMessage hands out posted messages, input, paint and timers in that
// order.

#include "platform/clock.h"
#include "platform/device.h"
#include "platform/frontend.h"
#include "platform/headless/Driver.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

using platform::headless::Driver;

struct Seen {
    UINT msg;
    WPARAM wParam;
    std::int64_t at;
    bool operator==(const Seen& o) const { return msg == o.msg && wParam == o.wParam; }
};

struct Recorder {
    std::vector<Seen> seen;
    UINT rearmMs = 0; // re-arm timer 1 at the start of every message
    bool killOnUser = false;
};
Recorder rec;

LRESULT RecorderProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (rec.rearmMs != 0) {
        SetTimer(hwnd, 1, rec.rearmMs, nullptr);
    }
    switch (msg) {
    case WM_TIMER:
    case WM_USER:
    case WM_APP:
    case WM_PAINT:
    case WM_KEYDOWN:
    case WM_CHAR:
        rec.seen.push_back(Seen{msg, wParam, static_cast<std::int64_t>(GetTickCount())});
        break;
    default:
        break;
    }
    if (msg == WM_USER && rec.killOnUser) {
        KillTimer(hwnd, 1);
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

class TimerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rec = Recorder{};
        window = nullptr;
        d.Run([&] {
            WNDCLASS wc{};
            wc.lpfnWndProc = RecorderProc;
            wc.lpszClassName = u"Recorder";
            wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
            RegisterClass(&wc);
            window =
                CreateWindowEx(0, u"Recorder", u"rec", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
        });
        ASSERT_NE(window, nullptr);
        rec.seen.clear();
        start = d.NowMs();
    }

    int Ticks() const {
        int n = 0;
        for (const auto& s : rec.seen) {
            n += s.msg == WM_TIMER ? 1 : 0;
        }
        return n;
    }
    std::vector<std::int64_t> TickTimes() const {
        std::vector<std::int64_t> out;
        for (const auto& s : rec.seen) {
            if (s.msg == WM_TIMER) {
                out.push_back(s.at - start);
            }
        }
        return out;
    }

    Driver d;
    HWND window = nullptr;
    std::int64_t start = 0;
};

TEST_F(TimerTest, RearmedTimerFiresOnlyAfterAQuietPeriod) {
    rec.rearmMs = 30000;
    d.Post(window, WM_USER, 0, 0); // arms the timer
    // A message every 10 seconds holds the tick off, for a whole minute.
    for (int i = 1; i <= 6; ++i) {
        d.Advance(10000);
        d.Post(window, WM_USER, static_cast<WPARAM>(i), 0);
    }
    EXPECT_EQ(Ticks(), 0);
    d.Advance(29999);
    EXPECT_EQ(Ticks(), 0);
    d.Advance(1);
    EXPECT_EQ(TickTimes(), (std::vector<std::int64_t>{60000 + 30000}));
    // The tick is a message too: it re-arms, so the next comes 30 s later.
    d.Advance(30000);
    EXPECT_EQ(TickTimes(), (std::vector<std::int64_t>{90000, 120000}));
}

TEST_F(TimerTest, AdvanceTicksAtEveryPeriodLikeRealTime) {
    d.Run([&] { SetTimer(window, 1, 30000, nullptr); });
    d.Advance(95000);
    EXPECT_EQ(TickTimes(), (std::vector<std::int64_t>{30000, 60000, 90000}));
}

TEST_F(TimerTest, SetTimerOnAnExistingIdRestartsTheCountdown) {
    d.Run([&] { SetTimer(window, 1, 1000, nullptr); });
    d.Advance(600);
    d.Run([&] { SetTimer(window, 1, 1000, nullptr); });
    d.Advance(600); // 1200 ms: the first countdown would have ended at 1000
    EXPECT_EQ(Ticks(), 0);
    d.Advance(400);
    EXPECT_EQ(TickTimes(), (std::vector<std::int64_t>{1600}));
    // A second timer id is a second timer.
    d.Run([&] { SetTimer(window, 2, 100, nullptr); });
    d.Advance(100);
    ASSERT_EQ(rec.seen.back().msg, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(rec.seen.back().wParam, 2u);
}

TEST_F(TimerTest, ALateTimerTicksOnceNotOncePerMissedPeriod) {
    d.Run([&] { SetTimer(window, 1, 1000, nullptr); });
    // The thread was busy for 10.5 periods (a blocking call).
    d.Stall(10500);
    EXPECT_EQ(Ticks(), 1);
    // The next tick is a whole period after the late one.
    d.Advance(999);
    EXPECT_EQ(Ticks(), 1);
    d.Advance(1);
    EXPECT_EQ(TickTimes(), (std::vector<std::int64_t>{10500, 11500}));
}

TEST_F(TimerTest, KillTimerDropsATickThatIsAlreadyDue) {
    rec.killOnUser = true;
    d.Run([&] { SetTimer(window, 1, 1000, nullptr); });
    // The tick is due, but a posted message comes first and kills the timer.
    platform::Clock().Advance(1500);
    d.Post(window, WM_USER, 0, 0);
    d.Advance(5000);
    EXPECT_EQ(Ticks(), 0);
    d.Run([&] { EXPECT_EQ(KillTimer(window, 1), FALSE); });
}

TEST_F(TimerTest, GetMessageHandsOutPostedThenInputThenPaintThenTimers) {
    d.Run([&] {
        SetFocus(window);
        SetTimer(window, 1, 100, nullptr);
    });
    rec.seen.clear();
    // Everything becomes pending at once, in the reverse of its order.
    platform::Clock().Advance(100);
    d.Run([&] {
        InvalidateRect(window, nullptr, TRUE);
        platform::KeyInput key;
        key.vk = 'A';
        key.ch = u'a';
        platform::InjectKey(key);
        PostMessage(window, WM_USER, 1, 0);
        PostMessage(window, WM_APP, 2, 0);
    });
    const std::vector<Seen> expected = {
        {WM_USER, 1, 0},                          // posted, in posting order
        {WM_APP, 2, 0},     {WM_KEYDOWN, 'A', 0}, // then input
        {WM_CHAR, u'a', 0}, // TranslateMessage posts the character, before paint
        {WM_PAINT, 0, 0},   // then paint
        {WM_TIMER, 1, 0},   // timers last
    };
    EXPECT_EQ(rec.seen, expected);
}

TEST_F(TimerTest, TimersOfADestroyedWindowAreGone) {
    d.Run([&] {
        SetTimer(window, 1, 1000, nullptr);
        DestroyWindow(window);
    });
    d.Advance(3000);
    EXPECT_EQ(Ticks(), 0);
}

} // namespace

namespace {

std::vector<WPARAM> received;

LRESULT CollectProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_APP) {
        received.push_back(wParam);
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

TEST(QueueTest, PostMessageFromOtherThreadsLosesNothingAndKeepsEachThreadsOrder) {
    received.clear();
    platform::headless::Driver d;
    HWND w = nullptr;
    d.Run([&] {
        WNDCLASS wc{};
        wc.lpfnWndProc = CollectProc;
        wc.lpszClassName = u"Collect";
        RegisterClass(&wc);
        w = CreateWindowEx(0, u"Collect", u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    });
    constexpr int kPerThread = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([w, t] {
            for (int i = 0; i < kPerThread; ++i) {
                PostMessage(w, WM_APP, static_cast<WPARAM>(t * 100000 + i), 0);
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    d.WaitIdle();
    ASSERT_EQ(received.size(), 3u * kPerThread);
    int next[3] = {0, 0, 0};
    for (WPARAM v : received) {
        int t = static_cast<int>(v / 100000);
        EXPECT_EQ(static_cast<int>(v % 100000), next[t]++);
    }
}

TEST(QueueTest, MessagesForADestroyedWindowAreDropped) {
    received.clear();
    platform::headless::Driver d;
    d.Run([&] {
        WNDCLASS wc{};
        wc.lpfnWndProc = CollectProc;
        wc.lpszClassName = u"Collect";
        RegisterClass(&wc);
        HWND w =
            CreateWindowEx(0, u"Collect", u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        PostMessage(w, WM_APP, 1, 0);
        DestroyWindow(w);
        EXPECT_EQ(PostMessage(w, WM_APP, 2, 0), FALSE);
    });
    EXPECT_TRUE(received.empty());
}

TEST(QueueTest, PostedMessagesStillComeBeforeAPendingQuit) {
    received.clear();
    platform::headless::Driver d;
    d.Run([&] {
        WNDCLASS wc{};
        wc.lpfnWndProc = CollectProc;
        wc.lpszClassName = u"Collect";
        RegisterClass(&wc);
        HWND w =
            CreateWindowEx(0, u"Collect", u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        PostQuitMessage(3);
        PostMessage(w, WM_APP, 1, 0);
        PostMessage(w, WM_APP, 2, 0);
    });
    EXPECT_EQ(received, (std::vector<WPARAM>{1, 2}));
    EXPECT_TRUE(d.Finished());
    EXPECT_EQ(d.ExitCode(), 3);
}

} // namespace
