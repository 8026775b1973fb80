// The notification method dialog on the headless driver: the opening from a
// target save, the radio buttons and the number from the stored settings,
// the pending copies that only a successful save stores, both refusals in
// the message dialog over the still open dialog, the 24-character number,
// and a refresh that runs while the dialog is open.
#include "alerts/NotifyMethodDlg.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "res/ResourceIds.h"
#include "tests/support/SettingsHarness.h"

#include <gtest/gtest.h>

namespace {

using testsupport::SettingsSession;

const std::u16string kTitle = u"通知方式";

class NotifyMethodTest : public ::testing::Test {
  protected:
    void StartWith(const std::string& method, const std::string& phone) {
        s.settings.NotifyMethod = method;
        s.settings.SmsPhone = phone;
        s.AddStock("600036", "招商银行", "15.80", "0.00%", "15.80");
        s.Start();
    }

    void Open() {
        s.driver().Run([] { RunDialog(IDD_NOTIFYMETHOD, NotifyMethodDlgProc); });
        ASSERT_EQ(s.TopTitle(), kTitle);
    }

    std::pair<std::string, std::string> Stored() {
        std::pair<std::string, std::string> v;
        s.OnDevice([&] { v = {Settings.NotifyMethod, Settings.SmsPhone}; });
        return v;
    }

    SettingsSession s;
};

TEST_F(NotifyMethodTest, OpensAfterATargetSaveAndRefusesNoChoice) {
    StartWith("", "");
    s.OnDevice([] { Shell.selectedRow = 0; });
    s.Command(IDC_ALERTSETTINGS);
    s.SetText(IDC_TARGET_SELL, u"20");
    s.Save();
    ASSERT_EQ(s.TopTitle(), kTitle);
    EXPECT_FALSE(s.Checked(IDC_NOTIFY_BUBBLE));
    EXPECT_FALSE(s.Checked(IDC_NOTIFY_SMS));
    EXPECT_EQ(s.Text(IDC_NOTIFY_PHONE), u"");
    s.Save();
    EXPECT_EQ(s.TakeMessage(), u"通知方式不能为空，请重新选择！");
    // The dialog is still open behind the message, and still saves.
    ASSERT_EQ(s.TopTitle(), kTitle);
    EXPECT_EQ(Stored().first, "");
    s.Click(IDC_NOTIFY_BUBBLE);
    s.Save();
    EXPECT_EQ(s.Top(), Shell.mainWindow);
    EXPECT_EQ(Stored(), std::make_pair(std::string("t"), std::string()));
}

TEST_F(NotifyMethodTest, ChoosingTheBubbleKeepsTheStoredNumber) {
    StartWith("s", "13800138000");
    Open();
    EXPECT_TRUE(s.Checked(IDC_NOTIFY_SMS));
    EXPECT_FALSE(s.Checked(IDC_NOTIFY_BUBBLE));
    EXPECT_EQ(s.TextUtf8(IDC_NOTIFY_PHONE), "13800138000");
    s.Click(IDC_NOTIFY_BUBBLE);
    EXPECT_FALSE(s.Checked(IDC_NOTIFY_SMS));
    s.TitleOk(); // the title-bar OK saves like the soft key
    EXPECT_EQ(Stored(), std::make_pair(std::string("t"), std::string("13800138000")));

    Open();
    EXPECT_TRUE(s.Checked(IDC_NOTIFY_BUBBLE));
    EXPECT_EQ(s.Text(IDC_NOTIFY_PHONE), u"");
    s.Cancel();
}

TEST_F(NotifyMethodTest, EmptyNumberIsRefusedAndLosesNothing) {
    StartWith("s", "13800138000");
    Open();
    s.SetText(IDC_NOTIFY_PHONE, u"");
    s.Save();
    EXPECT_EQ(s.TakeMessage(), u"电话号码不能为空，请重新输入！");
    ASSERT_EQ(s.TopTitle(), kTitle);
    EXPECT_EQ(Stored(), std::make_pair(std::string("s"), std::string("13800138000")));
    // Switching to the bubble after the refusal still keeps the number.
    s.Click(IDC_NOTIFY_BUBBLE);
    s.Save();
    EXPECT_EQ(Stored(), std::make_pair(std::string("t"), std::string("13800138000")));
}

TEST_F(NotifyMethodTest, SmsStoresTheTypedNumberOfAtMost24Characters) {
    StartWith("t", "");
    Open();
    s.Click(IDC_NOTIFY_SMS);
    s.OnDevice([&] { SetFocus(GetDlgItem(s.Top(), IDC_NOTIFY_PHONE)); });
    s.driver().Type(u"123456789012345678901234567890");
    EXPECT_EQ(s.TextUtf8(IDC_NOTIFY_PHONE), "123456789012345678901234");
    s.Save();
    EXPECT_EQ(Stored(), std::make_pair(std::string("s"), std::string("123456789012345678901234")));
}

TEST_F(NotifyMethodTest, CancelStoresNothingAndTheNextOpeningStartsFromTheSettings) {
    StartWith("t", "555");
    Open();
    s.Click(IDC_NOTIFY_SMS);
    s.SetText(IDC_NOTIFY_PHONE, u"666");
    s.Cancel();
    EXPECT_EQ(Stored(), std::make_pair(std::string("t"), std::string("555")));
    EXPECT_EQ(PendingNotifyMethod, "s"); // the pending copy keeps its value
    Open();
    EXPECT_TRUE(s.Checked(IDC_NOTIFY_BUBBLE));
    EXPECT_FALSE(s.Checked(IDC_NOTIFY_SMS));
    EXPECT_EQ(s.Text(IDC_NOTIFY_PHONE), u"");
    s.Save();
    EXPECT_EQ(Stored(), std::make_pair(std::string("t"), std::string("555")));
}

TEST_F(NotifyMethodTest, ARefreshUnderTheOpenDialogLeavesItsChoice) {
    StartWith("t", "");
    Open();
    s.Click(IDC_NOTIFY_SMS);
    s.SetText(IDC_NOTIFY_PHONE, u"10086");
    s.driver().Advance(41000);
    ASSERT_EQ(s.QuoteRequests(), 1);
    ASSERT_EQ(s.TopTitle(), kTitle);
    EXPECT_TRUE(s.Checked(IDC_NOTIFY_SMS));
    EXPECT_EQ(s.TextUtf8(IDC_NOTIFY_PHONE), "10086");
    EXPECT_EQ(Stored().first, "t");
    s.Save();
    EXPECT_EQ(Stored(), std::make_pair(std::string("s"), std::string("10086")));
}

} // namespace
