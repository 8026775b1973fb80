// ShellExecuteEx with the verb "open": hands a URL or a file to the
// desktop's opener (Device().opener, xdg-open by default).
//
// The opener runs as a program of its own, never through a shell, with the
// URL or file as its one argument, in a session of its own and with its
// input and output on /dev/null, so that it can neither read keys meant for
// the program nor write over the terminal screen. The call does not wait
// for it: a thread of ours collects its exit status, so that no zombie is
// left behind.

#include "platform/Text.h"
#include "platform/device.h"
#include "platform/win.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

// The platform's values for hInstApp: above 32 means success.
const auto kLaunched = reinterpret_cast<HINSTANCE>(std::intptr_t{33});
const auto kNoAssociation = reinterpret_cast<HINSTANCE>(std::intptr_t{31}); // SE_ERR_NOASSOC

bool IsOpenVerb(LPCWSTR verb) {
    if (verb == nullptr || verb[0] == 0) {
        return true; // the default verb is "open"
    }
    std::u16string v(verb);
    if (v.size() != 4) {
        return false;
    }
    for (char16_t& c : v) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c + 32);
        }
    }
    return v == u"open";
}

// A phone path ("\My Documents\x.txt") names a file under the device root;
// anything else (a URL) goes to the opener as it is.
std::string Target(const std::u16string& file) {
    if (!file.empty() && file[0] == u'\\') {
        return platform::DevicePath(file).string();
    }
    return platform::Utf16ToUtf8(file);
}

} // namespace

BOOL ShellExecuteEx(SHELLEXECUTEINFO* info) {
    if (info == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->hProcess = nullptr;
    info->hInstApp = kNoAssociation;
    if (!IsOpenVerb(info->lpVerb)) {
        SetLastError(ERROR_INVALID_PARAMETER); // only "open" is known
        return FALSE;
    }
    if (info->lpFile == nullptr || info->lpFile[0] == 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::string target = Target(info->lpFile);
    // An argument that starts with "-" would be read as an option of the
    // opener; a URL or a path never does.
    if (target.empty() || target[0] == '-' || target.find('\0') != std::string::npos) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    const std::string opener = platform::Device().opener;
    if (opener.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    char* argv[] = {const_cast<char*>(opener.c_str()), const_cast<char*>(target.c_str()), nullptr};
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, opener.c_str(), &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        SetLastError(rc == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::thread([pid] {
        int status;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    info->hInstApp = kLaunched;
    return TRUE;
}
