// The notification method dialog.
#pragma once
#include "platform/win.h"

INT_PTR NotifyMethodDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
