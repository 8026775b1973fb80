// The target price dialog on the headless driver: what it shows, the two
// kinds of spinner with their arithmetic and snapping, the price edits that
// keep the percentage in step unless a percentage spinner wrote them (also
// across a reopening), the save rules, the colours of the information
// statics, and a refresh that runs while the dialog is open.
#include "alerts/TargetPriceDlg.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "platform/Canvas.h"
#include "res/ResourceIds.h"
#include "tests/support/SettingsHarness.h"

#include <gtest/gtest.h>

namespace {

using testsupport::SettingsSession;

const std::u16string kTitle = u"瞰市[提醒]";
const std::u16string kNotifyTitle = u"通知方式";

class TargetPriceTest : public ::testing::Test {
  protected:
    // One stock: latest 10.00, previous close 9.99, sell target 10.00.
    void StartWith(const std::string& latest = "10.00", const std::string& percent = "0.10%",
                   const std::string& sell = "10.00", const std::string& buy = "--") {
        s.AddStock("600036", "招商银行", latest, percent, "9.99", sell, buy);
        s.Start();
    }

    void Open(int row = 0) {
        s.OnDevice([row] { Shell.selectedRow = row; });
        s.Command(IDC_ALERTSETTINGS);
        ASSERT_EQ(s.TopTitle(), kTitle);
    }

    // Saves and leaves the notification method dialog that follows.
    void SaveAndSkipNotify() {
        s.Save();
        ASSERT_EQ(s.TopTitle(), kNotifyTitle);
        s.Cancel();
        ASSERT_EQ(s.Top(), Shell.mainWindow);
    }

    QuoteRecord Record(int i = 0) {
        QuoteRecord copy;
        s.OnDevice([&] { copy = WatchList[i]; });
        return copy;
    }

    SettingsSession s;
};

TEST_F(TargetPriceTest, ShowsTheRecordTheLimitsAndThePercentages) {
    StartWith("10.00", "0.10%", "10.50", "--");
    Open();
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_CODE), "600036");
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_NAME), "招商银行");
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_LATEST), "10.00");
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_CHANGE), "0.10%");
    // Previous close 9.99: 10.989 and 8.991, written with two decimals.
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_LIMITUP), "10.99");
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_LIMITDOWN), "8.99");
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL), "10.50");
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_BUY), "--");
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL_PERCENT), "5.00");
    // "--" reads as 0: the buy target stands 100 % below the price.
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_BUY_PERCENT), "-100.00");
    EXPECT_EQ(s.driver().Focus(), GetDlgItem(s.Top(), IDC_TARGET_SELL));
    EXPECT_EQ(s.driver().SoftKeyText(0), u"取消");
    EXPECT_EQ(s.driver().SoftKeyText(1), u"保存");
    s.Cancel();
    EXPECT_EQ(Shell.selectedRow, -1);
    EXPECT_EQ(s.Top(), Shell.mainWindow);
}

TEST_F(TargetPriceTest, PercentageSpinnerSnapsToWholePoints) {
    StartWith();
    Open();
    struct Case {
        const char16_t* typed; // a price whose percentage from 10.00 is shown
        const char* percent;
        int delta;
        const char* snapped;
        const char* price;
    };
    const Case cases[] = {
        {u"10.357", "3.57", -1, "4.00", "10.40"}, {u"10.357", "3.57", +1, "2.00", "10.20"},
        {u"9.643", "-3.57", -1, "-2.00", "9.80"}, {u"9.643", "-3.57", +1, "-4.00", "9.60"},
        {u"10.00", "0.00", -1, "1.00", "10.10"},  {u"10.04", "0.40", +1, "0.00", "10.00"},
    };
    for (const Case& c : cases) {
        // A price spinner notification of another size clears the
        // percentage's hold on the price edit, so typing updates it again.
        s.Spin(IDC_TARGET_SELL_SPIN, 5);
        s.SetText(IDC_TARGET_SELL, c.typed);
        ASSERT_EQ(s.TextUtf8(IDC_TARGET_SELL_PERCENT), c.percent) << s.TextUtf8(IDC_TARGET_SELL);
        s.Spin(IDC_TARGET_SELL_PERCENT_SPIN, c.delta);
        EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL_PERCENT), c.snapped) << c.percent;
        EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL), c.price) << c.percent;
    }
    // The buy side works the same way, with its own controls.
    s.Spin(IDC_TARGET_BUY_SPIN, 5);
    s.SetText(IDC_TARGET_BUY, u"9.643");
    s.Spin(IDC_TARGET_BUY_PERCENT_SPIN, +1);
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_BUY_PERCENT), "-4.00");
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_BUY), "9.60");
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL), "10.00");
}

