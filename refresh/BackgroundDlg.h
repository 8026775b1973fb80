// The background colour dialog.
#pragma once
#include "platform/win.h"

INT_PTR BackgroundDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
