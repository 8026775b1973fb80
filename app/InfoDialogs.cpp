#include "app/InfoDialogs.h"

INT_PTR MessageDlgProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
INT_PTR AboutDlgProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
INT_PTR TrafficDlgProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
void ShowNotes() {}
