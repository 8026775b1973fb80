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

struct ButtonState : ControlState {
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

// Every live auto radio button with its state; the group of one is the
// others with the same parent. The window API has no way to walk a dialog's
// children, so the buttons keep this list themselves. The state pointer
// tells a live entry from one whose window was forgotten without being
// destroyed (and whose handle may since name another window).
struct RadioEntry {
    HWND hwnd;
    ButtonState* state;
};
std::vector<RadioEntry>& RadioButtons() {
    static auto* buttons = new std::vector<RadioEntry>;
    return *buttons;
}

void SetCheck(HWND hwnd, WPARAM check) {
    ButtonState* state = State<ButtonState>(hwnd);
    if (state->check != check) {
        state->check = check;
        InvalidateRect(hwnd, nullptr, TRUE);
    }
    if (check == BST_CHECKED && Kind(hwnd) == BS_AUTORADIOBUTTON) {
        HWND parent = GetParent(hwnd);
        std::vector<RadioEntry> group = RadioButtons(); // copy: a send could change it
        for (const RadioEntry& other : group) {
            if (other.hwnd == hwnd || !IsLiveState(other.state) || !IsWindow(other.hwnd) ||
                GetWindowLongPtr(other.hwnd, GWL_USERDATA) !=
                    reinterpret_cast<std::intptr_t>(other.state) ||
                GetParent(other.hwnd) != parent) {
                continue;
            }
            if (other.state->check != BST_UNCHECKED) {
                other.state->check = BST_UNCHECKED;
                InvalidateRect(other.hwnd, nullptr, TRUE);
            }
        }
    }
}

void Click(HWND hwnd) {
    if (!IsWindowEnabled(hwnd)) {
        return;
    }
    DWORD kind = Kind(hwnd);
    if (kind == BS_AUTORADIOBUTTON) {
        SetCheck(hwnd, BST_CHECKED);
    } else if (kind == BS_AUTOCHECKBOX) {
        SetCheck(hwnd,
                 State<ButtonState>(hwnd)->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
    }
    NotifyCommand(hwnd, BN_CLICKED);
}

void Paint(HWND hwnd, ButtonState* state) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (dc == nullptr) {
        return;
    }
    RECT client;
    GetClientRect(hwnd, &client);
    DWORD kind = Kind(hwnd);
    bool push = !IsRadio(kind) && !IsCheck(kind);
    COLORREF bg = ControlColours(hwnd, dc, push ? WM_CTLCOLORBTN : WM_CTLCOLORSTATIC,
                                 DefaultTextColor(), DefaultDialogBackground());
    FillClient(dc, client, bg);
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
    EndPaint(hwnd, &ps);
}

} // namespace

LRESULT ButtonWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE: {
        auto* cs = reinterpret_cast<const CREATESTRUCT*>(lParam);
        ButtonState* state = State<ButtonState>(hwnd);
        if (cs != nullptr && cs->lpszName != nullptr) {
            state->text = cs->lpszName;
        }
        if (cs != nullptr && (static_cast<DWORD>(cs->style) & 0x0F) == BS_AUTORADIOBUTTON) {
            RadioButtons().push_back({hwnd, state});
        }
        return 0;
    }
    case WM_DESTROY: {
        // Entries of this window, and of windows forgotten since, go.
        auto& radios = RadioButtons();
        radios.erase(std::remove_if(radios.begin(), radios.end(),
                                    [&](const RadioEntry& e) {
                                        return e.hwnd == hwnd || !IsLiveState(e.state);
                                    }),
                     radios.end());
        DestroyState<ButtonState>(hwnd);
        return 0;
    }
    case WM_SETTEXT:
        State<ButtonState>(hwnd)->text = TextFromLParam(lParam);
        DefWindowProc(hwnd, msg, wParam, lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
    case WM_GETTEXT:
        return CopyTextOut(State<ButtonState>(hwnd)->text, wParam, lParam);
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(State<ButtonState>(hwnd)->text.size());
    case BM_GETCHECK:
        return static_cast<LRESULT>(State<ButtonState>(hwnd)->check);
    case BM_SETCHECK: {
        DWORD kind = Kind(hwnd);
        if (IsRadio(kind) || IsCheck(kind)) {
            SetCheck(hwnd, wParam == BST_CHECKED ? BST_CHECKED : BST_UNCHECKED);
        }
        return 0;
    }
    case BM_CLICK:
        Click(hwnd);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            Click(hwnd);
            return 0;
        }
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case WM_CHAR:
        if (wParam == u' ') {
            Click(hwnd);
            return 0;
        }
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case WM_LBUTTONDOWN:
        if (IsWindowEnabled(hwnd)) {
            SetFocus(hwnd);
            Click(hwnd);
        }
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_PAINT:
        Paint(hwnd, State<ButtonState>(hwnd));
        return 0;
    case WM_ERASEBKGND:
        return 1;
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

} // namespace platform::ctl
