// The refresh frequency dialog.
#pragma once
#include "platform/win.h"

INT_PTR RefreshFrequencyDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
