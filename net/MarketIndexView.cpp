#include "net/MarketIndexView.h"

INT_PTR MarketIndexDlgProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
