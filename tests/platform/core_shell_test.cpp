// The shell: soft-key bars and their popup menus, the screen's title and
// soft-key rows, bubbles, taps, painting into the composed screen, and a
// screen resize.

#include "platform/headless/Driver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::headless::Driver;

std::vector<UINT> commands;
std::vector<std::pair<UINT, WPARAM>> other; // key, click and setting messages
HINSTANCE instance = nullptr;

ResourceModule MakeModule() {
    ResourceModule m;
    m.strings[1] = u"Quit";
    m.strings[2] = u"Menu";
    MENUTEMPLATE menu;
    menu.items.push_back(MENUITEMTEMPLATE{u"Quit", 0, false, {}});
    MENUITEMTEMPLATE popup{u"Menu", 0, false, {}};
    popup.popup = {
        {u"Alpha", 1, false, {}},
        {u"Beta", 2, false, {}},
        {u"", 0, true, {}},
        {u"Sub", 0, false, {{u"One", 11, false, {}}, {u"Two", 12, false, {}}}},
        {u"", 0, true, {}},
        {u"Gamma", 3, false, {}},
    };
    menu.items.push_back(popup);
    m.menus[104] = menu;
    MENUBARTEMPLATE bar;
    bar.menuId = 104;
    bar.left = SOFTKEYTEMPLATE{1, 32778, -1};
    bar.right = SOFTKEYTEMPLATE{2, 0, 1};
    m.menuBars[104] = bar;
    MENUTEMPLATE bubbleMenu;
    bubbleMenu.items = {{u"Ok", 10, false, {}}, {u"Cancel", 2, false, {}}};
    m.menus[102] = bubbleMenu;
    return m;
}

const ResourceModule& Module() {
    static ResourceModule m = MakeModule();
    return m;
}

HWND bar = nullptr;

LRESULT MainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE: {
        SHMENUBARINFO mb{};
        mb.cbSize = sizeof mb;
        mb.hwndParent = hwnd;
        mb.nToolBarId = 104;
        mb.hInstRes = instance;
        if (!SHCreateMenuBar(&mb)) {
            return -1;
        }
        bar = mb.hwndMB;
        return 0;
    }
    case WM_COMMAND:
        commands.push_back(LOWORD(wParam));
        return 0;
    case WM_KEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_SETTINGCHANGE:
        other.emplace_back(msg, wParam);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps{};
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
        FillRect(dc, &rc, brush);
        DeleteObject(brush);
        SetTextColor(dc, RGB(200, 100, 50));
        SetBkMode(dc, TRANSPARENT);
        DrawText(dc, u"hello", -1, &rc, DT_LEFT | DT_TOP | DT_SINGLELINE);
        EndPaint(hwnd, &ps);
        return 0;
    }
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override {
        commands.clear();
        other.clear();
        d.Run([&] {
            instance = RegisterResourceModule(&Module());
            WNDCLASS wc{};
            wc.lpfnWndProc = MainProc;
            wc.lpszClassName = u"ShellMain";
            RegisterClass(&wc);
            main = CreateWindowEx(0, u"ShellMain", u"Title", WS_CLIPCHILDREN, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                  instance, nullptr);
            ShowWindow(main, SW_SHOW);
            SetFocus(main);
        });
        ASSERT_NE(main, nullptr);
    }

    std::vector<std::u16string> LevelTexts(std::size_t level) const {
        std::vector<std::u16string> out;
        auto menu = d.Menu();
        if (level < menu.size()) {
            for (const auto& e : menu[level]) {
                out.push_back(e.separator ? u"-" : e.text);
            }
        }
        return out;
    }
    std::u16string Selected(std::size_t level) const {
        auto menu = d.Menu();
        if (level < menu.size()) {
            for (const auto& e : menu[level]) {
                if (e.selected) {
                    return e.text;
                }
            }
        }
        return u"";
    }

    Driver d;
    HWND main = nullptr;
};

