#include "refresh/BackgroundDlg.h"

INT_PTR BackgroundDlgProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
