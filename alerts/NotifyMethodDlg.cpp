// The notification method dialog (164): alerts reach the user as a bubble
// ("t") or as an SMS ("s") to the number typed here. It opens after every
// save in the target price dialog and works on pending copies of the two
// settings until it saves.
#include "alerts/NotifyMethodDlg.h"

#include "common/DialogSupport.h"
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "res/ResourceIds.h"

std::string PendingNotifyMethod;
std::string PendingSmsPhone;

namespace {

// The number is read with room for 50 units (49 characters).
constexpr int kPhoneRoom = 50;

void Save(HWND dlg) {
    if (PendingNotifyMethod.empty()) {
        ShowMessageText(u"通知方式不能为空，请重新选择！");
        return;
    }
    if (PendingNotifyMethod == "s") {
        const std::string number = WideToAnsi(DlgItemText(dlg, IDC_NOTIFY_PHONE, kPhoneRoom));
        // A refused empty number leaves the pending number alone, so that a
        // later switch to the bubble still keeps the stored number.
        if (number.empty()) {
            ShowMessageText(u"电话号码不能为空，请重新输入！");
            return;
        }
        PendingSmsPhone = number;
    }
    Settings.NotifyMethod = PendingNotifyMethod;
    Settings.SmsPhone = PendingSmsPhone;
    EndDialog(dlg, 0);
}

} // namespace

INT_PTR NotifyMethodDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        if (!InitSettingsDialog(dlg)) {
            return 0;
        }
        SendDlgItemMessage(dlg, IDC_NOTIFY_PHONE, EM_LIMITTEXT, kSmsPhoneMaxLength, 0);
        PendingNotifyMethod = Settings.NotifyMethod;
        PendingSmsPhone = Settings.SmsPhone;
        if (PendingNotifyMethod == "t") {
            SendDlgItemMessage(dlg, IDC_NOTIFY_BUBBLE, BM_SETCHECK, BST_CHECKED, 0);
            SetFocus(GetDlgItem(dlg, IDC_NOTIFY_BUBBLE));
        } else if (PendingNotifyMethod == "s") {
            SendDlgItemMessage(dlg, IDC_NOTIFY_SMS, BM_SETCHECK, BST_CHECKED, 0);
            SetDlgItemAnsi(dlg, IDC_NOTIFY_PHONE, Settings.SmsPhone);
            SetFocus(GetDlgItem(dlg, IDC_NOTIFY_SMS));
        } else {
            SetFocus(GetDlgItem(dlg, IDC_NOTIFY_BUBBLE));
        }
        return 0;
    case WM_COMMAND:
        if (SettingsBarCommand(dlg, LOWORD(wParam), Save)) {
            return 0;
        }
        // The radio buttons choose when clicked (by key or mouse); other
        // notifications of theirs choose nothing.
        // g++ 12 at -O3 takes these inlined assignments of a literal to a std::string for an
        // overlapping copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
        switch (LOWORD(wParam)) {
        case IDC_NOTIFY_BUBBLE:
            if (HIWORD(wParam) == BN_CLICKED) {
                PendingNotifyMethod = "t";
            }
            break;
        case IDC_NOTIFY_SMS:
            if (HIWORD(wParam) == BN_CLICKED) {
                PendingNotifyMethod = "s";
            }
            break;
        default:
            break;
        }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
        return 0;
    default:
        return 0;
    }
}

namespace {

// These values go back to their start with the rest of the program's state.
[[maybe_unused]] const bool kStateResetRegistered = RegisterStateReset([] {
    PendingNotifyMethod.clear();
    PendingSmsPhone.clear();
});

} // namespace
