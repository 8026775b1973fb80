// The target price dialog.
#pragma once
#include "platform/win.h"

INT_PTR TargetPriceDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
