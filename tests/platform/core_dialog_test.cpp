// Modal dialogs and message boxes: nested loops over the one queue, so the
// main window's timer goes on under them; nested dialogs unwind in order;
// WM_QUIT inside a dialog ends every loop; the focus comes back after a
// dialog; WM_CREATE returning -1 refuses a window; the title-bar button.

#include "platform/headless/Driver.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace {

using platform::headless::Driver;

std::vector<std::string> events;
int mainTicks = 0;
HWND mainWindow = nullptr;

LRESULT MainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER) {
        ++mainTicks;
        return 0;
    }
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

DLGTEMPLATE MakeTemplate(const std::u16string& title) {
    DLGTEMPLATE t{};
    t.cx = 140;
    t.cy = 120;
    t.title = title;
    t.items.push_back(DLGITEMTEMPLATE{WC_STATIC, u"label", -1, 0, 0, 7, 21, 43, 10});
    t.items.push_back(DLGITEMTEMPLATE{WC_EDIT, u"one", 1001, WS_TABSTOP, 0, 50, 21, 60, 10});
    t.items.push_back(DLGITEMTEMPLATE{WC_EDIT, u"two", 1002, WS_TABSTOP, 0, 50, 35, 60, 10});
    t.items.push_back(DLGITEMTEMPLATE{WC_BUTTON, u"go", 1003, WS_TABSTOP, 0, 50, 50, 40, 12});
    return t;
}

const DLGTEMPLATE& Template() {
    static DLGTEMPLATE t = MakeTemplate(u"Dlg");
    return t;
}

// Commands the test dialogs understand: 100 + n ends with n; 200 opens a
// nested dialog; 300 shows a message box; 400 posts WM_QUIT; 500 ends this
// dialog and opens a fresh one in its place.
INT_PTR TestDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG: {
        SHINITDLGINFO info{SHIDIM_FLAGS, dlg, SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN};
        SHInitDialog(&info);
        events.push_back("init " + std::to_string(lParam));
        return TRUE;
    }
    case WM_COMMAND: {
        int id = LOWORD(wParam);
        if (id == IDOK) {
            events.push_back("IDOK " + std::to_string(GetWindowLong(dlg, GWL_USERDATA)));
        } else if (id >= 100 && id < 200) {
            EndDialog(dlg, id - 100);
        } else if (id == 200) {
            INT_PTR r = DialogBoxIndirectParam(nullptr, &Template(), nullptr, TestDlgProc,
                                               GetWindowLong(dlg, GWL_USERDATA) + 1);
            events.push_back("nested returned " + std::to_string(r));
        } else if (id == 300) {
            int r = MessageBox(nullptr, u"Sure?", u"Box", MB_OKCANCEL | MB_ICONEXCLAMATION);
            events.push_back("box returned " + std::to_string(r));
        } else if (id == 400) {
            PostQuitMessage(7);
        } else if (id == 500) {
            EndDialog(dlg, 0);
            INT_PTR r = DialogBoxIndirectParam(nullptr, &Template(), nullptr, TestDlgProc, 99);
            events.push_back("replacement returned " + std::to_string(r));
        }
        return TRUE;
    }
    default:
        return FALSE;
    }
}

// The dialogs remember their depth for the log.
INT_PTR DepthDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        SetWindowLong(dlg, GWL_USERDATA, static_cast<LONG>(lParam));
    }
    return TestDlgProc(dlg, msg, wParam, lParam);
}

class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        events.clear();
        mainTicks = 0;
        mainWindow = nullptr;
        d.Run([&] {
            WNDCLASS wc{};
            wc.lpfnWndProc = MainProc;
            wc.lpszClassName = u"MainApp";
            wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
            RegisterClass(&wc);
            mainWindow = CreateWindowEx(0, u"MainApp", u"Main", WS_CLIPCHILDREN, CW_USEDEFAULT,
                                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                                        nullptr, nullptr, nullptr);
            ShowWindow(mainWindow, SW_SHOW);
            UpdateWindow(mainWindow);
        });
        ASSERT_NE(mainWindow, nullptr);
    }

    // Opens a dialog from the main window's thread; the result it returns is
    // written when its loop ends. That may be only when the driver shuts the
    // device thread down after the test, so the result is kept here, where it
    // outlives the driver, and not in the test's own frame.
    const INT_PTR& OpenDialog(LPARAM depth = 1) {
        INT_PTR* result = &results.emplace_back(-5);
        d.Run([result, depth] {
            *result = DialogBoxIndirectParam(nullptr, &Template(), nullptr, DepthDlgProc, depth);
            events.push_back("outer returned " + std::to_string(*result));
        });
        return *result;
    }

    std::u16string TopClass() const { return d.Windows().front().className; }

    std::deque<INT_PTR> results; // declared before the driver: destroyed after it
    Driver d;
};

