// The quote page parser on hand-made pages built to hit its offsets, end
// texts and bounds exactly, and on the bundled quote server's pages.
#include "net/QuotePageParser.h"

#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "net/HttpFetch.h"
#include "server/Gbk.h"
#include "server/Pages.h"
#include "tests/support/SampleQuotes.h"

#include <gtest/gtest.h>

namespace {

std::string G(const char* utf8) {
    return server::Utf8ToGbk(utf8).value();
}

// The marker, filler up to `offset` bytes after its first byte, the value
// and the end text.
std::string At(const std::string& marker, std::size_t offset, const std::string& value,
               const std::string& end) {
    return marker + std::string(offset - marker.size(), '.') + value + end;
}

const std::string kHead = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n<p>";

// The parts of a stock page that a test can replace one by one.
struct StockPage {
    std::string name = G("股票名称:") + G("招商银行") + "<br/>";
    std::string latest = At(G("当前价"), 35, "12.34", G("元")) + "<br/>";
    std::string percent = At(G("涨跌幅"), 35, "+1.23%", "") + "<br/>";
    std::string change = At(G("涨跌额"), 35, "+0.15", G("元")) + "<br/>";
    std::string previousClose = At(G("昨收盘"), 7, "12.19", G("元")) + "<br/>";
    std::string open = At(G("今开盘"), 7, "12.20", G("元")) + "<br/>";
    std::string high = At(G("最高价"), 7, "12.40", G("元")) + "<br/>";
    std::string low = At(G("最低价"), 7, "12.05", G("元")) + "<br/>";
    std::string volume = At(G("成交量"), 7, "1234500", G("股")) + "<br/>";
    std::string turnover = At(G("成交额"), 7, "15234000", G("元")) + "<br/>";
    std::string time = At(G("更新时间"), 9, "03-18 14:32:05", "") + "</p>";
    std::string sh = At(G("上证"), 33, "+0.56%", "") + "<br/>";
    std::string sz = At(G("深成"), 33, "-0.31%", "") + "<br/>";
    std::string Text() const {
        return kHead + name + latest + percent + change + previousClose + open + high + low +
               volume + turnover + time + sh + sz;
    }
};

struct IndexPage {
    std::string name = G("名 称:") + G("上证指数") + "<br/>";
    std::string latest = G("最 新:") + "2209.95<br/>";
    std::string previousClose = G("昨 收:") + "2197.66<br/>";
    std::string open = G("今 开:") + "2199.01<br/>";
    std::string low = G("最 低:") + "2190.12<br/>";
    std::string high = G("最 高:") + "2215.40<br/>";
    std::string change = At(G("涨跌额"), 35, "+12.29", "</b>");
    std::string percent = At(G("涨跌幅"), 35, "+0.56%", "</b>");
    std::string volume = At(G("成交量"), 7, "98765432", G("手"));
    std::string turnover = At(G("成交额"), 7, "812.35", G("亿元"));
    std::string stamp = "<p>stockat.test[03-18 14:32:05]</p>";
    std::string Text() const {
        return kHead + name + latest + previousClose + open + low + high + change + percent +
               volume + turnover + stamp;
    }
};

class ParserTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetProgramState();
        LastUpdateTime = ShIndexText = SzIndexText = "";
        QuoteRecord& r = WatchList[0];
        // g++ 12 at -O3 takes these inlined assignments of a literal to a std::string for an
        // overlapping copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
        r.code = "600036";
        r.sellTarget = "13.00";
        r.sellAlerted = "N";
        r.buyTarget = "--";
        r.buyAlerted = "Y";
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    }
    void TearDown() override {
        ResetProgramState();
        LastReply.clear();
    }
    QuoteRecord& Parse(const std::string& page, int i = 0) {
        LastReply = page;
        EXPECT_EQ(ParseQuotePage(i), 0);
        return WatchList[i];
    }
};

