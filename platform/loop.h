// Hooks into the UI thread's message loop for the platform's own services
// (the single-instance socket, the terminal's input). GetMessage waits on the
// watched descriptors, the wake-up pipe and the next timer at once, so an
// idle program blocks without polling.
#pragma once

#include <functional>

namespace platform {

// Calls `onReadable` on the UI thread, from inside GetMessage, whenever `fd`
// is readable. Returns an id for RemoveFdWatch.
int AddFdWatch(int fd, std::function<void()> onReadable);
void RemoveFdWatch(int id);

// Runs `work` on the UI thread, from inside GetMessage, as soon as it waits.
// Safe to call from any thread.
void RunOnUiThread(std::function<void()> work);

} // namespace platform
