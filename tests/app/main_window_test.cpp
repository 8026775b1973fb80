// The main window through the headless driver: start-up, the soft-key bar
// and its whole menu, the quote list on the screen, activation, a screen
// change, the delete and exit commands with their confirmations, the "no
// stock is selected" boxes, and which endings write the data files.
#include "app/MainWndProc.h"
#include "app/WinMain.h"
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "platform/device.h"
#include "res/ResourceIds.h"
#include "res/Resources.h"
#include "tests/support/SettingsHarness.h"
#include "tests/support/ShellTestKit.h"
#include "watchlist/DataFiles.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testsupport::SettingsSession;

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetProgramState();
        s = std::make_unique<SettingsSession>();
        s->settings.RefreshInterval = 30;
        s->AddStock("600016", "民生银行", "10.50", "+1.00%", "10.40");
        s->AddStock("600036", "招商银行", "20.00", "-1.00%", "20.20");
        s->AddStock("000001", "平安银行", "12.00", "0.00%", "12.00", "13.00");
    }
    void TearDown() override { s.reset(); }

    platform::headless::Driver& d() { return s->driver(); }
    HWND Main() { return d().FindTop(u"StockAtApp"); }
    HWND List() { return GetDlgItem(Main(), IDC_QUOTELIST); }
    fs::path Folder() { return s->root() / "Program Files" / "MyTradlynx" / "qzfen"; }
    bool BoxOpen() { return testsupport::MessageBoxOpen(d()); }
    bool ScreenShows(const std::string& utf8) { return testsupport::ScreenShowsText(d(), utf8); }

    std::unique_ptr<SettingsSession> s;
};

} // namespace

TEST_F(MainWindowTest, StartsWithTitleSoftKeysListAndTimer) {
    s->Start();
    ASSERT_NE(Main(), nullptr);
    EXPECT_FALSE(d().Finished());
    EXPECT_EQ(d().TextOf(Main()), u"瞰市");
    EXPECT_EQ(d().SoftKeyText(0), u"退出");
    EXPECT_EQ(d().SoftKeyText(1), u"菜单");
    HWND list = List();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Shell.listWindow, list);
    EXPECT_EQ(Shell.mainWindow, Main());
    EXPECT_EQ(static_cast<DWORD>(GetWindowLong(list, GWL_STYLE)) & 0xFFFFFFFF, 0x50B01401u);
    EXPECT_NE(d().OnDevice([list] {
        return SendMessage(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT;
    }),
              0);
    // The header widths come from the window's width W.
    RECT client{};
    GetClientRect(Main(), &client);
    const int w = client.right;
    const int w24 = static_cast<int>(w * 0.24), w26 = static_cast<int>(w * 0.26);
    const int widths[4] = {w - GetSystemMetrics(SM_CXVSCROLL) - 2 * w24 - w26, w24, w24, w26};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(d().OnDevice([list, c] { return SendMessage(list, LVM_GETCOLUMNWIDTH, c, 0); }),
                  widths[c])
            << "column " << c;
    }
    // The list covers the client area less the soft-key bar.
    RECT listRect{};
    GetClientRect(list, &listRect);
    EXPECT_EQ(listRect.right, w);
    EXPECT_EQ(listRect.bottom, client.bottom - Shell.menuBarHeight);
    EXPECT_GT(Shell.menuBarHeight, 0);
    // Active: the list has the focus. The watch list and settings came from
    // the files, and timer 1 runs at the stored interval.
    EXPECT_EQ(d().Focus(), list);
    EXPECT_EQ(stockCount, 3);
    EXPECT_EQ(Settings.RefreshInterval, 30);
    bool armed = false;
    for (const auto& [id, due] : platform::observe::TimersOf(Main())) {
        if (id == 1) {
            armed = true;
            EXPECT_EQ(due - d().NowMs(), 30000);
        }
    }
    EXPECT_TRUE(armed);
}

