// The outbox: every alert is written down, one file per alert and channel,
// before it counts as delivered, and a thread of its own sends what is due.
//
//   <folder>/outbox/  entries waiting (the number of alerts waiting is the
//                     number of regular files here whose names do not begin
//                     with '.'; a file being written begins with '.')
//   <folder>/sent/    delivered entries
//   <folder>/error/   entries given up on, with the reason
//
// Each write is atomic: a temporary file, fsync, rename, fsync of the
// folder. A failed send backs off with jitter from about 30 s to 30 min;
// a refusal or 24 hours without delivery gives up. When nothing is due the
// thread sleeps until the next retry or a new entry: no polling.
#pragma once

#include "push/Channels.h"
#include "push/Config.h"

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace push {

class Outbox {
  public:
    struct Options {
        // Device time in epoch ms (backoff, the 24 hours); the device clock
        // when empty, so that tests advance it.
        std::function<std::int64_t()> now;
        // Real time, for the signed channels; the system clock when empty.
        std::function<std::int64_t()> wallNow;
        // Real milliseconds to wait for `deviceMs` of device time; nothing:
        // wait for a wake-up. The device clock's when empty.
        std::function<std::optional<std::int64_t>(std::int64_t)> realDelay;
        std::chrono::milliseconds deadline{10000};
        // Called on the sending thread when an entry is given up on.
        std::function<void(const std::string& channel, const std::string& reason)> onGiveUp;
        // The sending itself (push::Send when empty).
        std::function<Outcome(const Channel&, const Message&)> send;
        // Jitter in [0, 1) (random when empty).
        std::function<double()> jitter;
    };

    Outbox(std::filesystem::path folder, std::vector<Channel> channels, Options options);
    ~Outbox();
    Outbox(const Outbox&) = delete;
    Outbox& operator=(const Outbox&) = delete;

    // Writes one entry per channel and wakes the sender. Returns the number
    // of entries written.
    int Submit(const Message& message);
    // Sends every entry that is due (on the caller's thread); returns the
    // device time when the next one will be.
    std::optional<std::int64_t> RunDue();

    // The sending thread: RunDue whenever an entry is due or new. A fork
    // (the program going to the background) keeps only the forking thread:
    // the child starts a sending thread of its own.
    void Start();
    void Stop();
    // Makes the sending thread look again (after a test moved the clock).
    void Wake();

    bool HasChannels() const { return !channels_.empty(); }
    const std::filesystem::path& folder() const { return folder_; }

    static constexpr std::int64_t kFirstRetryMs = 30000;
    static constexpr std::int64_t kLastRetryMs = 30 * 60000;
    static constexpr std::int64_t kGiveUpAfterMs = 24 * 3600000LL;

  private:
    std::int64_t Now() const;
    std::int64_t Backoff(int attempts);
    void Run();
    static void BeforeFork();
    static void AfterForkInParent();
    static void AfterForkInChild();

    std::filesystem::path folder_;
    std::vector<Channel> channels_;
    Options options_;
    std::map<std::string, std::int64_t> nextAllowed_; // channel id -> device time
    std::mutex mutex_;
    std::condition_variable wake_;
    bool woken_ = false;
    bool stopping_ = false;
    std::thread thread_;
    std::uint64_t sequence_ = 0;
};

// The number of entries waiting in <folder>/outbox.
int Waiting(const std::filesystem::path& folder);

// Writes `text` to `path` atomically (".name.tmp", fsync, rename, and, with
// `syncFolder`, fsync the folder). False when any step failed (nothing is
// left half-written).
bool WriteAtomically(const std::filesystem::path& path, const std::string& text,
                     bool syncFolder = true);

} // namespace push
