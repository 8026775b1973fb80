// The phone's shell: the title row and its button, soft-key bars and their
// popup menus, notification bubbles and the work area. The system metrics
// and colours are in Metrics.cpp, the reader of bubble pages in Html.cpp.
//
// The screen's top row is the title bar: the active window's title on the
// left and, on the right, "ok" for a dialog with the done button (F3 sends
// it WM_COMMAND IDOK) or "X" for the main window (F3 sends the program to
// the background; nothing else changes). The bottom row shows the active
// window's soft-key bar: F1 and F2 press its keys, which either post
// WM_COMMAND to the bar's owner or open a popup menu above the bar. While a
// menu is open every key goes to it; while a bubble is shown the next key
// goes to it and closes it.

#include "platform/Html.h"
#include "platform/WinInternal.h"
#include "platform/desktop.h"
#include "platform/device.h"
#include "platform/observe.h"

#include <algorithm>

namespace platform::wm {

// The device's own captions for the buttons of a message box.
const char16_t* const kOkText = u"确定";
const char16_t* const kCancelText = u"取消";

namespace {

// ---- Popup menus --------------------------------------------------------------

struct MenuLevel {
    std::vector<MENUITEMTEMPLATE> items;
    int selected = 0;
    CellRect box;
};

struct MenuState {
    bool open = false;
    HWND owner = nullptr;
    int fromKey = 1;
    std::vector<MenuLevel> levels;
};

MenuState& Menu() {
    static MenuState m;
    return m;
}

bool Selectable(const MENUITEMTEMPLATE& item) {
    return !item.separator;
}

int FirstSelectable(const std::vector<MENUITEMTEMPLATE>& items) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (Selectable(items[i])) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::u16string MenuText(const MENUITEMTEMPLATE& item) {
    // "&" marks an access key on the platform; a cell screen shows none.
    std::u16string out;
    for (std::size_t i = 0; i < item.text.size(); ++i) {
        if (item.text[i] == u'&' && i + 1 < item.text.size() && item.text[i + 1] != u'&') {
            continue;
        }
        out.push_back(item.text[i]);
    }
    return out;
}

// Places every open level: the first above the soft-key row on the side of
// the key that opened it, each submenu beside its parent's chosen item.
void LayoutMenu() {
    auto& m = Menu();
    auto& state = S();
    int bottomLimit = state.rows - 1;
    for (std::size_t n = 0; n < m.levels.size(); ++n) {
        MenuLevel& level = m.levels[n];
        int widest = 0;
        bool anySub = false;
        for (const auto& item : level.items) {
            widest = std::max(widest, TextWidth(MenuText(item)));
            anySub = anySub || !item.popup.empty();
        }
        int width = std::min(widest + 4 + (anySub ? 2 : 0), state.cols);
        int height = std::min(static_cast<int>(level.items.size()) + 2, bottomLimit - 1);
        int left, top;
        if (n == 0) {
            top = bottomLimit - height;
            left = m.fromKey == 1 ? state.cols - width : 0;
        } else {
            const MenuLevel& parent = m.levels[n - 1];
            top = parent.box.top + 1 + parent.selected;
            if (top + height > bottomLimit) {
                top = bottomLimit - height;
            }
            if (m.fromKey == 1) {
                left = parent.box.left - width + 1;
            } else {
                left = parent.box.right - 1;
            }
            left = std::clamp(left, 0, std::max(0, state.cols - width));
        }
        top = std::max(top, 1);
        level.box = CellRect{left, top, left + width, top + height};
    }
}

void OpenLevel(std::vector<MENUITEMTEMPLATE> items) {
    auto& m = Menu();
    MenuLevel level;
    level.items = std::move(items);
    level.selected = FirstSelectable(level.items);
    m.levels.push_back(std::move(level));
    LayoutMenu();
    MarkScreenDirty();
}

void Choose(UINT command) {
    HWND owner = Menu().owner;
    CloseMenu();
    if (Get(owner) != nullptr) {
        PostMessage(owner, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(command), 0), 0);
    }
}

void Activate(MenuLevel& level) {
    if (level.selected < 0 || level.selected >= static_cast<int>(level.items.size())) {
        return;
    }
    const MENUITEMTEMPLATE& item = level.items[static_cast<std::size_t>(level.selected)];
    if (!item.popup.empty()) {
        OpenLevel(item.popup);
    } else if (!item.separator) {
        Choose(item.id);
    }
}

void MenuKey(UINT vk) {
    auto& m = Menu();
    if (m.levels.empty()) {
        CloseMenu();
        return;
    }
    MenuLevel& level = m.levels.back();
    int n = static_cast<int>(level.items.size());
    switch (vk) {
    case VK_UP:
    case VK_DOWN: {
        if (level.selected < 0) {
            break;
        }
        int step = vk == VK_DOWN ? 1 : n - 1;
        int i = level.selected;
        for (int tries = 0; tries < n; ++tries) {
            i = (i + step) % n;
            if (Selectable(level.items[static_cast<std::size_t>(i)])) {
                break;
            }
        }
        level.selected = i;
        LayoutMenu();
        MarkScreenDirty();
        break;
    }
    case VK_RIGHT:
        if (level.selected >= 0 &&
            !level.items[static_cast<std::size_t>(level.selected)].popup.empty()) {
            OpenLevel(level.items[static_cast<std::size_t>(level.selected)].popup);
        }
        break;
    case VK_RETURN:
        Activate(level);
        break;
    case VK_LEFT:
    case VK_ESCAPE:
        m.levels.pop_back();
        if (m.levels.empty()) {
            CloseMenu();
        }
        MarkScreenDirty();
        break;
    case VK_F1:
    case VK_F2:
        CloseMenu();
        break;
    default:
        break;
    }
}

// ---- Bubbles --------------------------------------------------------------------

struct RichChar {
    char32_t ch;
    bool bold;
    bool underline;
};
using RichLine = std::vector<RichChar>;

struct Bubble {
    observe::BubbleInfo info;
    std::vector<RichLine> lines;
    HWND sink = nullptr;
    SoftKey keys[2];
    bool expires = false;
    std::int64_t expiresAt = 0;
};

std::vector<Bubble>& Bubbles() {
    static std::vector<Bubble> b;
    return b;
}

std::vector<observe::BubbleInfo>& BubbleLog() {
    static std::vector<observe::BubbleInfo> log;
    return log;
}

// The page as lines of text (read by html::Read): tags are dropped, except
// that <br> and <p> break lines and <b>, <strong> and <u> mark their text
// bold or underlined; runs of white space are one blank.
std::vector<RichLine> HtmlToLines(const std::u16string& html) {
    std::vector<RichLine> lines(1);
    int bold = 0;
    int underline = 0;
    bool lastSpace = true;
    auto newline = [&] {
        lines.emplace_back();
        lastSpace = true;
    };
    auto put = [&](char32_t c) {
        if (c == U' ') {
            if (lastSpace) {
                return;
            }
            lastSpace = true;
        } else {
            lastSpace = false;
        }
        lines.back().push_back(RichChar{c, bold > 0, underline > 0});
    };
    html::Handler handler;
    handler.tag = [&](const std::u16string& name, bool closing) {
        if (name == u"br") {
            if (!closing) {
                newline();
            }
        } else if (name == u"p") {
            if (!lines.back().empty()) {
                newline();
            }
        } else if (name == u"b" || name == u"strong") {
            bold += closing ? (bold > 0 ? -1 : 0) : 1;
        } else if (name == u"u") {
            underline += closing ? (underline > 0 ? -1 : 0) : 1;
        }
    };
    handler.text = [&](char32_t c, bool) {
        if (c == U'\r' || c == U'\n' || c == U'\t' || c == U' ') {
            put(U' ');
        } else if (c >= 0x20) {
            put(c);
        }
    };
    // An unfinished tag ends the page.
    html::Read(html, html::Unterminated::EndsPage, handler);
    // Blanks at the ends of lines and empty lines at the end say nothing.
    for (auto& line : lines) {
        while (!line.empty() && line.back().ch == U' ') {
            line.pop_back();
        }
    }
    while (lines.size() > 1 && lines.back().empty()) {
        lines.pop_back();
    }
    return lines;
}

std::vector<RichLine> WrapRich(const std::vector<RichLine>& lines, int width) {
    std::vector<RichLine> out;
    for (const auto& line : lines) {
        WrapLine(
            line, width, [](const RichChar& rc) { return rc.ch; }, &out);
    }
    return out;
}

CellRect BubbleBox(const Bubble& b, std::vector<RichLine>* wrapped) {
    auto& state = S();
    int width = std::max(std::min(state.cols - 2, 60), 10);
    int left = (state.cols - width) / 2;
    std::vector<RichLine> lines = WrapRich(b.lines, width - 4);
    int maxLines = std::max(state.rows - 6, 1);
    if (static_cast<int>(lines.size()) > maxLines) {
        lines.resize(static_cast<std::size_t>(maxLines));
    }
    if (wrapped != nullptr) {
        *wrapped = lines;
    }
    int height = static_cast<int>(lines.size()) + 3;
    return CellRect{left, 1, left + width, 1 + height};
}

void DismissTopBubble() {
    auto& b = Bubbles();
    if (!b.empty()) {
        b.pop_back();
        MarkScreenDirty();
    }
}

void PressBubbleKey(int index) {
    auto& b = Bubbles();
    if (b.empty()) {
        return;
    }
    Bubble top = b.back();
    DismissTopBubble();
    const SoftKey& key = top.keys[index];
    if (key.present && Get(top.sink) != nullptr) {
        PostMessage(top.sink, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(key.command), 0), 0);
    }
}

