// The background colour dialog (159): the platform's default colours (a white
// list, "W") or the black background of stock terminals ("B"). The caller
// sets the list's colour from the setting once the dialog has closed.
#include "refresh/BackgroundDlg.h"

#include "common/DialogSupport.h"
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "res/ResourceIds.h"

std::string PendingBackground;

namespace {

void Save(HWND dlg) {
    Settings.Background = PendingBackground;
    EndDialog(dlg, 0);
}

} // namespace

INT_PTR BackgroundDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG: {
        if (!InitSettingsDialog(dlg)) {
            return 0;
        }
        PendingBackground = Settings.Background;
        // Every value but "W", the empty text of a first start included,
        // draws black.
        const int radio =
            Settings.Background == "W" ? IDC_BACKGROUND_DEFAULT : IDC_BACKGROUND_BLACK;
        SendDlgItemMessage(dlg, radio, BM_SETCHECK, BST_CHECKED, 0);
        SetFocus(GetDlgItem(dlg, radio));
        return 0;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED || SettingsBarCommand(dlg, LOWORD(wParam), Save)) {
            return 0;
        }
        // g++ 12 at -O3 takes these inlined assignments of a literal to a std::string for an
        // overlapping copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
        switch (LOWORD(wParam)) {
        case IDC_BACKGROUND_DEFAULT:
            PendingBackground = "W";
            break;
        case IDC_BACKGROUND_BLACK:
            PendingBackground = "B";
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
[[maybe_unused]] const bool kStateResetRegistered =
    RegisterStateReset([] { PendingBackground.clear(); });

} // namespace
