// The about box and the data-traffic dialog, and the notes.
#pragma once
#include "platform/win.h"

#include <string>

INT_PTR AboutDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR TrafficDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
void ShowNotes();

// The notes text that ShowNotes shows: the heading and the eight items.
std::u16string NotesText();
