// The shell state that the whole program shares, and the small helpers that
// every command and dialog uses: running a dialog from the resources, showing
// a text in the message dialog, and giving the quote list its row count.
#include "app/ShellState.h"

#include "app/InfoDialogs.h"
#include "res/ResourceIds.h"

ShellState Shell;

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
