// The shell state that the whole program shares, and the small helpers that
// every command and dialog uses: running a dialog from the resources, showing
// a text in the message dialog, and giving the quote list its row count.
#include "common/ShellState.h"

#include "common/DialogSupport.h"
#include "res/ResourceIds.h"

#include <string>

ShellState Shell;

namespace {

// The "返回" soft key's command.
constexpr int kBackCommand = 32778;

} // namespace

INT_PTR MessageDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        if (InitFullScreenDialog(dlg, IDR_BACKBAR)) {
            // The buffer is filled by whoever opened the dialog; take at most
            // its 1999 units, whether or not it ends with a terminator.
            const std::size_t room = sizeof(Shell.messageText) / sizeof(Shell.messageText[0]);
            std::size_t length = 0;
            while (length + 1 < room && Shell.messageText[length] != u'\0') {
                ++length;
            }
            const std::u16string text(Shell.messageText, length);
            SetDlgItemText(dlg, IDC_MESSAGE_TEXT, text.c_str());
        }
        return 0;
    case WM_COMMAND:
        // The soft key "返回" closes, and so does the title-bar OK: a done
        // button that did nothing would leave the user stuck in the text.
        if (LOWORD(wParam) == kBackCommand || LOWORD(wParam) == IDOK) {
            EndDialog(dlg, 0);
        }
        return 0;
    default:
        return 0;
    }
}

INT_PTR RunDialog(int id, DLGPROC proc) {
    // Dialogs run without an owner, so the main window (and its refresh
    // timer) keeps receiving messages while the dialog is open.
    HRSRC found = FindResource(Shell.instance, MAKEINTRESOURCE(id), RT_DIALOG);
    if (found == nullptr) {
        return -1;
    }
    HGLOBAL loaded = LoadResource(Shell.instance, found);
    if (loaded == nullptr) {
        return -1;
    }
    const auto* tmpl = static_cast<const DLGTEMPLATE*>(LockResource(loaded));
    if (tmpl == nullptr) {
        return -1;
    }
    return DialogBoxIndirectParam(Shell.instance, tmpl, nullptr, proc, 0);
}

void ShowMessageText(const char16_t* text) {
    // The buffer holds 1999 units and the terminator. A longer text is cut
    // there, but never between the two halves of a surrogate pair.
    constexpr int kLimit = static_cast<int>(sizeof(Shell.messageText) / sizeof(WCHAR)) - 1;
    int n = 0;
    if (text != nullptr) {
        while (n < kLimit && text[n] != 0) {
            Shell.messageText[n] = text[n];
            ++n;
        }
        if (n == kLimit && text[n] != 0 && n > 0 && Shell.messageText[n - 1] >= 0xD800 &&
            Shell.messageText[n - 1] <= 0xDBFF) {
            --n;
        }
    }
    Shell.messageText[n] = 0;
    RunDialog(IDD_MESSAGE, MessageDlgProc);
}

void SetRowCount(int n) {
    // A selection that points past the new end of the list would let a later
    // command work on a record that is no longer in use; forget it.
    if (Shell.selectedRow >= n) {
        Shell.selectedRow = -1;
    }
    SendMessage(Shell.listWindow, LVM_SETITEMCOUNT, static_cast<WPARAM>(n < 0 ? 0 : n), 0);
}
