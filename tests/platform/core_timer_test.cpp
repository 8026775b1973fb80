// Timers and the order of the message queue, driven through the headless
// driver with the manual clock.

#include "platform/headless/Driver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::headless::Driver;

// What the test windows saw, as (message, wParam) pairs and the device time.
struct Seen {
    UINT msg;
    WPARAM wParam;
    std::int64_t at;
};
std::vector<Seen> seen;
UINT rearmMs = 0;

LRESULT RecorderProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (rearmMs != 0) {
        // Re-arm at the start of every message, as the main window does.
        SetTimer(hwnd, 1, rearmMs, nullptr);
    }
    if (msg == WM_TIMER || msg == WM_USER || msg == WM_PAINT || msg == WM_APP) {
        seen.push_back(Seen{msg, wParam, static_cast<std::int64_t>(GetTickCount())});
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

HWND MakeRecorder(Driver& d) {
    HWND hwnd = nullptr;
    d.Run([&] {
        WNDCLASS wc{};
        wc.lpfnWndProc = RecorderProc;
        wc.lpszClassName = u"Recorder";
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        RegisterClass(&wc);
        hwnd = CreateWindowEx(0, u"Recorder", u"rec", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    });
    return hwnd;
}

int TimerCount() {
    int n = 0;
    for (const auto& s : seen) {
        n += s.msg == WM_TIMER ? 1 : 0;
    }
    return n;
}

class TimerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        seen.clear();
        rearmMs = 0;
    }
};

TEST_F(TimerTest, RearmedTimerFiresOnlyAfterAQuietPeriod) {
    Driver d;
    rearmMs = 30000;
    HWND w = MakeRecorder(d);
    ASSERT_NE(w, nullptr);
    std::int64_t start = d.NowMs();
    // A message every 10 seconds holds the tick off.
    for (int i = 0; i < 6; ++i) {
        d.Advance(10000);
        d.Post(w, WM_USER, i, 0);
    }
    EXPECT_EQ(TimerCount(), 0);
    d.Advance(29999);
    EXPECT_EQ(TimerCount(), 0);
    d.Advance(1);
    ASSERT_EQ(TimerCount(), 1);
    EXPECT_EQ(seen.back().at, start + 60000 + 30000);
}
} // namespace
