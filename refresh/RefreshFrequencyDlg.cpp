#include "refresh/RefreshFrequencyDlg.h"

INT_PTR RefreshFrequencyDlgProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
