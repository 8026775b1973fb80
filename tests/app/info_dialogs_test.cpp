// The information dialogs on the headless driver: the notes text byte for
// byte in the read-only message dialog, an unterminated message buffer, the
// about box, the traffic dialog after real fetches from the bundled quote
// server's pages, a dialog whose soft-key bar cannot be made, and a refresh
// that runs while the traffic dialog is open.
#include "app/InfoDialogs.h"
#include "common/ShellState.h"
#include "net/HttpFetch.h"
#include "platform/device.h"
#include "res/ResourceIds.h"
#include "res/Resources.h"
#include "tests/support/SettingsHarness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace {

using testsupport::SettingsSession;

const char16_t kNotes[] =
    u"注意事项：\r\n"
    u"1、本系统适用于Windows Mobile 5.0版本以上手机。\r\n"
    u"2、本系统适用于中国移动CMWAP代理上网。如何设置CMWAP，请用网络搜索引擎搜索【CMWAP设置】。\r\n"
    u"3、本系统所占空间仅130K左右，建议安装时选择【设备】。请不要对安装目录及目录下的文件做任何修改"
    u"或删除，否则，系统将不能正常工作。\r\n"
    u"4、自动刷新将产生较大的上网流量，建议您选择中国移动CMWAP套餐，大部分地区提供10元500MB包月套餐"
    u"，详情请咨询中国移动【10086】。\r\n"
    u"5、如果您不需要自动刷新，请选择【主菜单】【设置】【刷新频率】关掉自动刷新功能。\r\n"
    u"6、请根据电力消耗和上网流量情况设定合适的刷新频率和自选股个数，刷新频率不宜过高，否则，电源消"
    u"耗将突增。\r\n"
    u"7、设置好刷新频率后，按主画面右上角【X】号，系统将在后台继续运行，不必紧盯屏幕，不影响您正常"
    u"工作，真正做到工作炒股两不误。\r\n"
    u"8、股价到达设定价格后，系统自动弹出提醒，本功能类似短信，但不产生任何费用，请放心使用。\r\n";

std::string Fixed4(double v) {
    char text[64];
    std::snprintf(text, sizeof(text), "%.4f", v);
    return text;
}

TEST(InfoDialogs, NotesAreShownWholeReadOnlyAndCloseWithBack) {
    SettingsSession s;
    s.Start();
    s.Command(IDC_NOTES);
    ASSERT_EQ(s.TopTitle(), u"瞰市");
    EXPECT_EQ(s.Text(IDC_MESSAGE_TEXT), std::u16string(kNotes));
    EXPECT_EQ(s.driver().SoftKeyText(0), u"返回");
    // Typing into the text changes nothing.
    s.OnDevice([&] { SetFocus(GetDlgItem(s.Top(), IDC_MESSAGE_TEXT)); });
    s.driver().Type(u"12");
    s.driver().Key(VK_BACK);
    EXPECT_EQ(s.Text(IDC_MESSAGE_TEXT), std::u16string(kNotes));
    s.driver().SoftKey(0);
    EXPECT_FALSE(s.DialogOpen(u"瞰市"));
    EXPECT_EQ(s.Top(), Shell.mainWindow);
}

TEST(InfoDialogs, MessageDialogTakesAtMost1999UnitsOfAnUnterminatedBuffer) {
    SettingsSession s;
    s.Start();
    s.OnDevice([] {
        for (WCHAR& unit : Shell.messageText) {
            unit = u'x';
        }
    });
    s.driver().Run([] { RunDialog(IDD_MESSAGE, MessageDlgProc); });
    EXPECT_EQ(s.Text(IDC_MESSAGE_TEXT), std::u16string(1999, u'x'));
    // The title-bar OK closes it too.
    s.TitleOk();
    EXPECT_EQ(s.Top(), Shell.mainWindow);
}

TEST(InfoDialogs, AboutBoxShowsTheNameWithItsVersion) {
    SettingsSession s;
    s.Start();
    s.Command(IDC_ABOUT);
    ASSERT_EQ(s.TopTitle(), u"关于瞰市");
    const std::u16string name = s.Text(IDC_ABOUT_NAME);
    EXPECT_EQ(name.substr(0, 2), u"瞰市");
    EXPECT_EQ(name.substr(name.size() - 4), u"V2.0");
    s.TitleOk();
    EXPECT_EQ(s.Top(), Shell.mainWindow);
    s.Command(IDC_ABOUT);
    s.driver().SoftKey(0);
    EXPECT_EQ(s.Top(), Shell.mainWindow);
}

TEST(InfoDialogs, TrafficShowsThisRunAndTheStoredMonthWithFourDecimals) {
    SettingsSession s;
    s.settings.MonthTraffic = 1.23456;
    // g++ 12 at -O3 takes this inlined assignment of a literal to a std::string for an overlapping
    // copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
    s.settings.TrafficMonth = "3"; // the device's month: the total is kept
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    s.Start();
    s.Command(IDC_TRAFFIC);
    ASSERT_EQ(s.TopTitle(), u"瞰市[流量]");
    EXPECT_EQ(s.TextUtf8(IDC_TRAFFIC_RUN), "0.0000");
    EXPECT_EQ(s.TextUtf8(IDC_TRAFFIC_MONTH), "1.2346");
    s.driver().SoftKey(0);
}

