// The add-stock dialog and the stock lookup.
#pragma once
#include "platform/win.h"

INT_PTR AddStockDialog(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
