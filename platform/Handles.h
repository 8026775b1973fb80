// The kernel's handle table, shared by the parts of the platform that hand
// out HANDLEs (files, named mutexes). A handle is a number that stands for a
// kernel object in a table; it is never a pointer to the object, so a stale
// or forged handle is refused with ERROR_INVALID_HANDLE instead of being
// followed. Handle values are never reused within a process.
#pragma once

#include "platform/win.h"

#include <memory>
#include <string>

namespace platform::kernel {

// Something a HANDLE stands for. Its destructor releases what it holds; it
// runs when CloseHandle removes the last handle to it.
struct KernelObject {
    virtual ~KernelObject() = default;
};

HANDLE AddHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
template <typename T> std::shared_ptr<T> Lookup(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}
// Removes the handle; false when it was not in the table.
bool RemoveHandle(HANDLE handle);

// Maps an errno value to the matching Win32 error code.
DWORD ErrorFromErrno(int err);

} // namespace platform::kernel

namespace platform::instance::detail {

// Called by CreateMutex when this process becomes the first holder of the
// named mutex `name`, and when it lets go of it: the holder answers window
// searches of other copies on the socket "<runtime folder>/<name>.sock".
// Returns an opaque token that is passed back to StopListening.
int StartListening(const std::string& name);
void StopListening(int token);

} // namespace platform::instance::detail