TEST_F(ShellTest, SoftKeysSendTheirCommandOrOpenTheMenu) {
    RECT r{};
    GetWindowRect(bar, &r);
    EXPECT_EQ(r.bottom - r.top, kCellHeight);
    EXPECT_EQ(r.top, 23 * kCellHeight);
    std::string bottom = d.ScreenRows()[23];
    EXPECT_EQ(bottom.find("Quit"), 1u);
    EXPECT_EQ(bottom.rfind("Menu"), 43u);

    d.SoftKey(0);
    EXPECT_EQ(commands, (std::vector<UINT>{32778}));
    d.SoftKey(1);
    EXPECT_EQ(LevelTexts(0),
              (std::vector<std::u16string>{u"Alpha", u"Beta", u"-", u"Sub", u"-", u"Gamma"}));
    EXPECT_EQ(Selected(0), u"Alpha");
    // The menu stands above the soft-key row, against the right edge.
    EXPECT_NE(d.ScreenRows()[21].find("Gamma"), std::string::npos);
    EXPECT_EQ(d.At(47, 22).ch, U'┘');
}

TEST_F(ShellTest, MenuArrowsSkipSeparatorsWrapAndOpenSubmenus) {
    d.SoftKey(1);
    struct Step {
        UINT key;
        const char16_t* selected;
    };
    const Step steps[] = {
        {VK_UP, u"Gamma"},   {VK_DOWN, u"Alpha"}, {VK_DOWN, u"Beta"}, {VK_DOWN, u"Sub"},
        {VK_DOWN, u"Gamma"}, {VK_DOWN, u"Alpha"}, {VK_UP, u"Gamma"},  {VK_UP, u"Sub"},
    };
    for (const Step& s : steps) {
        d.Key(s.key);
        EXPECT_EQ(Selected(0), s.selected);
    }
    d.Right();
    ASSERT_EQ(d.Menu().size(), 2u);
    EXPECT_EQ(Selected(1), u"One");
    d.Down();
    EXPECT_EQ(Selected(1), u"Two");
    d.Left(); // closes the submenu only
    ASSERT_EQ(d.Menu().size(), 1u);
    EXPECT_EQ(Selected(0), u"Sub");
    d.Enter(); // Enter on a submenu opens it too
    d.Down();
    d.Enter();
    EXPECT_TRUE(d.Menu().empty());
    EXPECT_EQ(commands, (std::vector<UINT>{12}));
    // While the menu was open, no key reached the window.
    EXPECT_TRUE(other.empty());
}

TEST_F(ShellTest, EscapeClosesTheMenuWithoutACommand) {
    d.SoftKey(1);
    d.Escape();
    EXPECT_TRUE(d.Menu().empty());
    EXPECT_TRUE(commands.empty());
    d.Down(); // now keys go to the focus window again
    ASSERT_EQ(other.size(), 1u);
    EXPECT_EQ(other[0], (std::pair<UINT, WPARAM>{WM_KEYDOWN, VK_DOWN}));
}

TEST_F(ShellTest, TapsChooseMenuItemsOpenSubmenusAndCloseTheMenuOutsideIt) {
    d.SoftKey(1);      // Alpha, Beta, -, Sub, -, Gamma on rows 16 to 21
    d.TapCell(46, 18); // a separator does nothing
    EXPECT_EQ(d.Menu().size(), 1u);
    d.TapCell(46, 19); // Sub opens its submenu
    ASSERT_EQ(d.Menu().size(), 2u);
    int col = -1, row = -1;
    for (int y = 0; y < 24 && row < 0; ++y) {
        for (int x = 0; x + 2 < 48; ++x) {
            if (d.At(x, y).ch == U'T' && d.At(x + 1, y).ch == U'w' && d.At(x + 2, y).ch == U'o') {
                col = x;
                row = y;
                break;
            }
        }
    }
    ASSERT_GE(row, 0);
    d.TapCell(col, row);
    EXPECT_TRUE(d.Menu().empty());
    EXPECT_EQ(commands, (std::vector<UINT>{12}));
    // A tap outside the menu closes it and reaches nothing below.
    d.SoftKey(1);
    d.TapCell(2, 5);
    EXPECT_TRUE(d.Menu().empty());
    EXPECT_EQ(commands.size(), 1u);
    EXPECT_TRUE(other.empty());
}

