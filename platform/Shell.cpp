// The phone's shell: the title row and its button, soft-key bars and their
// popup menus, notification bubbles and the work area. This file routes keys
// and taps to them and draws the title and soft-key rows; the menus are in
// ShellMenu.cpp, the bubbles in ShellBubbles.cpp, the bars and the title
// button in ShellBar.cpp, the observers' readers in ShellObserve.cpp, the
// system metrics and colours in Metrics.cpp, the reader of bubble pages in
// Html.cpp.
//
// The screen's top row is the title bar: the active window's title on the
// left and, on the right, "ok" for a dialog with the done button (F3 sends
// it WM_COMMAND IDOK) or "X" for the main window (F3 sends the program to
// the background; nothing else changes). The bottom row shows the active
// window's soft-key bar: F1 and F2 press its keys, which either post
// WM_COMMAND to the bar's owner or open a popup menu above the bar. While a
// menu is open every key goes to it; while a bubble is shown the next key
// goes to it and closes it.

#include "platform/ShellInternal.h"

#include <algorithm>

namespace platform::wm {

using namespace shell;

// The device's own captions for the buttons of a message box.
const char16_t* const kOkText = u"确定";
const char16_t* const kCancelText = u"取消";

namespace shell {

void DrawBox(Canvas& screen, const CellRect& box, COLORREF bg, COLORREF frame) {
    screen.Fill(box, bg, RGB(0, 0, 0));
    CellRect all = screen.Bounds();
    CellStyle fs{frame, bg};
    int r = box.right - 1;
    int b = box.bottom - 1;
    for (int x = box.left + 1; x < r; ++x) {
        screen.PutChar(x, box.top, U'─', fs, all);
        screen.PutChar(x, b, U'─', fs, all);
    }
    for (int y = box.top + 1; y < b; ++y) {
        screen.PutChar(box.left, y, U'│', fs, all);
        screen.PutChar(r, y, U'│', fs, all);
    }
    screen.PutChar(box.left, box.top, U'┌', fs, all);
    screen.PutChar(r, box.top, U'┐', fs, all);
    screen.PutChar(box.left, b, U'└', fs, all);
    screen.PutChar(r, b, U'┘', fs, all);
}

} // namespace shell

void RegisterShellClasses() {
    WNDCLASS wc{};
    wc.lpfnWndProc = DialogWndProc;
    wc.lpszClassName = u"#32770";
    RegisterClass(&wc);
    wc.lpfnWndProc = MessageBoxWndProc;
    wc.lpszClassName = u"#MessageBox";
    RegisterClass(&wc);
    wc.lpfnWndProc = MenuBarWndProc;
    wc.lpszClassName = u"menu_worker";
    RegisterClass(&wc);
}

bool ShellKey(UINT vk, bool shift) {
    if (!Bubbles().empty()) {
        if (vk == VK_F1) {
            PressBubbleKey(0);
        } else if (vk == VK_F2) {
            PressBubbleKey(1);
        } else {
            DismissTopBubble();
        }
        return true;
    }
    if (Menu().open) {
        MenuKey(vk);
        return true;
    }
    if (vk == VK_F1 || vk == VK_F2) {
        BarInfo* bar = ActiveBar();
        if (bar == nullptr) {
            return false;
        }
        PressSoftKey(bar, vk == VK_F1 ? 0 : 1);
        return true;
    }
    if (vk == VK_F3) {
        PressTitleButton();
        return true;
    }
    return false;
}

bool ShellTap(int x, int y) {
    auto& state = S();
    int col = x / kCellWidth;
    int row = y / kCellHeight;
    if (!Bubbles().empty()) {
        if (row == state.rows - 1) {
            PressBubbleKey(col < state.cols / 2 ? 0 : 1);
        } else {
            DismissTopBubble();
        }
        return true;
    }
    if (Menu().open) {
        MenuTap(col, row);
        return true;
    }
    if (row == 0) {
        if (col >= state.cols - 4) {
            PressTitleButton();
        }
        return true;
    }
    if (row == state.rows - 1) {
        if (BarInfo* bar = ActiveBar()) {
            PressSoftKey(bar, col < state.cols / 2 ? 0 : 1);
            return true;
        }
    }
    return false;
}

void DrawShell(Canvas& screen) {
    auto& state = S();
    CellRect all = screen.Bounds();
    // Title row.
    screen.Fill(CellRect{0, 0, state.cols, 1}, kBarBg, kBarFg);
    CellStyle ts{kBarFg, kBarBg};
    ts.bold = true;
    std::u16string button = ActiveButton();
    int buttonWidth = TextWidth(button);
    CellRect titleClip{0, 0, state.cols - buttonWidth - 2, 1};
    screen.PutText(1, 0, std::u16string_view(ActiveTitle()), ts, titleClip);
    if (!button.empty()) {
        screen.PutText(state.cols - buttonWidth - 1, 0, std::u16string_view(button), ts, all);
    }
    // Soft-key row.
    int last = state.rows - 1;
    screen.Fill(CellRect{0, last, state.cols, last + 1}, kBarBg, kBarFg);
    std::u16string left = KeyCaption(0);
    std::u16string right = KeyCaption(1);
    CellRect leftClip{0, last, state.cols / 2, last + 1};
    CellRect rightClip{state.cols / 2, last, state.cols, last + 1};
    screen.PutText(1, last, std::u16string_view(left), ts, leftClip);
    int rw = TextWidth(right);
    screen.PutText(std::max(state.cols - rw - 1, state.cols / 2), last, std::u16string_view(right),
                   ts, rightClip);
    DrawMenu(screen);
    DrawBubbles(screen);
}

void ForgetWindowInShell(HWND hwnd) {
    auto& m = Menu();
    if (m.open && (m.owner == hwnd || TopLevelOf(m.owner) == hwnd)) {
        CloseMenu();
    }
}

void ResetShell() {
    Menu() = MenuState{};
    Bubbles().clear();
    BubbleLog().clear();
}

} // namespace platform::wm
