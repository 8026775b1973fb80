// The market index view on the whole program: the cached lines on opening
// (no traffic), their colours, the refresh from the Done button and the soft
// key with one "返回" back to the main window after several refreshes, and
// the failure and server-busy texts.
#include "tests/watchlist/addstock_harness.h"

#include "net/MarketIndexView.h"
#include "server/Pages.h"

namespace {

using lookuptest::Gbk;
using lookuptest::Wide;

const char kIndexTarget[] = "/prog/wapsite/stock/stockquery.php?code=000001&vt=2";

class MarketIndexTest : public lookuptest::AppTest {
  protected:
    explicit MarketIndexTest(const std::string& start = "2026-03-04 20:00:00")
        : AppTest(lookuptest::EveningOptions(start)) {}

    int IndexViewsOpen() {
        int n = 0;
        for (const auto& w : driver.Windows()) {
            if (w.title == u"瞰市[指数]") {
                ++n;
            }
        }
        return n;
    }
};

TEST_F(MarketIndexTest, BeforeAnyFetchTheFieldsAreEmpty) {
    Seed({});
    StartApp();
    Command(IDC_MARKETINDEX);
    ASSERT_EQ(TopTitle(), u"瞰市[指数]");
    EXPECT_EQ(driver.SoftKeyText(0), u"返回");
    EXPECT_EQ(driver.SoftKeyText(1), u"手动刷新");
    EXPECT_EQ(Item(IDC_INDEX_SH), u"");
    EXPECT_EQ(Item(IDC_INDEX_SZ), u"");
    EXPECT_EQ(Item(IDC_INDEX_TIME), u"");
    EXPECT_EQ(Item(IDC_INDEX_STATUS), u"");
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(MarketIndexTest, LineColoursFollowTheSign) {
    Seed({});
    StartApp();
    driver.Run([] {
        ShIndexText = "2209.95 +0.56%";
        SzIndexText = "8123.45 -0.31%";
    });
    Command(IDC_MARKETINDEX);
    ASSERT_EQ(Item(IDC_INDEX_SH), u"2209.95 +0.56%");
    EXPECT_EQ(LastCellOf(IDC_INDEX_SH).fg, RGB(255, 0, 0));
    EXPECT_EQ(LastCellOf(IDC_INDEX_SH).bg, RGB(255, 255, 255));
    EXPECT_EQ(LastCellOf(IDC_INDEX_SZ).fg, RGB(0, 80, 0));
    driver.SoftKey(0);

    // A line with no sign after its first byte stays readable on white; a
    // sign at the very start does not count.
    driver.Run([] {
        ShIndexText = "2209.95 0.00%";
        SzIndexText = "-8123.45 0.00%";
    });
    Command(IDC_MARKETINDEX);
    EXPECT_EQ(LastCellOf(IDC_INDEX_SH).fg, RGB(0, 0, 0));
    EXPECT_EQ(LastCellOf(IDC_INDEX_SZ).fg, RGB(0, 0, 0));
    EXPECT_EQ(LastCellOf(IDC_INDEX_SZ).bg, RGB(255, 255, 255));
}

TEST_F(MarketIndexTest, TheDoneButtonRefreshesAndOneBackLeavesAfterTwoRefreshes) {
    Seed({});
    StartApp();
    Command(IDC_MARKETINDEX);
    driver.TitleButton(); // Done refreshes instead of closing
    ASSERT_EQ(TopTitle(), u"瞰市[指数]");
    EXPECT_EQ(Targets(), std::vector<std::string>{kIndexTarget});
    EXPECT_FALSE(ShIndexText.empty());
    EXPECT_FALSE(SzIndexText.empty());
    EXPECT_EQ(Item(IDC_INDEX_SH), Wide(ShIndexText));
    EXPECT_EQ(Item(IDC_INDEX_SZ), Wide(SzIndexText));
    EXPECT_EQ(Item(IDC_INDEX_TIME), Wide(LastUpdateTime));
    EXPECT_EQ(Item(IDC_INDEX_STATUS), u"");

    driver.SoftKey(1); // 手动刷新
    ASSERT_EQ(TopTitle(), u"瞰市[指数]");
    EXPECT_EQ(server.requestCount(), 2);
    EXPECT_LE(IndexViewsOpen(), 2);

    driver.SoftKey(0); // one 返回
    EXPECT_TRUE(MainOnTop());
    EXPECT_EQ(IndexViewsOpen(), 0);
}

TEST_F(MarketIndexTest, ManyRefreshesKeepAtMostTwoViewsOpen) {
    Seed({});
    StartApp();
    Command(IDC_MARKETINDEX);
    for (int i = 0; i < 10; ++i) {
        driver.SoftKey(1);
        ASSERT_EQ(TopTitle(), u"瞰市[指数]");
        EXPECT_LE(IndexViewsOpen(), 2);
    }
    driver.SoftKey(0);
    EXPECT_TRUE(MainOnTop());
}

TEST_F(MarketIndexTest, FailedConnectionAndBusyServerKeepTheView) {
    Seed({});
    StartApp();
    driver.Run([] { ShIndexText = "2209.95 +0.56%"; });
    Command(IDC_MARKETINDEX);

    platform::Device().serverPort = 1; // nothing listens there
    driver.SoftKey(1);
    EXPECT_EQ(TopTitle(), u"瞰市[指数]");
    EXPECT_EQ(Item(IDC_INDEX_STATUS), u"连接失败，请检查Wi-Fi设置是否正确！");
    EXPECT_EQ(Item(IDC_INDEX_SH), u"2209.95 +0.56%");

    testsupport::ScriptedServer busy([](const std::string&, int) {
        return testsupport::ScriptedReply::Send("HTTP/1.1 500 Internal Server Error\r\n\r\nbusy");
    });
    busy.PointDevice();
    driver.TitleButton();
    EXPECT_EQ(TopTitle(), u"瞰市[指数]");
    EXPECT_EQ(Item(IDC_INDEX_STATUS),
              u"1服务器忙，请再试一次！如问题仍然存在，请退出系统重新选择另外连接方式登录。");
    EXPECT_EQ(ShIndexText, "2209.95 +0.56%");

    // A quote server that cannot reach the market is a failed connection.
    testsupport::ScriptedServer unreachable([](const std::string&, int) {
        return testsupport::ScriptedReply::Send("HTTP/1.1 503 Service Unavailable\r\n\r\nbusy");
    });
    unreachable.PointDevice();
    driver.TitleButton();
    EXPECT_EQ(Item(IDC_INDEX_STATUS), u"连接失败，请检查Wi-Fi设置是否正确！");
    EXPECT_EQ(ShIndexText, "2209.95 +0.56%");
    driver.SoftKey(0);
    EXPECT_TRUE(MainOnTop());
}

// A timed refresh that parses a stock page leaves the index lines behind;
// the view then shows them without a fetch of its own. The page comes from
// the quote server's own renderer, with the Shanghai index up and the
// Shenzhen index down.
class MarketIndexAfterRefreshTest : public MarketIndexTest {
  protected:
    MarketIndexAfterRefreshTest() : MarketIndexTest("2026-03-04 10:00:00") {}
};

TEST_F(MarketIndexAfterRefreshTest, OpensWithTheLinesOfTheLastRefreshInTheirColours) {
    server::StockQuote stock;
    stock.code = "600036";
    stock.name = "招商银行";
    stock.previousClose = 1580;
    stock.latest = stock.open = stock.high = stock.low = 1600;
    stock.volume = 1000;
    stock.turnover = 16000;
    server::IndexQuote sh;
    sh.name = server::kShIndexName;
    sh.previousClose = 220000;
    sh.latest = sh.open = sh.high = sh.low = 221234;
    server::IndexQuote sz = sh;
    sz.name = server::kSzIndexName;
    sz.previousClose = 812345;
    sz.latest = sz.open = sz.high = sz.low = 810000;
    platform::LocalTime stamp{2026, 3, 4, 3, 10, 0, 15, 0};
    const std::string page = server::StockPageReply(stock, sh, sz, stamp);
    testsupport::ScriptedServer site(
        [&](const std::string&, int) { return testsupport::ScriptedReply::Send(page); });
    site.PointDevice();

    Seed({"600036"}, "3", 20);
    StartApp();
    driver.Advance(21000);
    ASSERT_GE(site.requestCount(), 1);
    const int requests = site.requestCount();
    EXPECT_EQ(ShIndexText, "2212.34 +0.56%");
    EXPECT_EQ(SzIndexText, "8100.00 -0.29%");

    Command(IDC_MARKETINDEX);
    ASSERT_EQ(TopTitle(), u"瞰市[指数]");
    EXPECT_EQ(site.requestCount(), requests);
    EXPECT_EQ(Item(IDC_INDEX_SH), u"2212.34 +0.56%");
    EXPECT_EQ(Item(IDC_INDEX_SZ), u"8100.00 -0.29%");
    EXPECT_EQ(Item(IDC_INDEX_TIME), u"03-04 10:00:15");
    EXPECT_EQ(LastCellOf(IDC_INDEX_SH).fg, RGB(255, 0, 0));
    EXPECT_EQ(LastCellOf(IDC_INDEX_SZ).fg, RGB(0, 80, 0));
}

} // namespace
