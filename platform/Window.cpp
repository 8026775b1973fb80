// Windows: classes, creation and destruction, the window tree and the stack
// of top-level windows, texts, ids, rectangles, focus and activation.
//
// Semantics follow Win32 where the program depends on them: WM_CREATE
// returning -1 refuses the window; DestroyWindow sends WM_DESTROY to the
// window and then to its children; texts live in DefWindowProc's storage
// through WM_SETTEXT/WM_GETTEXT; the active window is the topmost visible
// top-level window and receives WM_ACTIVATE when that changes.

#include "platform/Controls.h"
#include "platform/WinInternal.h"
#include "platform/instance.h"

#include <algorithm>
#include <cstring>

namespace platform::wm {

State& S() {
    static State state;
    return state;
}

Window* Get(HWND hwnd) {
    if (hwnd == nullptr) {
        return nullptr;
    }
    auto& windows = S().windows;
    auto it = windows.find(reinterpret_cast<std::uintptr_t>(hwnd));
    return it == windows.end() ? nullptr : it->second.get();
}

bool IsTopLevel(const Window* w) {
    return w != nullptr && w->parent == nullptr;
}

HWND TopLevelOf(HWND hwnd) {
    Window* w = Get(hwnd);
    while (w != nullptr && w->parent != nullptr) {
        w = Get(w->parent);
    }
    return w != nullptr ? w->hwnd : nullptr;
}

POINT ScreenOrigin(HWND hwnd) {
    POINT p{0, 0};
    for (Window* w = Get(hwnd); w != nullptr; w = Get(w->parent)) {
        p.x += w->rect.left;
        p.y += w->rect.top;
    }
    return p;
}

bool ReallyVisible(HWND hwnd) {
    Window* w = Get(hwnd);
    if (w == nullptr) {
        return false;
    }
    for (; w != nullptr; w = Get(w->parent)) {
        if (!w->visible) {
            return false;
        }
    }
    return true;
}

bool IsDescendant(HWND ancestor, HWND hwnd) {
    if (ancestor == nullptr) {
        return false;
    }
    for (Window* w = Get(hwnd); w != nullptr; w = Get(w->parent)) {
        if (w->hwnd == ancestor) {
            return true;
        }
    }
    return false;
}

bool TakesActivation(const Window* w) {
    // Plain pop-ups (a combo box's drop-down list) show above the active
    // window without becoming active, so keys keep going to the focus.
    return w->kind != Kind::Normal || (w->style & WS_POPUP) == 0;
}

HWND ComputeActive() {
    auto& z = S().zorder;
    for (auto it = z.rbegin(); it != z.rend(); ++it) {
        Window* w = Get(*it);
        if (w != nullptr && w->visible && !w->destroying && TakesActivation(w)) {
            return w->hwnd;
        }
    }
    return nullptr;
}

void UpdateActivation() {
    HWND next = ComputeActive();
    HWND old = S().active;
    if (next == old) {
        return;
    }
    S().active = next;
    MarkScreenDirty();
    // A menu belongs to the window that was active; a window that comes up
    // over it (a message box raised by a timer) gets the keys instead.
    CloseMenu();
    if (Get(old) != nullptr) {
        SendMessage(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(next));
    }
    if (S().active == next && Get(next) != nullptr) {
        SendMessage(next, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
    }
}

void MarkScreenDirty() {
    S().screenDirty = true;
}

RECT WorkArea() {
    // The top row is the title bar; the soft-key bar is a window inside the
    // work area, along its bottom row.
    return RECT{0, kCellHeight, S().cols * kCellWidth, S().rows * kCellHeight};
}

// Set while the platform registers its own classes (shell and controls):
// those survive ResetForTests, because their registration runs only once.
bool registeringSystemClasses = false;

void EnsureControlClasses() {
    static bool shellDone = false;
    static bool busy = false;
    if (busy) {
        return;
    }
    busy = true;
    registeringSystemClasses = true;
    if (!shellDone) {
        shellDone = true;
        RegisterShellClasses();
    }
    platform::RegisterControlClasses();
    registeringSystemClasses = false;
    busy = false;
}

namespace {

std::u16string Upper(std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out) {
        if (c >= u'a' && c <= u'z') {
            c = static_cast<char16_t>(c - u'a' + u'A');
        }
    }
    return out;
}

bool IsIntResource(LPCWSTR name) {
    return reinterpret_cast<std::uintptr_t>(name) < 0x10000;
}

std::u16string ToString(LPCWSTR s) {
    return s == nullptr ? std::u16string() : std::u16string(s);
}

void Unlink(Window* w) {
    auto& state = S();
    if (w->parent != nullptr) {
        if (Window* p = Get(w->parent)) {
            auto& c = p->children;
            c.erase(std::remove(c.begin(), c.end(), w->hwnd), c.end());
        }
    } else {
        auto& z = state.zorder;
        z.erase(std::remove(z.begin(), z.end(), w->hwnd), z.end());
    }
}

// Sends WM_DESTROY to the window, then destroys its children (each getting
// its own WM_DESTROY), then frees it.
void DestroyTree(HWND hwnd, bool sendDestroy) {
    Window* w = Get(hwnd);
    if (w == nullptr) {
        return;
    }
    w->destroying = true;
    if (sendDestroy) {
        SendMessage(hwnd, WM_DESTROY, 0, 0);
    }
    w = Get(hwnd);
    if (w == nullptr) {
        return;
    }
    std::vector<HWND> children = w->children;
    for (HWND child : children) {
        DestroyTree(child, true);
    }
    w = Get(hwnd);
    if (w == nullptr) {
        return;
    }
    RemoveTimersOf(hwnd);
    ForgetWindowInShell(hwnd);
    auto& state = S();
    if (state.focus == hwnd) {
        state.focus = nullptr;
    }
    for (auto& [key, other] : state.windows) {
        if (other->lastFocus == hwnd) {
            other->lastFocus = nullptr;
        }
        if (other->menuBar == hwnd) {
            other->menuBar = nullptr;
        }
    }
    Unlink(w);
    state.windows.erase(reinterpret_cast<std::uintptr_t>(hwnd));
}

} // namespace

void DestroyAllWindows() {
    auto& state = S();
    // The focus and the active window go first, quietly: this is the end of
    // the program's windows, not a change of activation they should hear of.
    state.focus = nullptr;
    state.active = nullptr;
    // A WM_DESTROY handler may make a window of its own; the rounds end when
    // none is left (and give up on a procedure that keeps making them).
    for (int round = 0; round < 8 && !state.zorder.empty(); ++round) {
        std::vector<HWND> tops(state.zorder.rbegin(), state.zorder.rend());
        for (HWND hwnd : tops) {
            DestroyTree(hwnd, true);
        }
        state.focus = nullptr;
        state.active = nullptr;
    }
}

HWND CreateWindowInternal(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                          int y, int width, int height, HWND parent, HMENU menuOrId,
                          HINSTANCE instance, void* param,
                          const std::function<void(Window*)>& prepare) {
    EnsureControlClasses();
    auto& state = S();
    if (className == nullptr || IsIntResource(className)) {
        return nullptr;
    }
    auto cls = state.classes.find(Upper(className));
    if (cls == state.classes.end()) {
        return nullptr;
    }
    bool child = (style & WS_CHILD) != 0;
    if (child && Get(parent) == nullptr) {
        return nullptr;
    }
    if (!child && parent != nullptr && Get(parent) == nullptr) {
        return nullptr;
    }

    auto window = std::make_unique<Window>();
    Window* w = window.get();
    w->hwnd = reinterpret_cast<HWND>(state.nextHandle);
    state.nextHandle += 0x10; // the low bits stay free (SetForegroundWindow's group bit)
    w->className = cls->second.name;
    w->proc = cls->second.proc;
    w->background = cls->second.background;
    w->instance = instance;
    w->style = style & ~WS_VISIBLE;
    w->exStyle = exStyle;
    w->text = ToString(windowName);
    w->enabled = (style & WS_DISABLED) == 0;
    if (child) {
        w->parent = parent;
        w->id = static_cast<int>(reinterpret_cast<std::intptr_t>(menuOrId));
    }
    // Top-level windows made with CW_USEDEFAULT fill the work area.
    RECT work = WorkArea();
    if (!child) {
        if (x == CW_USEDEFAULT) {
            x = work.left;
            y = work.top;
        }
        if (width == CW_USEDEFAULT) {
            width = work.right - x;
            height = work.bottom - y;
        }
    } else {
        if (x == CW_USEDEFAULT) {
            x = 0;
            y = 0;
        }
        if (width == CW_USEDEFAULT) {
            width = 0;
            height = 0;
        }
    }
    w->rect = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
    HWND hwnd = w->hwnd;
    state.windows.emplace(reinterpret_cast<std::uintptr_t>(hwnd), std::move(window));
    if (child) {
        Get(parent)->children.push_back(hwnd);
    } else {
        state.zorder.push_back(hwnd);
        ResizeCanvas(w);
    }
    if (prepare) {
        prepare(w);
    }

    CREATESTRUCT cs{};
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hMenu = child ? nullptr : menuOrId;
    cs.hwndParent = parent;
    cs.cy = height;
    cs.cx = width;
    cs.y = y;
    cs.x = x;
    cs.style = static_cast<LONG>(style);
    cs.lpszName = windowName;
    cs.lpszClass = className;
    cs.dwExStyle = exStyle;
    LRESULT r = SendMessage(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs));
    if (Get(hwnd) == nullptr) {
        return nullptr;
    }
    if (r == -1) {
        // As in Wine, the refused window itself gets no WM_DESTROY (it never
        // existed for its procedure); what it made during WM_CREATE does.
        DestroyTree(hwnd, false);
        UpdateActivation();
        return nullptr;
    }
    Get(hwnd)->created = true;
    SendMessage(
        hwnd, WM_SIZE, 0,
        MAKELPARAM(static_cast<WORD>(std::max(width, 0)), static_cast<WORD>(std::max(height, 0))));
    if (Get(hwnd) == nullptr) {
        return nullptr;
    }
    if (style & WS_VISIBLE) {
        ShowWindow(hwnd, SW_SHOW);
    }
    return Get(hwnd) != nullptr ? hwnd : nullptr;
}

} // namespace platform::wm