TEST_F(TargetPriceTest, PriceSpinnerStepsOneFenByTheArrowKeys) {
    StartWith();
    Open();
    for (int i = 0; i < 3; ++i) {
        s.SpinByKey(IDC_TARGET_SELL_SPIN, false);
    }
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL), "9.97");
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL_PERCENT), "-0.30");
    s.SpinByKey(IDC_TARGET_SELL_SPIN, true);
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL), "9.98");
    // The percentage spinner by key: up raises it by one point.
    s.SpinByKey(IDC_TARGET_SELL_PERCENT_SPIN, true);
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL_PERCENT), "0.00");
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL), "10.00");
    // A price spinner also goes below zero: there are no bounds.
    s.SetText(IDC_TARGET_BUY, u"0.01");
    s.Spin(IDC_TARGET_BUY_SPIN, 1);
    s.Spin(IDC_TARGET_BUY_SPIN, 1);
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_BUY), "-0.01");
}

TEST_F(TargetPriceTest, OnlyDeltasOfOneStep) {
    StartWith();
    Open();
    s.Spin(IDC_TARGET_SELL_SPIN, 2);
    s.Spin(IDC_TARGET_SELL_SPIN, -3);
    s.Spin(IDC_TARGET_SELL_PERCENT_SPIN, -2);
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL), "10.00");
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL_PERCENT), "0.00");
}

TEST_F(TargetPriceTest, WithoutALatestPriceOnlyThePriceSpinnersWork) {
    StartWith("0", "0%", "10.00", "--");
    Open();
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL_PERCENT), "");
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_BUY_PERCENT), "");
    s.Spin(IDC_TARGET_SELL_PERCENT_SPIN, -1);
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL), "10.00");
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL_PERCENT), "");
    EXPECT_EQ(PercentDriven, 0);
    s.Spin(IDC_TARGET_SELL_SPIN, -1);
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL), "10.01");
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL_PERCENT), "");
}

TEST_F(TargetPriceTest, PercentDrivenHoldsThePercentageAcrossAReopening) {
    StartWith();
    Open();
    s.Spin(IDC_TARGET_SELL_PERCENT_SPIN, -1); // 1.00 %, price 10.10
    EXPECT_EQ(PercentDriven, 1);
    s.SetText(IDC_TARGET_SELL, u"11.00");
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL_PERCENT), "1.00");
    s.Cancel();

    Open();
    EXPECT_EQ(PercentDriven, 1);
    // The opening computed the percentage itself; typing does not update it.
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL_PERCENT), "0.00");
    s.driver().Type(u"5");
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL_PERCENT), "0.00");
    // Any spinner notification releases it.
    s.Spin(IDC_TARGET_BUY_SPIN, 7);
    EXPECT_EQ(PercentDriven, 0);
    s.SetText(IDC_TARGET_SELL, u"11.00");
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL_PERCENT), "10.00");
    s.Cancel();
}

