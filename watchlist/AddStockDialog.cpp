#include "watchlist/AddStockDialog.h"

INT_PTR AddStockDialog(HWND, UINT, WPARAM, LPARAM) { return 0; }
