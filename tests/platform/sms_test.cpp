// The SMS service: no service without an outbox, the outbox file that
// gammu-smsd reads, the refusals, and a real round through gammu-smsd with
// its dummy phone driver.

#include "platform/Sms.h"
#include "platform/Text.h"
#include "platform/device.h"
#include "tests/support/SmsGateway.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// An alert text of the program, as it goes out by SMS.
const char8_t kAlertText[] =
    u8"民生银行(600016)：您设置的卖出价位10.00元已经达到，请及时操作！现价:10.50元，最高:10.62元 "
    u8"。[瞰市09:35:12]";

std::u16string AlertText() {
    return platform::Utf8ToUtf16(reinterpret_cast<const char*>(kAlertText));
}

using testsupport::FilesIn;
using testsupport::Slurp;
using testsupport::UnicodeFile;

SMS_ADDRESS Address(const std::u16string& number) {
    SMS_ADDRESS address{};
    address.smsatAddressType = SMSAT_INTERNATIONAL;
    std::copy(number.begin(), number.end(), address.ptsAddress);
    return address;
}

// Sends the way the program does: the text provider, class 1, no report.
HRESULT Send(const std::u16string& number, const std::u16string& text,
             PROVIDER_SPECIFIC_MESSAGE_CLASS messageClass = PS_MESSAGE_CLASS1) {
    SMS_HANDLE handle = nullptr;
    HRESULT hr = SmsOpen(SMS_MSGTYPE_TEXT, SMS_MODE_SEND, nullptr, &handle);
    if (FAILED(hr)) {
        return hr;
    }
    SMS_ADDRESS destination = Address(number);
    TEXT_PROVIDER_SPECIFIC_DATA ps{};
    ps.dwMessageOptions = PS_MESSAGE_OPTION_NONE;
    ps.psMessageClass = messageClass;
    ps.psReplaceOption = PSRO_NONE;
    SMS_MESSAGE_ID id = 0;
    hr = SmsSendMessage(handle, nullptr, &destination, nullptr,
                        reinterpret_cast<const BYTE*>(text.data()),
                        static_cast<DWORD>(text.size() * 2), reinterpret_cast<const BYTE*>(&ps),
                        sizeof ps, SMSDE_OPTIMAL, SMS_OPTION_DELIVERY_NONE, &id);
    EXPECT_EQ(SmsClose(handle), S_OK);
    return hr;
}

class SmsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "stockat-sms-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        saved_ = platform::Device().smsOutbox;
    }
    void TearDown() override {
        platform::Device().smsOutbox = saved_;
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    fs::path dir_;
    fs::path saved_;
};

TEST_F(SmsTest, NoOutboxMeansNoServiceAndNothingIsSent) {
    platform::Device().smsOutbox.clear();
    SMS_HANDLE handle = reinterpret_cast<SMS_HANDLE>(1);
    EXPECT_TRUE(FAILED(SmsOpen(SMS_MSGTYPE_TEXT, SMS_MODE_SEND, nullptr, &handle)));
    EXPECT_EQ(handle, nullptr);
    platform::Device().smsOutbox = dir_ / "missing";
    EXPECT_TRUE(FAILED(Send(u"13800138000", u"x")));
    EXPECT_FALSE(fs::exists(dir_ / "missing"));

    platform::Device().smsOutbox = dir_;
    EXPECT_TRUE(FAILED(SmsOpen(u"Some Other Protocol", SMS_MODE_SEND, nullptr, &handle)));
    EXPECT_TRUE(FAILED(SmsOpen(SMS_MSGTYPE_TEXT, SMS_MODE_RECEIVE, nullptr, &handle)));
    EXPECT_TRUE(FilesIn(dir_).empty());
}

