// The connection method dialog (165): how the program reaches the quote
// server, through the operator's WAP gateway (CMWAP), its direct Internet
// access (CMNET) or Wi-Fi. Without a method no fetch can succeed, so the
// dialog opens by itself at a first start, and later from the "系统设置"
// menu. It works on a pending copy of ConnectionMethod until it saves.
#include "app/ConnectionDlg.h"

#include "common/DialogSupport.h"
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "res/ResourceIds.h"

std::string PendingConnectionMethod;

namespace {

// The entries of the list, in this order; each begins with its method's
// number, "0" for none.
const char16_t* const kEntries[] = {u"0 请选择连接方式", u"1 CMWAP", u"2 CMNET", u"3 Wi-Fi"};
constexpr int kEntryCount = 4;

// The first character of the selected entry, as 8-bit text; "0" when nothing
// is selected.
std::string SelectedMethod(HWND dlg) {
    const LRESULT index = SendDlgItemMessage(dlg, IDC_CONNECTION_LIST, CB_GETCURSEL, 0, 0);
    if (index < 0 || index >= kEntryCount) {
        return "0";
    }
    const LRESULT length = SendDlgItemMessage(dlg, IDC_CONNECTION_LIST, CB_GETLBTEXTLEN,
                                              static_cast<WPARAM>(index), 0);
    if (length <= 0) {
        return "0";
    }
    std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
    SendDlgItemMessage(dlg, IDC_CONNECTION_LIST, CB_GETLBTEXT, static_cast<WPARAM>(index),
                       reinterpret_cast<LPARAM>(text.data()));
    return WideToAnsi(text.substr(0, 1));
}

void Save(HWND dlg) {
    PendingConnectionMethod = SelectedMethod(dlg);
    if (PendingConnectionMethod == "0") {
        SetDlgItemText(dlg, IDC_CONNECTION_REFUSAL, u"请选择连接方式！");
        return;
    }
    Settings.ConnectionMethod = PendingConnectionMethod;
    EndDialog(dlg, 0);
}

} // namespace

bool ConnectionMethodChosen() {
    const std::string& method = Settings.ConnectionMethod;
    return method == "1" || method == "2" || method == "3";
}

INT_PTR ConnectionMethodDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG: {
        if (!InitSettingsDialog(dlg)) {
            return 0;
        }
        PendingConnectionMethod = Settings.ConnectionMethod;
        for (const char16_t* entry : kEntries) {
            SendDlgItemMessage(dlg, IDC_CONNECTION_LIST, CB_ADDSTRING, 0,
                               reinterpret_cast<LPARAM>(entry));
        }
        // Entry 0 first, then the entry of the stored method, if there is one.
        SendDlgItemMessage(dlg, IDC_CONNECTION_LIST, CB_SETCURSEL, 0, 0);
        for (int i = 1; i < kEntryCount; ++i) {
            if (Settings.ConnectionMethod == std::string(1, static_cast<char>('0' + i))) {
                SendDlgItemMessage(dlg, IDC_CONNECTION_LIST, CB_SETCURSEL, static_cast<WPARAM>(i),
                                   0);
            }
        }
        SetFocus(GetDlgItem(dlg, IDC_CONNECTION_LIST));
        return 0;
    }
    case WM_COMMAND:
        if (SettingsBarCommand(dlg, LOWORD(wParam), Save)) {
            return 0;
        }
        switch (LOWORD(wParam)) {
        case IDC_CONNECTION_LIST:
            if (HIWORD(wParam) == CBN_SELCHANGE) {
                PendingConnectionMethod = SelectedMethod(dlg);
                // A real choice takes the refusal away again.
                if (PendingConnectionMethod != "0") {
                    SetDlgItemText(dlg, IDC_CONNECTION_REFUSAL, u"");
                }
            }
            break;
        default:
            break;
        }
        return 0;
    default:
        return 0;
    }
}

void AskConnectionMethodAtFirstStart() {
    if (!ConnectionMethodChosen()) {
        RunDialog(IDD_CONNECTION, ConnectionMethodDlgProc);
    }
}

namespace {

// These values go back to their start with the rest of the program's state.
[[maybe_unused]] const bool kStateResetRegistered =
    RegisterStateReset([] { PendingConnectionMethod.clear(); });

} // namespace
