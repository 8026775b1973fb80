#include "server/Log.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace server {

void LogLine(std::string_view line) {
    static std::mutex mutex;
    std::string whole = "stockat-quoted: ";
    whole.append(line);
    whole.push_back('\n');
    std::lock_guard lock(mutex);
    std::fwrite(whole.data(), 1, whole.size(), stderr);
    std::fflush(stderr);
}

} // namespace server