// The quote of testsupport::SampleStockQuote(), which the hand-made stock
// page carries too, as the parser must cut it.
void ExpectSampleStock(const QuoteRecord& r) {
    EXPECT_EQ(r.name, G("招商银行"));
    EXPECT_EQ(r.latest, "12.34");
    EXPECT_EQ(r.changePercent, "+1.23%");
    EXPECT_EQ(r.change, "+0.15");
    EXPECT_EQ(r.previousClose, "12.19");
    EXPECT_EQ(r.open, "12.20");
    EXPECT_EQ(r.high, "12.40");
    EXPECT_EQ(r.low, "12.05");
    EXPECT_EQ(r.volume, "1234500");
    EXPECT_EQ(r.turnover, "15234000");
    EXPECT_EQ(r.updateTime, "03-18 14:32:05");
    EXPECT_EQ(LastUpdateTime, "03-18 14:32:05");
}

// The same for testsupport::SampleIndexQuote("上证指数", 220995) and the
// hand-made index page.
void ExpectSampleIndex(const QuoteRecord& r) {
    EXPECT_EQ(r.name, G("上证指数"));
    EXPECT_EQ(r.latest, "2209.95");
    EXPECT_EQ(r.previousClose, "2197.66");
    EXPECT_EQ(r.open, "2199.01");
    EXPECT_EQ(r.low, "2190.12");
    EXPECT_EQ(r.high, "2215.40");
    EXPECT_EQ(r.change, "+12.29");
    EXPECT_EQ(r.changePercent, "+0.56%");
    EXPECT_EQ(r.volume, "98765432");
    EXPECT_EQ(r.turnover, "812.35");
    EXPECT_EQ(r.updateTime, "03-18 14:32:05");
    EXPECT_EQ(LastUpdateTime, "03-18 14:32:05");
}

TEST_F(ParserTest, AStockPageFillsEveryQuoteFieldAndTheSharedTexts) {
    QuoteRecord& r = Parse(StockPage().Text());
    ExpectSampleStock(r);
    EXPECT_EQ(ShIndexText, "+0.56%");
    EXPECT_EQ(SzIndexText, "-0.31%");
    // The code, the targets and the alert states are never touched.
    EXPECT_EQ(r.code, "600036");
    EXPECT_EQ(r.sellTarget, "13.00");
    EXPECT_EQ(r.sellAlerted, "N");
    EXPECT_EQ(r.buyTarget, "--");
    EXPECT_EQ(r.buyAlerted, "Y");
}

TEST_F(ParserTest, AClosedMarketPageTakesTheCloseAndDefaultsTheRest) {
    Parse(StockPage().Text()); // earlier shared texts
    StockPage page;
    page.latest = At(G("当前价"), 29, "12.34", G("元")) + G("(昨收)") + "<br/>";
    QuoteRecord& r = Parse(page.Text());
    EXPECT_EQ(r.latest, "12.34");
    EXPECT_EQ(r.changePercent, "0%");
    for (const std::string* f :
         {&r.change, &r.previousClose, &r.open, &r.high, &r.low, &r.volume, &r.turnover}) {
        EXPECT_EQ(*f, "0");
    }
    EXPECT_EQ(r.updateTime, "--");
    EXPECT_EQ(r.name, G("招商银行"));
    EXPECT_EQ(LastUpdateTime, "03-18 14:32:05");
    EXPECT_EQ(ShIndexText, "+0.56%");
    EXPECT_EQ(SzIndexText, "-0.31%");
}

TEST_F(ParserTest, WithoutTheCurrentPriceTheLatestIsThePreviousClose) {
    StockPage page;
    page.latest = "";
    page.previousClose = G("昨收盘") + ":12.34" + G("元");
    QuoteRecord& r = Parse(page.Text());
    EXPECT_EQ(r.latest, "12.34");
    EXPECT_EQ(r.previousClose, "12.34");
}

