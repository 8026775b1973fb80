// A small harness for the lookup, detail, index and service tests: a device
// root in a fresh temporary folder with data files written beforehand, the
// whole program started on the headless driver, and the bundled quote
// server's pages on loopback. Tests then use the program as a person would:
// menu commands, keys, soft keys and the clock.
#pragma once

#include "app/ServiceInfo.h"
#include "app/WinMain.h"
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "net/HttpFetch.h"
#include "net/QuotePageParser.h"
#include "platform/Text.h"
#include "platform/device.h"
#include "platform/headless/Driver.h"
#include "refresh/RefreshCycle.h"
#include "res/ResourceIds.h"
#include "res/Resources.h"
#include "tests/support/Gbk.h"
#include "tests/support/QuoteServerFixture.h"
#include "watchlist/DataFiles.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace lookuptest {

// Wednesday 2026-03-04; 20:00 is outside trading hours, so no timed refresh
// runs unless a test moves the clock into them.
inline platform::headless::Options
EveningOptions(const std::string& start = "2026-03-04 20:00:00") {
    platform::headless::Options options;
    options.cols = 48;
    options.rows = 24;
    options.start = start;
    return options;
}

// Texts between the records (GBK), the controls (UTF-16) and the screen
// (UTF-8).
using testsupport::Gbk;
inline std::u16string Wide(const std::string& gbk) {
    return platform::GbkToUtf16(gbk);
}
using testsupport::Utf8;

class AppTest : public ::testing::Test {
  protected:
    explicit AppTest(platform::headless::Options options = EveningOptions())
        : driverPtr(std::make_unique<platform::headless::Driver>(std::move(options))),
          driver(*driverPtr) {}

    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "stockat-lookup-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        platform::Device().root = root;
        platform::Device().runtimeDir = root / ".run";
        platform::Device().networkUp = true;
        ::ResetProgramState();
        server.PointDevice();
    }

    void TearDown() override {
        // The program ends with the driver, before its folder goes.
        driverPtr.reset();
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
        ::ResetProgramState();
    }

    // Writes the data files for a watch list of `codes` (names "S<code>"),
    // the connection method and the refresh interval, as a previous run
    // would have left them.
    void Seed(const std::vector<std::string>& codes, const std::string& method = "3",
              int refreshInterval = 40, const std::string& background = "W") {
        ::ResetProgramState();
        Settings.ConnectionMethod = method;
        Settings.Background = background;
        Settings.RefreshInterval = refreshInterval;
        Settings.RefreshUnit = Gbk(u"秒");
        for (const std::string& code : codes) {
            QuoteRecord& r = WatchList[stockCount++];
            r.code = code;
            r.name = "S" + code;
            r.latest = "10.00";
            r.changePercent = "0%";
            r.sellTarget = "--";
            r.buyTarget = "--";
        }
        SaveSettings();
        SaveWatchList();
        ::ResetProgramState();
    }

    void StartApp() {
        driver.Start([] {
            HINSTANCE instance = RegisterResourceModule(&StockAtResources());
            return WinMain(instance, nullptr, nullptr, SW_SHOW);
        });
        ASSERT_NE(Shell.mainWindow, nullptr);
    }

    void Command(int id) { driver.Post(Shell.mainWindow, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

    // The dialog on top and the text of one of its controls.
    HWND Dialog() { return driver.Top(); }
    std::u16string Item(int id) { return driver.ItemText(driver.Top(), id); }
    std::u16string TopTitle() {
        HWND top = driver.Top();
        return top ? driver.TextOf(top) : std::u16string();
    }
    bool MainOnTop() { return driver.Top() == Shell.mainWindow; }

    // Request targets the quote server received, oldest first.
    std::vector<std::string> Targets() {
        std::vector<std::string> out;
        for (const std::string& request : server.requests()) {
            out.push_back(testsupport::RequestTarget(request));
        }
        return out;
    }

    // The control id of the focus window (0 when none).
    int FocusId() {
        HWND focus = driver.Focus();
        return focus ? driver.OnDevice([focus] { return GetDlgCtrlID(focus); }) : 0;
    }

    // The rectangle of a control of the top dialog, in screen pixels.
    RECT ItemRect(int id) {
        for (const auto& child : platform::observe::Children(driver.Top())) {
            if (child.id == id) {
                return child.rect;
            }
        }
        ADD_FAILURE() << "no control " << id;
        return RECT{0, 0, 0, 0};
    }
    // Taps the middle of a control of the top dialog.
    void TapItem(int id) {
        RECT r = ItemRect(id);
        driver.Tap((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    // The screen cell at the first and at the last column of a control's
    // first row.
    platform::Cell FirstCellOf(int id) {
        RECT r = ItemRect(id);
        return driver.At(r.left / kCellWidth, r.top / kCellHeight);
    }
    platform::Cell LastCellOf(int id) {
        RECT r = ItemRect(id);
        return driver.At(r.right / kCellWidth - 1, r.top / kCellHeight);
    }

    // Opens the add-stock dialog, types `entry` and presses "查询".
    void LookUp(const std::u16string& entry) {
        Command(IDC_ADDSTOCK);
        driver.Type(entry);
        driver.SoftKey(1);
    }

    std::filesystem::path root;
    testsupport::ScriptedQuoteServer server;
    std::unique_ptr<platform::headless::Driver> driverPtr;
    platform::headless::Driver& driver;
};

} // namespace lookuptest
