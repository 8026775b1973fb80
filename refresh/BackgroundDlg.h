// The background colour dialog.
#pragma once
#include "platform/win.h"

#include <string>

INT_PTR BackgroundDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);

// The dialog's pending copy of Background ("W" or "B"). It is taken from the
// setting when the dialog opens, stored back only on save, and keeps its
// value between openings.
extern std::string PendingBackground;