using namespace platform::wm;

ATOM RegisterClass(const WNDCLASS* wc) {
    if (wc == nullptr || wc->lpszClassName == nullptr || wc->lpfnWndProc == nullptr ||
        reinterpret_cast<std::uintptr_t>(wc->lpszClassName) < 0x10000) {
        return 0;
    }
    EnsureControlClasses();
    auto& classes = S().classes;
    std::u16string key = Upper(wc->lpszClassName);
    if (classes.count(key) != 0) {
        return 0;
    }
    WindowClass cls;
    cls.name = wc->lpszClassName;
    cls.proc = wc->lpfnWndProc;
    cls.background = wc->hbrBackground;
    cls.instance = wc->hInstance;
    cls.wndExtra = wc->cbWndExtra;
    cls.system = registeringSystemClasses;
    classes.emplace(key, cls);
    return static_cast<ATOM>(0xC000 + classes.size());
}

HWND CreateWindowEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                    int width, int height, HWND parent, HMENU menuOrId, HINSTANCE instance,
                    void* param) {
    return CreateWindowInternal(exStyle, className, windowName, style, x, y, width, height, parent,
                                menuOrId, instance, param, nullptr);
}

BOOL DestroyWindow(HWND hwnd) {
    Window* w = Get(hwnd);
    if (w == nullptr || w->destroying) {
        return w != nullptr ? TRUE : FALSE;
    }
    bool wasVisible = ReallyVisible(hwnd);
    HWND parent = w->parent;
    auto& state = S();
    if (IsDescendant(hwnd, state.focus)) {
        // The focus leaves with the window; activation gives it a new home.
        HWND old = state.focus;
        state.focus = nullptr;
        if (Get(old) != nullptr) {
            SendMessage(old, WM_KILLFOCUS, 0, 0);
        }
    }
    DestroyTree(hwnd, true);
    if (parent != nullptr && wasVisible) {
        InvalidateTree(parent);
    }
    MarkScreenDirty();
    UpdateActivation();
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    if (Get(hwnd) != nullptr) {
        return TRUE;
    }
    return platform::instance::IsRemoteWindow(hwnd) ? TRUE : FALSE;
}

