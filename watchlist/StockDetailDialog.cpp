#include "watchlist/StockDetailDialog.h"

INT_PTR StockDetailDialog(HWND, UINT, WPARAM, LPARAM) { return 0; }
