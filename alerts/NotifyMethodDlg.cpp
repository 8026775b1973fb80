#include "alerts/NotifyMethodDlg.h"

INT_PTR NotifyMethodDlgProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
