// The background colour dialog on the headless driver: the radio from the
// setting (black for anything but "W"), save and cancel, the quote list's
// colour on the screen at once when the dialog closes, and a refresh that
// runs while the dialog is open.
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "refresh/BackgroundDlg.h"
#include "res/ResourceIds.h"
#include "res/Resources.h"
#include "tests/support/SettingsHarness.h"

#include <gtest/gtest.h>

namespace {

using testsupport::SettingsSession;

const std::u16string kTitle = u"瞰市[背景]";
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

class BackgroundTest : public ::testing::Test {
  protected:
    void StartWith(const std::string& background) {
        s.settings.Background = background;
        s.AddStock("600036", "招商银行", "15.80", "0.00%", "15.80");
        s.Start();
    }

    void Open() {
        s.Command(IDC_BACKGROUND);
        ASSERT_EQ(s.TopTitle(), kTitle);
    }

    std::string Stored() {
        std::string v;
        s.OnDevice([&] { v = Settings.Background; });
        return v;
    }

    // The background of the screen cell at the bottom left of the quote
    // list, below its rows.
    COLORREF ListBackground() {
        RECT rect{};
        for (const auto& child : platform::observe::Children(Shell.mainWindow)) {
            if (child.className == WC_LISTVIEW) {
                rect = child.rect;
            }
        }
        EXPECT_GT(rect.bottom, rect.top);
        const int col = rect.left / kCellWidth;
        const int row = (rect.bottom - 1) / kCellHeight;
        return s.driver().At(col, row).bg;
    }

    SettingsSession s;
};

TEST_F(BackgroundTest, AnEmptySettingOpensOnBlackAndTheListIsBlack) {
    StartWith("");
    EXPECT_EQ(ListBackground(), kBlack);
    Open();
    EXPECT_TRUE(s.Checked(IDC_BACKGROUND_BLACK));
    EXPECT_FALSE(s.Checked(IDC_BACKGROUND_DEFAULT));
    EXPECT_EQ(s.driver().SoftKeyText(0), u"取消");
    EXPECT_EQ(s.driver().SoftKeyText(1), u"保存");
    s.Cancel();
    EXPECT_EQ(Stored(), "");
    EXPECT_EQ(ListBackground(), kBlack);
}

TEST_F(BackgroundTest, SavingTheDefaultColoursTurnsTheListWhiteAtOnce) {
    StartWith("B");
    Open();
    s.Click(IDC_BACKGROUND_DEFAULT);
    EXPECT_FALSE(s.Checked(IDC_BACKGROUND_BLACK));
    s.Save();
    EXPECT_EQ(s.Top(), Shell.mainWindow);
    EXPECT_EQ(Stored(), "W");
    EXPECT_EQ(ListBackground(), kWhite);

    // And back to black through the title-bar OK.
    Open();
    EXPECT_TRUE(s.Checked(IDC_BACKGROUND_DEFAULT));
    s.Click(IDC_BACKGROUND_BLACK);
    s.TitleOk();
    EXPECT_EQ(Stored(), "B");
    EXPECT_EQ(ListBackground(), kBlack);
}

TEST_F(BackgroundTest, CancelKeepsTheSettingAndTheColour) {
    StartWith("W");
    EXPECT_EQ(ListBackground(), kWhite);
    Open();
    s.Click(IDC_BACKGROUND_BLACK);
    s.Cancel();
    EXPECT_EQ(Stored(), "W");
    EXPECT_EQ(ListBackground(), kWhite);
    // The pending copy kept the cancelled choice, but the next opening
    // starts from the setting again.
    EXPECT_EQ(PendingBackground, "B");
    Open();
    EXPECT_TRUE(s.Checked(IDC_BACKGROUND_DEFAULT));
    s.Save();
    EXPECT_EQ(Stored(), "W");
}

TEST_F(BackgroundTest, ARefreshUnderTheOpenDialogLeavesItsChoice) {
    StartWith("B");
    Open();
    s.Click(IDC_BACKGROUND_DEFAULT);
    s.driver().Advance(41000);
    ASSERT_EQ(s.QuoteRequests(), 1);
    ASSERT_EQ(s.TopTitle(), kTitle);
    EXPECT_TRUE(s.Checked(IDC_BACKGROUND_DEFAULT));
    EXPECT_EQ(Stored(), "B");
    s.Save();
    EXPECT_EQ(Stored(), "W");
    EXPECT_EQ(ListBackground(), kWhite);
}

TEST_F(BackgroundTest, ADialogWithoutItsBarStoresNothing) {
    StartWith("W");
    // An earlier opening left "B" in the pending copy.
    Open();
    s.Click(IDC_BACKGROUND_BLACK);
    s.Cancel();
    static ResourceModule partial;
    partial.dialogs[IDD_BACKGROUND] = StockAtResources().dialogs.at(IDD_BACKGROUND);
    HINSTANCE full = Shell.instance;
    s.driver().Run([] {
        Shell.instance = RegisterResourceModule(&partial);
        RunDialog(IDD_BACKGROUND, BackgroundDlgProc);
    });
    ASSERT_EQ(s.TopTitle(), kTitle);
    EXPECT_FALSE(s.Checked(IDC_BACKGROUND_BLACK));
    EXPECT_FALSE(s.Checked(IDC_BACKGROUND_DEFAULT));
    s.TitleOk();
    s.OnDevice([full] { Shell.instance = full; });
    EXPECT_EQ(Stored(), "W");
}

} // namespace
