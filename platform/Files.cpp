// Files of the phone's file system, kept under the device root on this
// machine: CreateDirectory, CreateFile, ReadFile, WriteFile, FlushFileBuffers,
// GetFileSize, MoveFileEx and DeleteFile, with the platform's error codes.
//
// The phone's share modes have no POSIX counterpart and are not enforced: one
// program opens each file once at a time, so they never decide anything.
// The device root itself always exists on the phone; here it is made on the
// first call that needs it.

#include "platform/Handles.h"
#include "platform/device.h"
#include "platform/win.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

using platform::kernel::ErrorFromErrno;

struct FileObject : platform::kernel::KernelObject {
    int fd = -1;
    bool canRead = false;
    bool canWrite = false;
    ~FileObject() override {
        if (fd >= 0) {
            close(fd);
        }
    }
};

// Maps a phone path; on failure sets the error and returns an empty path.
std::filesystem::path MapPath(LPCWSTR phonePath) {
    if (phonePath == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return {};
    }
    std::filesystem::path path = platform::DevicePath(phonePath);
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return {};
    }
    std::error_code ec;
    std::filesystem::create_directories(platform::DevicePath(u""), ec); // the root
    return path;
}

bool ParentExists(const std::filesystem::path& path) {
    struct stat st;
    return stat(path.parent_path().c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// ENOENT means "no such file" when the folder is there and "no such path"
// when it is not, as the platform tells the two apart.
DWORD ErrorForPath(int err, const std::filesystem::path& path) {
    if (err == ENOENT && !ParentExists(path)) {
        return ERROR_PATH_NOT_FOUND;
    }
    return ErrorFromErrno(err);
}

std::shared_ptr<FileObject> FileOf(HANDLE handle) {
    auto file = platform::kernel::Lookup<FileObject>(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return file;
}

// Flushes a folder, so that a rename or a new name in it survives a crash.
void SyncFolder(const std::filesystem::path& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

int OpenRetrying(const char* path, int flags, mode_t mode) {
    int fd;
    do {
        fd = open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

BOOL CreateDirectory(LPCWSTR path, void* security) {
    std::filesystem::path target = MapPath(path);
    if (target.empty()) {
        return FALSE;
    }
    if (mkdir(target.c_str(), 0777) != 0) {
        SetLastError(ErrorForPath(errno, target));
        return FALSE;
    }
    return TRUE;
}

HANDLE CreateFile(LPCWSTR path, DWORD access, DWORD share, void* security, DWORD disposition,
                  DWORD flags, HANDLE templateFile) {
    std::filesystem::path target = MapPath(path);
    if (target.empty()) {
        return INVALID_HANDLE_VALUE;
    }
    auto file = std::make_shared<FileObject>();
    file->canRead = (access & GENERIC_READ) != 0;
    file->canWrite = (access & GENERIC_WRITE) != 0;
    int mode = file->canWrite ? (file->canRead ? O_RDWR : O_WRONLY) : O_RDONLY;
    mode |= O_CLOEXEC;
    const char* name = target.c_str();
    bool existed = false;
    int fd = -1;
    switch (disposition) {
    case CREATE_NEW:
        fd = OpenRetrying(name, mode | O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno == EEXIST) {
            SetLastError(ERROR_FILE_EXISTS);
            return INVALID_HANDLE_VALUE;
        }
        break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS:
        // Tell a new file from an existing one, which the caller learns
        // through ERROR_ALREADY_EXISTS.
        for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
            fd = OpenRetrying(name, mode | O_CREAT | O_EXCL, 0666);
            if (fd >= 0 || errno != EEXIST) {
                break;
            }
            int extra = disposition == CREATE_ALWAYS ? O_TRUNC : 0;
            fd = OpenRetrying(name, mode | extra, 0);
            existed = fd >= 0;
            if (fd < 0 && errno != ENOENT) {
                break; // ENOENT: removed meanwhile, try again
            }
        }
        break;
    case OPEN_EXISTING:
        fd = OpenRetrying(name, mode, 0);
        break;
    case TRUNCATE_EXISTING:
        if (!file->canWrite) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }
        fd = OpenRetrying(name, mode | O_TRUNC, 0);
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (fd < 0) {
        SetLastError(ErrorForPath(errno, target));
        return INVALID_HANDLE_VALUE;
    }
    file->fd = fd;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        // A folder is not a file (Linux lets one open it for reading).
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = platform::kernel::AddHandle(file);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL ReadFile(HANDLE handle, void* buffer, DWORD toRead, DWORD* read, void* overlapped) {
    if (read != nullptr) {
        *read = 0;
    }
    auto file = FileOf(handle);
    if (!file) {
        return FALSE;
    }
    if (!file->canRead) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (buffer == nullptr && toRead > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD total = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (total < toRead) {
        ssize_t n = ::read(file->fd, bytes + total, toRead - total);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            SetLastError(ErrorFromErrno(errno));
            if (read != nullptr) {
                *read = total;
            }
            return FALSE;
        }
        if (n == 0) {
            break; // the end of the file: success with fewer bytes
        }
        total += static_cast<DWORD>(n);
    }
    if (read != nullptr) {
        *read = total;
    }
    return TRUE;
}

BOOL WriteFile(HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped) {
    if (written != nullptr) {
        *written = 0;
    }
    auto file = FileOf(handle);
    if (!file) {
        return FALSE;
    }
    if (!file->canWrite) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (buffer == nullptr && toWrite > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD total = 0;
    const auto* bytes = static_cast<const char*>(buffer);
    while (total < toWrite) {
        ssize_t n = ::write(file->fd, bytes + total, toWrite - total);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            SetLastError(ErrorFromErrno(errno));
            if (written != nullptr) {
                *written = total;
            }
            return FALSE;
        }
        total += static_cast<DWORD>(n);
    }
    if (written != nullptr) {
        *written = total;
    }
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE handle) {
    auto file = FileOf(handle);
    if (!file) {
        return FALSE;
    }
    if (fsync(file->fd) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

DWORD GetFileSize(HANDLE handle, DWORD* high) {
    auto file = FileOf(handle);
    struct stat st;
    if (!file || fstat(file->fd, &st) != 0) {
        if (file) {
            SetLastError(ErrorFromErrno(errno));
        }
        if (high != nullptr) {
            *high = 0;
        }
        return INVALID_FILE_SIZE;
    }
    auto size = static_cast<std::uint64_t>(st.st_size);
    if (high != nullptr) {
        *high = static_cast<DWORD>(size >> 32);
    }
    // Like the platform, a size of exactly INVALID_FILE_SIZE is told from a
    // failure by the last error being ERROR_SUCCESS.
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size & 0xFFFFFFFF);
}

BOOL MoveFileEx(LPCWSTR from, LPCWSTR to, DWORD flags) {
    std::filesystem::path source = MapPath(from);
    if (source.empty()) {
        return FALSE;
    }
    std::filesystem::path target = MapPath(to);
    if (target.empty()) {
        return FALSE;
    }
    int rc;
    if ((flags & MOVEFILE_REPLACE_EXISTING) != 0) {
        rc = std::rename(source.c_str(), target.c_str());
    } else {
        rc = renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
        if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // A file system without RENAME_NOREPLACE: check, then rename.
            struct stat st;
            if (lstat(target.c_str(), &st) == 0) {
                errno = EEXIST;
            } else {
                rc = std::rename(source.c_str(), target.c_str());
            }
        }
    }
    if (rc != 0) {
        int err = errno;
        SetLastError(err == ENOENT ? ErrorForPath(err, source) : ErrorFromErrno(err));
        return FALSE;
    }
    if ((flags & MOVEFILE_WRITE_THROUGH) != 0) {
        SyncFolder(target.parent_path());
        if (source.parent_path() != target.parent_path()) {
            SyncFolder(source.parent_path());
        }
    }
    return TRUE;
}

BOOL DeleteFile(LPCWSTR path) {
    std::filesystem::path target = MapPath(path);
    if (target.empty()) {
        return FALSE;
    }
    if (unlink(target.c_str()) != 0) {
        SetLastError(ErrorForPath(errno, target));
        return FALSE;
    }
    return TRUE;
}
