// Alert delivery: the members of a new notification record, and a notice
// bubble as the device shows it (title, soft keys, a 40-second life) with
// the ids that alert and notice bubbles share.
#include "alerts/AlertDelivery.h"
#include "alerts/AlertTexts.h"
#include "common/DialogSupport.h"
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "platform/Text.h"
#include "push/Outbox.h"
#include "res/ResourceIds.h"
#include "tests/support/SettingsHarness.h"
#include "tests/support/ShellTestKit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <unistd.h>

TEST(NewNotification, FillsItsMembersAndLeavesTheRestZero) {
    testsupport::ResetProgramOnThisThread();
    Shell.mainWindow = reinterpret_cast<HWND>(0x5150);

    std::unique_ptr<Notification> first = NewNotification();
    std::unique_ptr<Notification> second = NewNotification();
    const SHNOTIFICATIONDATA& n = first->data;
    EXPECT_EQ(n.cbStruct, 88u);
    EXPECT_EQ(n.dwID, 10000u);
    EXPECT_EQ(second->data.dwID, 10001u);
    EXPECT_EQ(NotificationId, 10002);
    const CLSID expected = {
        0xA3FFDEB2, 0xADA2, 0x476E, {0x81, 0xC6, 0xAE, 0xDE, 0xDD, 0x7C, 0x4B, 0x42}};
    EXPECT_EQ(std::memcmp(&n.clsid, &expected, sizeof(CLSID)), 0);
    EXPECT_EQ(std::memcmp(&second->data.clsid, &expected, sizeof(CLSID)), 0);
    EXPECT_EQ(n.hwndSink, Shell.mainWindow);
    EXPECT_EQ(n.grfFlags, 0x40u);

    // The soft keys: menu 102 and the two commands, "Ok" dismissing and
    // "Cancel" hiding.
    EXPECT_NE(n.skm.hMenu, nullptr);
    EXPECT_EQ(n.skm.cskc, 2u);
    ASSERT_NE(n.skm.prgskc, nullptr);
    EXPECT_EQ(n.skm.prgskc[0].wpCmd, 10u);
    EXPECT_EQ(n.skm.prgskc[0].grfFlags, 0u);
    EXPECT_EQ(n.skm.prgskc[1].wpCmd, 2u);
    EXPECT_EQ(n.skm.prgskc[1].grfFlags, 1u);

    // The presentation is the caller's: nothing of it yet.
    EXPECT_EQ(n.npPriority, 0);
    EXPECT_EQ(n.csDuration, 0u);
    EXPECT_EQ(n.hicon, nullptr);
    EXPECT_EQ(n.pszHTML, nullptr);
    EXPECT_EQ(n.pszTitle, nullptr);
    EXPECT_EQ(n.lParam, 0);
    EXPECT_EQ(n.pszTodaySK, nullptr);
    EXPECT_EQ(n.pszTodayExec, nullptr);
    DestroyMenu(first->data.skm.hMenu);
    DestroyMenu(second->data.skm.hMenu);
}

TEST(NoticeBubble, IsShownForFortySecondsUnderTheAlertTitle) {
    ResetProgramState();
    testsupport::SettingsSession s;
    s.Start();
    platform::headless::Driver& d = s.driver();
    d.Run([] { ShowNoticeBubble("<b>notice</b>"); });
    ASSERT_EQ(d.Bubbles().size(), 1u);
    const auto bubble = d.Bubbles()[0];
    EXPECT_EQ(bubble.id, 10000u);
    EXPECT_EQ(bubble.title, u"新通知");
    EXPECT_NE(bubble.text.find(u"温馨提示"), std::u16string::npos);
    EXPECT_NE(bubble.text.find(u"notice"), std::u16string::npos);
    EXPECT_EQ(bubble.leftKey, u"Ok");
    EXPECT_EQ(bubble.rightKey, u"Cancel");

    d.Advance(39999);
    EXPECT_EQ(d.Bubbles().size(), 1u);
    d.Advance(1);
    EXPECT_TRUE(d.Bubbles().empty());

    // The next bubble takes the next id.
    d.Run([] { ShowNoticeBubble("again"); });
    ASSERT_EQ(d.Bubbles().size(), 1u);
    EXPECT_EQ(d.Bubbles()[0].id, 10001u);
}

// Every delivered alert also goes to the push channels' outbox, whichever
// method is chosen; with none chosen, nowhere. The entry holds the SMS
// road's text in UTF-8 under the program's name.
TEST(DeliverAlert, GoesToThePushChannelsWithEitherMethodAndNowhereWithout) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("stockat-deliver-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    push::Outbox box(dir, {*push::ParseChannel("ntfy://127.0.0.1:9/t", nullptr)}, {});
    QuoteRecord r;
    r.code = "600016";
    r.name = WideToAnsi(u"民生银行");
    r.latest = "10.50";
    r.updateTime = "10:31:05";
    for (auto [method, entries] : {std::pair{"t", 1}, {"s", 2}, {"", 2}, {"x", 2}}) {
        testsupport::ResetProgramOnThisThread();
        Settings.NotifyMethod = method;
        SetPushOutbox(&box);
        DeliverAlert(r, "10.62", 10, "H");
        SetPushOutbox(nullptr);
        EXPECT_EQ(push::Waiting(dir), entries) << "method \"" << method << "\"";
    }
    fs::directory_entry entry = *fs::directory_iterator(dir / "outbox");
    std::ifstream in(entry.path());
    nlohmann::json j = nlohmann::json::parse(in);
    EXPECT_EQ(j["message"]["title"], "瞰市");
    EXPECT_EQ(j["message"]["text"], platform::Utf16ToUtf8(AnsiToWide(ComposeSmsAlertText(
                                        "600016", r.name, "10.50", "10.62", 10, "H", "10:31:05"))));
    fs::remove_all(dir);
}
