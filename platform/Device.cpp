// The emulated device: its configuration, its clock, and where the phone's
// paths lie on this machine.

#include "platform/device.h"

#include "platform/Text.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace platform {

DeviceConfig& Device() {
    static DeviceConfig config = [] {
        DeviceConfig c;
        c.root = DefaultDeviceRoot();
        return c;
    }();
    return config;
}

// The clock object itself guards its state with its own mutex, so one
// process-wide instance can be read from any thread; SetClock replaces its
// value under that mutex.
DeviceClock& Clock() {
    static DeviceClock clock;
    return clock;
}

void SetClock(const DeviceClock& clock) {
    Clock() = clock;
}

std::filesystem::path DefaultDeviceRoot() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return std::filesystem::path(xdg) / "stockat";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const passwd* pw = getpwuid(getuid());
        home = pw != nullptr ? pw->pw_dir : nullptr;
    }
    if (home != nullptr && home[0] == '/') {
        return std::filesystem::path(home) / ".local" / "share" / "stockat";
    }
    return std::filesystem::path("/tmp") / ("stockat-" + std::to_string(getuid()));
}

std::filesystem::path RuntimeDir() {
    const DeviceConfig& device = Device();
    return device.runtimeDir.empty() ? DevicePath(u"") / ".run" : device.runtimeDir;
}

// The phone's file system has one root, no drives and no current folder:
// "\Program Files\X" and "Program Files\X" name the same file. Either slash
// separates names. A path that tries to climb out of the root ("..") or holds
// a NUL maps to nothing (an empty path), which every file call refuses.
std::filesystem::path DevicePath(const std::u16string& phonePath) {
    // An empty root must not turn phone paths into paths relative to the
    // current folder; a relative one is taken from the current folder once.
    std::filesystem::path result = Device().root.empty() ? DefaultDeviceRoot() : Device().root;
    std::error_code ec;
    if (result.is_relative()) {
        result = std::filesystem::absolute(result, ec);
    }
    std::u16string name;
    auto flush = [&]() -> bool {
        if (name == u"..") {
            return false;
        }
        if (!name.empty() && name != u".") {
            result /= Utf16ToUtf8(name);
        }
        name.clear();
        return true;
    };
    for (char16_t c : phonePath) {
        if (c == u'\0') {
            return {};
        }
        if (c == u'\\' || c == u'/') {
            if (!flush()) {
                return {};
            }
        } else {
            name.push_back(c);
        }
    }
    if (!flush()) {
        return {};
    }
    return result;
}

} // namespace platform
