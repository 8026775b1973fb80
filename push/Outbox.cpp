// The outbox's files and its sending thread.
#include "push/Outbox.h"

#include "platform/clock.h"
#include "platform/device.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <new>
#include <pthread.h>
#include <random>
#include <sstream>
#include <unistd.h>

namespace push {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

bool FsyncPath(const fs::path& path, int flags) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Moves `from` into folder `to` (same file system) and makes it last.
bool MoveInto(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::rename(from, to / from.filename(), ec);
    if (ec) {
        return false;
    }
    FsyncPath(to, O_RDONLY | O_DIRECTORY);
    FsyncPath(from.parent_path(), O_RDONLY | O_DIRECTORY);
    return true;
}

json ToJson(const Message& m) {
    return {{"id", m.id},     {"title", m.title}, {"text", m.text},     {"code", m.code},
            {"name", m.name}, {"price", m.price}, {"target", m.target}, {"side", m.side},
            {"time", m.time}, {"kind", m.kind}};
}

Message FromJson(const json& j) {
    Message m;
    m.id = j.value("id", "");
    m.title = j.value("title", "");
    m.text = j.value("text", "");
    m.code = j.value("code", "");
    m.name = j.value("name", "");
    m.price = j.value("price", "");
    m.target = j.value("target", "");
    m.side = j.value("side", "");
    m.time = j.value("time", "");
    m.kind = j.value("kind", "");
    return m;
}

std::string Dump(const json& j) {
    return j.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::int64_t SystemNow() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The outbox whose thread runs, for the fork handlers.
Outbox* Running = nullptr;
std::once_flag ForkHandlers;

} // namespace

bool WriteAtomically(const fs::path& path, const std::string& text, bool syncFolder) {
    // Built piece by piece: g++ 12 at -O3 warns wrongly (-Wrestrict) about
    // "." + a string.
    std::string name(1, '.');
    name += path.filename().string();
    name += ".tmp";
    fs::path temp = path.parent_path() / name;
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    bool ok = done == text.size() && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    if (syncFolder) {
        FsyncPath(path.parent_path(), O_RDONLY | O_DIRECTORY);
    }
    return true;
}

int Waiting(const fs::path& folder) {
    int n = 0;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(folder / "outbox", ec)) {
        if (e.is_regular_file(ec) && e.path().filename().string()[0] != '.') {
            ++n;
        }
    }
    return n;
}

Outbox::Outbox(fs::path folder, std::vector<Channel> channels, Options options)
    : folder_(std::move(folder)), channels_(std::move(channels)), options_(std::move(options)) {
    std::error_code ec;
    for (const char* sub : {"outbox", "sent", "error"}) {
        fs::create_directories(folder_ / sub, ec);
        fs::permissions(folder_ / sub, fs::perms::owner_all, ec);
    }
    // Temporary files of a write that a crash cut short: their entry never
    // became one.
    for (const fs::directory_entry& e : fs::directory_iterator(folder_ / "outbox", ec)) {
        if (e.path().filename().string()[0] == '.') {
            fs::remove(e.path(), ec);
        }
    }
    if (!options_.send) {
        options_.send = [this](const Channel& c, const Message& m) {
            return push::Send(c, m, options_.wallNow ? options_.wallNow() : SystemNow(),
                              options_.deadline);
        };
    }
    if (!options_.jitter) {
        options_.jitter = [engine = std::minstd_rand(std::random_device{}())]() mutable {
            return std::uniform_real_distribution<double>(0, 1)(engine);
        };
    }
}

Outbox::~Outbox() {
    Stop();
}

std::int64_t Outbox::Now() const {
    return options_.now ? options_.now() : platform::Clock().NowEpochMs();
}

std::int64_t Outbox::Backoff(int attempts) {
    std::int64_t wait = kFirstRetryMs;
    for (int i = 1; i < attempts && wait < kLastRetryMs; ++i) {
        wait *= 2;
    }
    // Up to a fifth more or less, so that many entries do not retry at once.
    double factor = 0.8 + 0.4 * options_.jitter();
    return std::min<std::int64_t>(kLastRetryMs, static_cast<std::int64_t>(wait * factor));
}

int Outbox::Submit(const Message& message) {
    int written = 0;
    std::int64_t now = Now();
    for (const Channel& c : channels_) {
        std::uint64_t seq;
        {
            std::lock_guard lock(mutex_);
            seq = ++sequence_;
        }
        std::string name = std::to_string(now) + "-" + std::to_string(::getpid()) + "-" +
                           std::to_string(seq) + "-" + c.id;
        Message m = message;
        // Unique per entry and safe as ntfy's sequence id ([A-Za-z0-9_-]).
        m.id = "sa" + std::to_string(now) + "-" + std::to_string(::getpid()) + "-" +
               std::to_string(seq);
        json entry = {{"channel", c.id}, {"shown", c.masked}, {"created", now},
                      {"next", now},     {"attempts", 0},     {"message", ToJson(m)}};
        if (WriteAtomically(folder_ / "outbox" / (name + ".json"), Dump(entry), false)) {
            ++written;
        }
    }
    // One sync of the folder makes every new name last.
    FsyncPath(folder_ / "outbox", O_RDONLY | O_DIRECTORY);
    if (written) {
        Wake();
    }
    return written;
}