TEST_F(DialogTest, MainTimerTicksUnderADialogAndUnderAMessageBoxFromIt) {
    d.Run([] { SetTimer(mainWindow, 1, 30000, nullptr); });
    const INT_PTR& result = OpenDialog();
    HWND dlg = d.Top();
    EXPECT_EQ(TopClass(), u"#32770");
    d.Advance(30000);
    EXPECT_EQ(mainTicks, 1);

    d.Post(dlg, WM_COMMAND, 300, 0);
    EXPECT_EQ(TopClass(), u"#MessageBox");
    d.Advance(30000);
    EXPECT_EQ(mainTicks, 2);
    EXPECT_TRUE(d.ScreenHas("Sure?"));

    d.Enter();
    EXPECT_EQ(events.back(), "box returned 1");
    EXPECT_EQ(d.Top(), dlg);
    d.Post(dlg, WM_COMMAND, 104, 0);
    EXPECT_EQ(result, 4);
    EXPECT_EQ(d.Top(), mainWindow);
    d.Advance(30000);
    EXPECT_EQ(mainTicks, 3);
}

TEST_F(DialogTest, NestedDialogsUnwindInOrderWithTheirResults) {
    const INT_PTR& result = OpenDialog();
    HWND first = d.Top();
    d.Post(first, WM_COMMAND, 200, 0); // opens depth 2
    HWND second = d.Top();
    ASSERT_NE(second, first);
    d.Post(second, WM_COMMAND, 200, 0); // opens depth 3
    HWND third = d.Top();
    ASSERT_NE(third, second);
    EXPECT_EQ(d.Windows().size(), 4u);

    d.Post(third, WM_COMMAND, 103, 0);
    EXPECT_EQ(events.back(), "nested returned 3");
    EXPECT_EQ(d.Top(), second);
    EXPECT_EQ(result, -5);
    d.Post(second, WM_COMMAND, 102, 0);
    EXPECT_EQ(events.back(), "nested returned 2");
    EXPECT_EQ(d.Top(), first);
    d.Post(first, WM_COMMAND, 101, 0);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(events.back(), "outer returned 1");
    EXPECT_EQ(d.Windows().size(), 1u);
}

TEST_F(DialogTest, ADialogReplacedByAFreshOneUnwindsWithIt) {
    const INT_PTR& result = OpenDialog();
    d.Post(d.Top(), WM_COMMAND, 500, 0);
    d.Post(d.Top(), WM_COMMAND, 500, 0);
    // Only the newest is on the screen; the replaced ones wait underneath.
    int dialogsShown = 0;
    for (const auto& w : d.Windows()) {
        dialogsShown += w.className == u"#32770" && w.visible ? 1 : 0;
    }
    EXPECT_EQ(dialogsShown, 1);
    d.Post(d.Top(), WM_COMMAND, 100, 0);
    // One "back" returns to the main window.
    EXPECT_EQ(d.Top(), mainWindow);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(events.back(), "outer returned 0");
}

TEST_F(DialogTest, QuitInsideNestedLoopsEndsTheProgramsLoopToo) {
    OpenDialog();
    d.Post(d.Top(), WM_COMMAND, 300, 0); // a message box inside the dialog
    ASSERT_EQ(TopClass(), u"#MessageBox");
    // A quit from outside the box (here: a posted command to the dialog
    // underneath, dispatched by the box's loop).
    d.Post(d.Windows()[1].hwnd, WM_COMMAND, 400, 0);
    EXPECT_TRUE(d.Finished());
    EXPECT_EQ(d.ExitCode(), 7);
    // The box counts as cancelled; the dialog returns what it had.
    EXPECT_NE(std::find(events.begin(), events.end(), "box returned 2"), events.end());
    EXPECT_EQ(events.back(), "outer returned 0");
}

TEST_F(DialogTest, FocusIsSavedAndRestoredAroundADialog) {
    OpenDialog();
    HWND first = d.Top();
    HWND two = GetDlgItem(first, 1002);
    d.Run([&] { SetFocus(two); });
    d.Post(first, WM_COMMAND, 200, 0);
    HWND second = d.Top();
    // The nested dialog's own first control has the focus (TRUE from
    // WM_INITDIALOG).
    EXPECT_EQ(d.Focus(), GetDlgItem(second, 1001));
    d.Post(second, WM_COMMAND, 100, 0);
    EXPECT_EQ(d.Focus(), two);
}

