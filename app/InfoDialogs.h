// The message dialog, the about box and the data-traffic dialog, and the notes.
//
// Also the small helpers that every full-screen dialog of the settings shares:
// initialising it for the shell with its soft-key bar, moving texts between
// records (8-bit, code page CP_ACP) and controls (UTF-16), and formatting
// numbers with printf formats.
#pragma once
#include "platform/win.h"

#include <string>

INT_PTR MessageDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR AboutDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR TrafficDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
void ShowNotes();

// The notes text that ShowNotes shows: the heading and the eight items.
std::u16string NotesText();

// Initialises a dialog for the shell (title-bar OK, sized to the full screen)
// and creates its soft-key bar from menu-bar resource `menuBarId`. Returns
// false when the bar could not be created; the dialog then fills nothing.
bool InitFullScreenDialog(HWND dlg, int menuBarId);

// Text conversions through the device's ANSI code page (CP_ACP).
std::u16string AnsiToWide(const std::string& text);
std::string WideToAnsi(const std::u16string& text);

// Reads the text of control `id` with room for `room` UTF-16 units, the
// terminator included (so at most room - 1 units come back).
std::u16string DlgItemText(HWND dlg, int id, int room);
// The leading decimal number of control `id`'s text (0 when there is none),
// read with room for `room` units.
double DlgItemNumber(HWND dlg, int id, int room);

// Formats one number with a printf format such as "%.2f"; any magnitude fits.
std::string FormatDouble(const char* format, double value);
// Sets control `id` to an 8-bit ASCII or GBK text.
void SetDlgItemAnsi(HWND dlg, int id, const std::string& text);