BOOL ShowWindow(HWND hwnd, int cmdShow) {
    Window* w = Get(hwnd);
    if (w == nullptr) {
        return FALSE;
    }
    bool was = w->visible;
    bool show = cmdShow != SW_HIDE;
    if (was == show) {
        return was ? TRUE : FALSE;
    }
    w->visible = show;
    if (w->parent != nullptr) {
        InvalidateTree(show ? hwnd : w->parent);
    } else {
        InvalidateTree(hwnd);
        if (!show && IsDescendant(hwnd, S().focus)) {
            HWND old = S().focus;
            S().focus = nullptr;
            SendMessage(old, WM_KILLFOCUS, 0, 0);
        }
        UpdateActivation();
    }
    MarkScreenDirty();
    return was ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND hwnd) {
    if (Get(hwnd) == nullptr) {
        return FALSE;
    }
    // Paints the window and its children now, parents first.
    std::vector<HWND> order{hwnd};
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (Window* w = Get(order[i])) {
            order.insert(order.end(), w->children.begin(), w->children.end());
        }
    }
    for (HWND h : order) {
        Window* w = Get(h);
        if (w != nullptr && w->needsPaint && ReallyVisible(h)) {
            w->painting = w->update;
            w->paintingErase = w->needsErase;
            w->needsPaint = false;
            w->needsErase = false;
            SendMessage(h, WM_PAINT, 0, 0);
        }
    }
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    Window* w = Get(hwnd);
    if (w == nullptr) {
        return FALSE;
    }
    RECT old = w->rect;
    RECT next{x, y, x + std::max(width, 0), y + std::max(height, 0)};
    bool moved = old.left != next.left || old.top != next.top;
    bool sized = (old.right - old.left) != (next.right - next.left) ||
                 (old.bottom - old.top) != (next.bottom - next.top);
    w->rect = next;
    if (w->parent == nullptr) {
        ResizeCanvas(w);
    }
    // The cells move either way; repainting is what keeps them right, so it
    // is done whatever `repaint` says (a repaint that waits is what the
    // program asked for with FALSE, and GetMessage does it later).
    if (w->parent != nullptr) {
        InvalidateTree(w->parent);
    } else {
        InvalidateTree(hwnd);
    }
    MarkScreenDirty();
    if (moved) {
        SendMessage(hwnd, WM_MOVE, 0, MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)));
    }
    if (sized && Get(hwnd) != nullptr) {
        SendMessage(hwnd, WM_SIZE, 0,
                    MAKELPARAM(static_cast<WORD>(std::max(width, 0)),
                               static_cast<WORD>(std::max(height, 0))));
    }
    return TRUE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
    Window* w = Get(hwnd);
    if (w == nullptr || rect == nullptr) {
        return FALSE;
    }
    POINT o = ScreenOrigin(hwnd);
    rect->left = o.x;
    rect->top = o.y;
    rect->right = o.x + (w->rect.right - w->rect.left);
    rect->bottom = o.y + (w->rect.bottom - w->rect.top);
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    Window* w = Get(hwnd);
    if (w == nullptr || rect == nullptr) {
        return FALSE;
    }
    *rect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    return TRUE;
}

