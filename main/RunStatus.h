// What `stockat --status` tells about the running copy, and how that copy
// keeps it: a small text file "stockat.status" in the device folder, written
// whole (beside, then renamed over the old one) whenever one of its values
// changes, and never on a timer, so that an idle program does not wake for
// it. Whether a copy runs at all is not taken from the file (a copy killed
// with SIGKILL leaves it behind) but from the instance socket; the file only
// adds the details.
//
// The file holds one "name=value" line each: pid, started (ms since the
// epoch, real time), terminal (0 or 1), server (the quote server's
// HOST:PORT and how it came), refreshed (ms since the epoch of the last
// successful refresh, 0 before the first).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace launch {

struct RunStatus {
    long pid = 0;
    std::int64_t startedMs = 0;
    bool terminal = false;
    std::string server;
    std::int64_t refreshedMs = 0;
    bool operator==(const RunStatus&) const = default;
};

std::string EncodeStatus(const RunStatus& status);
// Nothing for a text without a positive pid or with a value that is not
// a number where one belongs; unknown names are skipped.
std::optional<RunStatus> DecodeStatus(std::string_view text);

std::filesystem::path StatusPath(const std::filesystem::path& root);
// The alerts waiting in the push outbox: the regular files of
// "<root>/push/outbox" whose names do not begin with '.'; 0 without the folder.
int CountPushOutbox(const std::filesystem::path& root);

// The report of `stockat --status`: lines for a person that a script can
// read ("name: value"), and the exit code, 0 when a copy runs and 3 when
// none does. `status` is the running copy's file, when it could be read and
// belongs to a live process; `outbox` the count of waiting alerts.
struct StatusReport {
    std::string text;
    int exitCode = 3;
};
StatusReport DescribeStatus(bool running, const std::optional<RunStatus>& status, int outbox);

// The running copy's side: holds its status and rewrites the file when a
// value changes. Writing failures are silent (the status is a courtesy).
class StatusKeeper {
  public:
    void Start(const std::filesystem::path& root, const RunStatus& status);
    void SetPid(long pid);
    void SetTerminal(bool shown);
    void SetServer(const std::string& server);
    void SetRefreshed(std::int64_t epochMs);
    // At the end of the program: the file goes.
    void Stop();
    const RunStatus& Current() const { return current_; }

  private:
    void Write();

    std::filesystem::path path_;
    RunStatus current_;
    std::optional<RunStatus> written_;
};

} // namespace launch
