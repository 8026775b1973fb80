// The maker's service text: exact bytes, GBK values, the byte count of the
// END line, and refusal of values that would break the line format.
#include "server/ServiceInfo.h"

#include "server/Gbk.h"

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

} // namespace
} // namespace server
