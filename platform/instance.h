// Windows of another copy of the program on the same device. A second copy
// finds the first through the device's runtime folder (a lock file for the
// named mutex, a socket for the window search) and asks it to come to the
// front. The handles FindWindow returns for such windows are proxies: only
// SetForegroundWindow, IsWindow, GetClassName and GetWindowText accept them.
#pragma once

#include "platform/win.h"

#include <functional>

namespace platform::instance {

bool IsRemoteWindow(HWND hwnd);
// Asks the other copy to bring that window (and its owned group) forward.
BOOL BringRemoteToFront(HWND hwnd);
// Called on the UI thread when another copy asked this one to come to the
// front; the front-end decides what "front" means (the terminal front-end
// takes over the asking copy's terminal). The default brings the window to
// the top of the window stack.
void SetForegroundRequestHandler(std::function<void(HWND window, int passedFd)> handler);

} // namespace platform::instance
