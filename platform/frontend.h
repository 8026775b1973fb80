// What a front-end (the terminal program, the headless test driver) gives
// the platform and gets from it. The platform composes the whole screen
// (windows, dialogs, message boxes, menus, bubbles, the title row and the
// soft-key row) into one cell canvas and hands it to the front-end's
// Present whenever it changed, just before the UI thread waits for input.
// The front-end feeds input back with the Inject functions, which are safe
// to call from any thread; a front-end that reads a file descriptor (the
// terminal's input, a resize signal pipe) watches it with AddFdWatch
// (loop.h), so its callback runs on the UI thread inside GetMessage.
//
// Keys: `vk` is the virtual key (VK_RETURN, VK_F1, 'A' for the A key ...)
// and `ch` the character it types, if any. A key with a printable character
// reaches the focus window as WM_KEYDOWN followed by WM_CHAR (made by
// TranslateMessage); Backspace, Delete, Enter, Tab, Esc, the arrows and the
// function keys come as WM_KEYDOWN only. A key with vk 0 sends only WM_CHAR.
// The shell takes some keys first: F1/F2 press the active window's soft
// keys, F3 the title-bar button, and every key goes to an open menu or a
// bubble while one is shown.
//
// Taps are screen pixels (one cell is kCellWidth x kCellHeight). A tap on
// a window sends WM_LBUTTONDOWN and WM_LBUTTONUP, in client coordinates, to
// the deepest visible child under it; the control itself takes the focus if
// it wants it.
#pragma once

#include "platform/win.h"

namespace platform {

class Canvas;

struct KeyInput {
    UINT vk = 0;
    char16_t ch = 0;
    bool shift = false;
    bool repeat = false; // an auto-repeat of a held key (lParam bit 30)
};

class FrontEnd {
  public:
    virtual ~FrontEnd() = default;
    // UI thread: the composed screen changed. The canvas is valid during
    // the call only; the title is on row 0 and the soft keys on the last row.
    virtual void Present(const Canvas& screen) = 0;
    // UI thread: the main window's title-bar X was pressed; the program goes
    // on running in the background.
    virtual void GoToBackground() = 0;
    // UI thread: SetForegroundWindow brought the program to the front.
    virtual void ComeToFront() {}
};

// Installs the front-end (null: none); call it before the program starts.
void SetFrontEnd(FrontEnd* frontEnd);
// The screen size in cells before the program starts (no message is sent).
void SetScreenSize(int cols, int rows);
// Makes the calling thread the UI thread (the one that runs the program).
// Call it before another thread posts anything; otherwise the first thread
// that calls GetMessage becomes the UI thread.
void BindUiThread();

// Input, from any thread.
void InjectKey(const KeyInput& key);
void InjectTap(int x, int y);
// The screen changed size: the work area follows, and the top-level windows
// receive WM_SETTINGCHANGE with SETTINGCHANGE_RESET.
void InjectResize(int cols, int rows);
// The system ends the program's session (a service stop, a logout, a
// shutdown): every top-level window receives WM_ENDSESSION (TRUE,
// ENDSESSION_CLOSEAPP), sent in turn on the UI thread, and then the
// program's message loops end with exit code 0.
void InjectEndSession();

} // namespace platform