TEST(InfoDialogs, TrafficCountsTheRepliesOfARefreshAndOfOneUnderTheOpenDialog) {
    SettingsSession s;
    s.settings.MonthTraffic = 2.0;
    s.settings.TrafficMonth = "3";
    s.AddStock("600036", "招商银行", "15.80", "0.00%", "15.80");
    s.AddStock("600019", "宝钢股份", "6.80", "0.00%", "6.80");
    s.Start();

    // Byte counts of the replies the server gives to the requests it gets,
    // at the device's time.
    std::size_t bytes = 0;
    std::size_t counted = 0;
    auto countReplies = [&] {
        const auto requests = s.server().requests();
        for (; counted < requests.size(); ++counted) {
            bytes += s.server()
                         .ReplyFor(testsupport::RequestTarget(requests[counted]),
                                   platform::Clock().NowEpochMs())
                         .size();
        }
    };

    // One timed refresh of both stocks, 40 s into trading hours.
    s.driver().Advance(41000);
    ASSERT_EQ(s.QuoteRequests(), 2);
    countReplies();
    ASSERT_GT(bytes, 0u);
    s.Command(IDC_TRAFFIC);
    double mb = static_cast<double>(bytes) / 1048576.0;
    EXPECT_EQ(s.TextUtf8(IDC_TRAFFIC_RUN), Fixed4(mb));
    EXPECT_EQ(s.TextUtf8(IDC_TRAFFIC_MONTH), Fixed4(2.0 + mb));

    // A refresh that comes due while the dialog is open runs; the dialog
    // keeps what it showed when it opened, and shows the new totals when it
    // opens again.
    const std::string shownRun = s.TextUtf8(IDC_TRAFFIC_RUN);
    s.driver().Advance(41000);
    ASSERT_EQ(s.QuoteRequests(), 4);
    EXPECT_EQ(s.TopTitle(), u"瞰市[流量]");
    EXPECT_EQ(s.TextUtf8(IDC_TRAFFIC_RUN), shownRun);
    countReplies();
    s.TitleOk();
    s.Command(IDC_TRAFFIC);
    mb = static_cast<double>(bytes) / 1048576.0;
    EXPECT_EQ(s.TextUtf8(IDC_TRAFFIC_RUN), Fixed4(mb));
    EXPECT_EQ(s.TextUtf8(IDC_TRAFFIC_MONTH), Fixed4(2.0 + mb));
}

TEST(InfoDialogs, NotesAndAboutStayAsTheyWereThroughARefresh) {
    SettingsSession s;
    s.AddStock("600036", "招商银行", "15.80", "0.00%", "15.80");
    s.Start();
    s.Command(IDC_NOTES);
    s.driver().Advance(41000);
    ASSERT_EQ(s.QuoteRequests(), 1);
    ASSERT_EQ(s.TopTitle(), u"瞰市");
    EXPECT_EQ(s.Text(IDC_MESSAGE_TEXT), std::u16string(kNotes));
    s.driver().SoftKey(0);

    s.Command(IDC_ABOUT);
    const std::u16string name = s.Text(IDC_ABOUT_NAME);
    s.driver().Advance(41000);
    ASSERT_EQ(s.QuoteRequests(), 2);
    ASSERT_EQ(s.TopTitle(), u"关于瞰市");
    EXPECT_EQ(s.Text(IDC_ABOUT_NAME), name);
    s.TitleOk();
    EXPECT_EQ(s.Top(), Shell.mainWindow);
}

TEST(InfoDialogs, ADialogWhoseBarCannotBeMadeStaysEmpty) {
    SettingsSession s;
    s.Start();
    // A resource module with the traffic dialog but without its soft-key bar.
    static ResourceModule partial;
    partial.dialogs[IDD_TRAFFIC] = StockAtResources().dialogs.at(IDD_TRAFFIC);
    HINSTANCE full = Shell.instance;
    s.OnDevice([] { RunTraffic = 0.5; });
    s.driver().Run([] {
        Shell.instance = RegisterResourceModule(&partial);
        RunDialog(IDD_TRAFFIC, TrafficDlgProc);
    });
    ASSERT_EQ(s.TopTitle(), u"瞰市[流量]");
    EXPECT_EQ(s.Text(IDC_TRAFFIC_RUN), u"");
    EXPECT_EQ(s.Text(IDC_TRAFFIC_MONTH), u"");
    s.TitleOk();
    s.OnDevice([full] { Shell.instance = full; });
    EXPECT_EQ(s.Top(), Shell.mainWindow);
}

TEST(InfoDialogs, NotesTextIsTheOneShown) {
    // The text builder and the dialog agree; the heading and eight numbered
    // items each end with CR LF.
    const std::u16string notes = NotesText();
    EXPECT_EQ(notes, std::u16string(kNotes));
    int lines = 0;
    for (std::size_t at = notes.find(u"\r\n"); at != std::u16string::npos;
         at = notes.find(u"\r\n", at + 2)) {
        ++lines;
    }
    EXPECT_EQ(lines, 9);
}

} // namespace
