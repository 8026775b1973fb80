// Alerts by SMS: the text as the gateway (gammu-smsd on its dummy phone)
// received and sent it, a device without SMS service (the alert is consumed
// silently and not retried), and a refused recipient.
#include "alerts/AlertChecker.h"
#include "alerts/AlertDelivery.h"
#include "app/ShellState.h"
#include "platform/device.h"
#include "platform/frontend.h"
#include "platform/inspect.h"
#include "res/Resources.h"
#include "watchlist/QuoteRecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<fs::path> FilesIn(const fs::path& dir) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// gammu-smsd's Unicode file: a little-endian byte-order mark, then the text.
std::string UnicodeFile(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

fs::path SourceDir() {
    if (const char* env = std::getenv("STOCKAT_SOURCE_DIR")) {
        return env;
    }
    return fs::path(__FILE__).parent_path().parent_path().parent_path();
}

class AlertSmsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::inspect::ResetForTests();
        platform::BindUiThread();
        ResetWatchListState();
        Shell = ShellState{};
        Shell.instance = RegisterResourceModule(&StockAtResources());
        DayHighNoticed = "N";
        DayLowNoticed = "N";
        NotificationId = kFirstNotificationId;
        dir_ = fs::temp_directory_path() /
               ("stockat-alert-sms-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        Settings.NotifyMethod = "s";
        Settings.SmsPhone = "+8613800138000";
        // "民生银行" in GBK.
        QuoteRecord& r = WatchList[0];
        r.code = "600016";
        r.name = "\xC3\xF1\xC9\xFA\xD2\xF8\xD0\xD0";
        r.latest = "10.50";
        r.high = "10.62";
        r.low = "10.01";
        r.sellTarget = "10.00";
        r.sellAlerted = "N";
        r.buyTarget = "--";
        r.buyAlerted = "N";
        r.updateTime = "03-18 09:35:12";
        stockCount = 1;
    }
    void TearDown() override {
        platform::Device().smsOutbox.clear();
        platform::inspect::ResetForTests();
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
    EXPECT_TRUE(platform::inspect::BubblesShown().empty());
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
    if (std::system("command -v gammu-smsd >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "gammu-smsd is not installed (scripts/install-deps.sh installs it)";
    }
    const fs::path script = SourceDir() / "scripts" / "gammu-smsd.sh";
    const fs::path gateway = dir_ / "gateway";
    ASSERT_EQ(std::system(
                  ("bash '" + script.string() + "' start '" + gateway.string() + "' 120").c_str()),
              0);
    struct Stop {
        std::string command;
        ~Stop() {
            int rc = std::system(command.c_str());
            (void)rc;
        }
    } stop{"bash '" + script.string() + "' stop '" + gateway.string() + "'"};

    platform::Device().smsOutbox = gateway / "outbox";
    AlertChecker(0);
    EXPECT_EQ(WatchList[0].sellAlerted, "Y");

    // The daemon looks at its outbox every second: wait for it (real time,
    // because it is another process).
    std::vector<fs::path> sent;
    for (int i = 0; i < 300 && sent.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        sent = FilesIn(gateway / "sent");
    }
    ASSERT_EQ(sent.size(), 1u) << Slurp(gateway / "smsd.log");
    EXPECT_EQ(Slurp(sent[0]), UnicodeFile(kExpected));
    EXPECT_TRUE(FilesIn(gateway / "error").empty());
    EXPECT_NE(Slurp(gateway / "smsd.log").find("Transmitted " + sent[0].filename().string()),
              std::string::npos);
}
