// The static control ("STATIC"): a text, left-aligned, centred or
// right-aligned and wrapped at word boundaries, or an icon (SS_ICON). Its
// colours come from the parent through WM_CTLCOLORSTATIC.
#include "platform/CtlCommon.h"

namespace platform::ctl {
namespace {

struct StaticState {
    std::u16string text;
    HICON icon = nullptr;
    HINSTANCE instance = nullptr;
};

bool IsIconStyle(DWORD style) {
    return (style & 0x1F) == SS_ICON;
}

// An icon static names its icon by its text: "#137" or "137".
HICON IconNamedBy(HINSTANCE instance, const std::u16string& text) {
    std::size_t i = (!text.empty() && text[0] == u'#') ? 1 : 0;
    if (i >= text.size()) {
        return nullptr;
    }
    int id = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9' || id > 100000) {
            return nullptr;
        }
        id = id * 10 + (text[i] - u'0');
    }
    return LoadIcon(instance, MAKEINTRESOURCE(id));
}

void Paint(HWND hwnd, StaticState* state) {
    ControlPaint paint(hwnd, WM_CTLCOLORSTATIC, DefaultDialogBackground());
    HDC dc = paint.dc;
    if (dc == nullptr) {
        return;
    }
    DWORD style = Style(hwnd);
    if (IsIconStyle(style)) {
        if (state->icon != nullptr) {
            DrawIcon(dc, 0, 0, state->icon);
        }
    } else {
        UINT format = DT_WORDBREAK;
        switch (style & 0x1F) {
        case SS_CENTER:
            format |= DT_CENTER;
            break;
        case SS_RIGHT:
            format |= DT_RIGHT;
            break;
        default:
            format |= DT_LEFT;
            break;
        }
        DrawTextIn(dc, state->text, paint.client, format);
    }
}

LRESULT Handle(HWND hwnd, StaticState* state, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE: {
        auto* cs = reinterpret_cast<const CREATESTRUCT*>(lParam);
        state->text = CreateText(lParam);
        if (cs != nullptr) {
            state->instance = cs->hInstance;
        }
        if (cs != nullptr && IsIconStyle(static_cast<DWORD>(cs->style))) {
            state->icon = IconNamedBy(cs->hInstance, state->text);
        }
        return 0;
    }
    case WM_SETTEXT: {
        state->text = TextFromLParam(lParam);
        if (IsIconStyle(Style(hwnd))) {
            HICON icon = IconNamedBy(state->instance, state->text);
            if (icon != nullptr) {
                state->icon = icon;
            }
        }
        DefWindowProc(hwnd, msg, wParam, lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
    }
    case WM_GETTEXT:
        return CopyTextOut(state->text, wParam, lParam);
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(state->text.size());
    case STM_SETICON: {
        HICON old = state->icon;
        state->icon = reinterpret_cast<HICON>(wParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return reinterpret_cast<LRESULT>(old);
    }
    case WM_PAINT:
        Paint(hwnd, state);
        return 0;
    default:
        return DefControlProc(hwnd, msg, wParam, lParam);
    }
}

} // namespace

LRESULT StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return ControlProc<StaticState, Handle>(hwnd, msg, wParam, lParam);
}

} // namespace platform::ctl
