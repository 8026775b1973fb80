// The market index view.
#pragma once
#include "platform/win.h"

INT_PTR MarketIndexDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