TEST_F(MainWindowTest, MenuHoldsEveryEntryInOrder) {
    s->Start();
    d().SoftKey(1);
    auto menu = d().Menu();
    ASSERT_EQ(menu.size(), 1u);
    struct Entry {
        const char16_t* text;
        UINT command;
        bool separator;
        bool submenu;
    };
    const Entry top[] = {{u"提醒设置", 32786, false, false},
                         {u"增加自选股", 32807, false, false},
                         {u"删除自选股", 32805, false, false},
                         {u"个股明细", 32804, false, false},
                         {u"大盘指数", 32822, false, false},
                         {u"", 0, true, false},
                         {u"服务", 0, false, true},
                         {u"", 0, true, false},
                         {u"上网流量", 32810, false, false},
                         {u"系统设置", 0, false, true},
                         {u"手动刷新", 32788, false, false}};
    ASSERT_EQ(menu[0].size(), std::size(top));
    for (size_t i = 0; i < std::size(top); ++i) {
        EXPECT_EQ(menu[0][i].separator, top[i].separator) << i;
        EXPECT_EQ(menu[0][i].submenu, top[i].submenu) << i;
        if (!top[i].separator) {
            EXPECT_EQ(menu[0][i].text, top[i].text) << i;
        }
        if (!top[i].separator && !top[i].submenu) {
            EXPECT_EQ(menu[0][i].command, top[i].command) << i;
        }
    }
    // Open each submenu: move to it (rules are skipped) and press Right.
    auto openSubmenu = [&](const std::u16string& name) {
        for (int guard = 0; guard < 20; ++guard) {
            auto m = d().Menu();
            for (const auto& e : m.back()) {
                if (e.selected && e.text == name) {
                    d().Right();
                    return d().Menu();
                }
            }
            d().Down();
        }
        return d().Menu();
    };
    auto service = openSubmenu(u"服务");
    ASSERT_EQ(service.size(), 2u);
    const Entry serviceEntries[] = {{u"瞰市荐股", 32823, false, false},
                                    {u"版本更新", 32858, false, false},
                                    {u"注意事项", 32803, false, false},
                                    {u"关于瞰市", 32859, false, false}};
    ASSERT_EQ(service[1].size(), std::size(serviceEntries));
    for (size_t i = 0; i < std::size(serviceEntries); ++i) {
        EXPECT_EQ(service[1][i].text, serviceEntries[i].text);
        EXPECT_EQ(service[1][i].command, serviceEntries[i].command);
    }
    d().Left();
    auto system = openSubmenu(u"系统设置");
    ASSERT_EQ(system.size(), 2u);
    const Entry systemEntries[] = {{u"刷新频率", 32809, false, false},
                                   {u"背景颜色", 32826, false, false},
                                   {u"连接方式", 32860, false, false}};
    ASSERT_EQ(system[1].size(), std::size(systemEntries));
    for (size_t i = 0; i < std::size(systemEntries); ++i) {
        EXPECT_EQ(system[1][i].text, systemEntries[i].text);
        EXPECT_EQ(system[1][i].command, systemEntries[i].command);
    }
    d().Escape();
    d().Escape();
    EXPECT_TRUE(d().Menu().empty());
}