TEST_F(TargetPriceTest, SaveStoresChangedNonZeroTargetsAndReArmsThem) {
    StartWith("10.00", "0.10%", "10.00", "9.00");
    struct Case {
        const char16_t* sell;
        const char16_t* buy;
        const char* sellTarget; // stored afterwards
        const char* sellAlerted;
        const char* buyTarget;
        const char* buyAlerted;
    };
    const Case cases[] = {
        {u"10", u"9.00", "10.00", "Y", "9.00", "Y"},          // unchanged text: not re-armed
        {u"0", u"abc", "10.00", "Y", "9.00", "Y"},            // zero and letters keep them
        {u"--", u"", "10.00", "Y", "9.00", "Y"},              // so do "--" and nothing
        {u"1e999", u"-0", "10.00", "Y", "9.00", "Y"},         // and a value beyond numbers
        {u"10.5", u"8.756", "10.50", "N", "8.76", "N"},       // changed: stored and armed
        {u"10.504", u"8.76 yuan", "10.50", "Y", "8.76", "Y"}, // same "%.2f" text
    };
    for (const Case& c : cases) {
        s.OnDevice([] {
        // g++ 12 at -O3 takes these inlined assignments of a literal to a std::string for an
        // overlapping copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
            WatchList[0].sellAlerted = "Y";
            WatchList[0].buyAlerted = "Y";
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
        });
        Open();
        s.SetText(IDC_TARGET_SELL, c.sell);
        s.SetText(IDC_TARGET_BUY, c.buy);
        SaveAndSkipNotify();
        const QuoteRecord r = Record();
        EXPECT_EQ(r.sellTarget, c.sellTarget) << testsupport::Utf8(c.sell);
        EXPECT_EQ(r.sellAlerted, c.sellAlerted) << testsupport::Utf8(c.sell);
        EXPECT_EQ(r.buyTarget, c.buyTarget) << testsupport::Utf8(c.buy);
        EXPECT_EQ(r.buyAlerted, c.buyAlerted) << testsupport::Utf8(c.buy);
        EXPECT_EQ(Shell.selectedRow, -1);
    }
}

// A target whose "%.2f" text is longer than the 19 characters that the
// dialog reads back would be stored as hundreds of digits (crowding whole
// stocks out of the watch-list file) and, cut when read back at the next
// opening, re-armed by a save that changed nothing. Such a value is refused
// like one beyond numbers; the longest text that reads back whole is stored.
TEST_F(TargetPriceTest, ATargetTooLongToReadBackIsRefused) {
    StartWith("10.00", "0.10%", "10.00", "9.00");
    // g++ 12 at -O3 takes this inlined assignment of a literal to a std::string for an overlapping
    // copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
    s.OnDevice([] { WatchList[0].sellAlerted = "Y"; });
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    Open();
    s.SetText(IDC_TARGET_SELL, u"1e300");
    s.SetText(IDC_TARGET_BUY, u"-1e17");
    SaveAndSkipNotify();
    EXPECT_EQ(Record().sellTarget, "10.00");
    EXPECT_EQ(Record().sellAlerted, "Y");
    EXPECT_EQ(Record().buyTarget, "9.00");

    Open();
    s.SetText(IDC_TARGET_SELL, u"1234567890123456");
    SaveAndSkipNotify();
    EXPECT_EQ(Record().sellTarget, "1234567890123456.00");
    EXPECT_EQ(Record().sellAlerted, "N");

    // Saved again untouched, it reads back whole and stays as it is.
    s.OnDevice([] { WatchList[0].sellAlerted = "Y"; });
    Open();
    EXPECT_EQ(s.Text(IDC_TARGET_SELL), u"1234567890123456.00");
    SaveAndSkipNotify();
    EXPECT_EQ(Record().sellTarget, "1234567890123456.00");
    EXPECT_EQ(Record().sellAlerted, "Y");
}

TEST_F(TargetPriceTest, TitleOkSavesAndCancelKeepsTheRecord) {
    StartWith("10.00", "0.10%", "--", "--");
    Open();
    s.SetText(IDC_TARGET_SELL, u"12");
    s.Cancel();
    EXPECT_EQ(Record().sellTarget, "--");
    EXPECT_EQ(s.Top(), Shell.mainWindow);

    Open();
    s.SetText(IDC_TARGET_SELL, u"12");
    s.TitleOk();
    ASSERT_EQ(s.TopTitle(), kNotifyTitle);
    s.Cancel();
    EXPECT_EQ(Record().sellTarget, "12.00");
    EXPECT_EQ(Record().sellAlerted, "N");
}

