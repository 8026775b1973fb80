// The state the whole shell shares, and the shell's small helpers that every
// dialog uses: opening a dialog from the resources, showing a text in the
// message dialog, and making the quote list show the watch list.
#pragma once

#include "platform/win.h"

struct ShellState {
    HINSTANCE instance = nullptr;
    HWND mainWindow = nullptr;
    HWND listWindow = nullptr;
    int menuBarHeight = 0;
    int selectedRow = -1; // -1: none
    WCHAR messageText[2000] = {};
};
extern ShellState Shell;

// Finds dialog resource `id` (RT_DIALOG) in the program's instance and runs it
// modally with no owner. Returns the dialog's result, or -1 when the resource
// is missing (the dialog then simply does not appear).
INT_PTR RunDialog(int id, DLGPROC proc);
// Puts `text` into the message text (cut to 1999 units) and runs the message
// dialog.
void ShowMessageText(const char16_t* text);
// The message dialog (141): shows Shell.messageText full screen with the
// one-key bar "返回", and closes on it and on the title-bar OK.
INT_PTR MessageDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
// Sets the quote list's item count to n, which redraws it from the records.
void SetRowCount(int n);