TEST_F(ShellTest, MissingMenuBarResourceIsAFailure) {
    BOOL ok = TRUE;
    d.Run([&] {
        SHMENUBARINFO mb{};
        mb.hwndParent = main;
        mb.nToolBarId = 999;
        mb.hInstRes = instance;
        ok = SHCreateMenuBar(&mb);
    });
    EXPECT_EQ(ok, FALSE);
}

TEST_F(ShellTest, WindowsPaintIntoTheComposedScreenBelowTheTitleRow) {
    EXPECT_EQ(d.ScreenRows()[1].find("hello"), 0u);
    EXPECT_EQ(d.At(0, 1).fg, RGB(200, 100, 50));
    EXPECT_EQ(d.At(10, 5).bg, RGB(1, 2, 3));
    EXPECT_EQ(d.ScreenRows()[0].find("Title"), 1u);
    EXPECT_EQ(d.ScreenRows()[0].rfind("X"), 46u);
    // Nothing changed, nothing presented again.
    int presents = d.PresentCount();
    d.Advance(1000);
    EXPECT_EQ(d.PresentCount(), presents);
}

TEST_F(ShellTest, TapsPressSoftKeysAndReachWindowsInClientCoordinates) {
    d.TapCell(2, 23);
    EXPECT_EQ(commands, (std::vector<UINT>{32778}));
    d.Tap(3 * kCellWidth + 1, 4 * kCellHeight + 5);
    ASSERT_EQ(other.size(), 1u);
    EXPECT_EQ(other[0].first, static_cast<UINT>(WM_LBUTTONDOWN));
    d.TapCell(46, 0); // the title bar's X
    EXPECT_EQ(d.BackgroundCount(), 1);
    // A disabled control takes a tap and does nothing with it; its parent
    // hears nothing either.
    d.Run([&] {
        CreateWindowEx(0, WC_STATIC, u"off", WS_CHILD | WS_VISIBLE | WS_DISABLED, 0,
                       5 * kCellHeight, 10 * kCellWidth, kCellHeight, main,
                       reinterpret_cast<HMENU>(7), nullptr, nullptr);
    });
    d.TapCell(2, 6);
    EXPECT_EQ(other.size(), 1u);
}

SHNOTIFICATIONDATA MakeBubble(HWND sink, SOFTKEYCMD* keys, DWORD seconds) {
    SHNOTIFICATIONDATA n{};
    n.cbStruct = kShNotificationDataSize;
    n.dwID = 10000;
    n.npPriority = SHNP_INFORM;
    n.csDuration = seconds;
    n.grfFlags = SHNF_HASMENU;
    n.hwndSink = sink;
    n.pszTitle = u"News";
    n.pszHTML = u"<html><body><p><font color=\"#0000FF\"><b>Head</b></font><br></br>"
                u"a &amp; <u>b</u></p><p align=right></p></body></html>";
    n.skm.hMenu = LoadMenu(instance, MAKEINTRESOURCE(102));
    n.skm.prgskc = keys;
    n.skm.cskc = 2;
    return n;
}

