// The market index view: the Shanghai composite and Shenzhen component lines
// and the time of the quotes, as the quote page parser last left them, with
// a refresh on demand from the stock page of code 000001.
#pragma once
#include "platform/win.h"

// Dialog procedure of resource 150, run modally without an owner. Opening
// shows the cached texts without a fetch; OK and "手动刷新" refresh, and a
// successful refresh replaces the view by a fresh one, so that one "返回"
// returns to the main window however often it was refreshed.
INT_PTR MarketIndexDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