// ---- Soft keys and the title button ------------------------------------------------

BarInfo* ActiveBar(HWND* barHwnd = nullptr) {
    Window* active = Get(S().active);
    if (active == nullptr) {
        return nullptr;
    }
    Window* bar = Get(active->menuBar);
    if (bar == nullptr || bar->bar == nullptr) {
        return nullptr;
    }
    if (barHwnd != nullptr) {
        *barHwnd = bar->hwnd;
    }
    return bar->bar.get();
}

void PressSoftKey(BarInfo* bar, int index) {
    const SoftKey& key = bar->keys[index];
    if (!key.present) {
        return;
    }
    if (key.popupIndex >= 0) {
        if (key.popupIndex < static_cast<int>(bar->menu.items.size())) {
            const auto& popup = bar->menu.items[static_cast<std::size_t>(key.popupIndex)].popup;
            if (!popup.empty()) {
                auto& m = Menu();
                m = MenuState{};
                m.open = true;
                m.owner = bar->owner;
                m.fromKey = index;
                OpenLevel(popup);
            }
        }
        return;
    }
    if (Get(bar->owner) != nullptr) {
        PostMessage(bar->owner, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(key.command), 0), 0);
    }
}

void PressTitleButton() {
    Window* active = Get(S().active);
    if (active == nullptr) {
        return;
    }
    if (active->kind == Kind::Dialog) {
        if (active->dialog != nullptr && active->dialog->doneButton && !active->dialog->ended) {
            PostMessage(active->hwnd, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
        }
        return;
    }
    if (active->kind == Kind::Normal) {
        // The platform's smart minimise: the program goes on running.
        NotifyGoToBackground();
    }
}

std::u16string ActiveTitle() {
    auto& z = S().zorder;
    bool below = false;
    for (auto it = z.rbegin(); it != z.rend(); ++it) {
        Window* w = Get(*it);
        if (w == nullptr || !w->visible || !TakesActivation(w)) {
            continue;
        }
        if (!w->text.empty()) {
            return w->text;
        }
        below = true;
    }
    (void)below;
    return u"";
}

std::u16string ActiveButton() {
    Window* active = Get(S().active);
    if (active == nullptr) {
        return u"";
    }
    if (active->kind == Kind::Dialog) {
        return active->dialog != nullptr && active->dialog->doneButton ? u"ok" : u"";
    }
    return active->kind == Kind::Normal ? u"X" : u"";
}

std::u16string KeyCaption(int index) {
    auto& b = Bubbles();
    if (!b.empty()) {
        const SoftKey& k = b.back().keys[index];
        return k.present ? k.caption : u"";
    }
    BarInfo* bar = ActiveBar();
    if (bar == nullptr || !bar->keys[index].present) {
        return u"";
    }
    return bar->keys[index].caption;
}

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

void DrawMenu(Canvas& screen) {
    auto& m = Menu();
    if (!m.open) {
        return;
    }
    LayoutMenu();
    COLORREF bg = GetSysColor(COLOR_MENU);
    COLORREF fg = RGB(0, 0, 0);
    COLORREF hbg = GetSysColor(COLOR_HIGHLIGHT);
    COLORREF hfg = GetSysColor(COLOR_HIGHLIGHTTEXT);
    for (const auto& level : m.levels) {
        const CellRect& box = level.box;
        DrawBox(screen, box, bg, RGB(64, 64, 64));
        CellRect inside{box.left + 1, box.top + 1, box.right - 1, box.bottom - 1};
        for (std::size_t i = 0; i < level.items.size(); ++i) {
            int y = box.top + 1 + static_cast<int>(i);
            if (y >= box.bottom - 1) {
                break;
            }
            const auto& item = level.items[i];
            if (item.separator) {
                CellStyle ss{RGB(64, 64, 64), bg};
                for (int x = box.left + 1; x < box.right - 1; ++x) {
                    screen.PutChar(x, y, U'─', ss, screen.Bounds());
                }
                screen.PutChar(box.left, y, U'├', ss, screen.Bounds());
                screen.PutChar(box.right - 1, y, U'┤', ss, screen.Bounds());
                continue;
            }
            bool sel = static_cast<int>(i) == level.selected;
            CellStyle st{sel ? hfg : fg, sel ? hbg : bg};
            screen.Fill(CellRect{inside.left, y, inside.right, y + 1}, st.bg, st.fg);
            screen.PutText(inside.left + 1, y, std::u16string_view(MenuText(item)), st, inside);
            if (!item.popup.empty()) {
                screen.PutChar(inside.right - 2, y, U'>', st, inside);
            }
        }
    }
}

void DrawBubbles(Canvas& screen) {
    for (const auto& b : Bubbles()) {
        std::vector<RichLine> lines;
        CellRect box = BubbleBox(b, &lines);
        COLORREF bg = RGB(255, 255, 225);
        DrawBox(screen, box, bg, kBarBg);
        CellRect inside{box.left + 1, box.top + 1, box.right - 1, box.bottom - 1};
        CellStyle ts{RGB(0, 0, 0), bg};
        ts.bold = true;
        screen.PutText(box.left + 2, box.top + 1, std::u16string_view(b.info.title), ts, inside);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            int x = box.left + 2;
            int y = box.top + 2 + static_cast<int>(i);
            for (const auto& rc : lines[i]) {
                CellStyle cs{RGB(0, 0, 0), bg};
                cs.bold = rc.bold;
                cs.underline = rc.underline;
                x += screen.PutChar(x, y, rc.ch, cs, inside);
            }
        }
    }
}

} // namespace

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

