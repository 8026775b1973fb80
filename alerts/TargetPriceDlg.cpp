#include "alerts/TargetPriceDlg.h"

INT_PTR TargetPriceDlgProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
