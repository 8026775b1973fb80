// The demo's quote server process and its guard (see DemoServer.h).
#include "main/DemoServer.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace launch {

namespace {

// Set when the guard is told to end (SIGTERM): it stops the server first.
volatile sig_atomic_t guardStopping = 0;

void OnGuardSignal(int) {
    guardStopping = 1;
}

// Closes every descriptor from 3 upwards except `keep`.
void CloseOthers(int keep) {
    if (keep > 3) {
        close_range(3, static_cast<unsigned>(keep - 1), 0);
    }
    close_range(static_cast<unsigned>(std::max(keep + 1, 3)), ~0U, 0);
}

[[noreturn]] void RunGuard(const std::filesystem::path& binary,
                           const std::vector<std::string>& args,
                           const std::filesystem::path& logFile, int lifeline, int outWrite) {
    setsid();
    // The guard itself stays out of every terminal and signal of the
    // program.
    signal(SIGHUP, SIG_IGN);
    signal(SIGINT, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
    // Told to end, the guard takes the server with it: the read below is
    // interrupted (no SA_RESTART) and the loop stops.
    struct sigaction sa {};
    sa.sa_handler = OnGuardSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    pid_t server = fork();
    if (server == 0) {
        int null = open("/dev/null", O_RDONLY);
        int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        dup2(null, 0);
        dup2(outWrite, 1);
        dup2(log >= 0 ? log : null, 2);
        close_range(3, ~0U, 0);
        signal(SIGINT, SIG_DFL);
        signal(SIGPIPE, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        std::vector<char*> argv;
        std::string program = binary.string();
        argv.push_back(program.data());
        std::vector<std::string> copies = args;
        for (std::string& a : copies) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    CloseOthers(lifeline);
    if (server > 0) {
        char byte;
        while (!guardStopping) {
            ssize_t n = read(lifeline, &byte, 1);
            if (n == 0 || (n < 0 && errno != EINTR)) {
                break; // the program has ended
            }
        }
        kill(server, SIGTERM);
        waitpid(server, nullptr, 0);
    }
    _exit(0);
}

} // namespace

std::optional<int> ParseListeningLine(std::string_view line) {
    constexpr std::string_view prefix = "listening on ";
    if (line.substr(0, prefix.size()) != prefix) {
        return std::nullopt;
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    size_t colon = line.rfind(':');
    if (colon == std::string_view::npos || colon + 1 >= line.size() || line.size() - colon > 6) {
        return std::nullopt;
    }
    int port = 0;
    for (char c : line.substr(colon + 1)) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        port = port * 10 + (c - '0');
    }
    if (port <= 0 || port > 65535) {
        return std::nullopt;
    }
    return port;
}

DemoServer::~DemoServer() {
    Stop();
}

bool DemoServer::Start(const std::filesystem::path& binary, const std::vector<std::string>& args,
                       const std::filesystem::path& logFile, int timeoutMs) {
    Stop();
    error_.clear();
    if (access(binary.c_str(), X_OK) != 0) {
        error_ = "cannot run the quote server " + binary.string();
        return false;
    }
    int out[2], life[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        error_ = std::strerror(errno);
        return false;
    }
    if (pipe2(life, O_CLOEXEC) != 0) {
        error_ = std::strerror(errno);
        close(out[0]);
        close(out[1]);
        return false;
    }
    pid_t guard = fork();
    if (guard < 0) {
        error_ = std::strerror(errno);
        for (int fd : {out[0], out[1], life[0], life[1]}) {
            close(fd);
        }
        return false;
    }
    if (guard == 0) {
        close(life[1]);
        close(out[0]);
        RunGuard(binary, args, logFile, life[0], out[1]);
    }
    close(out[1]);
    close(life[0]);
    lifeline_ = life[1];
    guard_ = guard;

    // Wait for the first line.
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (line.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{out[0], POLLIN, 0};
        int rc = left.count() > 0 ? poll(&p, 1, static_cast<int>(left.count())) : 0;
        if (rc < 0 && errno == EINTR) {
            continue;
        }
        if (rc <= 0) {
            break;
        }
        char buf[256];
        ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0) {
            break; // the server ended before it said where it listens
        }
        line.append(buf, static_cast<size_t>(n));
    }
    close(out[0]);
    std::optional<int> port = ParseListeningLine(line.substr(0, line.find('\n')));
    if (!port) {
        error_ = "the quote server did not start (see " + logFile.string() + ")";
        Stop();
        return false;
    }
    port_ = *port;
    return true;
}

void DemoServer::Stop() {
    if (lifeline_ >= 0) {
        close(lifeline_);
        lifeline_ = -1;
    }
    if (guard_ > 0) {
        // Reap the guard when it is still our child (it is not once the
        // program has moved to a new process); it ends once the server has.
        waitpid(guard_, nullptr, 0);
        guard_ = -1;
    }
    port_ = 0;
}

} // namespace launch
