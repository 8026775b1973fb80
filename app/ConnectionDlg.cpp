#include "app/ConnectionDlg.h"

INT_PTR ConnectionMethodDlgProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
void AskConnectionMethodAtFirstStart() {}
