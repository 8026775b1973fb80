// The observers' view of the shell and the windows (observe.h): the window
// stack, the title row, the soft keys, the open menu and the bubbles, as
// tests and the headless front-end read them.

#include "platform/ShellInternal.h"
#include "platform/observe.h"

using namespace platform::wm;
using namespace platform::wm::shell;

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
    for (const auto& b : shell::Bubbles()) {
        out.push_back(b.info);
    }
    return out;
}

std::vector<BubbleInfo> BubblesShown() {
    return BubbleLog();
}

} // namespace platform::observe
