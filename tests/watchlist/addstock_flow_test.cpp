// The add flow on the whole program against the bundled quote server's
// pages: a typed code, a preset and the two index buttons through the
// preview to a saved row; the refusals of the save step; the length rule of
// the typed code; the scratch record after a cancelled preview; and a
// refresh running under the open preview.
#include "tests/watchlist/addstock_harness.h"

#include "watchlist/AddStockDialog.h"
#include "watchlist/StockDetailDialog.h"

#include <algorithm>

namespace {

using lookuptest::Gbk;
using lookuptest::Wide;

const char kStockPath[] = "/prog/wapsite/stock/stockquery.php?code=";

class AddStockFlowTest : public lookuptest::AppTest {};

TEST_F(AddStockFlowTest, TypedCodeIsPreviewedThenSavedAsTheLastRow) {
    Seed({"600016"});
    StartApp();
    LookUp(u"600036");

    // The preview shows the scratch record with no targets yet.
    ASSERT_EQ(TopTitle(), u"瞰市[个股]");
    EXPECT_EQ(driver.SoftKeyText(0), u"取消");
    EXPECT_EQ(driver.SoftKeyText(1), u"保存");
    EXPECT_EQ(Item(IDC_DETAIL_CODE), u"600036");
    EXPECT_EQ(Item(IDC_DETAIL_SELL), u"--");
    EXPECT_EQ(Item(IDC_DETAIL_BUY), u"--");
    EXPECT_EQ(Item(IDC_DETAIL_NAME), Wide(WatchList[1].name));
    EXPECT_NE(WatchList[1].name, "--");
    EXPECT_EQ(Targets(), std::vector<std::string>{std::string(kStockPath) + "600036&vt=2"});
    EXPECT_EQ(stockCount, 1);
    EXPECT_EQ(previewMode, "Y");

    driver.SoftKey(1); // 保存
    ASSERT_TRUE(MainOnTop());
    EXPECT_EQ(stockCount, 2);
    EXPECT_EQ(WatchList[1].code, "600036");
    EXPECT_EQ(WatchList[1].sellAlerted, "P");
    EXPECT_EQ(WatchList[1].buyAlerted, "P");
    EXPECT_EQ(previewMode, "N");
    EXPECT_EQ(Shell.selectedRow, -1);
    // The list shows the new row.
    EXPECT_TRUE(driver.ScreenHas(lookuptest::Utf8(Wide(WatchList[1].name))));
}

TEST_F(AddStockFlowTest, APresetLooksUpItsCode) {
    Seed({});
    StartApp();
    Command(IDC_ADDSTOCK);
    ASSERT_EQ(TopTitle(), u"瞰市[增加]");
    EXPECT_EQ(FocusId(), IDC_ADDSTOCK_CODE);
    EXPECT_EQ(Item(IDC_ADDSTOCK_CODE), u"");
    ASSERT_EQ(driver.ItemMessage(Dialog(), IDC_ADDSTOCK_CODE, CB_GETCOUNT), kPresetStockCount);

    // The list is in code order; open it and walk down to 600036.
    std::vector<std::u16string> sorted(PresetStocks, PresetStocks + kPresetStockCount);
    std::sort(sorted.begin(), sorted.end());
    const std::u16string wanted = u"600036   招商银行";
    auto at = std::find(sorted.begin(), sorted.end(), wanted) - sorted.begin();
    driver.Down(); // opens the list on its first entry
    EXPECT_EQ(driver.Windows().front().className, u"ComboLBox");
    for (long i = 0; i < at; ++i) {
        driver.Down();
    }
    driver.Enter();
    ASSERT_EQ(Item(IDC_ADDSTOCK_CODE), wanted);

    driver.SoftKey(1);
    ASSERT_EQ(TopTitle(), u"瞰市[个股]");
    EXPECT_EQ(Item(IDC_DETAIL_CODE), u"600036");
    EXPECT_EQ(Targets(), std::vector<std::string>{std::string(kStockPath) + "600036&vt=2"});
}

TEST_F(AddStockFlowTest, IndexButtonsAddIndexRowsThatRefreshFromIndexPages) {
    Seed({});
    StartApp();

    Command(IDC_ADDSTOCK);
    TapItem(IDC_ADDSTOCK_SH);
    ASSERT_EQ(TopTitle(), u"瞰市[个股]");
    EXPECT_EQ(Item(IDC_DETAIL_CODE), u"999998");
    driver.SoftKey(1);

    Command(IDC_ADDSTOCK);
    TapItem(IDC_ADDSTOCK_SZ);
    ASSERT_EQ(TopTitle(), u"瞰市[个股]");
    EXPECT_EQ(Item(IDC_DETAIL_CODE), u"999999");
    driver.TitleButton(); // OK saves like 保存
    ASSERT_TRUE(MainOnTop());

    ASSERT_EQ(stockCount, 2);
    EXPECT_EQ(WatchList[0].code, "999998");
    EXPECT_EQ(WatchList[1].code, "999999");
    EXPECT_EQ(WatchList[0].name, Gbk(u"上证指数"));
    EXPECT_EQ(WatchList[1].name, Gbk(u"深证成指"));
    EXPECT_EQ(Targets(), (std::vector<std::string>{"/prog/wapsite/stock/sh_stockquery.php?vt=2",
                                                   "/prog/wapsite/stock/sz_stockquery.php?vt=2"}));

    // A refresh asks for the index pages again and parses them into the rows.
    WatchList[0].latest = "1";
    Command(IDC_MANUALREFRESH);
    driver.Advance(3000);
    ASSERT_TRUE(MainOnTop());
    std::vector<std::string> targets = Targets();
    ASSERT_GE(targets.size(), 4u);
    EXPECT_EQ(targets[2], "/prog/wapsite/stock/sh_stockquery.php?vt=2");
    EXPECT_EQ(targets[3], "/prog/wapsite/stock/sz_stockquery.php?vt=2");
    EXPECT_NE(WatchList[0].latest, "1");
}

TEST_F(AddStockFlowTest, ACodeAlreadyListedIsPreviewedButNotSavedTwice) {
    Seed({"600036"});
    StartApp();
    LookUp(u"600036");
    ASSERT_EQ(TopTitle(), u"瞰市[个股]");
    EXPECT_EQ(Item(IDC_DETAIL_CODE), u"600036");

    driver.SoftKey(1);
    ASSERT_EQ(TopTitle(), u"瞰市");
    EXPECT_EQ(Item(IDC_MESSAGE_TEXT), u"已经存在，不能重复保存！");
    driver.SoftKey(0); // 返回 closes the message, and the preview and the
                       // add-stock dialog close with it
    EXPECT_TRUE(MainOnTop());
    EXPECT_EQ(stockCount, 1);
}

TEST_F(AddStockFlowTest, ASeventeenthStockIsLookedUpButNotSaved) {
    std::vector<std::string> codes;
    for (int i = 0; i < 16; ++i) {
        codes.push_back(std::to_string(600100 + i));
    }
    Seed(codes);
    StartApp();
    ASSERT_EQ(stockCount, 16);
    LookUp(u"600036");
    ASSERT_EQ(TopTitle(), u"瞰市[个股]");
    EXPECT_EQ(WatchList[16].code, "600036"); // the scratch record past the 16
    EXPECT_EQ(Item(IDC_DETAIL_CODE), u"600036");

    driver.SoftKey(1);
    ASSERT_EQ(TopTitle(), u"瞰市");
    EXPECT_EQ(Item(IDC_MESSAGE_TEXT), u"对不起，股票保存个数不能大于16个！");
    driver.SoftKey(0);
    EXPECT_TRUE(MainOnTop());
    EXPECT_EQ(stockCount, 16);
}

TEST_F(AddStockFlowTest, FewerThanSixBytesAreRefusedWithoutTraffic) {
    Seed({});
    StartApp();
    LookUp(u"60003");
    EXPECT_EQ(TopTitle(), u"瞰市[增加]");
    EXPECT_EQ(Item(IDC_ADDSTOCK_RESULT), u"股票代码必须为6位数字！");
    EXPECT_EQ(server.requestCount(), 0);
    // OK does the same as 查询.
    driver.Key(VK_BACK);
    driver.TitleButton();
    EXPECT_EQ(Item(IDC_ADDSTOCK_RESULT), u"股票代码必须为6位数字！");
    EXPECT_EQ(server.requestCount(), 0);
    // The result box is red on the menu colour.
    EXPECT_EQ(FirstCellOf(IDC_ADDSTOCK_RESULT).fg, 0x0000FFu);
    EXPECT_EQ(FirstCellOf(IDC_ADDSTOCK_RESULT).bg, GetSysColor(COLOR_MENU));
}

TEST_F(AddStockFlowTest, OnlyTheFirstSixBytesOfALongerEntryAreTheCode) {
    Seed({});
    StartApp();
    LookUp(u"600036 and more");
    ASSERT_EQ(TopTitle(), u"瞰市[个股]");
    EXPECT_EQ(Targets(), std::vector<std::string>{std::string(kStockPath) + "600036&vt=2"});
    EXPECT_EQ(WatchList[0].code, "600036");
}

TEST_F(AddStockFlowTest, UnknownCodeAndFailedConnectionStayInTheDialog) {
    Seed({});
    StartApp();
    LookUp(u"123456");
    EXPECT_EQ(TopTitle(), u"瞰市[增加]");
    EXPECT_EQ(Item(IDC_ADDSTOCK_RESULT), u"没有找到您要查询的股票，请重新输入！");
    EXPECT_EQ(stockCount, 0);

    // Six bytes that are not digits go to the server as they are; it knows
    // no such stock.
    driver.Key(VK_END);
    for (int i = 0; i < 6; ++i) {
        driver.Key(VK_BACK);
    }
    driver.Type(u"中国平安");
    driver.SoftKey(1);
    EXPECT_EQ(TopTitle(), u"瞰市[增加]");
    EXPECT_EQ(Item(IDC_ADDSTOCK_RESULT), u"没有找到您要查询的股票，请重新输入！");
    EXPECT_EQ(WatchList[0].code, Gbk(u"中国平"));

    // Nothing listens on port 1 of the loopback: the Wi-Fi text.
    platform::Device().serverPort = 1;
    driver.SoftKey(1);
    EXPECT_EQ(TopTitle(), u"瞰市[增加]");
    EXPECT_EQ(Item(IDC_ADDSTOCK_RESULT), u"连接失败，请检查Wi-Fi设置是否正确！");
    driver.SoftKey(0); // 返回
    EXPECT_TRUE(MainOnTop());
    EXPECT_EQ(stockCount, 0);
}

TEST_F(AddStockFlowTest, CancelledPreviewLeavesTheListAndTheNextLookupReusesTheScratchRecord) {
    Seed({"600016"});
    StartApp();
    LookUp(u"600036");
    ASSERT_EQ(TopTitle(), u"瞰市[个股]");
    driver.SoftKey(0); // 取消
    ASSERT_TRUE(MainOnTop());
    EXPECT_EQ(stockCount, 1);
    EXPECT_EQ(WatchList[1].code, "600036"); // left behind, not in the list
    EXPECT_EQ(previewMode, "N");

    LookUp(u"600519");
    ASSERT_EQ(TopTitle(), u"瞰市[个股]");
    EXPECT_EQ(Item(IDC_DETAIL_CODE), u"600519");
    EXPECT_EQ(WatchList[1].code, "600519");
    driver.SoftKey(1);
    ASSERT_EQ(stockCount, 2);
    EXPECT_EQ(WatchList[0].code, "600016");
    EXPECT_EQ(WatchList[1].code, "600519");
}

class AddStockUnderRefreshTest : public lookuptest::AppTest {
  protected:
    AddStockUnderRefreshTest() : AppTest(lookuptest::EveningOptions("2026-03-04 10:00:00")) {}
};

// Giving the list its count after a refresh forgets a selection past the end
// of the watch list, which is where the preview's record sits. The preview
// must go on showing, and saving, the stock it was opened for.
TEST_F(AddStockUnderRefreshTest, ARefreshUnderThePreviewDoesNotChangeWhatItShowsOrSaves) {
    Seed({"600016"}, "3", 20);
    StartApp();
    LookUp(u"600036");
    ASSERT_EQ(TopTitle(), u"瞰市[个股]");
    const std::size_t before = Targets().size();

    driver.Advance(45000); // a timed refresh, then the preview's redisplay
    ASSERT_GT(Targets().size(), before);
    EXPECT_EQ(Targets()[before], std::string(kStockPath) + "600016&vt=2");
    ASSERT_EQ(TopTitle(), u"瞰市[个股]");
    EXPECT_EQ(Item(IDC_DETAIL_CODE), u"600036");

    driver.SoftKey(1);
    ASSERT_TRUE(MainOnTop());
    ASSERT_EQ(stockCount, 2);
    EXPECT_EQ(WatchList[1].code, "600036");
}

} // namespace
