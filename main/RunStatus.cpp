// The status file of the running copy and the report of `stockat --status`
// (see RunStatus.h).
#include "main/RunStatus.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace launch {

namespace {

namespace fs = std::filesystem;

template <typename T> bool ReadNumber(std::string_view text, T& out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

// A real time as the machine's local time.
std::string LocalText(std::int64_t epochMs) {
    std::time_t seconds = static_cast<std::time_t>(epochMs / 1000);
    std::tm t{};
    localtime_r(&seconds, &t);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %Z", &t);
    return text;
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::string EncodeStatus(const RunStatus& status) {
    std::string server = status.server;
    for (char& c : server) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return "pid=" + std::to_string(status.pid) + "\nstarted=" + std::to_string(status.startedMs) +
           "\nterminal=" + (status.terminal ? "1" : "0") + "\nserver=" + server +
           "\nrefreshed=" + std::to_string(status.refreshedMs) + "\n";
}

std::optional<RunStatus> DecodeStatus(std::string_view text) {
    RunStatus status;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            continue;
        }
        std::string_view name = line.substr(0, eq);
        std::string_view value = line.substr(eq + 1);
        bool ok = true;
        if (name == "pid") {
            ok = ReadNumber(value, status.pid);
        } else if (name == "started") {
            ok = ReadNumber(value, status.startedMs);
        } else if (name == "terminal") {
            ok = value == "0" || value == "1";
            status.terminal = value == "1";
        } else if (name == "server") {
            status.server = std::string(value);
        } else if (name == "refreshed") {
            ok = ReadNumber(value, status.refreshedMs);
        }
        if (!ok) {
            return std::nullopt;
        }
    }
    if (status.pid <= 0) {
        return std::nullopt;
    }
    return status;
}

fs::path StatusPath(const fs::path& root) {
    return root / "stockat.status";
}

int CountPushOutbox(const fs::path& root) {
    std::error_code ec;
    int count = 0;
    for (auto it = fs::directory_iterator(root / "push" / "outbox", ec);
         !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::error_code typeError;
        if (!name.empty() && name.front() != '.' && it->is_regular_file(typeError)) {
            ++count;
        }
    }
    return count;
}

StatusReport DescribeStatus(bool running, const std::optional<RunStatus>& status, int outbox) {
    StatusReport report;
    report.exitCode = running ? 0 : 3;
    std::string& t = report.text;
    t = std::string("running: ") + (running ? "yes" : "no") + "\n";
    if (running && status) {
        t += "pid: " + std::to_string(status->pid) + "\n";
        t += "since: " + LocalText(status->startedMs) + "\n";
        t += std::string("terminal: ") + (status->terminal ? "yes" : "no (in the background)") +
             "\n";
        t += "quote server: " + (status->server.empty() ? "none" : status->server) + "\n";
        t += "last refresh: " +
             (status->refreshedMs > 0 ? LocalText(status->refreshedMs) : "none yet") + "\n";
    } else if (running) {
        t += "details: unknown (its status file cannot be read)\n";
    }
    t += "push outbox: " + std::to_string(outbox) + " waiting\n";
    return report;
}

void StatusKeeper::Start(const fs::path& root, const RunStatus& status) {
    path_ = StatusPath(root);
    current_ = status;
    written_.reset();
    Write();
}

void StatusKeeper::SetPid(long pid) {
    current_.pid = pid;
    Write();
}

void StatusKeeper::SetTerminal(bool shown) {
    current_.terminal = shown;
    Write();
}

void StatusKeeper::SetServer(const std::string& server) {
    current_.server = server;
    Write();
}

void StatusKeeper::SetRefreshed(std::int64_t epochMs) {
    current_.refreshedMs = epochMs;
    Write();
}

void StatusKeeper::Stop() {
    if (!path_.empty()) {
        std::error_code ec;
        fs::remove(path_, ec);
        path_.clear();
    }
}

void StatusKeeper::Write() {
    if (path_.empty() || written_ == current_) {
        return;
    }
    // Written beside and renamed over: a reader sees the old file or the new
    // one, never half of one.
    fs::path temp = path_;
    temp += ".tmp";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    bool ok = WriteAll(fd, EncodeStatus(current_));
    ok = close(fd) == 0 && ok;
    if (ok && std::rename(temp.c_str(), path_.c_str()) == 0) {
        written_ = current_;
    } else {
        unlink(temp.c_str());
    }
}

} // namespace launch