TEST_F(MainWindowTest, ListRowsAreColouredOnTheScreen) {
    s->Start();
    const std::vector<std::string> rows = d().ScreenRows();
    int header = -1;
    for (size_t r = 0; r < rows.size(); ++r) {
        if (rows[r].find("名称") != std::string::npos) {
            header = static_cast<int>(r);
            break;
        }
    }
    ASSERT_GE(header, 0) << d().ScreenText();
    EXPECT_NE(rows[static_cast<size_t>(header)].find("最新"), std::string::npos);
    EXPECT_NE(rows[static_cast<size_t>(header)].find("涨跌"), std::string::npos);
    EXPECT_NE(rows[static_cast<size_t>(header)].find("目标(卖)"), std::string::npos);

    // The cell where an ASCII text starts on a row of the screen.
    auto cellOf = [&](int row, const std::string& text) {
        const platform::Canvas& screen = d().Screen();
        for (int c = 0; c + static_cast<int>(text.size()) <= screen.Cols(); ++c) {
            bool match = true;
            for (size_t k = 0; k < text.size() && match; ++k) {
                match =
                    screen.At(c + static_cast<int>(k), row).ch == static_cast<char32_t>(text[k]);
            }
            if (match) {
                return screen.At(c, row);
            }
        }
        ADD_FAILURE() << text << " not on row " << row << ": " << rows[static_cast<size_t>(row)];
        return platform::Cell{};
    };
    const int first = header + 1;
    EXPECT_EQ(cellOf(first, "10.50").fg, 0x0000FFu);
    EXPECT_EQ(cellOf(first, "+1.00%").fg, 0x0000FFu);
    EXPECT_EQ(cellOf(first + 1, "20.00").fg, 0x005000u);
    EXPECT_EQ(cellOf(first + 2, "12.00").fg, 0x000000u);
    EXPECT_EQ(cellOf(first + 2, "13.00").fg, 0xFF0000u);
    EXPECT_EQ(cellOf(first + 1, "--").fg, 0xFF0000u);
    EXPECT_EQ(cellOf(first, "10.50").bg, 0xFFFFFFu);

    // Moving to a row selects it: it is drawn highlighted and becomes the
    // selected row even without an activation.
    d().Down();
    d().Down();
    EXPECT_EQ(Shell.selectedRow, 1);
    EXPECT_EQ(cellOf(first + 1, "20.00").bg, GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(cellOf(first + 1, "20.00").fg, 0x005000u);
    EXPECT_EQ(cellOf(first, "10.50").bg, 0xFFFFFFu);
}

TEST_F(MainWindowTest, BlackBackgroundAndAnEmptyList) {
    s->settings.Background = "B";
    s->stocks.clear();
    s->Start();
    EXPECT_EQ(stockCount, 0);
    const std::vector<std::string> rows = d().ScreenRows();
    int header = -1;
    for (size_t r = 0; r < rows.size(); ++r) {
        if (rows[r].find("名称") != std::string::npos) {
            header = static_cast<int>(r);
        }
    }
    ASSERT_GE(header, 0) << d().ScreenText();
    // No rows, and the empty part of the list is black.
    const platform::Canvas& screen = d().Screen();
    EXPECT_EQ(screen.At(screen.Cols() / 2, header + 2).bg, 0x000000u);
    EXPECT_EQ(rows[static_cast<size_t>(header + 1)].find_first_not_of(" |"), std::string::npos);
    // Enter on an empty list raises no activation: no box appears.
    d().Enter();
    EXPECT_FALSE(BoxOpen());
}

TEST_F(MainWindowTest, ScreenChangeResizesWindowAndList) {
    s->Start();
    d().Resize(60, 30);
    RECT work{};
    SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
    RECT mainRect{};
    GetWindowRect(Main(), &mainRect);
    EXPECT_EQ(mainRect.left, work.left);
    EXPECT_EQ(mainRect.top, work.top);
    EXPECT_EQ(mainRect.right - mainRect.left, work.right - work.left);
    EXPECT_EQ(mainRect.bottom - mainRect.top, work.bottom - work.top);
    RECT listRect{};
    GetClientRect(List(), &listRect);
    EXPECT_EQ(listRect.right, work.right - work.left);
    EXPECT_EQ(listRect.bottom, work.bottom - work.top);
}

TEST_F(MainWindowTest, NoSelectionBoxes) {
    s->Start();
    ASSERT_EQ(Shell.selectedRow, -1);
    const std::pair<int, const char*> cases[] = {
        {IDC_DELETESTOCK, "没有股票被选中，请选择要删除的股票！"},
        {IDC_ALERTSETTINGS, "没有股票被选中，请选择要设置提醒的股票！"},
        {IDC_STOCKDETAILS, "没有股票被选中，请选择要浏览行情的股票！"}};
    for (const auto& [command, text] : cases) {
        s->Command(command);
        ASSERT_TRUE(BoxOpen()) << command;
        EXPECT_TRUE(ScreenShows(text)) << command << "\n" << d().ScreenText();
        d().Enter();
        EXPECT_FALSE(BoxOpen());
        EXPECT_EQ(stockCount, 3);
    }
}

TEST_F(MainWindowTest, DeleteAsksAroundTheNameAndRemovesOnOk) {
    s->Start();
    d().Down();
    d().Down(); // row 1, 招商银行
    ASSERT_EQ(Shell.selectedRow, 1);
    s->Command(IDC_DELETESTOCK);
    ASSERT_TRUE(BoxOpen());
    EXPECT_TRUE(ScreenShows("确实要删除【招商银行】吗？按【确定】删除，按【取消】放弃。"))
        << d().ScreenText();
    d().Escape(); // Cancel
    EXPECT_EQ(stockCount, 3);

    s->Command(IDC_DELETESTOCK);
    d().Enter(); // OK
    EXPECT_FALSE(BoxOpen());
    EXPECT_EQ(stockCount, 2);
    EXPECT_EQ(WatchList[1].code, "000001");
    EXPECT_FALSE(d().ScreenHas("招商银行"));
    // Nothing is written before the exit.
    const std::string stored = Slurp(Folder() / "afxg003");
    EXPECT_NE(ScrambleText(stored).find("600036"), std::string::npos);
}

TEST_F(MainWindowTest, DeletingTheOnlyStockLeavesTheHeadersAndNoSelection) {
    s->stocks.resize(1);
    s->Start();
    d().Down();
    ASSERT_EQ(Shell.selectedRow, 0);
    s->Command(IDC_DELETESTOCK);
    d().Enter();
    EXPECT_EQ(stockCount, 0);
    EXPECT_TRUE(d().ScreenHas("名称"));
    EXPECT_FALSE(d().ScreenHas("民生银行"));
    // The selection went with the row: a second delete says so instead of
    // asking about a record that is no longer in the list.
    EXPECT_EQ(Shell.selectedRow, -1);
    s->Command(IDC_DELETESTOCK);
    EXPECT_TRUE(ScreenShows("没有股票被选中，请选择要删除的股票！"));
    d().Enter();
}

TEST_F(MainWindowTest, ExitCancelKeepsRunningAndWritesNothing) {
    s->Start();
    const std::string settingsBefore = Slurp(Folder() / "afxg002");
    const std::string listBefore = Slurp(Folder() / "afxg003");
    Settings.RefreshInterval = 50; // a change in memory only
    d().SoftKey(0);
    ASSERT_TRUE(BoxOpen());
    EXPECT_TRUE(ScreenShows("确实要退出吗？退出后将丧失提醒功能，建议您【取消】后按屏幕右上角的【X"
                            "】将系统最小化，系统将继续保持提醒功能。"))
        << d().ScreenText();
    d().Escape();
    EXPECT_FALSE(BoxOpen());
    EXPECT_FALSE(d().Finished());
    EXPECT_NE(Main(), nullptr);
    EXPECT_EQ(Slurp(Folder() / "afxg002"), settingsBefore);
    EXPECT_EQ(Slurp(Folder() / "afxg003"), listBefore);
}

TEST_F(MainWindowTest, ExitOkWritesSettingsThenWatchListAndEnds) {
    s->Start();
    d().Down();
    s->Command(IDC_DELETESTOCK);
    d().Enter(); // 民生银行 goes
    Settings.RefreshInterval = 50;

    // Watch the folder: the saves are renames into it, in their order.
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, Folder().c_str(), IN_MOVED_TO | IN_CLOSE_WRITE), 0);
    d().SoftKey(0);
    d().Enter();
    EXPECT_TRUE(d().Finished());
    EXPECT_EQ(d().ExitCode(), 0);

    std::vector<std::string> order;
    alignas(inotify_event) char buffer[8192];
    ssize_t n;
    while ((n = read(watch, buffer, sizeof(buffer))) > 0) {
        for (char* p = buffer; p < buffer + n;) {
            auto* event = reinterpret_cast<inotify_event*>(p);
            const std::string name = event->len > 0 ? event->name : "";
            if ((name == "afxg002" || name == "afxg003") &&
                (order.empty() || order.back() != name)) {
                order.push_back(name);
            }
            p += sizeof(inotify_event) + event->len;
        }
    }
    close(watch);
    EXPECT_EQ(order, (std::vector<std::string>{"afxg002", "afxg003"}));

    const std::string settings = ScrambleText(Slurp(Folder() / "afxg002"));
    EXPECT_EQ(settings.rfind("50;", 0), 0u) << settings;
    const std::string list = ScrambleText(Slurp(Folder() / "afxg003"));
    EXPECT_EQ(list.find("600016"), std::string::npos);
    EXPECT_NE(list.find("600036"), std::string::npos);
}