TEST_F(ParserTest, LengthBoundsDecideWhetherAValueIsTaken) {
    StockPage page;
    page.open = At(G("今开盘"), 7, "12345678.901", G("元"));            // 12 bytes: taken
    page.high = At(G("最高价"), 7, "123456789.012", G("元"));           // 13 bytes: taken
    page.low = At(G("最低价"), 7, "1234567890.123", G("元"));           // 14 bytes: refused
    page.percent = At(G("涨跌幅"), 35, "+12345.678%", "");              // 11 bytes: refused
    page.change = At(G("涨跌额"), 35, "-12345678.901", G("元"));        // 13 bytes: taken
    page.previousClose = At(G("昨收盘"), 7, "-12345678.9012", G("元")); // 14 bytes: refused
    page.volume = At(G("成交量"), 7, std::string(19, '9'), G("股"));
    page.turnover = At(G("成交额"), 7, std::string(15, '9'), G("元"));
    page.latest = At(G("当前价"), 35, "123456789.12", G("元")); // no upper bound
    QuoteRecord& r = Parse(page.Text());
    EXPECT_EQ(r.open, "12345678.901");
    EXPECT_EQ(r.high, "123456789.012");
    EXPECT_EQ(r.low, "0");
    EXPECT_EQ(r.changePercent, "0%");
    EXPECT_EQ(r.change, "-12345678.901");
    EXPECT_EQ(r.previousClose, "0");
    EXPECT_EQ(r.volume, std::string(19, '9'));
    EXPECT_EQ(r.turnover, "0");
    EXPECT_EQ(r.latest, "123456789.12");

    page.percent = At(G("涨跌幅"), 35, "+1234.56%", "");          // 9 bytes with its "%"
    page.change = At(G("涨跌额"), 35, "-12345678.9012", G("元")); // 14 bytes: refused
    page.volume = At(G("成交量"), 7, std::string(20, '9'), G("股"));
    page.turnover = At(G("成交额"), 7, std::string(14, '9'), G("元"));
    Parse(page.Text());
    EXPECT_EQ(r.changePercent, "+1234.56%");
    EXPECT_EQ(r.change, "0");
    // A new listing's first day, and the widest the bound takes.
    for (const char* percent : {"+150.00%", "-10.12%", "+12345.67%"}) {
        page.percent = At(G("涨跌幅"), 35, percent, "");
        EXPECT_EQ(Parse(page.Text()).changePercent, percent);
    }
    EXPECT_EQ(r.volume, "0");
    EXPECT_EQ(r.turnover, std::string(14, '9'));
}

