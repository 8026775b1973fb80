// Soft-key bars and the title button. A bar is a child window of its
// top-level window, placed on the screen's bottom row and drawn by the shell;
// its keys post a command to the bar's owner or open a popup menu. The title
// row shows the active window's title and its button ("ok" or "X").

#include "platform/ShellInternal.h"

namespace platform::wm {

namespace shell {

BarInfo* ActiveBar(HWND* barHwnd) {
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
                OpenMenu(bar->owner, index, popup);
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
    for (auto it = z.rbegin(); it != z.rend(); ++it) {
        Window* w = Get(*it);
        if (w == nullptr || !w->visible || !TakesActivation(w)) {
            continue;
        }
        if (!w->text.empty()) {
            return w->text;
        }
    }
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

} // namespace shell

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
