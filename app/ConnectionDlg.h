// The connection-method settings dialog.
#pragma once
#include "platform/win.h"

INT_PTR ConnectionMethodDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
// Opens the connection-method dialog when no method is stored yet; called once
// right after the main window is first shown.
void AskConnectionMethodAtFirstStart();