HWND GetParent(HWND hwnd) {
    Window* w = Get(hwnd);
    return w != nullptr ? w->parent : nullptr;
}

HWND GetDlgItem(HWND dialog, int id) {
    Window* w = Get(dialog);
    if (w == nullptr) {
        return nullptr;
    }
    for (HWND c : w->children) {
        Window* cw = Get(c);
        if (cw != nullptr && cw->id == id && cw->kind != Kind::MenuBar) {
            return c;
        }
    }
    return nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
    Window* w = Get(hwnd);
    return w != nullptr ? w->id : 0;
}

HWND SetFocus(HWND hwnd) {
    auto& state = S();
    HWND old = state.focus;
    if (hwnd != nullptr && Get(hwnd) == nullptr) {
        return nullptr;
    }
    if (hwnd == old) {
        return old;
    }
    state.focus = hwnd;
    if (hwnd != nullptr) {
        if (Window* top = Get(TopLevelOf(hwnd))) {
            top->lastFocus = hwnd;
        }
    }
    if (Get(old) != nullptr) {
        SendMessage(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    }
    if (hwnd != nullptr && Get(hwnd) != nullptr && state.focus == hwnd) {
        SendMessage(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    }
    MarkScreenDirty();
    return Get(old) != nullptr ? old : nullptr;
}

HWND GetFocus() {
    return S().focus;
}

HWND GetActiveWindow() {
    return S().active;
}

BOOL SetForegroundWindow(HWND hwnd) {
    // The lowest bit asks for the window's whole owned group; it is not part
    // of the handle.
    HWND plain =
        reinterpret_cast<HWND>(reinterpret_cast<std::uintptr_t>(hwnd) & ~std::uintptr_t{1});
    if (Get(plain) == nullptr) {
        return platform::instance::IsRemoteWindow(plain)
                   ? platform::instance::BringRemoteToFront(plain)
                   : FALSE;
    }
    Window* w = Get(TopLevelOf(plain));
    bool group = plain != hwnd;
    if (!group) {
        // The window itself goes to the top of the stack.
        auto& z = S().zorder;
        z.erase(std::remove(z.begin(), z.end(), w->hwnd), z.end());
        z.push_back(w->hwnd);
        InvalidateTree(w->hwnd);
        UpdateActivation();
    }
    // With the group bit the program as a whole comes forward: the stack
    // stays as it is, so an open dialog stays on top of its main window.
    NotifyComeToFront();
    MarkScreenDirty();
    return TRUE;
}

HWND GetForegroundWindow() {
    return S().active;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    Window* w = Get(hwnd);
    if (w == nullptr) {
        return FALSE;
    }
    bool wasDisabled = !w->enabled;
    if (w->enabled != (enable != FALSE)) {
        w->enabled = enable != FALSE;
        if (w->enabled) {
            w->style &= ~WS_DISABLED;
        } else {
            w->style |= WS_DISABLED;
        }
        SendMessage(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
        InvalidateTree(hwnd);
        if (!enable && IsDescendant(hwnd, S().focus)) {
            SetFocus(nullptr);
        }
    }
    return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hwnd) {
    Window* w = Get(hwnd);
    return w != nullptr && w->enabled ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hwnd) {
    return ReallyVisible(hwnd) ? TRUE : FALSE;
}

std::intptr_t GetWindowLongPtr(HWND hwnd, int index) {
    Window* w = Get(hwnd);
    if (w == nullptr) {
        return 0;
    }
    switch (index) {
    case GWL_STYLE:
        return static_cast<std::intptr_t>(w->style | (w->visible ? WS_VISIBLE : 0));
    case GWL_ID:
        return w->id;
    case GWL_USERDATA:
        return w->userData;
    default:
        break;
    }
    if (index >= 0) {
        auto it = w->extra.find(index);
        return it == w->extra.end() ? 0 : it->second;
    }
    return 0;
}

std::intptr_t SetWindowLongPtr(HWND hwnd, int index, std::intptr_t value) {
    Window* w = Get(hwnd);
    if (w == nullptr) {
        return 0;
    }
    std::intptr_t old = GetWindowLongPtr(hwnd, index);
    switch (index) {
    case GWL_STYLE: {
        auto style = static_cast<DWORD>(value);
        w->style = style & ~WS_VISIBLE;
        if (((style & WS_VISIBLE) != 0) != w->visible) {
            ShowWindow(hwnd, (style & WS_VISIBLE) ? SW_SHOW : SW_HIDE);
        }
        InvalidateTree(hwnd);
        break;
    }
    case GWL_ID:
        w->id = static_cast<int>(value);
        break;
    case GWL_USERDATA:
        w->userData = value;
        break;
    default:
        if (index >= 0) {
            w->extra[index] = value;
        }
        break;
    }
    return old;
}

LONG GetWindowLong(HWND hwnd, int index) {
    return static_cast<LONG>(GetWindowLongPtr(hwnd, index));
}

LONG SetWindowLong(HWND hwnd, int index, LONG value) {
    return static_cast<LONG>(SetWindowLongPtr(hwnd, index, value));
}

namespace {

// Copies `text` into a caller's buffer of `maxCount` units (NUL included),
// cut to fit; returns the units copied.
int CopyOut(const std::u16string& text, LPWSTR buffer, int maxCount) {
    int n = std::min(static_cast<int>(text.size()), maxCount - 1);
    std::copy_n(text.data(), n, buffer);
    buffer[n] = 0;
    return n;
}

} // namespace

int GetClassName(HWND hwnd, LPWSTR buffer, int maxCount) {
    if (buffer == nullptr || maxCount <= 0) {
        return 0;
    }
    buffer[0] = 0;
    if (Window* w = Get(hwnd)) {
        return CopyOut(w->className, buffer, maxCount);
    }
    // A window of another copy answers with what it was when found.
    std::u16string className;
    if (platform::instance::RemoteWindowInfo(hwnd, &className, nullptr)) {
        return CopyOut(className, buffer, maxCount);
    }
    return 0;
}

BOOL SetWindowText(HWND hwnd, LPCWSTR text) {
    if (Get(hwnd) == nullptr) {
        return FALSE;
    }
    static const char16_t empty[1] = {0};
    return SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : empty)) != 0
               ? TRUE
               : FALSE;
}

int GetWindowText(HWND hwnd, LPWSTR buffer, int maxCount) {
    if (buffer == nullptr || maxCount <= 0) {
        return 0;
    }
    buffer[0] = 0;
    if (Get(hwnd) == nullptr) {
        std::u16string title;
        if (platform::instance::RemoteWindowInfo(hwnd, nullptr, &title)) {
            return CopyOut(title, buffer, maxCount);
        }
        return 0;
    }
    return static_cast<int>(SendMessage(hwnd, WM_GETTEXT, static_cast<WPARAM>(maxCount),
                                        reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLength(HWND hwnd) {
    if (Get(hwnd) == nullptr) {
        std::u16string title;
        return platform::instance::RemoteWindowInfo(hwnd, nullptr, &title)
                   ? static_cast<int>(title.size())
                   : 0;
    }
    return static_cast<int>(SendMessage(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

BOOL SetDlgItemText(HWND dialog, int id, LPCWSTR text) {
    HWND item = GetDlgItem(dialog, id);
    return item != nullptr ? SetWindowText(item, text) : FALSE;
}

UINT GetDlgItemText(HWND dialog, int id, LPWSTR buffer, int maxCount) {
    HWND item = GetDlgItem(dialog, id);
    if (item == nullptr) {
        if (buffer != nullptr && maxCount > 0) {
            buffer[0] = 0;
        }
        return 0;
    }
    return static_cast<UINT>(GetWindowText(item, buffer, maxCount));
}

LRESULT SendDlgItemMessage(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND item = GetDlgItem(dialog, id);
    return item != nullptr ? SendMessage(item, msg, wParam, lParam) : 0;
}

BOOL EnumWindows(WNDENUMPROC proc, LPARAM lParam) {
    if (proc == nullptr) {
        return FALSE;
    }
    std::vector<HWND> z(S().zorder.rbegin(), S().zorder.rend());
    for (HWND h : z) {
        if (Get(h) != nullptr && !proc(h, lParam)) {
            return FALSE;
        }
    }
    return TRUE;
}

void InitCommonControls() {
    EnsureControlClasses();
}
