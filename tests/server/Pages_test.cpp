// The quote site's pages: every value must stand where the client's parser
// cuts it, once the page is converted to GBK, whatever the direction of the
// change and in each phase of the trading day.
#include "server/Pages.h"

#include "tests/server/PageCut.h"

#include <gtest/gtest.h>

using servertest::Cut;
using servertest::Gbk;
using servertest::IndexLine;

namespace server {
namespace {

const platform::LocalTime kStamp{2009, 3, 18, 3, 14, 32, 5, 0};

StockQuote Stock(std::int64_t latest, MarketPhase phase = MarketPhase::Trading) {
    return StockQuote{"600036", "招商银行", phase,   1219,     latest, 1220,
                      1250,     1210,       1234500, 15234000, 2,      {}};
}

IndexQuote Index(std::string_view name, std::int64_t latest,
                 MarketPhase phase = MarketPhase::Trading) {
    return IndexQuote{std::string(name), phase, 219766, latest, 219900, 221533, 219012,
                      98765432,          81235};
}

TEST(PagesTest, StockPageValuesLandOnTheParsersOffsets) {
    struct Case {
        std::int64_t latest;
        const char *latestText, *percent, *change;
    } cases[] = {
        {1234, "12.34", "+1.23%", "+0.15"},
        {1100, "11.00", "-9.76%", "-1.19"},
        {1219, "12.19", "0.00%", "0.00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.latestText);
        std::string page = Gbk(StockPageReply(Stock(c.latest), Index(kShIndexName, 220995),
                                              Index(kSzIndexName, 210000), kStamp));
        EXPECT_EQ(page.find(Gbk("(昨收)")), std::string::npos);
        EXPECT_NE(page.find(Gbk("当前价:")), std::string::npos);
        EXPECT_EQ(Cut(page, "股票名称:", 9, "<"), Gbk("招商银行"));
        EXPECT_EQ(Cut(page, "当前价", 35, "元"), c.latestText);
        EXPECT_EQ(Cut(page, "涨跌幅", 35, "%", true), c.percent);
        EXPECT_EQ(Cut(page, "涨跌额", 35, "元"), c.change);
        EXPECT_EQ(Cut(page, "昨收盘", 7, "元"), "12.19");
        EXPECT_EQ(Cut(page, "今开盘", 7, "元"), "12.20");
        EXPECT_EQ(Cut(page, "最高价", 7, "元"), "12.50");
        EXPECT_EQ(Cut(page, "最低价", 7, "元"), "12.10");
        EXPECT_EQ(Cut(page, "成交量", 7, "股"), "1234500");
        EXPECT_EQ(Cut(page, "成交额", 7, "元"), "15234000");
        size_t m = page.find(Gbk("更新时间"));
        ASSERT_NE(m, std::string::npos);
        EXPECT_EQ(page.substr(m + 9, 14), "03-18 14:32:05");
        EXPECT_EQ(IndexLine(page, "上证"), "2209.95 +0.56%");
        EXPECT_EQ(IndexLine(page, "深成"), "2100.00 -4.44%");
    }
}

TEST(PagesTest, UnchangedIndexLineStillTakesTheFixedLeadIn) {
    std::string page =
        Gbk(StockPageReply(Stock(1234), Index(kShIndexName, 219766),
                           Index(kSzIndexName, 219766, MarketPhase::PreOpen), kStamp));
    EXPECT_EQ(IndexLine(page, "上证"), "2197.66 0.00%");
    EXPECT_EQ(IndexLine(page, "深成"), "2197.66 0.00%");
}

TEST(PagesTest, ClosedMarketPageCarriesTheCloseTwentyNineBytesAfterTheMarker) {
    std::string page =
        Gbk(StockPageReply(Stock(1288, MarketPhase::Closed), Index(kShIndexName, 220995),
                           Index(kSzIndexName, 210000), kStamp));
    EXPECT_NE(page.find(Gbk("(昨收)")), std::string::npos);
    EXPECT_NE(page.find(Gbk("当前价:")), std::string::npos);
    EXPECT_EQ(Cut(page, "当前价", 29, "元"), "12.88");
}

TEST(PagesTest, IndexPageValuesLandOnTheParsersOffsets) {
    std::string page = Gbk(IndexPageReply(Index(kShIndexName, 220995), kStamp));
    EXPECT_NE(page.find(Gbk("最 新:")), std::string::npos);
    EXPECT_NE(page.find(Gbk("涨跌额:")), std::string::npos);
    EXPECT_EQ(Cut(page, "名 称:", 6, "<"), Gbk("上证指数"));
    EXPECT_EQ(Cut(page, "最 新:", 6, "<"), "2209.95");
    EXPECT_EQ(Cut(page, "昨 收:", 6, "<"), "2197.66");
    EXPECT_EQ(Cut(page, "今 开:", 6, "<"), "2199.00");
    EXPECT_EQ(Cut(page, "最 低:", 6, "<"), "2190.12");
    EXPECT_EQ(Cut(page, "最 高:", 6, "<"), "2215.33");
    EXPECT_EQ(Cut(page, "涨跌额", 35, "</"), "+12.29");
    EXPECT_EQ(Cut(page, "涨跌幅", 35, "%", true), "+0.56%");
    EXPECT_EQ(Cut(page, "成交量", 7, "手"), "98765432");
    EXPECT_EQ(Cut(page, "成交额", 7, "亿元"), "812.35");
    std::string domain = std::string(kSiteDomain) + "[";
    size_t d = page.find(domain);
    ASSERT_NE(d, std::string::npos);
    EXPECT_EQ(page.substr(d + domain.size(), page.find(']', d) - d - domain.size()),
              "03-18 14:32:05");
    // The stock page markers must not appear on an index page, nor the
    // index lines.
    EXPECT_EQ(page.find(Gbk("当前价")), std::string::npos);
    EXPECT_EQ(page.find(Gbk("上证")), page.find(Gbk("上证指数")));
}

TEST(PagesTest, IndexPageBeforeTheOpenShowsOpenZero) {
    IndexQuote index = Index(kSzIndexName, 219766, MarketPhase::PreOpen);
    std::string page = Gbk(IndexPageReply(index, kStamp));
    EXPECT_EQ(Cut(page, "今 开:", 6, "<"), "0");
    EXPECT_EQ(Cut(page, "名 称:", 6, "<"), Gbk("深证成指"));
    EXPECT_EQ(Cut(page, "最 新:", 6, "<"), "2197.66");
}

TEST(PagesTest, NotFoundPageHasNoQuoteAndEchoesOnlyDigits) {
    std::string reply = NotFoundPageReply("123456");
    EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_EQ(reply.find("当前价:"), std::string::npos);
    EXPECT_EQ(reply.find("最 新:"), std::string::npos);
    EXPECT_NE(reply.find("123456"), std::string::npos);
    std::string hostile = NotFoundPageReply("<b>\"x");
    EXPECT_EQ(hostile.find("<b>\"x"), std::string::npos);
}

TEST(PagesTest, ReplyHasStatusLengthAndClose) {
    std::string body = RenderIndexPage(Index(kShIndexName, 220995), kStamp);
    std::string reply = HtmlReply(body);
    EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_NE(reply.find("\r\nConnection: close\r\n"), std::string::npos);
    EXPECT_NE(reply.find("\r\nContent-Length: " + std::to_string(body.size()) + "\r\n"),
              std::string::npos);
    EXPECT_EQ(reply.substr(reply.find("\r\n\r\n") + 4), body);
}

TEST(PagesTest, NumberFormats) {
    EXPECT_EQ(FormatHundredths(0), "0.00");
    EXPECT_EQ(FormatHundredths(5), "0.05");
    EXPECT_EQ(FormatHundredths(-5), "-0.05");
    EXPECT_EQ(FormatHundredths(123456), "1234.56");
    EXPECT_EQ(FormatDecimal(3912, 3), "3.912");
    EXPECT_EQ(FormatDecimal(-7, 3), "-0.007");
    EXPECT_EQ(FormatSignedDecimal(7, 3), "+0.007");
    EXPECT_EQ(FormatSignedHundredths(7), "+0.07");
    EXPECT_EQ(FormatSignedHundredths(-7), "-0.07");
    EXPECT_EQ(FormatPercent(1, 3), "+33.33%");
    EXPECT_EQ(FormatPercent(-1000, 10000), "-10.00%");
    EXPECT_EQ(FormatPercent(1, 20000), "+0.01%"); // 0.005 % rounds away from zero
    EXPECT_EQ(FormatPercent(5, 0), "0.00%");
    EXPECT_EQ(FormatStamp(kStamp), "03-18 14:32:05");
}

} // namespace
} // namespace server
