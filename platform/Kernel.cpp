// Kernel services: the last-error value, the handle table, named mutexes
// held across the processes of one device, and Sleep on the device clock.
//
// A named mutex is a lock file "<runtime folder>/<name>.lock" locked with
// flock. The lock belongs to the open file, so it is let go when the holder
// closes its handle or ends in any way, crash included; a second process
// that finds the file locked gets a handle and ERROR_ALREADY_EXISTS, as on
// the platform. The first holder also starts answering other copies' window
// searches (see Instance.cpp).

#include "platform/Handles.h"
#include "platform/Text.h"
#include "platform/device.h"
#include "platform/win.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <optional>
#include <sys/file.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <unordered_map>

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

struct HandleTable {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, std::shared_ptr<platform::kernel::KernelObject>> objects;
    std::uintptr_t next = 0x100;
};

HandleTable& Table() {
    static HandleTable* table = new HandleTable(); // lives until the process ends
    return *table;
}

// One lock file held by this process; shared by every handle of the name
// that this process opened while holding it.
struct HeldLock {
    std::string name;
    int fd = -1;
    int listenToken = -1;
    ~HeldLock() {
        if (listenToken >= 0) {
            platform::instance::detail::StopListening(listenToken);
        }
        if (fd >= 0) {
            close(fd); // lets go of the flock
        }
    }
};

struct MutexObject : platform::kernel::KernelObject {
    std::shared_ptr<HeldLock> held; // empty: another process holds the name
};

std::mutex heldMutex;
std::map<std::string, std::weak_ptr<HeldLock>>& HeldLocks() {
    static auto* locks = new std::map<std::string, std::weak_ptr<HeldLock>>();
    return *locks;
}

// Mutex names may hold characters that a file name cannot ("Global\X").
std::string LockFileName(const std::u16string& name) {
    std::string result = platform::Utf16ToUtf8(name);
    for (char& c : result) {
        if (c == '/' || c == '\\' || c == '\0') {
            c = '_';
        }
    }
    if (result.empty() || result == "." || result == "..") {
        result = "_" + result;
    }
    return result;
}

} // namespace

DWORD GetLastError() {
    return lastError;
}
void SetLastError(DWORD error) {
    lastError = error;
}

namespace platform::kernel {

HANDLE AddHandle(std::shared_ptr<KernelObject> object) {
    HandleTable& table = Table();
    std::lock_guard lock(table.mutex);
    std::uintptr_t value = table.next;
    table.next += 4;
    table.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
    HandleTable& table = Table();
    std::lock_guard lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == table.objects.end() ? nullptr : it->second;
}

bool RemoveHandle(HANDLE handle) {
    std::shared_ptr<KernelObject> object; // released outside the table's lock
    HandleTable& table = Table();
    std::lock_guard lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == table.objects.end()) {
        return false;
    }
    object = std::move(it->second);
    table.objects.erase(it);
    return true;
}

DWORD ErrorFromErrno(int err) {
    switch (err) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
    case ENOTEMPTY:
        return ERROR_ALREADY_EXISTS;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    default:
        return ERROR_GEN_FAILURE;
    }
}

} // namespace platform::kernel

HANDLE CreateMutex(void* security, BOOL initialOwner, LPCWSTR name) {
    using platform::kernel::AddHandle;
    auto object = std::make_shared<MutexObject>();
    if (name == nullptr) {
        // An unnamed mutex is private to this process: nobody else can hold it.
        SetLastError(ERROR_SUCCESS);
        return AddHandle(object);
    }
    std::string fileName = LockFileName(name);
    std::lock_guard guard(heldMutex);
    if (auto held = HeldLocks()[fileName].lock()) {
        object->held = std::move(held);
        HANDLE handle = AddHandle(object);
        SetLastError(ERROR_ALREADY_EXISTS);
        return handle;
    }
    std::filesystem::path dir = platform::RuntimeDir();
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    int fd = open((dir / (fileName + ".lock")).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        SetLastError(platform::kernel::ErrorFromErrno(errno));
        return nullptr;
    }
    int rc;
    do {
        rc = flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        int err = errno;
        close(fd);
        if (err != EWOULDBLOCK) {
            SetLastError(platform::kernel::ErrorFromErrno(err));
            return nullptr;
        }
        // Another process holds it: this handle only names the mutex.
        HANDLE handle = AddHandle(object);
        SetLastError(ERROR_ALREADY_EXISTS);
        return handle;
    }
    auto held = std::make_shared<HeldLock>();
    held->name = fileName;
    held->fd = fd;
    held->listenToken = platform::instance::detail::StartListening(fileName);
    HeldLocks()[fileName] = held;
    object->held = std::move(held);
    HANDLE handle = AddHandle(object);
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL CloseHandle(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::shared_ptr<platform::kernel::KernelObject> object = platform::kernel::LookupHandle(handle);
    if (!object || !platform::kernel::RemoveHandle(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (auto mutexObject = std::dynamic_pointer_cast<MutexObject>(object)) {
        // Let go of the lock file under the table's lock, so that a
        // CreateMutex racing with this close sees either the held lock or a
        // free file, never a lock that is about to close.
        std::lock_guard guard(heldMutex);
        mutexObject->held.reset();
        object.reset();
        mutexObject.reset();
    }
    return TRUE;
}

// On a manual clock (tests) Sleep moves device time forward at once: a test
// never waits for real time. Otherwise it waits as long in real time as the
// device clock needs to move `ms` ahead (less when the clock runs faster).
void Sleep(DWORD ms) {
    platform::DeviceClock& clock = platform::Clock();
    if (clock.IsManual()) {
        clock.Advance(ms);
        return;
    }
    std::optional<std::int64_t> delay = clock.RealDelayFor(ms);
    if (delay && *delay > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(*delay));
    }
}