TEST_F(MainWindowTest, EndedAnyOtherWayWritesNothing) {
    s->Start();
    const std::string settingsBefore = Slurp(Folder() / "afxg002");
    const std::string listBefore = Slurp(Folder() / "afxg003");
    d().Down();
    s->Command(IDC_DELETESTOCK);
    d().Enter();
    Settings.RefreshInterval = 50;
    // A WM_CLOSE from outside reaches the default procedure, which destroys
    // the window without saving.
    d().Post(Main(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(d().Finished());
    EXPECT_EQ(d().ExitCode(), 0);
    EXPECT_EQ(Slurp(Folder() / "afxg002"), settingsBefore);
    EXPECT_EQ(Slurp(Folder() / "afxg003"), listBefore);
}

TEST_F(MainWindowTest, AnEndedSessionWritesAsTheExitCommandDoesWhateverIsOpen) {
    // A SIGTERM (a service stop, a logout, a shutdown) ends the session: with
    // the list alone, under the exit confirmation, under a dialog.
    const std::vector<std::pair<const char*, int>> cases = {
        {"the list", 0}, {"the exit box", IDC_EXIT}, {"a dialog", IDC_ADDSTOCK}};
    for (const auto& [what, command] : cases) {
        SCOPED_TRACE(what);
        SetUp();
        s->Start();
        d().Down();
        s->Command(IDC_DELETESTOCK);
        d().Enter(); // 民生银行 goes, in memory only
        Settings.RefreshInterval = 50;
        if (command != 0) {
            s->Command(command);
            ASSERT_FALSE(d().Finished());
        }
        d().EndSession();
        EXPECT_TRUE(d().Finished());
        EXPECT_EQ(d().ExitCode(), 0);
        const std::string settings = ScrambleText(Slurp(Folder() / "afxg002"));
        EXPECT_EQ(settings.rfind("50;", 0), 0u) << settings;
        const std::string list = ScrambleText(Slurp(Folder() / "afxg003"));
        EXPECT_EQ(list.find("600016"), std::string::npos);
        EXPECT_NE(list.find("600036"), std::string::npos);
        TearDown();
    }
}

TEST_F(MainWindowTest, TheTitleBarXOnlySendsTheProgramToTheBackground) {
    s->Start();
    d().TitleButton();
    EXPECT_FALSE(d().Finished());
    EXPECT_EQ(d().BackgroundCount(), 1);
    EXPECT_NE(Main(), nullptr);
}

TEST_F(MainWindowTest, ActivatingARowStoresItAndUnknownCommandsGoToTheDefault) {
    s->Start();
    d().Down();
    d().Down();
    d().Down();
    d().Enter(); // activation of row 2
    EXPECT_EQ(Shell.selectedRow, 2);
    EXPECT_EQ(previewMode, "N");
    // Whatever the detail dialog does, close what is open.
    while (d().Top() != Main() && d().Top() != nullptr) {
        HWND before = d().Top();
        d().SoftKey(0);
        if (d().Top() == before) {
            d().Escape();
        }
        if (d().Top() == before) {
            break;
        }
    }
    // The bubble's soft-key commands reach the main window, which passes
    // them on without acting.
    s->Command(10);
    EXPECT_FALSE(d().Finished());
    EXPECT_EQ(stockCount, 3);
}

TEST(StartUp, WithoutTheTitleStringTheProgramEndsSilently) {
    platform::headless::Driver driver;
    static const ResourceModule empty;
    HINSTANCE instance = RegisterResourceModule(&empty);
    driver.Start([instance] { return WinMain(instance, nullptr, nullptr, SW_SHOW); });
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(driver.ExitCode(), 0);
    EXPECT_EQ(driver.FindTop(u"StockAtApp"), nullptr);
    // It took no mutex: the next start is a first copy.
    driver.Run([] {
        HANDLE mutex = CreateMutex(nullptr, FALSE, u"StockAtApp");
        EXPECT_NE(GetLastError(), ERROR_ALREADY_EXISTS);
        CloseHandle(mutex);
    });
}

TEST_F(MainWindowTest, MessageTextIsCutTo1999UnitsWithoutSplittingAPair) {
    s->Start();
    std::u16string text(1998, u'x');
    text += u"\U0001F600"; // a pair at units 1998 and 1999
    text += u"tail";
    d().Run([&] { ShowMessageText(text.c_str()); });
    EXPECT_EQ(std::u16string(Shell.messageText), std::u16string(1998, u'x'));
    // Close whatever the message dialog is.
    d().TitleButton();
    d().Run([] { ShowMessageText(u"short"); });
    EXPECT_EQ(std::u16string(Shell.messageText), u"short");
    d().TitleButton();
}

TEST_F(MainWindowTest, BackgroundCommandRecoloursTheWholeList) {
    s->stocks.resize(1);
    s->Start();
    // The dialog's choice as it would store it; the dialog is then left.
    // g++ 12 at -O3 takes this inlined assignment of a literal to a std::string for an overlapping
    // copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
    d().Run([] { Settings.Background = "B"; });
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    s->Command(IDC_BACKGROUND);
    ASSERT_NE(d().Top(), Main()) << "the background dialog is open";
    s->Cancel();
    ASSERT_EQ(d().Top(), Main());
    const platform::Canvas& screen = d().Screen();
    int nameRow = -1;
    for (int r = 0; r < screen.Rows(); ++r) {
        if (screen.RowText(r).find("民生银行") != std::string::npos) {
            nameRow = r;
        }
    }
    ASSERT_GE(nameRow, 0) << d().ScreenText();
    EXPECT_EQ(screen.At(screen.Cols() / 2, nameRow).bg, 0x000000u);
    EXPECT_EQ(screen.At(screen.Cols() / 2, nameRow + 2).bg, 0x000000u) << "below the rows";
    EXPECT_EQ(d().OnDevice([] { return SendMessage(Shell.listWindow, LVM_GETBKCOLOR, 0, 0); }),
              0x000000);
}

TEST_F(MainWindowTest, OnlyListItemsAreMeasuredAsRows) {
    s->Start();
    HWND main = Main();
    // The list's rows are 22 pixels high; an item of any other kind is left
    // to the default procedure, which sets nothing.
    const auto measure = [&](UINT type) {
        return d().OnDevice([main, type] {
            MEASUREITEMSTRUCT item{};
            item.CtlType = type;
            item.itemHeight = 7;
            const LRESULT result =
                SendMessage(main, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&item));
            return std::make_pair(result, item.itemHeight);
        });
    };
    EXPECT_EQ(measure(ODT_LISTVIEW), std::make_pair(static_cast<LRESULT>(TRUE), 22u));
    const LRESULT byDefault = d().OnDevice([main] {
        MEASUREITEMSTRUCT item{};
        item.CtlType = ODT_MENU;
        return DefWindowProc(main, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&item));
    });
    EXPECT_EQ(measure(ODT_MENU), std::make_pair(byDefault, 7u));
    EXPECT_EQ(measure(ODT_BUTTON), std::make_pair(byDefault, 7u));
}

TEST_F(MainWindowTest, StockDetailsOpensTheSelectedRowAsAWatchListStock) {
    s->Start();
    d().Down();
    d().Down();
    ASSERT_EQ(Shell.selectedRow, 1);
    // g++ 12 at -O3 takes this inlined assignment of a literal to a std::string for an overlapping
    // copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
    d().Run([] { previewMode = "Y"; });
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    s->Command(IDC_STOCKDETAILS);
    EXPECT_EQ(s->TopTitle(), u"瞰市[个股]");
    EXPECT_EQ(previewMode, "N");
    EXPECT_EQ(Shell.selectedRow, 1);
    EXPECT_FALSE(BoxOpen());
}