TEST_F(ShellTest, BubbleShowsThePageAndGoesAfterItsDuration) {
    SOFTKEYCMD keys[2] = {{10, NOTIF_SOFTKEY_FLAGS_DISMISS}, {2, NOTIF_SOFTKEY_FLAGS_HIDE}};
    d.Run([&] {
        SHNOTIFICATIONDATA n = MakeBubble(main, keys, 40);
        EXPECT_EQ(SHNotificationAdd(&n), S_OK);
    });
    ASSERT_EQ(d.Bubbles().size(), 1u);
    EXPECT_EQ(d.Bubbles()[0].text, u"Head\na & b");
    EXPECT_TRUE(d.ScreenHas("News"));
    EXPECT_TRUE(d.ScreenHas("a & b"));
    EXPECT_EQ(d.SoftKeyText(0), u"Ok");
    EXPECT_EQ(d.SoftKeyText(1), u"Cancel");
    // Bold and underline are kept as cell attributes.
    auto rows = d.ScreenRows();
    for (int r = 0; r < 24; ++r) {
        std::size_t at = rows[static_cast<std::size_t>(r)].find("Head");
        if (at != std::string::npos) {
            EXPECT_TRUE(d.At(static_cast<int>(at), r).bold);
        }
    }
    d.Advance(39999);
    EXPECT_EQ(d.Bubbles().size(), 1u);
    d.Advance(1);
    EXPECT_TRUE(d.Bubbles().empty());
    EXPECT_FALSE(d.ScreenHas("News"));
    EXPECT_EQ(d.SoftKeyText(0), u"Quit");
    EXPECT_TRUE(commands.empty());
}

TEST_F(ShellTest, BubbleTakesTheNextKeyAndPostsItsSoftKeyCommands) {
    SOFTKEYCMD keys[2] = {{10, NOTIF_SOFTKEY_FLAGS_DISMISS}, {2, NOTIF_SOFTKEY_FLAGS_HIDE}};
    d.Run([&] {
        SHNOTIFICATIONDATA n = MakeBubble(main, keys, 40);
        SHNotificationAdd(&n);
    });
    d.Down(); // consumed by the bubble, which goes
    EXPECT_TRUE(d.Bubbles().empty());
    EXPECT_TRUE(other.empty());
    d.Run([&] {
        SHNOTIFICATIONDATA n = MakeBubble(main, keys, 40);
        SHNotificationAdd(&n);
    });
    d.SoftKey(0);
    EXPECT_EQ(commands, (std::vector<UINT>{10}));
    d.Run([&] {
        SHNOTIFICATIONDATA n = MakeBubble(main, keys, 40);
        SHNotificationAdd(&n);
    });
    d.SoftKey(1);
    EXPECT_EQ(commands, (std::vector<UINT>{10, 2}));
    EXPECT_TRUE(d.Bubbles().empty());
    EXPECT_EQ(d.BubblesShown().size(), 3u);
}

TEST_F(ShellTest, ResizeSendsSettingChangeResetAndMovesTheWorkArea) {
    d.Resize(60, 30);
    ASSERT_EQ(other.size(), 1u);
    EXPECT_EQ(other[0], (std::pair<UINT, WPARAM>{WM_SETTINGCHANGE, 0x3002}));
    RECT work{};
    SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_EQ(work.left, 0);
    EXPECT_EQ(work.top, kCellHeight);
    EXPECT_EQ(work.right, 60 * kCellWidth);
    EXPECT_EQ(work.bottom, 30 * kCellHeight);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 60 * kCellWidth);
    // The soft-key bar follows the screen's bottom row.
    RECT r{};
    GetWindowRect(bar, &r);
    EXPECT_EQ(r.top, 29 * kCellHeight);
    EXPECT_EQ(d.ScreenRows().size(), 30u);
    EXPECT_EQ(d.ScreenRows()[29].rfind("Menu"), 55u);
}

TEST_F(ShellTest, BrokenOrMissingPagesStillMakeABubble) {
    std::u16string huge(20000, u'x');
    const char16_t* pages[] = {
        nullptr, u"", u"<b>never closed", u"text <p", u"&#99999999; &bogus; &", huge.c_str()};
    for (const char16_t* page : pages) {
        d.Run([&] {
            SHNOTIFICATIONDATA n{};
            n.cbStruct = kShNotificationDataSize;
            n.csDuration = 5;
            n.hwndSink = main;
            n.pszHTML = page;
            n.pszTitle = nullptr;
            EXPECT_EQ(SHNotificationAdd(&n), S_OK);
        });
        EXPECT_EQ(d.Bubbles().size(), 1u);
        d.Enter();
        EXPECT_TRUE(d.Bubbles().empty());
    }
    EXPECT_EQ(d.BubblesShown()[3].text, u"text");
    EXPECT_EQ(d.BubblesShown()[4].text, u"&#99999999; &bogus; &");
    d.Run([] { EXPECT_EQ(SHNotificationAdd(nullptr), E_FAIL); });
}