TEST_F(TargetPriceTest, AStaleSelectionPastTheListGivesNoTargets) {
    StartWith();
    // Row 1 is the add flow's scratch record, not a stock of the list.
    s.OnDevice([] { WatchList[1].code = "600019"; });
    Open(1);
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_CODE), "");
    s.SetText(IDC_TARGET_SELL, u"12");
    SaveAndSkipNotify();
    EXPECT_EQ(Record(1).sellTarget, "");
    EXPECT_EQ(Record(0).sellTarget, "10.00");
    EXPECT_EQ(Shell.selectedRow, -1);
}

TEST_F(TargetPriceTest, InformationStaticsAreColouredByTheChange) {
    StartWith("10.00", "-1.20%");
    Open();
    HWND dlg = s.Top();
    struct Colours {
        INT_PTR brush;
        COLORREF text, back;
        int mode;
    };
    auto colours = [&](int id) {
        Colours c{};
        s.OnDevice([&] {
            platform::Canvas canvas(10, 1);
            RECT rect{0, 0, 10 * kCellWidth, kCellHeight};
            HDC dc = platform::CreateCanvasDC(&canvas, rect, rect);
            SetBkMode(dc, TRANSPARENT);
            // The procedure itself, not the dialog manager's default after it.
            c.brush = TargetPriceDlgProc(dlg, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                         reinterpret_cast<LPARAM>(GetDlgItem(dlg, id)));
            c.text = GetTextColor(dc);
            c.back = GetBkColor(dc);
            c.mode = GetBkMode(dc);
            platform::DestroyCanvasDC(dc);
        });
        return c;
    };
    const COLORREF red = RGB(255, 0, 0), green = RGB(0, 255, 0), nearBlack = RGB(10, 10, 10);
    Colours up = colours(IDC_TARGET_LIMITUP);
    EXPECT_NE(up.brush, 0);
    EXPECT_EQ(up.text, red);
    EXPECT_EQ(up.back, nearBlack);
    Colours down = colours(IDC_TARGET_LIMITDOWN);
    EXPECT_EQ(down.text, green);
    EXPECT_EQ(down.back, nearBlack);
    EXPECT_EQ(colours(IDC_TARGET_NAME).text, red);
    Colours latest = colours(IDC_TARGET_LATEST);
    EXPECT_EQ(latest.text, green);
    EXPECT_EQ(latest.back, nearBlack);
    EXPECT_EQ(latest.mode, OPAQUE);
    EXPECT_EQ(colours(IDC_TARGET_CHANGE).text, green);
    EXPECT_EQ(colours(IDC_TARGET_NOTE).brush, 0);

    // A rise is red, no change white with the mode left alone.
    s.OnDevice([] { WatchList[0].changePercent = "0.5%"; });
    EXPECT_EQ(colours(IDC_TARGET_LATEST).text, red);
    s.OnDevice([] { WatchList[0].changePercent = "0.00%"; });
    Colours flat = colours(IDC_TARGET_CHANGE);
    EXPECT_EQ(flat.text, RGB(255, 255, 255));
    EXPECT_EQ(flat.mode, TRANSPARENT);
    EXPECT_EQ(flat.back, nearBlack);
    s.Cancel();
}

TEST_F(TargetPriceTest, ARefreshUnderTheOpenDialogLeavesItsFieldsAndItsSave) {
    StartWith("10.00", "0.10%", "--", "--");
    Open();
    s.SetText(IDC_TARGET_SELL, u"16.50");
    const std::string percent = s.TextUtf8(IDC_TARGET_SELL_PERCENT);
    s.driver().Advance(41000); // timer 1 comes due during trading hours
    ASSERT_EQ(s.QuoteRequests(), 1);
    // The refresh rewrote the record's quote, not the open dialog.
    EXPECT_NE(Record().latest, "10.00");
    EXPECT_EQ(s.TopTitle(), kTitle);
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_LATEST), "10.00");
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL), "16.50");
    EXPECT_EQ(s.TextUtf8(IDC_TARGET_SELL_PERCENT), percent);
    SaveAndSkipNotify();
    EXPECT_EQ(Record().sellTarget, "16.50");
    EXPECT_EQ(Record().sellAlerted, "N");
    EXPECT_EQ(Record().code, "600036");
}

} // namespace
