// Painting and the default window procedure.
//
// Every top-level window owns a canvas of cells the size of its rectangle;
// its children paint into that same canvas through device contexts whose
// origin and clip are the child's place in it. A window that needs painting
// gets WM_PAINT from GetMessage after the posted messages and input;
// invalidating a window also invalidates its children, so a parent that
// paints over them is always followed by their own paint. The screen is then
// composed from the canvases, bottom window first, with the shell's title
// row, soft-key row, menus and bubbles drawn over them (Shell.cpp).

#include "platform/WinInternal.h"
#include "platform/observe.h"

#include <algorithm>

namespace platform::wm {

namespace {

RECT Intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (r.right < r.left) {
        r.right = r.left;
    }
    if (r.bottom < r.top) {
        r.bottom = r.top;
    }
    return r;
}

bool EmptyRect(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

RECT Union(const RECT& a, const RECT& b) {
    if (EmptyRect(a)) {
        return b;
    }
    if (EmptyRect(b)) {
        return a;
    }
    return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

RECT ClientOf(const Window* w) {
    return RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
}

void MarkPaint(Window* w, const RECT& clientRect, bool erase) {
    RECT r = Intersect(clientRect, ClientOf(w));
    if (EmptyRect(r)) {
        return;
    }
    w->update = w->needsPaint ? Union(w->update, r) : r;
    w->needsPaint = true;
    w->needsErase = w->needsErase || erase;
}

// A device context for the part `clip` (client coordinates) of a window.
HDC MakeDC(HWND hwnd, const RECT& clip) {
    Window* w = Get(hwnd);
    HWND topHwnd = TopLevelOf(hwnd);
    Window* top = Get(topHwnd);
    if (w == nullptr || top == nullptr || top->canvas == nullptr) {
        return platform::CreateCanvasDC(nullptr, RECT{0, 0, 0, 0}, RECT{0, 0, 0, 0});
    }
    POINT o = ScreenOrigin(hwnd);
    POINT to = ScreenOrigin(topHwnd);
    int ox = o.x - to.x;
    int oy = o.y - to.y;
    RECT windowRect{ox, oy, ox + (w->rect.right - w->rect.left),
                    oy + (w->rect.bottom - w->rect.top)};
    RECT c{ox + clip.left, oy + clip.top, ox + clip.right, oy + clip.bottom};
    c = Intersect(c, windowRect);
    // Ancestors clip their children.
    for (Window* a = Get(w->parent); a != nullptr && a->parent != nullptr; a = Get(a->parent)) {
        POINT ao = ScreenOrigin(a->hwnd);
        RECT ar{ao.x - to.x, ao.y - to.y, ao.x - to.x + (a->rect.right - a->rect.left),
                ao.y - to.y + (a->rect.bottom - a->rect.top)};
        c = Intersect(c, ar);
    }
    return platform::CreateCanvasDC(top->canvas.get(), windowRect, c);
}

HWND FindPaintIn(HWND hwnd) {
    Window* w = Get(hwnd);
    if (w == nullptr || !w->visible) {
        return nullptr;
    }
    if (w->needsPaint) {
        return hwnd;
    }
    for (HWND c : w->children) {
        if (HWND found = FindPaintIn(c)) {
            return found;
        }
    }
    return nullptr;
}

HBRUSH ResolveBrush(HBRUSH brush) {
    auto v = reinterpret_cast<std::uintptr_t>(brush);
    if (v > 0 && v <= 64) {
        // COLOR_x + 1, as window classes name system colours.
        return GetSysColorBrush(static_cast<int>(v - 1));
    }
    return brush;
}

} // namespace

void InvalidateTree(HWND hwnd) {
    Window* w = Get(hwnd);
    if (w == nullptr || w->kind == Kind::MenuBar) {
        return;
    }
    MarkPaint(w, ClientOf(w), true);
    for (HWND c : w->children) {
        InvalidateTree(c);
    }
    MarkScreenDirty();
}

void ResizeCanvas(Window* w) {
    if (w->parent != nullptr) {
        return;
    }
    CellRect cells = PixelsToCells(ClientOf(w));
    if (w->canvas == nullptr) {
        w->canvas =
            std::make_unique<Canvas>(std::max(cells.Width(), 0), std::max(cells.Height(), 0));
    } else {
        w->canvas->Resize(std::max(cells.Width(), 0), std::max(cells.Height(), 0));
    }
}

HWND FindPaintTarget() {
    for (HWND h : S().zorder) {
        if (HWND found = FindPaintIn(h)) {
            return found;
        }
    }
    return nullptr;
}

void ComposeScreen(Canvas& screen) {
    auto& state = S();
    Cell desktop;
    desktop.bg = kDesktopBg;
    desktop.fg = RGB(255, 255, 255);
    screen = Canvas(state.cols, state.rows, desktop);
    for (HWND h : state.zorder) {
        Window* w = Get(h);
        if (w == nullptr || !w->visible || w->canvas == nullptr) {
            continue;
        }
        CellRect at = PixelsToCells(w->rect);
        screen.Blit(*w->canvas, at.left, at.top);
    }
    DrawShell(screen);
}

} // namespace platform::wm

using namespace platform::wm;

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    if (hwnd == nullptr) {
        for (HWND h : S().zorder) {
            InvalidateTree(h);
        }
        return TRUE;
    }
    Window* w = Get(hwnd);
    if (w == nullptr) {
        return FALSE;
    }
    RECT r = rect != nullptr ? *rect : ClientOf(w);
    MarkPaint(w, r, erase != FALSE);
    // Children under the rectangle are painted again after their parent.
    for (HWND c : w->children) {
        Window* cw = Get(c);
        if (cw != nullptr && !EmptyRect(Intersect(cw->rect, r))) {
            InvalidateTree(c);
        }
    }
    MarkScreenDirty();
    return TRUE;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
    Window* w = Get(hwnd);
    if (w == nullptr || ps == nullptr) {
        return nullptr;
    }
    RECT paint = w->painting;
    bool erase = w->paintingErase;
    if (EmptyRect(paint)) {
        // Outside WM_PAINT (or after UpdateWindow of a clean window): the
        // whole client area, plus whatever was waiting.
        paint = w->needsPaint ? Union(w->update, ClientOf(w)) : ClientOf(w);
        erase = erase || w->needsErase;
        w->needsPaint = false;
        w->needsErase = false;
    }
    w->painting = RECT{};
    w->paintingErase = false;
    HDC dc = MakeDC(hwnd, paint);
    ps->hdc = dc;
    ps->rcPaint = paint;
    ps->fErase = FALSE;
    if (erase) {
        ps->fErase = SendMessage(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0;
    }
    return dc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
    if (ps != nullptr && ps->hdc != nullptr) {
        platform::DestroyCanvasDC(ps->hdc);
    }
    MarkScreenDirty();
    return TRUE;
}

HDC GetDC(HWND hwnd) {
    Window* w = Get(hwnd);
    if (w == nullptr) {
        return platform::CreateCanvasDC(nullptr, RECT{0, 0, 0, 0}, RECT{0, 0, 0, 0});
    }
    return MakeDC(hwnd, ClientOf(w));
}

int ReleaseDC(HWND hwnd, HDC hdc) {
    if (hdc == nullptr) {
        return 0;
    }
    platform::DestroyCanvasDC(hdc);
    MarkScreenDirty();
    return 1;
}

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = Get(hwnd);
    if (w == nullptr) {
        return 0;
    }
    switch (msg) {
    case WM_SETTEXT: {
        auto text = reinterpret_cast<LPCWSTR>(lParam);
        w->text = text != nullptr ? std::u16string(text) : std::u16string();
        if (w->parent == nullptr) {
            MarkScreenDirty();
        } else {
            InvalidateTree(hwnd);
        }
        return TRUE;
    }
    case WM_GETTEXT: {
        auto buffer = reinterpret_cast<LPWSTR>(lParam);
        int max = static_cast<int>(wParam);
        if (buffer == nullptr || max <= 0) {
            return 0;
        }
        int n = std::min(static_cast<int>(w->text.size()), max - 1);
        std::copy_n(w->text.data(), n, buffer);
        buffer[n] = 0;
        return n;
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(w->text.size());
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps{};
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND: {
        HBRUSH brush = ResolveBrush(w->background);
        if (brush == nullptr) {
            return 0;
        }
        RECT rc = ClientOf(w);
        FillRect(reinterpret_cast<HDC>(wParam), &rc, brush);
        return 1;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC: {
        auto dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && !IsDescendant(hwnd, S().focus)) {
            HWND last = w->lastFocus;
            SetFocus(IsDescendant(hwnd, last) ? last : hwnd);
        }
        return 0;
    default:
        return 0;
    }
}

void platform::observe::ComposeNow(Canvas& out) {
    ComposeScreen(out);
}
