// What the terminal's input means to the device: the results of ncurses'
// wget_wch (a character, or a key code such as KEY_F(1)) become the device's
// key presses, a resize, a mouse event or nothing. Kept apart from the
// terminal so that the mapping is a plain function with tests.
//
// The keys, the same in every window:
//   F1, F2        the left and right soft keys
//   F3            the title-bar button (OK in a dialog, X in the main window)
//   arrows        move in lists and menus, edit text, step up-down controls
//   Enter         the action key;  Esc  cancels a menu or a message box
//   Tab, Shift-Tab  move the focus between a dialog's controls
//   Backspace, Delete, Home, End, PgUp, PgDn, and typing (Chinese included)
//   Ctrl-L        draws the whole screen again
#pragma once

#include "platform/frontend.h"
#include "platform/win.h"

#include <cwchar>
#include <vector>

namespace term {

enum class InputKind { None, Keys, Resize, Mouse, Redraw };

struct Translated {
    InputKind kind = InputKind::None;
    std::vector<platform::KeyInput> keys; // for InputKind::Keys
};

// `isKeyCode`: wget_wch returned KEY_CODE_YES (code is a KEY_* value);
// otherwise `code` is a character.
Translated TranslateInput(bool isKeyCode, wint_t code);

// The key press that types one character: letters and digits carry their
// virtual key (capitals with Shift), the space bar 0x20, anything else vk 0
// (only WM_CHAR). A character outside the BMP is two presses with vk 0, one
// per UTF-16 unit.
std::vector<platform::KeyInput> KeysForChar(char32_t ch);

// The screen pixel a click on cell (col, row) taps: the cell's centre.
POINT CellCentre(int col, int row);

// The one-line summary of the keys for --help and the README.
extern const char* const kKeyHelp;

} // namespace term