TEST_F(DialogTest, TabAndShiftTabMoveTheFocusAcrossFocusableControls) {
    OpenDialog();
    HWND dlg = d.Top();
    EXPECT_EQ(d.Focus(), GetDlgItem(dlg, 1001));
    d.Tab();
    EXPECT_EQ(d.Focus(), GetDlgItem(dlg, 1002));
    d.Tab();
    EXPECT_EQ(d.Focus(), GetDlgItem(dlg, 1003));
    d.Tab(); // wraps, and skips the static label
    EXPECT_EQ(d.Focus(), GetDlgItem(dlg, 1001));
    d.Tab(true);
    EXPECT_EQ(d.Focus(), GetDlgItem(dlg, 1003));
    // Disabled and hidden controls are passed over.
    d.Run([&] {
        EnableWindow(GetDlgItem(dlg, 1001), FALSE);
        ShowWindow(GetDlgItem(dlg, 1002), SW_HIDE);
    });
    d.Tab();
    EXPECT_EQ(d.Focus(), GetDlgItem(dlg, 1003));
}

TEST_F(DialogTest, SetForegroundWindowWithTheGroupBitKeepsTheStack) {
    OpenDialog();
    HWND dlg = d.Top();
    auto group = reinterpret_cast<HWND>(reinterpret_cast<std::uintptr_t>(mainWindow) | 1);
    d.Run([&] { EXPECT_EQ(SetForegroundWindow(group), TRUE); });
    EXPECT_EQ(d.ForegroundCount(), 1);
    EXPECT_EQ(d.Top(), dlg);
    d.Run([&] { EXPECT_EQ(SetForegroundWindow(reinterpret_cast<HWND>(0x7770)), FALSE); });
    EXPECT_EQ(d.ForegroundCount(), 1);
}

// A full-screen dialog fills the work area, and its layout on the phone's 40
// cells is stretched across the screen's columns, up to 80; rows stay 8
// units. A control that the program moved keeps its place.
TEST_F(DialogTest, DialogUnitsMapToCellsAndFullScreenFillsTheWorkArea) {
    OpenDialog();
    HWND dlg = d.Top();
    // The button is moved by the program: 3 cells in, 5 cells wide.
    d.Run([&] { MoveWindow(GetDlgItem(dlg, 1003), 3 * kCellWidth, 0, 5 * kCellWidth, 22, TRUE); });
    struct Case {
        int cols, rows;
        int left, width; // cells of the edit at (50, 21) units, 60 x 10 units
    };
    // Cells 12 to 27 on the phone's 40, their edges stretched to the nearest
    // cell of min(max(cols, 40), 80).
    const Case cases[] = {{48, 24, 14, 18}, {40, 20, 12, 15},  {30, 20, 12, 15},
                          {80, 24, 24, 30}, {200, 60, 24, 30}, {61, 16, 18, 23}};
    for (const Case& c : cases) {
        d.Resize(c.cols, c.rows);
        RECT work{};
        SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
        RECT r{};
        GetWindowRect(dlg, &r);
        EXPECT_EQ(r.top, kCellHeight) << c.cols;
        EXPECT_EQ(r.bottom, c.rows * kCellHeight) << c.cols;
        EXPECT_EQ(r.right - r.left, c.cols * kCellWidth) << c.cols;
        EXPECT_EQ(work.top, r.top);
        GetWindowRect(GetDlgItem(dlg, 1001), &r);
        EXPECT_EQ(r.left, c.left * kCellWidth) << c.cols;
        EXPECT_EQ(r.top, kCellHeight + 2 * kCellHeight) << c.cols;
        EXPECT_EQ(r.right - r.left, c.width * kCellWidth) << c.cols;
        EXPECT_EQ(r.bottom - r.top, kCellHeight) << c.cols;
        // MapDialogRect follows the dialog's scale.
        RECT units{50, 21, 110, 31};
        d.Run([&] { MapDialogRect(dlg, &units); });
        EXPECT_EQ(units.left, c.left * kCellWidth) << c.cols;
        EXPECT_EQ(units.right - units.left, c.width * kCellWidth) << c.cols;
        GetWindowRect(GetDlgItem(dlg, 1003), &r);
        EXPECT_EQ(r.left, 3 * kCellWidth) << c.cols;
        EXPECT_EQ(r.right - r.left, 5 * kCellWidth) << c.cols;
    }
}

