// The button control ("BUTTON"): push buttons drawn as "[ text ]", auto
// radio buttons drawn as "(*) text" / "( ) text" and check boxes drawn as
// "[x] text". Enter, Space or a tap clicks it: the parent gets WM_COMMAND
// with BN_CLICKED. The auto radio buttons of one dialog form one group:
// checking one unchecks the others.
#include "platform/CtlCommon.h"

#include <algorithm>
#include <vector>

namespace platform::ctl {
namespace {

struct ButtonState {
    std::u16string text;
    WPARAM check = BST_UNCHECKED;
};

DWORD Kind(HWND hwnd) {
    return Style(hwnd) & 0x0F;
}

bool IsRadio(DWORD kind) {
    return kind == BS_AUTORADIOBUTTON || kind == BS_RADIOBUTTON;
}
bool IsCheck(DWORD kind) {
    return kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX;
}

// Every auto radio button; the group of one is the others with the same
// parent. The window API has no way to walk a dialog's children, so the
// buttons keep this list themselves; a button leaves it at WM_DESTROY.
std::vector<HWND>& RadioButtons() {
    static auto* buttons = new std::vector<HWND>;
    return *buttons;
}

void SetCheck(HWND hwnd, ButtonState* state, WPARAM check) {
    if (state->check != check) {
        state->check = check;
        InvalidateRect(hwnd, nullptr, TRUE);
    }
    if (check == BST_CHECKED && Kind(hwnd) == BS_AUTORADIOBUTTON) {
        HWND parent = GetParent(hwnd);
        std::vector<HWND> group = RadioButtons(); // copy: a send could change it
        for (HWND other : group) {
            ButtonState* otherState = StateOf<ButtonState>(other);
            if (other == hwnd || otherState == nullptr || GetParent(other) != parent) {
                continue;
            }
            if (otherState->check != BST_UNCHECKED) {
                otherState->check = BST_UNCHECKED;
                InvalidateRect(other, nullptr, TRUE);
            }
        }
    }
}

void Click(HWND hwnd, ButtonState* state) {
    if (!IsWindowEnabled(hwnd)) {
        return;
    }
    DWORD kind = Kind(hwnd);
    if (kind == BS_AUTORADIOBUTTON) {
        SetCheck(hwnd, state, BST_CHECKED);
    } else if (kind == BS_AUTOCHECKBOX) {
        SetCheck(hwnd, state, state->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
    }
    NotifyCommand(hwnd, BN_CLICKED);
}

void Paint(HWND hwnd, ButtonState* state) {
    DWORD kind = Kind(hwnd);
    bool push = !IsRadio(kind) && !IsCheck(kind);
    ControlPaint paint(hwnd, push ? WM_CTLCOLORBTN : WM_CTLCOLORSTATIC, DefaultDialogBackground());
    HDC dc = paint.dc;
    if (dc == nullptr) {
        return;
    }
    COLORREF bg = paint.bg;
    const RECT& client = paint.client;
    std::u16string label;
    UINT format = DT_SINGLELINE | DT_VCENTER;
    if (push) {
        label = u"[ " + state->text + u" ]";
        format |= DT_CENTER;
    } else if (IsRadio(kind)) {
        label = (state->check == BST_CHECKED ? u"(*)" : u"( )") +
                (state->text.empty() ? std::u16string() : u" " + state->text);
    } else {
        label = (state->check == BST_CHECKED ? u"[x]" : u"[ ]") +
                (state->text.empty() ? std::u16string() : u" " + state->text);
    }
    if (HasFocus(hwnd)) {
        // The focused button is drawn in reverse colours.
        COLORREF fg = GetTextColor(dc);
        DrawTextColoured(dc, label, client, format, bg, fg);
    } else {
        DrawTextIn(dc, label, client, format);
    }
}

LRESULT Handle(HWND hwnd, ButtonState* state, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE: {
        auto* cs = reinterpret_cast<const CREATESTRUCT*>(lParam);
        state->text = CreateText(lParam);
        if (cs != nullptr && (static_cast<DWORD>(cs->style) & 0x0F) == BS_AUTORADIOBUTTON) {
            RadioButtons().push_back(hwnd);
        }
        return 0;
    }
    case WM_DESTROY: {
        auto& radios = RadioButtons();
        radios.erase(std::remove(radios.begin(), radios.end(), hwnd), radios.end());
        return 0;
    }
    case WM_SETTEXT:
        state->text = TextFromLParam(lParam);
        DefWindowProc(hwnd, msg, wParam, lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
    case WM_GETTEXT:
        return CopyTextOut(state->text, wParam, lParam);
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(state->text.size());
    case BM_GETCHECK:
        return static_cast<LRESULT>(state->check);
    case BM_SETCHECK: {
        DWORD kind = Kind(hwnd);
        if (IsRadio(kind) || IsCheck(kind)) {
            SetCheck(hwnd, state, wParam == BST_CHECKED ? BST_CHECKED : BST_UNCHECKED);
        }
        return 0;
    }
    case BM_CLICK:
        Click(hwnd, state);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            Click(hwnd, state);
            return 0;
        }
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case WM_CHAR:
        if (wParam == u' ') {
            Click(hwnd, state);
            return 0;
        }
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case WM_LBUTTONDOWN:
        if (IsWindowEnabled(hwnd)) {
            SetFocus(hwnd);
            Click(hwnd, state);
        }
        return 0;
    case WM_PAINT:
        Paint(hwnd, state);
        return 0;
    default:
        return DefControlProc(hwnd, msg, wParam, lParam);
    }
}

} // namespace

LRESULT ButtonWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return ControlProc<ButtonState, Handle>(hwnd, msg, wParam, lParam);
}

} // namespace platform::ctl
