// The trading-hours test: every minute of a week against the whole-minute
// windows 09:16-11:31 and 12:59-15:09 on Monday to Friday.
#include "refresh/RefreshCycle.h"

#include <gtest/gtest.h>

namespace {

SYSTEMTIME At(int dayOfWeek, int hour, int minute) {
    SYSTEMTIME t{};
    t.wYear = 2026;
    t.wMonth = 3;
    t.wDay = 15 + dayOfWeek;
    t.wDayOfWeek = static_cast<WORD>(dayOfWeek);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = 59;
    return t;
}

} // namespace

TEST(TradingHours, EveryMinuteOfTheWeek) {
    for (int day = 0; day < 7; ++day) {
        for (int hour = 0; hour < 24; ++hour) {
            for (int minute = 0; minute < 60; ++minute) {
                const int m = hour * 60 + minute;
                const bool weekday = day >= 1 && day <= 5;
                const bool morning = m >= 9 * 60 + 16 && m <= 11 * 60 + 31;
                const bool afternoon = m >= 12 * 60 + 59 && m <= 15 * 60 + 9;
                EXPECT_EQ(IsTradingTime(At(day, hour, minute)), weekday && (morning || afternoon))
                    << "day " << day << " " << hour << ":" << minute;
            }
        }
    }
}

TEST(TradingHours, TheBoundariesByName) {
    EXPECT_FALSE(IsTradingTime(At(3, 9, 15)));
    EXPECT_TRUE(IsTradingTime(At(3, 9, 16)));
    EXPECT_TRUE(IsTradingTime(At(3, 11, 31)));
    EXPECT_FALSE(IsTradingTime(At(3, 11, 32)));
    EXPECT_FALSE(IsTradingTime(At(3, 12, 58)));
    EXPECT_TRUE(IsTradingTime(At(3, 12, 59)));
    EXPECT_TRUE(IsTradingTime(At(3, 15, 9)));
    EXPECT_FALSE(IsTradingTime(At(3, 15, 10)));
    EXPECT_FALSE(IsTradingTime(At(6, 10, 0)));
    EXPECT_FALSE(IsTradingTime(At(0, 10, 0)));
}