TEST_F(DialogTest, TitleButtonSendsIdokToADoneDialogAndBackgroundsTheMainWindow) {
    EXPECT_EQ(d.TitleButtonText(), u"X");
    d.TitleButton();
    EXPECT_EQ(d.BackgroundCount(), 1);
    EXPECT_EQ(d.Top(), mainWindow);
    EXPECT_TRUE(IsWindow(mainWindow));

    OpenDialog(5);
    EXPECT_EQ(d.TitleButtonText(), u"ok");
    EXPECT_EQ(d.Title(), u"Dlg");
    d.TitleButton();
    EXPECT_EQ(events.back(), "IDOK 5");
    EXPECT_EQ(d.BackgroundCount(), 1);
    // The top row shows the title on the left and "ok" on the right.
    std::string top = d.ScreenRows()[0];
    EXPECT_EQ(top.find("Dlg"), 1u);
    EXPECT_EQ(top.rfind("ok"), 45u);
}

TEST_F(DialogTest, MessageBoxKeysAndResults) {
    struct Case {
        UINT type;
        UINT key;
        int expected;
    };
    const Case cases[] = {
        {MB_OKCANCEL, VK_RETURN, IDOK}, {MB_OKCANCEL, VK_ESCAPE, IDCANCEL},
        {MB_OKCANCEL, VK_F1, IDOK},     {MB_OKCANCEL, VK_F2, IDCANCEL},
        {MB_OK, VK_ESCAPE, IDOK},       {MB_OK | MB_ICONERROR, VK_F1, IDOK},
    };
    for (const Case& c : cases) {
        int result = -1;
        d.Run([&] { result = MessageBox(nullptr, u"Text", u"Cap", c.type); });
        ASSERT_EQ(TopClass(), u"#MessageBox");
        EXPECT_EQ(d.Title(), u"Cap");
        if ((c.type & 0xF) == MB_OKCANCEL) {
            EXPECT_NE(d.SoftKeyText(1), u"");
        } else {
            EXPECT_EQ(d.SoftKeyText(1), u"");
        }
        d.Key(c.key);
        EXPECT_EQ(result, c.expected) << c.type << " " << c.key;
        EXPECT_EQ(d.Top(), mainWindow);
    }
}

// ---- Window creation ---------------------------------------------------------

std::vector<std::string> createLog;
HWND madeChild = nullptr;

LRESULT RefusingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CREATE) {
        createLog.push_back("create");
        madeChild = CreateWindowEx(0, u"Logger", u"child", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                                   hwnd, reinterpret_cast<HMENU>(5), nullptr, nullptr);
        return -1;
    }
    if (msg == WM_DESTROY) {
        createLog.push_back("refused window destroyed");
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

LRESULT LoggerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DESTROY) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "destroy %d", GetDlgCtrlID(hwnd));
        createLog.push_back(buf);
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

