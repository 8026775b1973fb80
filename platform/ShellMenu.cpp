// Popup menus: the levels opened from a soft key, placed above the soft-key
// row, moved through with the arrow keys or taps, and drawn over the screen.
// Choosing an item closes the menu and posts its command to the menu's owner.

#include "platform/ShellInternal.h"

#include <algorithm>

namespace platform::wm {

namespace shell {

namespace {

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

} // namespace

MenuState& Menu() {
    static MenuState m;
    return m;
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

void OpenMenu(HWND owner, int fromKey, const std::vector<MENUITEMTEMPLATE>& items) {
    auto& m = Menu();
    m = MenuState{};
    m.open = true;
    m.owner = owner;
    m.fromKey = fromKey;
    OpenLevel(items);
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

void MenuTap(int col, int row) {
    auto& m = Menu();
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
            return;
        }
    }
    CloseMenu();
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

} // namespace shell

using namespace shell;

void CloseMenu() {
    if (Menu().open) {
        MarkScreenDirty();
    }
    Menu() = MenuState{};
}

bool MenuOpen() {
    return Menu().open;
}

} // namespace platform::wm
