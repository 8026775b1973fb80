// The message dialog, the about box and the data-traffic dialog, and the notes.
#pragma once
#include "platform/win.h"

INT_PTR MessageDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR AboutDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR TrafficDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
void ShowNotes();