TEST_F(DialogTest, CreateReturningMinusOneRefusesTheWindow) {
    createLog.clear();
    HWND made = reinterpret_cast<HWND>(1);
    d.Run([&] {
        WNDCLASS wc{};
        wc.lpfnWndProc = RefusingProc;
        wc.lpszClassName = u"Refuser";
        RegisterClass(&wc);
        wc.lpfnWndProc = LoggerProc;
        wc.lpszClassName = u"Logger";
        RegisterClass(&wc);
        made = CreateWindowEx(0, u"Refuser", u"no", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    });
    EXPECT_EQ(made, nullptr);
    EXPECT_EQ(createLog, (std::vector<std::string>{"create", "destroy 5"}));
    EXPECT_FALSE(IsWindow(madeChild));
    EXPECT_EQ(d.Windows().size(), 1u);
}

TEST(DriverReset, WindowsLeftOpenGetTheirWmDestroyWithoutActivationMessages) {
    createLog.clear();
    {
        Driver d;
        d.Run([&] {
            WNDCLASS wc{};
            wc.lpfnWndProc = LoggerProc;
            wc.lpszClassName = u"Logger";
            RegisterClass(&wc);
            HWND lower = CreateWindowEx(0, u"Logger", u"lower", WS_VISIBLE, 0, 22, 80, 44, nullptr,
                                        nullptr, nullptr, nullptr);
            CreateWindowEx(0, u"Logger", u"c", WS_CHILD | WS_VISIBLE, 0, 0, 8, 22, lower,
                           reinterpret_cast<HMENU>(2), nullptr, nullptr);
            HWND upper = CreateWindowEx(0, u"Logger", u"upper", WS_VISIBLE, 0, 22, 80, 44, nullptr,
                                        nullptr, nullptr, nullptr);
            HWND edit = CreateWindowEx(0, WC_EDIT, u"text", WS_CHILD | WS_VISIBLE, 0, 0, 80, 22,
                                       upper, reinterpret_cast<HMENU>(4), nullptr, nullptr);
            SetFocus(edit);
        });
        createLog.push_back("end of test");
    }
    // The topmost window goes first, each window before its children; the
    // edit control frees its text (the leak check would tell otherwise).
    EXPECT_EQ(createLog,
              (std::vector<std::string>{"end of test", "destroy 0", "destroy 0", "destroy 2"}));
}

TEST_F(DialogTest, DestroyWindowSendsWmDestroyToTheWindowThenItsChildren) {
    createLog.clear();
    HWND parent = nullptr;
    d.Run([&] {
        WNDCLASS wc{};
        wc.lpfnWndProc = LoggerProc;
        wc.lpszClassName = u"Logger";
        RegisterClass(&wc);
        parent = CreateWindowEx(0, u"Logger", u"p", WS_CHILD | WS_VISIBLE, 0, 0, 80, 44, mainWindow,
                                reinterpret_cast<HMENU>(1), nullptr, nullptr);
        CreateWindowEx(0, u"Logger", u"c", WS_CHILD | WS_VISIBLE, 0, 0, 8, 22, parent,
                       reinterpret_cast<HMENU>(2), nullptr, nullptr);
        CreateWindowEx(0, u"Logger", u"c", WS_CHILD | WS_VISIBLE, 8, 0, 8, 22, parent,
                       reinterpret_cast<HMENU>(3), nullptr, nullptr);
        DestroyWindow(parent);
    });
    EXPECT_EQ(createLog, (std::vector<std::string>{"destroy 1", "destroy 2", "destroy 3"}));
    EXPECT_FALSE(IsWindow(parent));
    // WM_CLOSE reaching the default procedure destroys the main window, whose
    // WM_DESTROY ends the loop.
    d.Post(mainWindow, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(mainWindow));
    EXPECT_TRUE(d.Finished());
}

// ---- The default dialog procedure ----------------------------------------------

HBRUSH dialogBrush = nullptr;

INT_PTR ColourDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(dialogBrush);
    case WM_NOTIFY:
        SetWindowLongPtr(dlg, DWL_MSGRESULT, 1234);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dlg, 42);
        }
        return TRUE;
    default:
        return FALSE;
    }
}

TEST_F(DialogTest, BackgroundComesFromWmCtlColorDlgAndResultsFromDwlMsgResult) {
    INT_PTR result = -5;
    DLGTEMPLATE t{};
    t.style = DS_CENTER;
    t.cx = 80;
    t.cy = 40;
    d.Run([&] {
        dialogBrush = CreateSolidBrush(RGB(153, 204, 204));
        result = DialogBoxIndirectParam(nullptr, &t, nullptr, ColourDlgProc, 0);
        DeleteObject(dialogBrush);
    });
    HWND dlg = d.Top();
    RECT r{};
    GetWindowRect(dlg, &r);
    // A centred box of 20 x 5 cells.
    EXPECT_EQ(r.right - r.left, 20 * kCellWidth);
    EXPECT_EQ(r.bottom - r.top, 5 * kCellHeight);
    EXPECT_EQ(d.At(r.left / kCellWidth + 1, r.top / kCellHeight + 1).bg, RGB(153, 204, 204));
    NMHDR hdr{dlg, 7, 0};
    EXPECT_EQ(
        d.OnDevice([&] { return SendMessage(dlg, WM_NOTIFY, 7, reinterpret_cast<LPARAM>(&hdr)); }),
        1234);
    // WM_CLOSE on a dialog is a cancel, not a destruction.
    d.Post(dlg, WM_CLOSE, 0, 0);
    EXPECT_EQ(result, 42);
    EXPECT_FALSE(IsWindow(dlg));
}

TEST_F(DialogTest, MissingTemplatesAndControlClassesFailTheDialog) {
    INT_PTR missing = 0;
    INT_PTR badClass = 0;
    DLGTEMPLATE t = MakeTemplate(u"Bad");
    t.items.push_back(DLGITEMTEMPLATE{u"NoSuchClass", u"", 9, 0, 0, 0, 0, 10, 10});
    d.Run([&] {
        missing = DialogBoxIndirectParam(nullptr, nullptr, nullptr, TestDlgProc, 0);
        badClass = DialogBoxIndirectParam(nullptr, &t, nullptr, TestDlgProc, 0);
    });
    EXPECT_EQ(missing, -1);
    EXPECT_EQ(badClass, -1);
    EXPECT_EQ(d.Top(), mainWindow);
    EXPECT_EQ(d.Windows().size(), 1u);
}

} // namespace
