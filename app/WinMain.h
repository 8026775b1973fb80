// The program's entry: the single-instance guard, the registration and
// creation of the main window, and the message loop.
#pragma once

#include "platform/win.h"

// The window class of the main window; the same text names the
// single-instance mutex.
inline constexpr const char16_t* kMainClassName = u"StockAtApp";

// Runs the program. Returns the exit code: the wParam of the final WM_QUIT,
// or 0 when start-up stops early (no title string, another copy running, the
// class or the window refused).
int WinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand);

// Makes sure that no other copy of the program runs. Returns S_OK with
// *found = 0 for the first copy, S_OK with *found = 1 when another copy was
// found and asked to come to the front, E_FAIL when the mutex could not be
// made or the other copy's window was not found after five attempts.
HRESULT FindPreviousInstance(LPCWSTR className, LPCWSTR title, int* found);

// Closes the single-instance mutex that FindPreviousInstance kept open (the
// process end would release it too; WinMain calls this on its way out so
// that a test can run the program again in the same process).
void ReleaseInstanceMutex();

// Connects the subsystems' hooks to what the program's top does for them: the
// service information request after a successful refresh cycle, and the
// target price dialog that the stock detail dialog opens. WinMain does it
// first; a test that runs a subsystem without WinMain may call it.
void InstallSubsystemHooks();