std::optional<std::int64_t> Outbox::RunDue() {
    std::error_code ec;
    std::vector<fs::path> files;
    for (const fs::directory_entry& e : fs::directory_iterator(folder_ / "outbox", ec)) {
        if (e.is_regular_file(ec) && e.path().filename().string()[0] != '.') {
            files.push_back(e.path());
        }
    }
    // Oldest first: names begin with the time they were written.
    std::sort(files.begin(), files.end());
    std::optional<std::int64_t> next;
    auto later = [&](std::int64_t at) { next = next ? std::min(*next, at) : at; };
    for (const fs::path& file : files) {
        {
            // Stop does not wait for the rest of a long outbox.
            std::lock_guard lock(mutex_);
            if (stopping_) {
                break;
            }
        }
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        json entry = json::parse(text.str(), nullptr, false);
        auto giveUp = [&](const std::string& shown, const std::string& reason) {
            if (entry.is_object()) {
                entry["reason"] = reason;
                entry["given_up"] = Now();
                if (WriteAtomically(folder_ / "error" / file.filename(), Dump(entry))) {
                    fs::remove(file, ec);
                    FsyncPath(folder_ / "outbox", O_RDONLY | O_DIRECTORY);
                }
            } else {
                MoveInto(file, folder_ / "error");
            }
            if (options_.onGiveUp) {
                options_.onGiveUp(shown, reason);
            }
        };
        if (!entry.is_object() || !entry.contains("message") || !entry["message"].is_object() ||
            !entry.contains("channel") || !entry["channel"].is_string()) {
            giveUp("?", "unreadable outbox entry");
            continue;
        }
        std::string id = entry["channel"].get<std::string>();
        std::string shown = entry.value("shown", "?");
        auto channel = std::find_if(channels_.begin(), channels_.end(),
                                    [&](const Channel& c) { return c.id == id; });
        if (channel == channels_.end()) {
            giveUp(shown, "the channel is no longer in push.conf");
            continue;
        }
        std::int64_t now = Now();
        std::int64_t due =
            std::max<std::int64_t>(entry.value("next", std::int64_t{0}), nextAllowed_[id]);
        if (due > now) {
            later(due);
            continue;
        }
        Outcome outcome = options_.send(*channel, FromJson(entry["message"]));
        now = Now();
        nextAllowed_[id] = now + MinIntervalMs(channel->kind);
        if (outcome.verdict == Verdict::Delivered) {
            entry["delivered"] = now;
            if (WriteAtomically(folder_ / "sent" / file.filename(), Dump(entry))) {
                fs::remove(file, ec);
                FsyncPath(folder_ / "outbox", O_RDONLY | O_DIRECTORY);
            }
            continue;
        }
        std::int64_t created = entry.value("created", now);
        if (outcome.verdict == Verdict::GiveUp) {
            giveUp(shown, outcome.reason);
            continue;
        }
        int attempts = entry.value("attempts", 0) + 1;
        std::int64_t at = now + std::max(outcome.waitMs, Backoff(attempts));
        if (at - created > kGiveUpAfterMs) {
            giveUp(shown, "not delivered in 24 hours; last: " + outcome.reason);
            continue;
        }
        entry["attempts"] = attempts;
        entry["next"] = at;
        entry["last_error"] = outcome.reason;
        WriteAtomically(file, Dump(entry));
        later(at);
    }
    return next;
}

void Outbox::Wake() {
    std::lock_guard lock(mutex_);
    woken_ = true;
    wake_.notify_all();
}

void Outbox::Start() {
    if (!thread_.joinable() && !channels_.empty()) {
        stopping_ = false;
        std::call_once(ForkHandlers,
                       [] { pthread_atfork(BeforeFork, AfterForkInParent, AfterForkInChild); });
        Running = this;
        thread_ = std::thread([this] { Run(); });
    }
}

// The forking thread holds the lock across the fork, so that the child's
// copy of the outbox's state is whole.
void Outbox::BeforeFork() {
    if (Running) {
        Running->mutex_.lock();
    }
}

void Outbox::AfterForkInParent() {
    if (Running) {
        Running->mutex_.unlock();
    }
}

void Outbox::AfterForkInChild() {
    Outbox* o = Running;
    if (!o) {
        return;
    }
    // The sending thread did not come along: its handle, lock and condition
    // are the parent's. They are made anew (never destroyed: the old thread
    // cannot be joined here), and a new thread looks at the outbox at once;
    // a send that was under way is repeated (delivery is at least once).
    new (&o->thread_) std::thread();
    new (&o->mutex_) std::mutex();
    new (&o->wake_) std::condition_variable();
    o->woken_ = true;
    if (!o->stopping_) {
        o->thread_ = std::thread([o] { o->Run(); });
    }
}

void Outbox::Stop() {
    if (Running == this) {
        Running = nullptr;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        wake_.notify_all();
    }
    if (thread_.joinable()) {
        thread_.join();
    }
}

void Outbox::Run() {
    pthread_setname_np(pthread_self(), "stockat-push");
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            woken_ = false;
            if (stopping_) {
                return;
            }
        }
        std::optional<std::int64_t> next = RunDue();
        std::optional<std::int64_t> delay;
        if (next) {
            std::int64_t deviceMs = std::max<std::int64_t>(0, *next - Now());
            delay = options_.realDelay ? options_.realDelay(deviceMs)
                                       : platform::Clock().RealDelayFor(deviceMs);
        }
        std::unique_lock lock(mutex_);
        auto ready = [&] { return woken_ || stopping_; };
        if (delay) {
            wake_.wait_for(lock, std::chrono::milliseconds(*delay + 1), ready);
        } else {
            wake_.wait(lock, ready);
        }
    }
}

} // namespace push
