// The connection-method settings dialog.
#pragma once
#include "platform/win.h"

#include <string>

INT_PTR ConnectionMethodDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
// Opens the connection-method dialog when no method is stored yet; called once
// right after the main window is first shown.
void AskConnectionMethodAtFirstStart();

// The dialog's pending copy of ConnectionMethod ("1", "2" or "3"; "0" or
// empty while nothing is chosen). It is taken from the setting when the
// dialog opens, stored back only by a successful save, and keeps its value
// between openings.
extern std::string PendingConnectionMethod;

// Whether a connection method is stored: ConnectionMethod is "1", "2" or "3".
bool ConnectionMethodChosen();