TEST_F(ParserTest, FourAndFiveDigitPricesAreTakenWhole) {
    struct Case {
        const char *change, *previousClose, *open, *high, *low;
    } cases[] = {
        {"+31.50", "1480.50", "1480.00", "1515.00", "1479.88"},
        {"-1234.57", "12345.67", "12345.00", "12400.10", "11111.10"},
        {"+9999.99", "99999.99", "1000.00", "99999.99", "1000.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.previousClose);
        StockPage page;
        page.change = At(G("涨跌额"), 35, c.change, G("元")) + "<br/>";
        page.previousClose = At(G("昨收盘"), 7, c.previousClose, G("元")) + "<br/>";
        page.open = At(G("今开盘"), 7, c.open, G("元")) + "<br/>";
        page.high = At(G("最高价"), 7, c.high, G("元")) + "<br/>";
        page.low = At(G("最低价"), 7, c.low, G("元")) + "<br/>";
        QuoteRecord& r = Parse(page.Text());
        EXPECT_EQ(r.change, c.change);
        EXPECT_EQ(r.previousClose, c.previousClose);
        EXPECT_EQ(r.open, c.open);
        EXPECT_EQ(r.high, c.high);
        EXPECT_EQ(r.low, c.low);
        EXPECT_EQ(r.latest, "12.34");
        EXPECT_EQ(r.volume, "1234500");
    }
}

TEST_F(ParserTest, EmptyValuesAndEndTextsBeforeTheValueLeaveTheDefaults) {
    StockPage page;
    page.name = G("股票名称:") + "<br/>";                               // empty name
    page.latest = G("当前价") + ":12" + G("元") + std::string(40, '.'); // "元" before m + 35
    page.low = At(G("最低价"), 7, "", G("元"));                         // empty
    page.percent = G("涨跌幅") + ":1%" + std::string(40, '.');          // "%" before m + 35
    QuoteRecord& r = Parse(page.Text());
    EXPECT_EQ(r.name, "--");
    EXPECT_EQ(r.latest, "12.19"); // fell back to the previous close
    EXPECT_EQ(r.low, "0");
    EXPECT_EQ(r.changePercent, "0%");
}

TEST_F(ParserTest, MissingMarkersGiveDefaultsAndAMarkerAtPositionZeroCountsAsAbsent) {
    WatchList[0].name = "old";
    QuoteRecord& r = Parse("HTTP/1.1 200 OK\r\n\r\nnothing here");
    EXPECT_EQ(r.name, "--");
    EXPECT_EQ(r.latest, "0");
    EXPECT_EQ(r.changePercent, "0%");
    EXPECT_EQ(r.updateTime, "--");
    EXPECT_EQ(LastUpdateTime, "--");
    EXPECT_EQ(ShIndexText, "");

    LastUpdateTime = "kept";
    Parse(G("股票名称:") + "X<" + G("(昨收)"));
    EXPECT_EQ(r.name, "--");
    EXPECT_EQ(LastUpdateTime, "kept"); // "(昨收)" after position 0: closed

    Parse(G("(昨收)") + StockPage().Text());
    EXPECT_EQ(r.changePercent, "+1.23%"); // "(昨收)" at position 0: not closed

    Parse("");
    EXPECT_EQ(r.latest, "0");
}

TEST_F(ParserTest, AnUpdateTimeCutByTheEndOfTheReplyIsShortened) {
    StockPage page;
    page.sh = page.sz = "";
    page.time = At(G("更新时间"), 9, "03-18 14", "");
    QuoteRecord& r = Parse(page.Text());
    EXPECT_EQ(r.updateTime, "03-18 14");
    // The page ends right where the value begins: the value is empty, not
    // the default, and the shared text follows it.
    page.time = G("更新时间") + ":";
    Parse(page.Text());
    EXPECT_EQ(r.updateTime, "");
    EXPECT_EQ(LastUpdateTime, "");
    // The marker is the page's last bytes: nothing is read past the end.
    page.time = G("更新时间");
    Parse(page.Text());
    EXPECT_EQ(r.updateTime, "");
    // Without the marker the default stands.
    page.time = "";
    Parse(page.Text());
    EXPECT_EQ(r.updateTime, "--");
    EXPECT_EQ(LastUpdateTime, "--");
}

TEST_F(ParserTest, AnIndexPageFillsItsFieldsAndLeavesTheIndexLines) {
    ShIndexText = "sh";
    SzIndexText = "sz";
    WatchList[1].code = "999998";
    QuoteRecord& r = Parse(IndexPage().Text(), 1);
    ExpectSampleIndex(r);
    EXPECT_EQ(ShIndexText, "sh");
    EXPECT_EQ(SzIndexText, "sz");
}

TEST_F(ParserTest, AnIndexPageBeforeTheOpenDefaultsOnlyTheChangeAndTrade) {
    WatchList[0].code = "999999";
    IndexPage page;
    page.open = G("今 开:") + "0<br/>";
    QuoteRecord& r = Parse(page.Text());
    EXPECT_EQ(r.changePercent, "0%");
    EXPECT_EQ(r.change, "0");
    EXPECT_EQ(r.volume, "0");
    EXPECT_EQ(r.turnover, "0");
    EXPECT_EQ(r.name, G("上证指数"));
    EXPECT_EQ(r.latest, "2209.95");
    EXPECT_EQ(r.high, "2215.40");
    EXPECT_EQ(r.updateTime, "03-18 14:32:05");
}

TEST_F(ParserTest, IndexPageEdgeCases) {
    WatchList[0].code = "999998";
    WatchList[0].name = "kept";
    IndexPage page;
    page.name = "";
    page.latest = G("最 新:") + "<br/>";           // empty value is taken
    page.change = At(G("涨跌额"), 35, "", "</b>"); // "</" right at m + 35
    page.stamp = "stockat.test[]";                 // empty stamp
    QuoteRecord& r = Parse(page.Text());
    EXPECT_EQ(r.name, "kept"); // no default for the index name
    EXPECT_EQ(r.latest, "");
    EXPECT_EQ(r.change, "");
    EXPECT_EQ(r.updateTime, "--");

    page.change = G("涨跌额") + ":</b>" + std::string(40, '.'); // "</" before m + 35
    Parse(page.Text());
    EXPECT_EQ(r.change, "0");
    Parse(kHead + G("最 新:") + "1"); // no "<" after it
    EXPECT_EQ(r.latest, "0");
}

// The index-line rule's three branches and their edges.
TEST(IndexLineRule, SignedLinesAfterMarkupTakeTheValueAfterTheFixedLeadIn) {
    std::string label = G("上证");
    std::string page = "<p>" + At(label, 33, "2209.95 +0.56%", "") + " 9%";
    // "%" at x + 46: everything from x + 33 through it.
    EXPECT_EQ(IndexLineText(page, label.c_str()), "2209.95 +0.56%");
    // The example: "%" at x + 40, "+" inside: the 8 bytes from x + 33.
    page = "<p>" + label + "<span>+" + std::string(33 - 4 - 7, '.') + "1234567%";
    EXPECT_EQ(IndexLineText(page, label.c_str()), "1234567%");
    // L = 32 is not enough for the lead-in; with markup the line is empty.
    page = "<p>" + label + "<b>-" + std::string(24, '.') + "%";
    ASSERT_EQ(page.find('%') - page.find(label), 32u);
    EXPECT_EQ(IndexLineText(page, label.c_str()), "");
}

TEST(IndexLineRule, LinesWithoutMarkupTakeEverythingAfterTheLabel) {
    std::string label = G("深成");
    EXPECT_EQ(IndexLineText("x" + label + "8123.45 0.31%", label.c_str()), "8123.45 0.31%");
    // A sign at the inner text's first byte does not count as a sign.
    EXPECT_EQ(IndexLineText("x" + label + "-0.31%", label.c_str()), "-0.31%");
    // A ">" at the first byte is allowed.
    EXPECT_EQ(IndexLineText("x" + label + ">1.5%", label.c_str()), ">1.5%");
    // "%" right after the label: the line is the "%" alone.
    EXPECT_EQ(IndexLineText("x" + label + "%", label.c_str()), "%");
}

TEST(IndexLineRule, MarkupWithoutASignOrNoLabelGivesNothing) {
    std::string label = G("上证");
    EXPECT_EQ(IndexLineText("x" + label + "<b>8123.45 0.31%", label.c_str()), "");
    EXPECT_EQ(IndexLineText("x" + label + "<b>8123.45", label.c_str()), ""); // no "%"
    EXPECT_EQ(IndexLineText(label + "8123.45 0.31%", label.c_str()), "");    // at position 0
    EXPECT_EQ(IndexLineText("x12%", label.c_str()), "");
}

TEST_F(ParserTest, StockPagesAlwaysRewriteTheIndexLines) {
    ShIndexText = SzIndexText = "old";
    StockPage page;
    page.sz = G("深成") + "<b>no sign%";
    Parse(page.Text());
    EXPECT_EQ(ShIndexText, "+0.56%");
    EXPECT_EQ(SzIndexText, "");
}

TEST_F(ParserTest, ParsingOutsideTheWatchListDoesNothing) {
    LastReply = StockPage().Text();
    EXPECT_EQ(ParseQuotePage(-1), 0);
    EXPECT_EQ(ParseQuotePage(kWatchListSize), 0);
    EXPECT_EQ(LastUpdateTime, "");
}

// The bundled quote server's pages, re-encoded as a fetch re-encodes them.
using ServerPagesTest = ParserTest;
using testsupport::SampleIndexQuote;
using testsupport::SampleStamp;
using testsupport::SampleStockQuote;

TEST_F(ServerPagesTest, ATradingStockPage) {
    auto sh = SampleIndexQuote(server::kShIndexName, 220995);
    auto sz = SampleIndexQuote(server::kSzIndexName, 219000);
    LastReply =
        ReplyToDeviceText(server::StockPageReply(SampleStockQuote(), sh, sz, SampleStamp()));
    ASSERT_TRUE(ReplyIsQuotePage(kStockPageMarker));
    QuoteRecord& r = Parse(LastReply);
    ExpectSampleStock(r);
    EXPECT_EQ(r.changePercent, server::FormatPercent(15, 1219));
    EXPECT_EQ(r.updateTime, server::FormatStamp(SampleStamp()));
    EXPECT_EQ(ShIndexText, "2209.95 " + server::FormatPercent(220995 - 219766, 219766));
    EXPECT_EQ(SzIndexText, "2190.00 " + server::FormatPercent(219000 - 219766, 219766));
}

TEST_F(ServerPagesTest, FourAndFiveDigitPrices) {
    auto sh = SampleIndexQuote(server::kShIndexName, 220995);
    struct Case {
        std::int64_t previousClose, latest, open, high, low;
    } cases[] = {
        {148050, 151000, 148000, 151500, 147988},        // 1480.50, up 29.50
        {1234567, 1111111, 1234500, 1358023, 1111110},   // 12345.67, down 1234.56
        {9999999, 10999999, 9999999, 10999999, 9999999}, // 99999.99, up 10000.00
    };
    for (const Case& c : cases) {
        server::StockQuote s = SampleStockQuote();
        s.code = "600519";
        s.name = "贵州茅台";
        s.previousClose = c.previousClose;
        s.latest = c.latest;
        s.open = c.open;
        s.high = c.high;
        s.low = c.low;
        std::string page = ReplyToDeviceText(server::StockPageReply(s, sh, sh, SampleStamp()));
        SCOPED_TRACE(server::FormatHundredths(c.previousClose));
        QuoteRecord& r = Parse(page);
        EXPECT_EQ(r.latest, server::FormatHundredths(c.latest));
        EXPECT_EQ(r.change, server::FormatSignedHundredths(c.latest - c.previousClose));
        EXPECT_EQ(r.changePercent,
                  server::FormatPercent(c.latest - c.previousClose, c.previousClose));
        EXPECT_EQ(r.previousClose, server::FormatHundredths(c.previousClose));
        EXPECT_EQ(r.open, server::FormatHundredths(c.open));
        EXPECT_EQ(r.high, server::FormatHundredths(c.high));
        EXPECT_EQ(r.low, server::FormatHundredths(c.low));

        // A price whose "元" is missing would run into the next line, which
        // the bound refuses rather than taking that line's bytes with it.
        const std::pair<const char*, std::string QuoteRecord::*> fields[] = {
            {"涨跌额", &QuoteRecord::change}, {"昨收盘", &QuoteRecord::previousClose},
            {"今开盘", &QuoteRecord::open},   {"最高价", &QuoteRecord::high},
            {"最低价", &QuoteRecord::low},
        };
        for (const auto& [marker, field] : fields) {
            std::string broken = page;
            std::size_t m = broken.find(G(marker));
            ASSERT_NE(m, std::string::npos);
            broken.erase(broken.find(G("元"), m), 2);
            Parse(broken);
            EXPECT_EQ(r.*field, "0") << marker;
            EXPECT_EQ(r.latest, server::FormatHundredths(c.latest)) << marker;
        }
    }
}

TEST_F(ServerPagesTest, AClosedStockPage) {
    server::StockQuote s = SampleStockQuote();
    s.phase = server::MarketPhase::Closed;
    auto sh = SampleIndexQuote(server::kShIndexName, 220995);
    LastReply = ReplyToDeviceText(server::StockPageReply(s, sh, sh, SampleStamp()));
    QuoteRecord& r = Parse(LastReply);
    EXPECT_EQ(r.latest, "12.34");
    EXPECT_EQ(r.changePercent, "0%");
    EXPECT_EQ(r.open, "0");
    EXPECT_EQ(r.updateTime, "--");
}

TEST_F(ServerPagesTest, IndexPagesTradingAndBeforeTheOpen) {
    WatchList[0].code = "999998";
    auto sh = SampleIndexQuote(server::kShIndexName, 220995);
    LastReply = ReplyToDeviceText(server::IndexPageReply(sh, SampleStamp()));
    ASSERT_TRUE(ReplyIsQuotePage(kIndexPageMarker));
    ASSERT_TRUE(ReplyIsQuotePage(kChangeAmountMarker));
    QuoteRecord& r = Parse(LastReply);
    ExpectSampleIndex(r);
    EXPECT_EQ(r.changePercent, server::FormatPercent(1229, 219766));
    EXPECT_EQ(r.updateTime, server::FormatStamp(SampleStamp()));

    sh.phase = server::MarketPhase::PreOpen;
    LastReply = ReplyToDeviceText(server::IndexPageReply(sh, SampleStamp()));
    Parse(LastReply);
    EXPECT_EQ(r.open, "0");
    EXPECT_EQ(r.change, "0");
    EXPECT_EQ(r.changePercent, "0%");
    EXPECT_EQ(r.latest, "2209.95");
}

TEST_F(ServerPagesTest, TheNotFoundPageFailsTheStockTest) {
    LastReply = ReplyToDeviceText(server::NotFoundPageReply("123456"));
    EXPECT_TRUE(ReplyIsQuotePage(nullptr));
    EXPECT_FALSE(ReplyIsQuotePage(kStockPageMarker));
}

} // namespace
