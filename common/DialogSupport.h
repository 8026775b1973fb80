// Helpers that the program's full-screen dialogs share: initialising a dialog
// for the shell with its soft-key bar, the commands of the settings dialogs'
// bar, moving texts between records (8-bit, code page CP_ACP) and controls
// (UTF-16), and formatting numbers with printf formats.
#pragma once
#include "platform/win.h"

#include <cstddef>
#include <string>

// Initialises a dialog for the shell (title-bar OK, sized to the full screen)
// and creates its soft-key bar from menu-bar resource `menuBarId`. Returns
// false when the bar could not be created; the dialog then fills nothing.
bool InitFullScreenDialog(HWND dlg, int menuBarId);

// Initialises a settings dialog with the bar "取消" / "保存" and remembers in
// the dialog whether the bar was created (see SettingsBarCommand).
bool InitSettingsDialog(HWND dlg);

// Handles the commands of a settings dialog's bar and its title-bar OK:
// "取消" ends the dialog; "保存" and OK run `save`, which ends the dialog when
// it succeeds. A dialog left empty (its bar could not be made) ends on them
// and stores nothing, since its pending copies would still be those of an
// earlier opening. Returns whether `command` was one of the three.
bool SettingsBarCommand(HWND dlg, int command, void (*save)(HWND dlg));

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

// Sets control `id` to an 8-bit ASCII or GBK text, such as a record field,
// showing at most `maxUnits` UTF-16 units of it.
void SetDlgItemAnsi(HWND dlg, int id, const std::string& text,
                    std::size_t maxUnits = std::u16string::npos);
