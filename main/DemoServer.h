// The bundled quote server as stockat runs it (the demo's simulated market,
// or the live market when no --server is given): a child process on a free
// loopback port that lives exactly as long as the program.
//
// The program may move to a new process when it goes to the background (see
// Terminal.h), so the server is not simply its child. A small guard process
// starts the server and then waits on a pipe (the lifeline) whose writing end
// only the program holds; when the program ends in any way, crash included,
// the pipe closes, and the guard stops the server and ends too. Both run in
// a session of their own, so closing the terminal does not touch them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace launch {

// The port of the server's first line, "listening on 127.0.0.1:PORT"
// (or "[::1]:PORT"); nothing for any other line.
std::optional<int> ParseListeningLine(std::string_view line);

class DemoServer {
  public:
    DemoServer() = default;
    ~DemoServer();
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

    // Starts `binary` with `args` (which must make it listen on a loopback
    // port, port 0 for a free one) and waits up to `timeoutMs` for its
    // first line. Its error output goes to `logFile`. False, with Error()
    // telling why, when it does not start.
    bool Start(const std::filesystem::path& binary, const std::vector<std::string>& args,
               const std::filesystem::path& logFile, int timeoutMs);
    // Stops the server (closes the lifeline). Also done by the destructor.
    void Stop();

    int Port() const { return port_; }
    // The guard process (for tests: ending it ends the server too).
    pid_t GuardPid() const { return guard_; }
    const std::string& Error() const { return error_; }

  private:
    int lifeline_ = -1;
    pid_t guard_ = -1;
    int port_ = 0;
    std::string error_;
};

} // namespace launch
