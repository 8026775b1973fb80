// Every window of the program shows its values whole: the main list and
// every dialog, on the smallest screen the terminal front-end draws, on
// 80x24 and on 200x60, after a refresh from a quote server whose stock
// page carries the longest values the page parser takes (a name of four
// full-width characters, a price of 9999.99, a 19-digit volume, a 14-digit
// turnover) and index lines with price, change and percentage. Each value
// must stand whole inside its control's cells on the composed screen.
#include "tests/watchlist/addstock_harness.h"

#include "alerts/NotifyMethodDlg.h"
#include "platform/observe.h"
#include "server/Pages.h"
#include "term/Terminal.h"
#include "tests/support/SampleQuotes.h"

#include <functional>

namespace {

using lookuptest::Utf8;

// Screen characters as UTF-8, for messages (all of them are in the BMP).
std::string Utf8Of(const std::u32string& text) {
    return Utf8(std::u16string(text.begin(), text.end()));
}

struct ScreenSize {
    int cols;
    int rows;
};

// The program starts on a screen of 100 x 30, inside trading hours; the
// test then resizes it to the size under test, as a person resizes the
// terminal, so that the main list follows a change of width.
platform::headless::Options Trading() {
    platform::headless::Options options = lookuptest::EveningOptions("2026-03-04 10:00:00");
    options.cols = 100;
    options.rows = 30;
    return options;
}

const char16_t kName[] = u"ＳＴ中华";
const char kShLine[] = "3050.12 +10.12 +0.33%";
const char kSzLine[] = "10234.56 -123.45 -1.19%";
const char kVolume[] = "1234567890123456789";
const char kTurnover[] = "12345678901234";

// Puts `value` in place of the value that follows `label` and ends where
// `end` starts (after the markup's last '>' in between, if any).
void PutValue(std::string& page, const std::string& label, const std::string& end,
              const std::string& value) {
    std::size_t at = page.find(label);
    ASSERT_NE(at, std::string::npos) << label;
    std::size_t stop = page.find(end, at + label.size());
    ASSERT_NE(stop, std::string::npos) << label;
    std::size_t begin = page.rfind('>', stop);
    begin = (begin == std::string::npos || begin < at) ? at + label.size() : begin + 1;
    page.replace(begin, stop - begin, value);
}

// The bundled server's stock page of 600036, its values made as long as the
// parser's bounds allow.
std::string LongValuesReply() {
    server::StockQuote stock = testsupport::SampleStockQuote();
    stock.name = Utf8(kName);
    stock.latest = 999999;
    stock.previousClose = 909100;
    server::IndexQuote sh = testsupport::SampleIndexQuote("上证指数", 305012); // up
    server::IndexQuote sz = testsupport::SampleIndexQuote("深证成指", 200000); // down
    std::string page = server::RenderStockPage(stock, sh, sz, testsupport::SampleStamp());
    PutValue(page, "涨跌幅:", "%", "+10.00");
    PutValue(page, "涨跌额:", "元", "+909.9");
    PutValue(page, "昨收盘:", "元", "9091.0");
    PutValue(page, "今开盘:", "元", "9100.5");
    PutValue(page, "最高价:", "元", "9999.9");
    PutValue(page, "最低价:", "元", "9090.9");
    PutValue(page, "成交量:", "股", kVolume);
    PutValue(page, "成交额:", "元", kTurnover);
    // The lines up to their "%", which the page keeps.
    PutValue(page, "上证指数:", "%", std::string(kShLine, sizeof kShLine - 2));
    PutValue(page, "深成指数:", "%", std::string(kSzLine, sizeof kSzLine - 2));
    return server::HtmlReply(page);
}

class DialogsFitTest : public lookuptest::AppTest,
                       public ::testing::WithParamInterface<ScreenSize> {
  protected:
    DialogsFitTest() : AppTest(Trading()) {}

    // The characters in the cells of a control's first row, wide characters
    // once.
    std::u32string CellsOf(int id) {
        RECT r = ItemRect(id);
        std::u32string out;
        int row = r.top / kCellHeight;
        for (int col = r.left / kCellWidth; col < r.right / kCellWidth; ++col) {
            platform::Cell cell = driver.At(col, row);
            if (!cell.wideRight) {
                out.push_back(cell.ch);
            }
        }
        return out;
    }

    // A control's text (never empty) stands whole in its cells.
    void ExpectWhole(int id) {
        std::u16string text = Item(id);
        EXPECT_FALSE(text.empty()) << "control " << id;
        std::u32string cells = CellsOf(id);
        std::u32string wanted = platform::DecodeUtf16(text);
        EXPECT_NE(cells.find(wanted), std::u32string::npos)
            << "control " << id << " \"" << Utf8(text) << "\" shows \"" << Utf8Of(cells) << "\"";
    }

    // The screen row that shows `text`, as characters.
    std::u32string RowWith(const std::u16string& text) {
        std::u32string wanted = platform::DecodeUtf16(text);
        for (int row = 0; row < driver.Screen().Rows(); ++row) {
            std::u32string line;
            for (int col = 0; col < driver.Screen().Cols(); ++col) {
                platform::Cell cell = driver.At(col, row);
                if (!cell.wideRight) {
                    line.push_back(cell.ch);
                }
            }
            if (line.find(wanted) != std::u32string::npos) {
                return line;
            }
        }
        return {};
    }
};

const int kDetailValues[] = {IDC_DETAIL_NAME,     IDC_DETAIL_CODE,      IDC_DETAIL_SELL,
                             IDC_DETAIL_BUY,      IDC_DETAIL_LATEST,    IDC_DETAIL_CHANGE,
                             IDC_DETAIL_PERCENT,  IDC_DETAIL_PREVCLOSE, IDC_DETAIL_OPEN,
                             IDC_DETAIL_HIGH,     IDC_DETAIL_LOW,       IDC_DETAIL_VOLUME,
                             IDC_DETAIL_TURNOVER, IDC_DETAIL_UPDATE};

TEST_P(DialogsFitTest, EveryValueOfEveryWindowIsWhole) {
    Seed({"600036"}, "3", 40);
    const std::string reply = LongValuesReply();
    testsupport::ScriptedServer pages(
        [reply](const std::string&, int) { return testsupport::ScriptedReply::Send(reply); });
    pages.PointDevice();
    StartApp();
    driver.Resize(GetParam().cols, GetParam().rows);
    driver.Advance(40000); // the timed refresh
    ASSERT_GE(pages.requestCount(), 1);
    driver.Run([] {
        // Targets and settings as the user left them, at their longest.
        WatchList[0].sellTarget = "10999.99";
        WatchList[0].buyTarget = "9090.91";
        Settings.NotifyMethod = "s";
        Settings.SmsPhone = "861391234567813912345678"; // 24, the most it takes
        Settings.MonthTraffic = 12345.6789;
        Settings.RefreshInterval = 5940; // 99.0 minutes
        Settings.RefreshUnit = lookuptest::Gbk(u"分");
        RunTraffic = 1234.5678;
    });
    ASSERT_EQ(WatchList[0].name, lookuptest::Gbk(kName));
    ASSERT_EQ(WatchList[0].latest, "9999.99");
    ASSERT_EQ(WatchList[0].turnover, kTurnover);
    ASSERT_EQ(WatchList[0].volume, kVolume);
    ASSERT_EQ(ShIndexText, kShLine);
    ASSERT_EQ(SzIndexText, kSzLine);

    // The main list: the row of the stock holds its name, price, change and
    // sell target whole.
    driver.Key(VK_DOWN);
    std::u32string row = RowWith(kName);
    for (const char16_t* value : {u"9999.99", u"+10.00%", u"10999.99"}) {
        EXPECT_NE(row.find(platform::DecodeUtf16(value)), std::u32string::npos)
            << Utf8(value) << " in \"" << Utf8Of(row) << "\"";
    }

    struct Window {
        const char* name;
        std::u16string title;
        std::function<void()> open;
        std::vector<int> values;
        std::function<void()> close;
    };
    auto back = [this] { driver.SoftKey(0); };
    const std::vector<Window> windows = {
        {"stock detail", u"瞰市[个股]",
         [this] {
             driver.Key(VK_DOWN);
             driver.Enter();
         },
         std::vector<int>(std::begin(kDetailValues), std::end(kDetailValues)), back},
        {"target price",
         u"瞰市[提醒]",
         [this] {
             driver.Key(VK_DOWN);
             driver.Enter();
             driver.SoftKey(1); // 提醒设置 of the detail dialog
         },
         {IDC_TARGET_NAME, IDC_TARGET_CODE, IDC_TARGET_SELL, IDC_TARGET_BUY,
          IDC_TARGET_SELL_PERCENT, IDC_TARGET_BUY_PERCENT, IDC_TARGET_LATEST, IDC_TARGET_CHANGE,
          IDC_TARGET_LIMITUP, IDC_TARGET_LIMITDOWN},
         back},
        {"notification method",
         u"通知方式",
         [this] { driver.Run([] { RunDialog(IDD_NOTIFYMETHOD, NotifyMethodDlgProc); }); },
         {IDC_NOTIFY_BUBBLE, IDC_NOTIFY_SMS, IDC_NOTIFY_PHONE},
         back},
        {"market index",
         u"瞰市[指数]",
         [this] { Command(IDC_MARKETINDEX); },
         {IDC_INDEX_SH, IDC_INDEX_SZ, IDC_INDEX_TIME},
         back},
        {"add stock",
         u"瞰市[增加]",
         [this] {
             Command(IDC_ADDSTOCK);
             driver.Type(u"600036");
         },
         {IDC_ADDSTOCK_CODE, IDC_ADDSTOCK_SH, IDC_ADDSTOCK_SZ},
         back},
        {"add stock preview", u"瞰市[个股]",
         [this] {
             Command(IDC_ADDSTOCK);
             driver.Type(u"600036");
             driver.SoftKey(1); // 查询
         },
         std::vector<int>(std::begin(kDetailValues) + 2, std::end(kDetailValues)),
         [this] {
             driver.SoftKey(0); // 取消 of the preview
             if (TopTitle() == u"瞰市[增加]") {
                 driver.SoftKey(0);
             }
         }},
        {"refresh frequency",
         u"瞰市[刷新频率]",
         [this] { Command(IDC_REFRESHFREQ); },
         {IDC_FREQ_20, IDC_FREQ_OFF, IDC_FREQ_MINUTES},
         back},
        {"background",
         u"瞰市[背景]",
         [this] { Command(IDC_BACKGROUND); },
         {IDC_BACKGROUND_DEFAULT, IDC_BACKGROUND_BLACK},
         back},
        {"connection method",
         u"瞰市[连接方式]",
         [this] { Command(IDC_CONNECTIONMETHOD); },
         {IDC_CONNECTION_LIST},
         back},
        {"traffic",
         u"瞰市[流量]",
         [this] { Command(IDC_TRAFFIC); },
         {IDC_TRAFFIC_RUN, IDC_TRAFFIC_MONTH},
         back},
        {"about", u"关于瞰市", [this] { Command(IDC_ABOUT); }, {IDC_ABOUT_NAME}, back},
        {"refresh progress",
         u"",
         [this] { Command(IDC_MANUALREFRESH); },
         {IDC_REFRESHPROGRESS_TEXT},
         [this] { driver.Advance(1000); }},
    };
    for (const Window& w : windows) {
        SCOPED_TRACE(w.name);
        w.open();
        if (!w.title.empty()) {
            ASSERT_EQ(TopTitle(), w.title);
        }
        for (int id : w.values) {
            ExpectWhole(id);
        }
        w.close();
        ASSERT_TRUE(MainOnTop()) << Utf8(TopTitle());
    }
    // The notes: a scrolling text in the message dialog, taller than the
    // smallest screen; its heading whole, and its end scrolled into view.
    Command(IDC_NOTES);
    EXPECT_NE(CellsOf(IDC_MESSAGE_TEXT).find(U"注意事项："), std::u32string::npos);
    driver.Key(VK_END);
    RECT text = ItemRect(IDC_MESSAGE_TEXT);
    EXPECT_LE(text.bottom / kCellHeight, GetParam().rows - 1) << "above the soft-key row";
    EXPECT_NE(RowWith(u"请放心使用。"), std::u32string()) << "the end of the notes";
    driver.SoftKey(0);
    EXPECT_TRUE(MainOnTop());
}

INSTANTIATE_TEST_SUITE_P(Screens, DialogsFitTest,
                         ::testing::Values(ScreenSize{term::kMinScreenCols, term::kMinScreenRows},
                                           ScreenSize{80, 24}, ScreenSize{200, 60}),
                         [](const ::testing::TestParamInfo<ScreenSize>& info) {
                             return std::to_string(info.param.cols) + "x" +
                                    std::to_string(info.param.rows);
                         });

} // namespace