TEST_F(ShellTest, AWindowComingUpOverAnOpenMenuClosesItAndTakesTheKeys) {
    d.SoftKey(1);
    ASSERT_FALSE(d.Menu().empty());
    int result = 0;
    d.Run([&] { result = MessageBox(nullptr, u"Server not found", u"Title", MB_OK); });
    EXPECT_TRUE(d.Menu().empty());
    d.Enter();
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(commands.empty());
}

// A dialog with a soft-key bar and a combo box, for the drop-down test.
std::vector<UINT> dialogCommands;

INT_PTR ComboDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG: {
        SHINITDLGINFO init{};
        init.dwMask = 1;
        init.hDlg = dlg;
        init.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN;
        SHInitDialog(&init);
        SHMENUBARINFO mb{};
        mb.cbSize = sizeof mb;
        mb.hwndParent = dlg;
        mb.nToolBarId = 104;
        mb.hInstRes = instance;
        SHCreateMenuBar(&mb);
        HWND combo = GetDlgItem(dlg, 1095);
        for (const char16_t* entry : {u"One", u"Two", u"Three"}) {
            SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
        }
        SetFocus(combo);
        return FALSE;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) == 0) {
            dialogCommands.push_back(LOWORD(wParam));
            if (LOWORD(wParam) == 32778 || LOWORD(wParam) == IDOK) {
                EndDialog(dlg, LOWORD(wParam));
            }
        }
        return TRUE;
    default:
        return FALSE;
    }
}

TEST_F(ShellTest, ADialogsSoftKeysShowAndWorkWhileAComboListIsOpen) {
    dialogCommands.clear();
    DLGTEMPLATE t{};
    t.style = DS_MODALFRAME;
    t.cx = 160;
    t.cy = 120;
    t.title = u"Pick";
    DLGITEMTEMPLATE combo{};
    combo.className = WC_COMBOBOX;
    combo.text = u"";
    combo.id = 1095;
    combo.style = CBS_DROPDOWN | WS_TABSTOP;
    combo.cy = 40;
    combo.cx = 80;
    t.items.push_back(combo);
    INT_PTR result = 0;
    d.Run([&] { result = DialogBoxIndirectParam(instance, &t, nullptr, ComboDlgProc, 0); });
    HWND dialog = d.Top();
    d.Down();
    HWND list = d.Top();
    ASSERT_NE(list, dialog); // the open list is the topmost window
    ASSERT_EQ(d.ItemMessage(dialog, 1095, CB_GETDROPPEDSTATE), TRUE);
    // The dialog stays the active window: its title, done button and soft
    // keys stay on the screen.
    EXPECT_EQ(d.Title(), u"Pick");
    EXPECT_EQ(d.TitleButtonText(), u"ok");
    EXPECT_EQ(d.SoftKeyText(0), u"Quit");
    EXPECT_EQ(d.SoftKeyText(1), u"Menu");
    EXPECT_NE(d.ScreenRows()[23].find("Quit"), std::string::npos);
    // The right key opens the bar's menu and Esc closes it again.
    d.SoftKey(1);
    ASSERT_FALSE(d.Menu().empty());
    EXPECT_EQ(LevelTexts(0).front(), u"Alpha");
    d.Escape();
    EXPECT_TRUE(d.Menu().empty());
    // The left key sends its command to the dialog, which ends.
    d.SoftKey(0);
    EXPECT_EQ(dialogCommands, (std::vector<UINT>{32778}));
    EXPECT_EQ(result, 32778);
    EXPECT_FALSE(IsWindow(list));
    EXPECT_TRUE(commands.empty());
}

} // namespace
