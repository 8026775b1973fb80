// The up-down control ("msctls_updown32") without a buddy: an up and a down
// arrow. Up and Down (when it has the focus) and taps on its halves send
// UDN_DELTAPOS to the parent with a delta of -1 for up and +1 for down (the
// control's default range runs from 100 at the bottom to 0 at the top). An
// arrow pressed more than five times within half a second of device time
// counts as held and reports a delta of 5 instead.
#include "platform/CtlCommon.h"

#include <algorithm>

namespace platform::ctl {
namespace {

constexpr int kHeldDelta = 5;

struct UpDownState {
    int lower = 100; // the value at the bottom (UDM_SETRANGE's minimum)
    int upper = 0;   // the value at the top
    int pos = 0;
    RepeatTracker repeat;
};

bool IsHorizontal(HWND hwnd) {
    return (Style(hwnd) & UDS_HORZ) != 0;
}

// One press of an arrow: `up` for the up (or left) arrow.
void Press(HWND hwnd, UpDownState* state, bool up) {
    if (!IsWindowEnabled(hwnd)) {
        return;
    }
    int step = state->repeat.Press(up ? 1 : 2) ? kHeldDelta : 1;
    // Up moves toward the top value; with the default range that lowers the
    // number, so the delta is negative.
    int direction = (state->upper >= state->lower) == up ? 1 : -1;
    NMUPDOWN nm{};
    nm.iPos = state->pos;
    nm.iDelta = direction * step;
    LRESULT refused = NotifyParent(hwnd, &nm.hdr, UDN_DELTAPOS);
    if (!IsWindow(hwnd) || refused != 0) {
        return;
    }
    int lo = std::min(state->lower, state->upper);
    int hi = std::max(state->lower, state->upper);
    int next = state->pos + nm.iDelta;
    if ((Style(hwnd) & UDS_WRAP) != 0 && (next < lo || next > hi)) {
        next = next < lo ? hi : lo;
    }
    state->pos = std::clamp(next, lo, hi);
}

void Paint(HWND hwnd) {
    ControlPaint paint(hwnd, WM_CTLCOLORSTATIC, DefaultDialogBackground());
    HDC dc = paint.dc;
    if (dc == nullptr) {
        return;
    }
    COLORREF bg = paint.bg;
    COLORREF fg = GetTextColor(dc);
    bool focused = HasFocus(hwnd);
    // The focused control shows its arrows in reverse colours.
    COLORREF arrowFg = focused ? bg : fg;
    COLORREF arrowBg = focused ? fg : bg;
    CellRect cells = PixelsToCells(paint.client);
    bool horizontal = IsHorizontal(hwnd);
    const char16_t* first = horizontal ? u"<" : u"^";
    const char16_t* second = horizontal ? u">" : u"v";
    if (cells.Height() >= 2 && !horizontal) {
        int mid = cells.top + cells.Height() / 2;
        DrawTextColoured(dc, first,
                         CellsToPixels(CellRect{cells.left, cells.top, cells.right, mid}),
                         DT_CENTER | DT_VCENTER | DT_SINGLELINE, arrowFg, arrowBg);
        DrawTextColoured(dc, second,
                         CellsToPixels(CellRect{cells.left, mid, cells.right, cells.bottom}),
                         DT_CENTER | DT_VCENTER | DT_SINGLELINE, arrowFg, arrowBg);
    } else {
        int mid = cells.left + std::max(cells.Width() / 2, 1);
        DrawTextColoured(dc, first,
                         CellsToPixels(CellRect{cells.left, cells.top, mid, cells.bottom}),
                         DT_CENTER | DT_VCENTER | DT_SINGLELINE, arrowFg, arrowBg);
        DrawTextColoured(dc, second,
                         CellsToPixels(CellRect{mid, cells.top, cells.right, cells.bottom}),
                         DT_CENTER | DT_VCENTER | DT_SINGLELINE, arrowFg, arrowBg);
    }
}

// Whether a tap at client pixel (x, y) hits the up (or left) half.
bool TapIsUp(HWND hwnd, int x, int y) {
    CellRect cells = ClientCells(hwnd);
    int col = x / kCellWidth;
    int row = y / kCellHeight;
    if (cells.Height() >= 2 && !IsHorizontal(hwnd)) {
        return row < cells.top + cells.Height() / 2;
    }
    return col < cells.left + std::max(cells.Width() / 2, 1);
}

LRESULT Handle(HWND hwnd, UpDownState* state, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case UDM_SETRANGE: {
        // lParam: the top value in the low word, the bottom value in the high.
        state->upper = static_cast<std::int16_t>(LOWORD(static_cast<std::uintptr_t>(lParam)));
        state->lower = static_cast<std::int16_t>(HIWORD(static_cast<std::uintptr_t>(lParam)));
        int lo = std::min(state->lower, state->upper);
        int hi = std::max(state->lower, state->upper);
        state->pos = std::clamp(state->pos, lo, hi);
        return 0;
    }
    case UDM_GETRANGE: {
        return static_cast<LRESULT>(
            MAKELPARAM(static_cast<WORD>(state->upper), static_cast<WORD>(state->lower)));
    }
    case UDM_SETPOS: {
        int old = state->pos;
        int lo = std::min(state->lower, state->upper);
        int hi = std::max(state->lower, state->upper);
        state->pos = std::clamp(static_cast<int>(static_cast<std::int16_t>(
                                    LOWORD(static_cast<std::uintptr_t>(lParam)))),
                                lo, hi);
        return old;
    }
    case UDM_GETPOS:
        return state->pos;
    case WM_KEYDOWN: {
        bool horizontal = IsHorizontal(hwnd);
        if ((!horizontal && (wParam == VK_UP || wParam == VK_DOWN)) ||
            (horizontal && (wParam == VK_LEFT || wParam == VK_RIGHT))) {
            Press(hwnd, state, wParam == VK_UP || wParam == VK_LEFT);
            return 0;
        }
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
    case WM_LBUTTONDOWN: {
        SetFocus(hwnd);
        if (!IsWindow(hwnd)) {
            return 0;
        }
        POINT at = TapPoint(lParam);
        Press(hwnd, state, TapIsUp(hwnd, at.x, at.y));
        return 0;
    }
    case WM_PAINT:
        Paint(hwnd);
        return 0;
    default:
        return DefControlProc(hwnd, msg, wParam, lParam);
    }
}

} // namespace

LRESULT UpDownWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return ControlProc<UpDownState, Handle>(hwnd, msg, wParam, lParam);
}

} // namespace platform::ctl