LRESULT MenuBarWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT: {
        // The bar is drawn by the shell on the screen's bottom row.
        PAINTSTRUCT ps{};
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

void PlaceBar(HWND bar) {
    Window* w = Get(bar);
    if (w == nullptr || w->parent == nullptr) {
        return;
    }
    auto& state = S();
    POINT o = ScreenOrigin(w->parent);
    int top = (state.rows - 1) * kCellHeight;
    w->rect = RECT{0 - o.x, top - o.y, state.cols * kCellWidth - o.x, top + kCellHeight - o.y};
}

HWND CreateBar(HWND owner, const SoftKey& left, const SoftKey& right, const MENUTEMPLATE* menu) {
    HWND top = TopLevelOf(owner);
    if (top == nullptr) {
        return nullptr;
    }
    auto info = std::make_unique<BarInfo>();
    info->owner = owner;
    info->keys[0] = left;
    info->keys[1] = right;
    if (menu != nullptr) {
        info->menu = *menu;
    }
    HWND bar = CreateWindowInternal(0, u"menu_worker", u"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, top,
                                    nullptr, nullptr, nullptr, [&](Window* w) {
                                        w->kind = Kind::MenuBar;
                                        w->bar = std::move(info);
                                    });
    if (bar == nullptr) {
        return nullptr;
    }
    PlaceBar(bar);
    if (Window* t = Get(top)) {
        if (t->menuBar != nullptr && t->menuBar != bar) {
            DestroyWindow(t->menuBar);
        }
        if (Window* t2 = Get(top)) {
            t2->menuBar = bar;
        }
    }
    MarkScreenDirty();
    return bar;
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
    auto& m = Menu();
    if (m.open) {
        LayoutMenu();
        for (std::size_t n = m.levels.size(); n-- > 0;) {
            MenuLevel& level = m.levels[n];
            const CellRect& b = level.box;
            if (col >= b.left && col < b.right && row >= b.top && row < b.bottom) {
                int i = row - b.top - 1;
                if (i >= 0 && i < static_cast<int>(level.items.size()) &&
                    Selectable(level.items[static_cast<std::size_t>(i)])) {
                    m.levels.resize(n + 1);
                    m.levels.back().selected = i;
                    Activate(m.levels.back());
                    MarkScreenDirty();
                }
                return true;
            }
        }
        CloseMenu();
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

void CloseMenu() {
    if (Menu().open) {
        MarkScreenDirty();
    }
    Menu() = MenuState{};
}

bool MenuOpen() {
    return Menu().open;
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

std::optional<std::int64_t> ExpireBubbles(std::int64_t now) {
    auto& b = Bubbles();
    std::size_t before = b.size();
    b.erase(std::remove_if(b.begin(), b.end(),
                           [&](const Bubble& x) { return x.expires && x.expiresAt <= now; }),
            b.end());
    if (b.size() != before) {
        MarkScreenDirty();
    }
    std::optional<std::int64_t> next;
    for (const auto& x : b) {
        if (x.expires && (!next || x.expiresAt < *next)) {
            next = x.expiresAt;
        }
    }
    return next;
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

using namespace platform::wm;

BOOL SHInitDialog(SHINITDLGINFO* info) {
    if (info == nullptr) {
        return FALSE;
    }
    Window* w = Get(info->hDlg);
    if (w == nullptr || w->dialog == nullptr) {
        return FALSE;
    }
    DWORD flags = info->dwFlags;
    w->dialog->doneButton = (flags & SHIDIF_DONEBUTTON) != 0;
    if (flags & (SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_FULLSCREENNOMENUBAR)) {
        w->dialog->fullScreen = true;
        RECT work = WorkArea();
        MoveWindow(info->hDlg, work.left, work.top, work.right - work.left, work.bottom - work.top,
                   TRUE);
        FitDialogToScreen(info->hDlg);
    }
    MarkScreenDirty();
    return TRUE;
}

BOOL SHCreateMenuBar(SHMENUBARINFO* info) {
    if (info == nullptr || Get(info->hwndParent) == nullptr) {
        return FALSE;
    }
    info->hwndMB = nullptr;
    if (info->dwFlags & SHCMBF_EMPTYBAR) {
        info->hwndMB = CreateBar(info->hwndParent, SoftKey{}, SoftKey{}, nullptr);
        return info->hwndMB != nullptr ? TRUE : FALSE;
    }
    const ResourceModule* module = ResourceModuleOf(info->hInstRes);
    if (module == nullptr) {
        return FALSE;
    }
    auto it = module->menuBars.find(static_cast<int>(info->nToolBarId));
    if (it == module->menuBars.end()) {
        return FALSE;
    }
    const MENUBARTEMPLATE& t = it->second;
    auto makeKey = [&](const SOFTKEYTEMPLATE& k) {
        SoftKey key;
        key.present = true;
        auto s = module->strings.find(k.captionString);
        key.caption = s != module->strings.end() ? s->second : std::u16string();
        key.command = k.command;
        key.popupIndex = k.popupIndex;
        return key;
    };
    SoftKey left = t.keyCount >= 1 ? makeKey(t.left) : SoftKey{};
    SoftKey right = t.keyCount >= 2 ? makeKey(t.right) : SoftKey{};
    const MENUTEMPLATE* menu = nullptr;
    auto m = module->menus.find(t.menuId);
    if (m != module->menus.end()) {
        menu = &m->second;
    }
    info->hwndMB = CreateBar(info->hwndParent, left, right, menu);
    return info->hwndMB != nullptr ? TRUE : FALSE;
}

HRESULT SHNotificationAdd(const SHNOTIFICATIONDATA* data) {
    if (data == nullptr) {
        return E_FAIL;
    }
    Bubble b;
    b.info.id = data->dwID;
    b.info.title = data->pszTitle != nullptr ? data->pszTitle : u"";
    std::u16string html = data->pszHTML != nullptr ? data->pszHTML : u"";
    b.lines = HtmlToLines(html);
    for (std::size_t i = 0; i < b.lines.size(); ++i) {
        if (i > 0) {
            b.info.text.push_back(u'\n');
        }
        for (const auto& rc : b.lines[i]) {
            // Back to UTF-16 for the record (surrogate pairs where needed).
            if (rc.ch >= 0x10000) {
                char32_t v = rc.ch - 0x10000;
                b.info.text.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
                b.info.text.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
            } else {
                b.info.text.push_back(static_cast<char16_t>(rc.ch));
            }
        }
    }
    b.sink = data->hwndSink;
    if (data->grfFlags & SHNF_HASMENU) {
        const MENUTEMPLATE* menu = MenuTemplateOf(data->skm.hMenu);
        for (int k = 0; k < 2; ++k) {
            SoftKey key;
            bool haveCmd = data->skm.prgskc != nullptr && static_cast<UINT>(k) < data->skm.cskc;
            if (haveCmd) {
                key.command = static_cast<UINT>(data->skm.prgskc[k].wpCmd);
            } else if (menu != nullptr && static_cast<std::size_t>(k) < menu->items.size()) {
                key.command = menu->items[static_cast<std::size_t>(k)].id;
            } else {
                continue;
            }
            key.present = true;
            if (menu != nullptr) {
                for (const auto& item : menu->items) {
                    if (item.id == key.command && !item.separator) {
                        key.caption = MenuText(item);
                    }
                }
                if (key.caption.empty() && static_cast<std::size_t>(k) < menu->items.size()) {
                    key.caption = MenuText(menu->items[static_cast<std::size_t>(k)]);
                }
            }
            b.keys[k] = key;
        }
    }
    b.info.leftKey = b.keys[0].present ? b.keys[0].caption : u"";
    b.info.rightKey = b.keys[1].present ? b.keys[1].caption : u"";
    if (data->csDuration > 0) {
        b.expires = true;
        b.expiresAt =
            platform::Clock().NowMs() + static_cast<std::int64_t>(data->csDuration) * 1000;
    }
    BubbleLog().push_back(b.info);
    Bubbles().push_back(std::move(b));
    MarkScreenDirty();
    platform::desktop::Notify(data->pszTitle != nullptr ? data->pszTitle : u"", html);
    return S_OK;
}

// ---- observe.h readers ----------------------------------------------------------

namespace platform::observe {

namespace {
WindowInfo InfoOf(Window* w) {
    WindowInfo info;
    info.hwnd = w->hwnd;
    info.className = w->className;
    info.title = w->text;
    info.id = w->id;
    info.visible = w->visible;
    GetWindowRect(w->hwnd, &info.rect);
    return info;
}
} // namespace

std::vector<WindowInfo> WindowStack() {
    std::vector<WindowInfo> out;
    auto& z = S().zorder;
    for (auto it = z.rbegin(); it != z.rend(); ++it) {
        if (Window* w = Get(*it)) {
            out.push_back(InfoOf(w));
        }
    }
    return out;
}

std::vector<WindowInfo> Children(HWND hwnd) {
    std::vector<WindowInfo> out;
    if (Window* w = Get(hwnd)) {
        for (HWND c : w->children) {
            if (Window* cw = Get(c)) {
                out.push_back(InfoOf(cw));
            }
        }
    }
    return out;
}

std::u16string StoredText(HWND hwnd) {
    Window* w = Get(hwnd);
    return w != nullptr ? w->text : std::u16string();
}

std::u16string TitleText() {
    return ActiveTitle();
}
std::u16string TitleButton() {
    return ActiveButton();
}
std::u16string SoftKeyCaption(int index) {
    return KeyCaption(index == 0 ? 0 : 1);
}

std::vector<std::vector<MenuEntry>> OpenMenu() {
    std::vector<std::vector<MenuEntry>> out;
    auto& m = Menu();
    if (!m.open) {
        return out;
    }
    for (const auto& level : m.levels) {
        std::vector<MenuEntry> entries;
        for (std::size_t i = 0; i < level.items.size(); ++i) {
            const auto& item = level.items[i];
            MenuEntry e;
            e.text = MenuText(item);
            e.command = item.id;
            e.separator = item.separator;
            e.submenu = !item.popup.empty();
            e.selected = static_cast<int>(i) == level.selected;
            entries.push_back(e);
        }
        out.push_back(entries);
    }
    return out;
}

std::vector<BubbleInfo> Bubbles() {
    std::vector<BubbleInfo> out;
    for (const auto& b : platform::wm::Bubbles()) {
        out.push_back(b.info);
    }
    return out;
}

std::vector<BubbleInfo> BubblesShown() {
    return BubbleLog();
}

} // namespace platform::observe
