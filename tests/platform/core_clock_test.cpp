// The device clock: its three modes, and local time in an IANA zone.

#include "platform/clock.h"
#include "platform/device.h"
#include "platform/headless/Driver.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using platform::DeviceClock;
using platform::ParseLocalTime;
using platform::ToLocalTime;

// 2026-03-04 02:00:00 UTC.
constexpr std::int64_t kWednesdayTenShanghai = 1772589600000;

TEST(DeviceClockTest, ParsesLocalTimeInTheDevicesZone) {
    EXPECT_EQ(ParseLocalTime("2026-03-04 10:00", "Asia/Shanghai"), kWednesdayTenShanghai);
    EXPECT_EQ(ParseLocalTime("2026-03-04 10:00:30", "Asia/Shanghai"),
              kWednesdayTenShanghai + 30000);
    EXPECT_EQ(ParseLocalTime("2026-03-04 02:00", "UTC"), kWednesdayTenShanghai);
    // New York is on summer time from 8 March 2026: five hours, then four.
    EXPECT_EQ(ParseLocalTime("2026-03-03 21:00", "America/New_York"), kWednesdayTenShanghai);
    EXPECT_EQ(*ParseLocalTime("2026-07-01 12:00", "America/New_York") -
                  *ParseLocalTime("2026-07-01 12:00", "UTC"),
              4 * 3600 * 1000);
    for (const char* bad :
         {"", "garbage", "2026-02-30 10:00", "2026-03-04 24:00", "2026-13-01 10:00",
          "2026-03-04 10:00:", "2026-03-04 10:00 x", "2026-03-04"}) {
        EXPECT_FALSE(ParseLocalTime(bad, "Asia/Shanghai").has_value()) << bad;
    }
}

TEST(DeviceClockTest, BreaksTimeIntoLocalFieldsWithTheDayOfTheWeek) {
    auto t = ToLocalTime(kWednesdayTenShanghai + 1234, "Asia/Shanghai");
    EXPECT_EQ(t.year, 2026);
    EXPECT_EQ(t.month, 3);
    EXPECT_EQ(t.day, 4);
    EXPECT_EQ(t.dayOfWeek, 3);
    EXPECT_EQ(t.hour, 10);
    EXPECT_EQ(t.minute, 0);
    EXPECT_EQ(t.second, 1);
    EXPECT_EQ(t.millisecond, 234);
    // Sunday is 0; Saturday 6.
    EXPECT_EQ(ToLocalTime(kWednesdayTenShanghai + 4 * 86400000LL, "Asia/Shanghai").dayOfWeek, 0);
    EXPECT_EQ(ToLocalTime(kWednesdayTenShanghai + 3 * 86400000LL, "Asia/Shanghai").dayOfWeek, 6);
    // Before 1970 and before a whole second.
    EXPECT_EQ(ToLocalTime(-1, "UTC").second, 59);
    EXPECT_EQ(ToLocalTime(-1, "UTC").millisecond, 999);
}

TEST(DeviceClockTest, ConversionsLeaveTheProcessZoneAlone) {
    setenv("TZ", "Europe/Paris", 1);
    ToLocalTime(0, "Asia/Shanghai");
    ParseLocalTime("2026-03-04 10:00", "Asia/Shanghai");
    ASSERT_NE(std::getenv("TZ"), nullptr);
    EXPECT_STREQ(std::getenv("TZ"), "Europe/Paris");
    unsetenv("TZ");
}

TEST(DeviceClockTest, ManualClockMovesOnlyForwardAndOnlyWhenTold) {
    DeviceClock c = DeviceClock::Manual(kWednesdayTenShanghai);
    EXPECT_EQ(c.NowEpochMs(), kWednesdayTenShanghai);
    EXPECT_EQ(c.NowMs(), 0);
    EXPECT_FALSE(c.RealDelayFor(1000).has_value());
    c.Advance(1500);
    EXPECT_EQ(c.NowMs(), 1500);
    c.SetEpochMs(kWednesdayTenShanghai); // never backwards
    EXPECT_EQ(c.NowMs(), 1500);
    c.Advance(-5);
    EXPECT_EQ(c.NowMs(), 1500);
    DeviceClock copy = c;
    EXPECT_EQ(copy.NowEpochMs(), kWednesdayTenShanghai + 1500);
}

TEST(DeviceClockTest, ScaledClockStartsAtItsMomentAndWaitsLessRealTime) {
    DeviceClock c = DeviceClock::Scaled(kWednesdayTenShanghai, 60.0);
    EXPECT_GE(c.NowEpochMs(), kWednesdayTenShanghai);
    EXPECT_LT(c.NowEpochMs(), kWednesdayTenShanghai + 60 * 60 * 1000);
    EXPECT_EQ(c.RealDelayFor(60000), 1000);
    EXPECT_EQ(c.RealDelayFor(1), 1); // rounded up, never an early wake
    EXPECT_EQ(c.RealDelayFor(-5), 0);
    EXPECT_EQ(DeviceClock::Real().RealDelayFor(250), 250);
}

TEST(DeviceClockTest, GetLocalTimeAndTickCountReadTheDeviceClock) {
    platform::headless::Options o;
    o.start = "2026-03-07 15:09:59"; // a Saturday
    platform::headless::Driver d(o);
    SYSTEMTIME st{};
    DWORD before = 0;
    d.Run([&] {
        GetLocalTime(&st);
        before = GetTickCount();
    });
    EXPECT_EQ(st.wYear, 2026);
    EXPECT_EQ(st.wMonth, 3);
    EXPECT_EQ(st.wDay, 7);
    EXPECT_EQ(st.wDayOfWeek, 6);
    EXPECT_EQ(st.wHour, 15);
    EXPECT_EQ(st.wMinute, 9);
    EXPECT_EQ(st.wSecond, 59);
    d.Advance(1000);
    DWORD after = 0;
    d.Run([&] {
        GetLocalTime(&st);
        after = GetTickCount();
    });
    EXPECT_EQ(st.wMinute, 10);
    EXPECT_EQ(st.wSecond, 0);
    EXPECT_EQ(after - before, 1000u);
}

} // namespace
