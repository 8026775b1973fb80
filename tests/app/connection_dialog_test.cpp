// The connection method dialog on the headless driver: it opens by itself at
// a first start, lists its four entries in order, selects the stored method,
// refuses "0" next to the list, stores the chosen method only on save, is
// reached again from the menu, and stays correct while a refresh runs under
// it.
#include "app/ConnectionDlg.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "res/ResourceIds.h"
#include "tests/support/SettingsHarness.h"

#include <gtest/gtest.h>

namespace {

using testsupport::SettingsSession;

const std::u16string kTitle = u"瞰市[连接方式]";

class ConnectionTest : public ::testing::Test {
  protected:
    std::string Stored() {
        std::string v;
        s.OnDevice([&] { v = Settings.ConnectionMethod; });
        return v;
    }

    LRESULT Selection() { return s.Message(IDC_CONNECTION_LIST, CB_GETCURSEL); }

    // Selects entry `index` as the user does: the list sends CBN_SELCHANGE.
    void Choose(int index) {
        HWND dlg = s.Top();
        s.driver().Run([&] {
            SendDlgItemMessage(dlg, IDC_CONNECTION_LIST, CB_SETCURSEL, static_cast<WPARAM>(index),
                               0);
            SendMessage(dlg, WM_COMMAND, MAKEWPARAM(IDC_CONNECTION_LIST, CBN_SELCHANGE),
                        reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDC_CONNECTION_LIST)));
        });
    }

    SettingsSession s;
};

TEST_F(ConnectionTest, FirstStartAsksAndRefusesNoChoiceNextToTheList) {
    s.writeFiles = false; // no data files: nothing is stored yet
    s.Start();
    ASSERT_EQ(s.TopTitle(), kTitle);
    EXPECT_EQ(s.driver().SoftKeyText(0), u"取消");
    EXPECT_EQ(s.driver().SoftKeyText(1), u"保存");
    const char16_t* entries[] = {u"0 请选择连接方式", u"1 CMWAP", u"2 CMNET", u"3 Wi-Fi"};
    ASSERT_EQ(s.Message(IDC_CONNECTION_LIST, CB_GETCOUNT), 4);
    for (int i = 0; i < 4; ++i) {
        std::u16string text(64, u'\0');
        const LRESULT n = s.Message(IDC_CONNECTION_LIST, CB_GETLBTEXT, static_cast<WPARAM>(i),
                                    reinterpret_cast<LPARAM>(text.data()));
        ASSERT_GT(n, 0);
        text.resize(static_cast<std::size_t>(n));
        EXPECT_EQ(text, entries[i]);
    }
    EXPECT_EQ(Selection(), 0);
    EXPECT_EQ(s.Text(IDC_CONNECTION_REFUSAL), u"");

    s.Save();
    ASSERT_EQ(s.TopTitle(), kTitle);
    EXPECT_EQ(s.Text(IDC_CONNECTION_REFUSAL), u"请选择连接方式！");
    EXPECT_TRUE(s.driver().ScreenHas("请选择连接方式！"));
    EXPECT_EQ(Stored(), "");

    Choose(2);
    EXPECT_EQ(s.Text(IDC_CONNECTION_REFUSAL), u"");
    s.Save();
    EXPECT_EQ(s.Top(), Shell.mainWindow);
    EXPECT_EQ(Stored(), "2");
}

TEST_F(ConnectionTest, ChoosingWithTheArrowKeys) {
    s.writeFiles = false;
    s.Start();
    ASSERT_EQ(s.TopTitle(), kTitle);
    EXPECT_EQ(s.driver().Focus(), GetDlgItem(s.Top(), IDC_CONNECTION_LIST));
    // Down opens the list, Down moves through it, Enter chooses.
    for (int i = 0; i < 4; ++i) {
        s.driver().Down();
    }
    s.driver().Enter();
    ASSERT_EQ(s.TopTitle(), kTitle);
    EXPECT_EQ(Selection(), 3);
    EXPECT_EQ(Stored(), "");
    s.TitleOk();
    EXPECT_EQ(Stored(), "3");
}

TEST_F(ConnectionTest, CancelAtFirstStartLeavesItUnchosenAndTheMenuOffersItAgain) {
    s.writeFiles = false;
    s.Start();
    ASSERT_EQ(s.TopTitle(), kTitle);
    Choose(1);
    s.Cancel();
    EXPECT_EQ(s.Top(), Shell.mainWindow);
    EXPECT_EQ(Stored(), "");
    s.Command(IDC_CONNECTIONMETHOD);
    ASSERT_EQ(s.TopTitle(), kTitle);
    EXPECT_EQ(Selection(), 0);
    Choose(1);
    s.Save();
    EXPECT_EQ(Stored(), "1");
}

TEST_F(ConnectionTest, AStoredMethodIsNotAskedForAndIsSelected) {
    // g++ 12 at -O3 takes this inlined assignment of a literal to a std::string for an overlapping
    // copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
    s.settings.ConnectionMethod = "3";
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    s.Start();
    EXPECT_EQ(s.Top(), Shell.mainWindow);
    s.Command(IDC_CONNECTIONMETHOD);
    ASSERT_EQ(s.TopTitle(), kTitle);
    EXPECT_EQ(Selection(), 3);
    // Choosing entry 0 and saving is refused; the stored method stays.
    Choose(0);
    s.Save();
    EXPECT_EQ(s.Text(IDC_CONNECTION_REFUSAL), u"请选择连接方式！");
    s.Cancel();
    EXPECT_EQ(Stored(), "3");
}

TEST_F(ConnectionTest, AnUnknownStoredValueCountsAsNoneChosen) {
    // g++ 12 at -O3 takes this inlined assignment of a literal to a std::string for an overlapping
    // copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
    s.settings.ConnectionMethod = "7";
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    s.Start();
    ASSERT_EQ(s.TopTitle(), kTitle);
    EXPECT_EQ(Selection(), 0);
    s.Cancel();
}

TEST_F(ConnectionTest, ARefreshUnderTheOpenDialogLeavesItsChoice) {
    s.AddStock("600036", "招商银行", "15.80", "0.00%", "15.80");
    s.Start();
    s.Command(IDC_CONNECTIONMETHOD);
    Choose(3);
    s.driver().Advance(41000);
    // The refresh still uses the stored method ("2") and reaches the server.
    ASSERT_EQ(s.QuoteRequests(), 1);
    ASSERT_EQ(s.TopTitle(), kTitle);
    EXPECT_EQ(Selection(), 3);
    EXPECT_EQ(Stored(), "2");
    s.Save();
    EXPECT_EQ(Stored(), "3");
}

} // namespace
