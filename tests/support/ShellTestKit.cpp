// The run state reset and the flat screen text for the shell's tests.
#include "tests/support/ShellTestKit.h"

#include "alerts/AlertChecker.h"
#include "alerts/AlertDelivery.h"
#include "app/ServiceInfo.h"
#include "app/ShellState.h"
#include "platform/frontend.h"
#include "platform/observe.h"
#include "res/Resources.h"
#include "watchlist/QuoteRecord.h"

#include <algorithm>

namespace testsupport {

void ResetRunState() {
    // g++ 12 at -O3 takes these inlined assignments of a literal to a std::string for an
    // overlapping copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
    DayHighNoticed = "N";
    DayLowNoticed = "N";
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    NotificationId = kFirstNotificationId;
    ResetServiceInfoForTesting();
}

void ResetProgramOnThisThread() {
    platform::observe::ResetForTests();
    platform::BindUiThread();
    ResetWatchListState();
    Shell = ShellState{};
    Shell.instance = RegisterResourceModule(&StockAtResources());
    ResetRunState();
}

std::string FlatScreen(const platform::headless::Driver& driver) {
    std::string out;
    for (const std::string& row : driver.ScreenRows()) {
        // Rows are UTF-8: drop ASCII blanks and '|' and the box-drawing
        // characters (U+2500-U+257F, E2 94 80 - E2 95 BF).
        for (size_t i = 0; i < row.size();) {
            unsigned char c = static_cast<unsigned char>(row[i]);
            if (c == ' ' || c == '|') {
                ++i;
                continue;
            }
            if (c == 0xE2 && i + 2 < row.size() &&
                (static_cast<unsigned char>(row[i + 1]) == 0x94 ||
                 static_cast<unsigned char>(row[i + 1]) == 0x95)) {
                i += 3;
                continue;
            }
            out.push_back(row[i]);
            ++i;
        }
    }
    return out;
}

bool ScreenShowsText(const platform::headless::Driver& driver, const std::string& utf8) {
    std::string wanted = utf8;
    std::erase(wanted, ' ');
    return FlatScreen(driver).find(wanted) != std::string::npos;
}

bool MessageBoxOpen(const platform::headless::Driver& driver) {
    return driver.FindTop(u"#MessageBox") != nullptr;
}

} // namespace testsupport
