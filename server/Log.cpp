#include "server/Log.h"

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>

namespace server {
namespace {

struct LogState {
    std::mutex mutex;
    std::string path; // empty: standard error
    std::uintmax_t cap = 0;
    std::FILE* file = nullptr;
    std::uintmax_t size = 0;
};

LogState& State() {
    static LogState state;
    return state;
}

// Opens the log file for appending; standard error when it cannot be.
void Open(LogState& s) {
    s.file = std::fopen(s.path.c_str(), "ab");
    std::error_code error;
    s.size = s.file ? std::filesystem::file_size(s.path, error) : 0;
    if (error)
        s.size = 0;
}

} // namespace

bool SetLogFile(const std::string& path, std::uintmax_t capBytes, std::string* error) {
    LogState& s = State();
    std::lock_guard lock(s.mutex);
    if (s.file)
        std::fclose(s.file);
    s.file = nullptr;
    s.path = path;
    s.cap = capBytes;
    if (path.empty())
        return true;
    Open(s);
    if (!s.file) {
        if (error)
            *error = "cannot write the log file " + path;
        s.path.clear();
        return false;
    }
    return true;
}

void LogLine(std::string_view line) {
    std::string whole = "stockat-quoted: ";
    whole.append(line);
    whole.push_back('\n');
    LogState& s = State();
    std::lock_guard lock(s.mutex);
    if (!s.file) {
        std::fwrite(whole.data(), 1, whole.size(), stderr);
        std::fflush(stderr);
        return;
    }
    if (s.cap > 0 && s.size + whole.size() > s.cap) {
        // Full: the file becomes the one old file kept, and a new one starts.
        std::fclose(s.file);
        std::error_code ignored;
        std::filesystem::rename(s.path, s.path + ".1", ignored);
        Open(s);
        if (!s.file) {
            std::fwrite(whole.data(), 1, whole.size(), stderr);
            return;
        }
    }
    std::fwrite(whole.data(), 1, whole.size(), s.file);
    std::fflush(s.file);
    s.size += whole.size();
}

} // namespace server