TEST_F(SmsTest, MessageLandsInTheOutboxUnderGammusNamingScheme) {
    platform::Device().smsOutbox = dir_;
    ASSERT_EQ(Send(u"+8613800138000", AlertText()), S_OK);
    ASSERT_EQ(Send(u"13800138000", u"second"), S_OK);
    ASSERT_EQ(Send(u"13800138000", u"flash", PS_MESSAGE_CLASS0), S_OK);
    std::vector<fs::path> files = FilesIn(dir_);
    ASSERT_EQ(files.size(), 3u); // no temporary file left behind
    const std::regex name(R"(OUTA\d{8}_\d{6}_\d{2}_(\+?\d+)_stockat\d+n\d+\.txt(f?))");
    std::vector<std::string> contents;
    for (const fs::path& file : files) {
        std::smatch m;
        std::string base = file.filename().string();
        ASSERT_TRUE(std::regex_match(base, m, name)) << base;
        contents.push_back(Slurp(file));
    }
    // Sorted by name, the messages come in the order they were sent.
    EXPECT_EQ(contents[0], UnicodeFile(AlertText()));
    EXPECT_EQ(contents[1], UnicodeFile(u"second"));
    EXPECT_EQ(contents[2], UnicodeFile(u"flash"));
    EXPECT_NE(files[0].filename().string().find("_+8613800138000_"), std::string::npos);
    EXPECT_EQ(files[2].extension(), ".txtf");
}

TEST_F(SmsTest, RecipientsThatAreNotPhoneNumbersAreRefused) {
    platform::Device().smsOutbox = dir_;
    for (const char16_t* bad :
         {u"", u"+", u"138_0013", u"../../x", u"1380013800O", u"1 2", u"123456789012345678901"}) {
        EXPECT_EQ(Send(bad, u"x"), SMS_E_INVALIDPARAMETER) << platform::Utf16ToUtf8(bad);
    }
    EXPECT_TRUE(FilesIn(dir_).empty());

    SMS_HANDLE handle = nullptr;
    ASSERT_EQ(SmsOpen(SMS_MSGTYPE_TEXT, SMS_MODE_SEND, nullptr, &handle), S_OK);
    SMS_ADDRESS to = Address(u"10086");
    const BYTE odd[3] = {'a', 0, 'b'};
    EXPECT_EQ(SmsSendMessage(handle, nullptr, &to, nullptr, odd, 3, nullptr, 0, SMSDE_OPTIMAL,
                             SMS_OPTION_DELIVERY_NONE, nullptr),
              SMS_E_INVALIDPARAMETER);
    EXPECT_EQ(SmsClose(handle), S_OK);
    EXPECT_EQ(SmsClose(handle), SMS_E_INVALIDHANDLE);
    EXPECT_EQ(SmsSendMessage(handle, nullptr, &to, nullptr, odd, 2, nullptr, 0, SMSDE_OPTIMAL,
                             SMS_OPTION_DELIVERY_NONE, nullptr),
              SMS_E_INVALIDHANDLE);
    EXPECT_TRUE(FilesIn(dir_).empty());
}

TEST_F(SmsTest, GammuSmsdSendsTheMessageWithItsTextIntact) {
    if (!testsupport::GammuSmsdInstalled()) {
        GTEST_SKIP() << "gammu-smsd is not installed (scripts/install-deps.sh installs it)";
    }
    testsupport::GammuSmsd gateway(dir_ / "gateway");
    ASSERT_TRUE(gateway.started());

    platform::Device().smsOutbox = gateway.outbox();
    ASSERT_EQ(Send(u"+8613800138000", AlertText()), S_OK);

    const std::vector<fs::path> sent = gateway.WaitForSent();
    ASSERT_EQ(sent.size(), 1u) << gateway.Log();
    EXPECT_EQ(Slurp(sent[0]), UnicodeFile(AlertText()));
    EXPECT_TRUE(FilesIn(gateway.errorFolder()).empty());
    // The daemon read the text as Unicode and transmitted it, in two parts
    // (the log quotes the first).
    const std::string log = gateway.Log();
    EXPECT_NE(log.find("Transmitted " + sent[0].filename().string()), std::string::npos) << log;
    EXPECT_NE(log.find(platform::Utf16ToUtf8(AlertText().substr(0, 40))), std::string::npos) << log;
}

} // namespace
