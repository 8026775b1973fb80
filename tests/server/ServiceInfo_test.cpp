// The maker's service text: exact bytes, GBK values, the byte count of the
// END line, refusal of values that would break the line format, and the
// round trip from the server's GBK text through UTF-8 on the wire back to the
// very same GBK bytes in the program.
#include "server/ServiceInfo.h"

#include "app/ServiceInfo.h"
#include "common/QuoteRecord.h"
#include "net/HttpFetch.h"
#include "platform/device.h"
#include "server/Gbk.h"
#include "server/QuoteServer.h"

#include <gtest/gtest.h>

namespace server {
namespace {

TEST(ServiceInfoTest, DefaultsRenderExactly) {
    std::string head = "STOCKAT-SERVICE 1\r\nversion=2.0\r\npackage=\r\nrecommend=\r\n";
    EXPECT_EQ(RenderServiceInfo(ServiceInfo{}),
              head + "END " + std::to_string(head.size()) + "\r\n");
}

TEST(ServiceInfoTest, ValuesAreGbkAndTheCountCoversEverythingBeforeEnd) {
    ServiceInfo info;
    info.latestVersion = "2.1";
    info.packageUrl = "http://stockat.test/stockat-2.1.cab";
    info.recommend = "招商银行[e]中国平安[e]贵州茅台";
    info.notices = {"系统维护通知", "second"};
    std::optional<std::string> text = RenderServiceInfo(info);
    ASSERT_TRUE(text);
    std::string expectedHead = "STOCKAT-SERVICE 1\r\nversion=2.1\r\n"
                               "package=http://stockat.test/stockat-2.1.cab\r\n"
                               "recommend=" +
                               *Utf8ToGbk(info.recommend) +
                               "\r\nnotice=" + *Utf8ToGbk("系统维护通知") + "\r\nnotice=second\r\n";
    EXPECT_EQ(*text, expectedHead + "END " + std::to_string(expectedHead.size()) + "\r\n");
    // The count is of GBK bytes: each Chinese character is two.
    EXPECT_EQ(Utf8ToGbk(info.recommend)->size(), 12u * 2 + 6u);
}

TEST(ServiceInfoTest, RefusesValuesThatBreakTheFormat) {
    ServiceInfo lineBreak;
    lineBreak.recommend = "A\r\nversion=9.9";
    EXPECT_FALSE(RenderServiceInfo(lineBreak));
    ServiceInfo notice;
    notice.notices = {"ok", "bad\nline"};
    EXPECT_FALSE(RenderServiceInfo(notice));
    ServiceInfo nul;
    nul.packageUrl = std::string("http://x\0y", 10);
    EXPECT_FALSE(RenderServiceInfo(nul));
    ServiceInfo notGbk;
    notGbk.recommend = "\xF0\x9F\x98\x80"; // an emoji: no GBK form
    EXPECT_FALSE(RenderServiceInfo(notGbk));
    ServiceInfo badUtf8;
    badUtf8.recommend = "\xC3";
    EXPECT_FALSE(RenderServiceInfo(badUtf8));
    ServiceInfo version;
    version.latestVersion = "2.0beta";
    EXPECT_FALSE(RenderServiceInfo(version));
}

TEST(ServiceInfoTest, DecimalVersions) {
    for (const char* good : {"2", "2.0", "10.25", "0.1"})
        EXPECT_TRUE(IsDecimalVersion(good)) << good;
    for (const char* bad : {"", ".5", "2.", "-1", "2.0.1", "1e3", " 2.0", "2,0", "1234567890"})
        EXPECT_FALSE(IsDecimalVersion(bad)) << bad;
}

// Every character that the server can write in GBK travels as UTF-8 and
// comes back as the same GBK bytes through the program's re-encoding of a
// reply, so the END line's byte count still holds when the program reads it.
TEST(ServiceInfoTest, EveryGbkCharacterSurvivesTheTripThroughUtf8) {
    int checked = 0;
    std::string wrong;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            const std::string gbk{static_cast<char>(lead), static_cast<char>(trail)};
            std::optional<std::string> utf8 = GbkToUtf8(gbk);
            if (!utf8) {
                continue; // not a character of GBK
            }
            ++checked;
            if (ReplyToDeviceText(*utf8) != gbk && wrong.size() < 200) {
                // g++ 12 at -O3 takes this inlined string concatenation for an overlapping copy: a
                // known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
                wrong += " " + std::to_string(lead) + "/" + std::to_string(trail);
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
            }
        }
    }
    EXPECT_GT(checked, 21000);
    EXPECT_EQ(wrong, "");
}

// The whole road: the bundled server sends the service text, HttpFetch
// re-encodes it, and the program's reader takes the values as rendered.
TEST(ServiceInfoTest, TheServedTextReachesTheProgramWhole) {
    ServerOptions options;
    options.port = 0;
    options.service.latestVersion = "2.1";
    options.service.packageUrl = "http://stockat.test/stockat-2.1.cab";
    options.service.recommend = "招商银行·蓝筹[e]中国平安——保险[e]ＡＢＣ１２３";
    options.service.notices = {"系统维护通知：周六０２：００至０４：００暂停服务。", "≈￥§№€"};
    std::optional<std::string> text = RenderServiceInfo(options.service);
    ASSERT_TRUE(text);
    QuoteServer quoted(options, platform::DeviceClock::Manual(0));
    std::string error;
    ASSERT_TRUE(quoted.Start(&error)) << error;

    const platform::DeviceConfig saved = platform::Device();
    const SettingsRecord savedSettings = Settings;
    platform::Device().serverHost = "127.0.0.1";
    platform::Device().serverPort = static_cast<std::uint16_t>(quoted.Port());
    Settings.ConnectionMethod = "2";
    std::string request = BuildStockRequest("000000");
    request.replace(request.find("/prog"), request.find(' ', 4) - 4, kServicePath);
    ASSERT_EQ(request.rfind(std::string("GET ") + std::string(kServicePath) + " HTTP/1.1\r\n", 0),
              0u);
    int rc = HttpFetch(request);
    platform::Device() = saved;
    Settings = savedSettings;
    quoted.Stop();

    ASSERT_EQ(rc, 0);
    std::size_t body = LastReply.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos);
    EXPECT_EQ(LastReply.substr(body + 4), *text);
    std::optional<ServiceReport> report = ParseServiceReply(LastReply);
    LastReply.clear();
    ASSERT_TRUE(report);
    EXPECT_EQ(report->version, 2.1);
    EXPECT_EQ(report->package, options.service.packageUrl);
    EXPECT_EQ(report->recommend, *Utf8ToGbk(options.service.recommend));
    ASSERT_EQ(report->notices.size(), 2u);
    EXPECT_EQ(report->notices[0], *Utf8ToGbk(options.service.notices[0]));
    EXPECT_EQ(report->notices[1], *Utf8ToGbk(options.service.notices[1]));
}

} // namespace
} // namespace server
