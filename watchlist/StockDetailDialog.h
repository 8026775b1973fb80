// The stock detail dialog.
#pragma once
#include "platform/win.h"

INT_PTR StockDetailDialog(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
