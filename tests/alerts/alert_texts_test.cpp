// The alert texts byte for byte: the SMS text and the bubble page of all four
// kinds, the target's formatting, the field texts inserted unchanged, and
// the notice page. Expected texts are written in UTF-8 here and turned into
// GBK with iconv, independently of the platform's code pages.
#include "alerts/AlertDelivery.h"
#include "alerts/AlertTexts.h"
#include "common/QuoteRecord.h"
#include "tests/support/Gbk.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testsupport::Gbk;

const std::string kName = Gbk("民生银行");
const std::string kStamp = "03-18 14:32:05";

struct KindCase {
    const char* kind;
    double target;
    const char* side;
    const char* sms;  // UTF-8 expected SMS text
    const char* page; // UTF-8 expected bubble body (between heading and closing)
};

const KindCase kCases[] = {
    {"H", 10.0, "10.62",
     "民生银行(600016)：您设置的卖出价位10.00元已经达到，请及时操作！现价:10.50元，最高:10.62元 "
     "。[瞰市03-18 14:32:05]",
     "您设置的卖出价位<U>10.00</U>元已经达到，请及时操作！现价:10.50元，最高:10.62元 。[瞰市03-18 "
     "14:32:05"},
    {"L", 11.0, "10.01",
     "民生银行(600016)：您设置的买入价位11.00元已经达到，请及时操作！现价:10.50元，最低:10.01元 "
     "。[瞰市03-18 14:32:05]",
     "您设置的买入价位<U>11.00</U>元已经达到，请及时操作！现价:10.50元，最低:10.01元 。[瞰市03-18 "
     "14:32:05"},
    {"HH", 10.6, "10.62",
     "民生银行(600016)：您设置的卖出价位10.60元今日最高价曾经达到，请参考！现价:10.50元，最高:10."
     "62元 。[瞰市03-18 14:32:05]",
     "您设置的卖出价位<U>10.60</U>元今日最高价曾经达到，请参考！现价:10.50元，最高:10.62元 "
     "。[瞰市03-18 14:32:05"},
    {"LL", 10.0, "9.98",
     "民生银行(600016)：您设置的买入价位10.00元今日最低价曾经达到达到，请参考！现价:10.50元，最低:"
     "9.98元 。[瞰市03-18 14:32:05]",
     "您设置的买入价位<U>10.00</U>元今日最低价曾经达到达到，请参考！现价:10.50元，最低:9.98元 "
     "。[瞰市03-18 14:32:05"},
};

const char* const kBubbleHeading =
    "<html><body><form method=\"POST\" action=><p><font size=6 宋体 "
    "color=\"#000080\"><b><strong>民生银行(600016)</strong></b></font><br></br>";
const char* const kClosing = "]</p><p align=right></p></body></html>";

} // namespace

TEST(AlertTexts, SmsTextOfEveryKindByteForByte) {
    for (const KindCase& c : kCases) {
        EXPECT_EQ(ComposeSmsAlertText("600016", kName, "10.50", c.side, c.target, c.kind, kStamp),
                  Gbk(c.sms))
            << c.kind;
    }
}

TEST(AlertTexts, BubblePageOfEveryKindByteForByte) {
    for (const KindCase& c : kCases) {
        EXPECT_EQ(
            ComposeBubbleAlertHtml("600016", kName, "10.50", c.side, c.target, c.kind, kStamp),
            Gbk(std::string(kBubbleHeading) + c.page + kClosing))
            << c.kind;
    }
}

TEST(AlertTexts, TargetIsRoundedToTwoDecimalsAndFieldsStayAsParsed) {
    const std::string sms = ComposeSmsAlertText("600016", kName, "10.5", "0", 9.999, "H", kStamp);
    EXPECT_NE(sms.find(Gbk("价位10.00元已经达到")), std::string::npos);
    // The latest price is written as the parser stored it, and a missing high
    // ("0") still makes a complete text.
    EXPECT_NE(sms.find(Gbk("现价:10.5元，最高:0元 。[瞰市")), std::string::npos);
    EXPECT_EQ(ComposeSmsAlertText("600016", kName, "10.5", "0", 10, "L", kStamp)
                      .find(Gbk("价位10.00元")) != std::string::npos,
              true);
}

TEST(AlertTexts, ClosedMarketAndEmptyUpdateTime) {
    // A closed market's page leaves the time "--": the text ends "[瞰市--]".
    const std::string closed = ComposeSmsAlertText("600016", kName, "10.50", "0", 10, "H", "--");
    EXPECT_EQ(closed.substr(closed.size() - Gbk("元 。[瞰市--]").size()), Gbk("元 。[瞰市--]"));
    const std::string empty = ComposeSmsAlertText("600016", kName, "10.50", "0", 10, "H", "");
    EXPECT_EQ(empty.substr(empty.size() - Gbk("元 。[瞰市]").size()), Gbk("元 。[瞰市]"));
    const std::string page = ComposeBubbleAlertHtml("600016", kName, "10.50", "0", 10, "H", "");
    EXPECT_NE(page.find(Gbk("元 。[瞰市") + kClosing), std::string::npos);
}

TEST(AlertTexts, OnlyTheDayLowNoticeRepeatsTheVerb) {
    const std::string twice = Gbk("达到达到");
    for (const KindCase& c : kCases) {
        const bool isLL = std::string(c.kind) == "LL";
        EXPECT_EQ(ComposeSmsAlertText("1", kName, "1", "1", 1, c.kind, "").find(twice) !=
                      std::string::npos,
                  isLL)
            << c.kind;
    }
}

TEST(AlertTexts, SmsBuffersHoldTheUtf16TextAndThePhone) {
    Settings.SmsPhone = "+8613800000000";
    BuildSmsAlertText("600016", kName, "10.50", "10.62", 10, "H", kStamp);
    EXPECT_EQ(std::u16string(SmsTextBuffer),
              u"民生银行(600016)：您设置的卖出价位10.00元已经达到，请及时操作！现价:10.50元，最高:"
              u"10.62元 。[瞰市03-18 14:32:05]");
    EXPECT_EQ(std::u16string(SmsPhoneBuffer), u"+8613800000000");

    // Texts longer than the buffers are cut to them, never overrun.
    Settings.SmsPhone = std::string(400, '1');
    BuildSmsAlertText("600016", std::string(3000, 'A'), "10.50", "10.62", 10, "H", kStamp);
    EXPECT_EQ(std::u16string(SmsTextBuffer).size(), static_cast<size_t>(kSmsTextBufferSize - 1));
    EXPECT_EQ(std::u16string(SmsPhoneBuffer).size(), static_cast<size_t>(kSmsPhoneBufferSize - 1));
    Settings.SmsPhone.clear();
}

TEST(AlertTexts, NoticePageHeadingIs125BytesAndTheTextGoesInUnescaped) {
    const std::string heading = ComposeNoticeHtml("");
    const std::string closing = "</p><p align=right></p></body></html>";
    ASSERT_GE(heading.size(), closing.size());
    EXPECT_EQ(heading.size() - closing.size(), 125u);
    EXPECT_EQ(heading.substr(0, 125),
              Gbk("<html><body><form method=\"POST\" action=><p><font size=6 宋体 "
                  "color=\"#0000FF\"><b><strong>温馨提示</strong></b></font><br></br>"));
    EXPECT_EQ(ComposeNoticeHtml("<b>x</b>"), heading.substr(0, 125) + "<b>x</b>" + closing);
}
