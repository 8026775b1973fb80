// The main window procedure: creation, activation, screen changes and
// destruction of the main window, the quote list's drawing and
// notifications, the refresh timer, and the commands of the soft-key bar and
// its menu.
#pragma once

#include "common/Captions.h"
#include "platform/win.h"

LRESULT MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The commands of the soft keys and the menu (WM_COMMAND).
LRESULT OnMainCommand(HWND hwnd, WPARAM wParam, LPARAM lParam);
