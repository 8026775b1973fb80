// Windows of another copy of the program on the same device. A second copy
// finds the first through the device's runtime folder (a lock file for the
// named mutex, a socket for the window search) and asks it to come to the
// front. The handles FindWindow returns for such windows are proxies: only
// SetForegroundWindow, IsWindow, GetClassName and GetWindowText accept them.
#pragma once

#include "platform/win.h"

#include <functional>
#include <string>

namespace platform::instance {

bool IsRemoteWindow(HWND hwnd);
// Asks the other copy to bring that window (and its owned group) forward.
BOOL BringRemoteToFront(HWND hwnd);
// Called on the UI thread when another copy asked this one to come to the
// front; the front-end decides what "front" means (the terminal front-end
// takes over the asking copy's terminal). The default brings the window to
// the top of the window stack.
void SetForegroundRequestHandler(std::function<void(HWND window, int passedFd)> handler);

// Finishes a foreground request: `done` tells the asking copy whether this
// one came to the front. Call it exactly once, from any thread.
using ForegroundCompletion = std::function<void(bool done)>;
// Like SetForegroundRequestHandler, for a front-end that finishes the request
// later (the terminal front-end answers when it gives the terminal back);
// the asking copy waits until `complete` is called. In both forms the
// handler owns `passedFd` (-1 when the request carried none) and closes it.
void SetForegroundRequestHandlerAsync(
    std::function<void(HWND window, int passedFd, ForegroundCompletion complete)> handler);
// A descriptor that this process passes along with every foreground request
// it sends (the terminal front-end passes its terminal); -1, the default,
// passes none. The descriptor stays open and this process's own.
void SetForegroundRequestFd(int fd);

// The class name and title a proxy window had when FindWindow found it, for
// GetClassName and GetWindowText. False for any other handle.
bool RemoteWindowInfo(HWND hwnd, std::u16string* className, std::u16string* title);

} // namespace platform::instance
