// Alerts by SMS: the text as the gateway (gammu-smsd on its dummy phone)
// received and sent it, a device without SMS service (the alert is consumed
// silently and not retried), and a refused recipient.
#include "alerts/AlertChecker.h"
#include "alerts/AlertDelivery.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "platform/device.h"
#include "platform/observe.h"
#include "tests/support/ShellTestKit.h"
#include "tests/support/SmsGateway.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using testsupport::FilesIn;
using testsupport::Slurp;
using testsupport::UnicodeFile;

class AlertSmsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testsupport::ResetProgramOnThisThread();
        dir_ = fs::temp_directory_path() /
               ("stockat-alert-sms-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        // g++ 12 at -O3 takes this inlined assignment of a literal to a std::string for an
        // overlapping copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
        Settings.NotifyMethod = "s";
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
        Settings.SmsPhone = "+8613800138000";
        // "民生银行" in GBK.
        QuoteRecord& r = WatchList[0];
        r.code = "600016";
        r.name = "\xC3\xF1\xC9\xFA\xD2\xF8\xD0\xD0";
        r.latest = "10.50";
        r.high = "10.62";
        r.low = "10.01";
        r.sellTarget = "10.00";
        // g++ 12 at -O3 takes these inlined assignments of a literal to a std::string for an
        // overlapping copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
        r.sellAlerted = "N";
        r.buyTarget = "--";
        r.buyAlerted = "N";
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
        r.updateTime = "03-18 09:35:12";
        stockCount = 1;
    }
    void TearDown() override {
        platform::Device().smsOutbox.clear();
        platform::observe::ResetForTests();
        fs::remove_all(dir_);
    }
    fs::path dir_;
};

const char16_t* const kExpected =
    u"民生银行(600016)：您设置的卖出价位10.00元已经达到，请及时操作！现价:10.50元，最高:10.62元 "
    u"。[瞰市03-18 09:35:12]";

} // namespace

TEST_F(AlertSmsTest, WithoutSmsServiceTheAlertIsConsumedSilently) {
    platform::Device().smsOutbox.clear();
    AlertChecker(0);
    EXPECT_EQ(WatchList[0].sellAlerted, "Y");
    EXPECT_EQ(std::u16string(SmsTextBuffer), kExpected);
    EXPECT_EQ(std::u16string(SmsPhoneBuffer), u"+8613800138000");
    EXPECT_TRUE(platform::observe::BubblesShown().empty());
}

TEST_F(AlertSmsTest, TheOutboxGetsTheTextAndARefusedRecipientSendsNothing) {
    const fs::path outbox = dir_ / "outbox";
    fs::create_directories(outbox);
    platform::Device().smsOutbox = outbox;
    AlertChecker(0);
    std::vector<fs::path> files = FilesIn(outbox);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(Slurp(files[0]), UnicodeFile(kExpected));
    EXPECT_NE(files[0].filename().string().find("8613800138000"), std::string::npos) << files[0];

    // An empty recipient still opens the service and tries; the refusal is
    // ignored and the flag is set all the same.
    Settings.SmsPhone.clear();
    WatchList[0].buyTarget = "11.00";
    AlertChecker(0);
    EXPECT_EQ(WatchList[0].buyAlerted, "Y");
    EXPECT_EQ(FilesIn(outbox).size(), 1u);
}

TEST_F(AlertSmsTest, GammuSmsdSendsTheAlertWithItsTextIntact) {
    if (!testsupport::GammuSmsdInstalled()) {
        GTEST_SKIP() << "gammu-smsd is not installed (scripts/install-deps.sh installs it)";
    }
    testsupport::GammuSmsd gateway(dir_ / "gateway");
    ASSERT_TRUE(gateway.started());

    platform::Device().smsOutbox = gateway.outbox();
    AlertChecker(0);
    EXPECT_EQ(WatchList[0].sellAlerted, "Y");

    const std::vector<fs::path> sent = gateway.WaitForSent();
    ASSERT_EQ(sent.size(), 1u) << gateway.Log();
    EXPECT_EQ(Slurp(sent[0]), UnicodeFile(kExpected));
    EXPECT_TRUE(FilesIn(gateway.errorFolder()).empty());
    EXPECT_NE(gateway.Log().find("Transmitted " + sent[0].filename().string()), std::string::npos);
}
