// The quote server's accepting loop and worker pool (see Gate.h).
#include "server/Gate.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace server {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Descriptors kept free of held connections for the rest of the process.
constexpr std::size_t kSpareDescriptors = 64;
// Connections accepted in one turn of the loop, so that reading the held
// ones goes on during a flood.
constexpr int kAcceptsPerTurn = 512;
// How long accepting rests when the descriptor table is full and no held
// connection can make room.
constexpr std::chrono::milliseconds kFullTableRest{100};
// After a refusal, how long and how much of what the client still sends is
// read and thrown away before the connection is closed.
constexpr std::chrono::milliseconds kLingerTime{1000};
constexpr std::size_t kLingerBytes = 256 * 1024;

std::string_view ReasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Content Too Large";
    case 417:
        return "Expectation Failed";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Status";
    }
}

std::string StatusPage(int status) {
    return "<html><body><p>" + std::to_string(status) + "</p></body></html>\n";
}

std::string RefusalReply(Refusal refusal) {
    const int status = RefusalStatus(refusal);
    std::string reply = HttpReply(status, "text/html; charset=utf-8", StatusPage(status));
    if (refusal == Refusal::Method)
        reply.insert(reply.find("\r\n") + 2, "Allow: GET, HEAD\r\n");
    return reply;
}

// The address of a peer, without its port.
std::string AddressText(const sockaddr_storage& addr) {
    char text[INET6_ADDRSTRLEN] = {};
    if (addr.ss_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&addr)->sin_addr, text,
                  sizeof text);
    else if (addr.ss_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&addr)->sin6_addr, text,
                  sizeof text);
    return text;
}

// The soft limit of open descriptors, raised to the hard one first.
std::size_t RaiseDescriptorLimit() {
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0)
        return 1024;
    if (files.rlim_cur < files.rlim_max) {
        rlimit raised = files;
        raised.rlim_cur = files.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            files = raised;
    }
    constexpr rlim_t kMost = 1 << 24;
    return static_cast<std::size_t>(std::min(files.rlim_cur, kMost));
}

// An accepted request on its way to a worker, and back with its reply.
struct Job {
    int fd = -1;
    GateRequest request;
    std::string reply;
};

// A fixed set of worker threads with a bounded queue. The loop never waits:
// TryPush refuses when the queue is full, and the workers hand their replies
// back through Done, writing to `wakeFd` so that the loop takes them.
class WorkerPool {
  public:
    WorkerPool(std::size_t threads, std::size_t maxQueued, const Gate::Handler& handler, int wakeFd)
        : maxQueued_(maxQueued), handler_(handler), wakeFd_(wakeFd) {
        for (std::size_t i = 0; i < threads; ++i)
            workers_.emplace_back([this] { Work(); });
    }
    ~WorkerPool() { Finish(); }

    bool TryPush(Job& job) {
        std::lock_guard lock(mutex_);
        if (jobs_.size() >= maxQueued_)
            return false;
        jobs_.push_back(std::move(job));
        notEmpty_.notify_one();
        return true;
    }

    // Jobs not yet started are answered 503 from `when` on.
    void RefuseFrom(SteadyClock::time_point when) {
        std::lock_guard lock(mutex_);
        refuseFrom_ = when;
    }

    // The replies made since the last call.
    std::vector<Job> TakeDone() {
        std::lock_guard lock(mutex_);
        return std::exchange(done_, {});
    }

    // No job queued or being answered, and no reply waiting for the loop.
    bool Idle() {
        std::lock_guard lock(mutex_);
        return jobs_.empty() && busy_ == 0 && done_.empty();
    }

    bool Full() {
        std::lock_guard lock(mutex_);
        return jobs_.size() >= maxQueued_;
    }

    void Finish() {
        {
            std::lock_guard lock(mutex_);
            finishing_ = true;
        }
        notEmpty_.notify_all();
        for (std::thread& t : workers_)
            t.join();
        workers_.clear();
    }

  private:
    void Work() {
        for (;;) {
            Job job;
            bool refuse = false;
            {
                std::unique_lock lock(mutex_);
                notEmpty_.wait(lock, [&] { return !jobs_.empty() || finishing_; });
                if (jobs_.empty())
                    return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
                ++busy_;
                refuse = refuseFrom_ && SteadyClock::now() >= *refuseFrom_;
            }
            if (refuse) {
                job.reply = HttpReply(503, "text/html; charset=utf-8", StatusPage(503));
            } else {
                try {
                    job.reply = handler_(job.request);
                } catch (...) {
                    job.reply = HttpReply(500, "text/html; charset=utf-8", StatusPage(500));
                }
            }
            {
                std::lock_guard lock(mutex_);
                done_.push_back(std::move(job));
                --busy_;
            }
            std::uint64_t one = 1;
            [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
        }
    }

    std::size_t maxQueued_;
    const Gate::Handler& handler_;
    int wakeFd_;
    std::vector<std::thread> workers_;
    std::deque<Job> jobs_;
    std::vector<Job> done_;
    std::size_t busy_ = 0;
    bool finishing_ = false;
    std::optional<SteadyClock::time_point> refuseFrom_;
    std::mutex mutex_;
    std::condition_variable notEmpty_;
};

} // namespace

std::string HttpReply(int status, std::string_view contentType, std::string_view body,
                      bool headOnly) {
    std::string reply;
    reply.reserve(128 + (headOnly ? 0 : body.size()));
    reply += "HTTP/1.1 ";
    reply += std::to_string(status);
    reply += ' ';
    reply += ReasonPhrase(status);
    reply += "\r\nContent-Type: ";
    reply += contentType;
    reply += "\r\nContent-Length: ";
    reply += std::to_string(body.size());
    reply += "\r\nConnection: close\r\n\r\n";
    if (!headOnly)
        reply += body;
    return reply;
}

std::string HostPort(std::string_view host, int port) {
    const bool v6 = host.find(':') != std::string_view::npos;
    std::string text;
    text.reserve(host.size() + 8);
    if (v6)
        text += '[';
    text += host;
    if (v6)
        text += ']';
    text += ':';
    text += std::to_string(port);
    return text;
}

std::string DescribeCounts(const GateCounts& counts) {
    std::string text;
    std::string refused;
    for (std::size_t i = 0; i < kRefusalKinds; ++i)
        if (counts.refused[i] != 0)
            refused += std::string(refused.empty() ? "" : ", ") +
                       std::string(RefusalName(static_cast<Refusal>(i))) + " " +
                       std::to_string(counts.refused[i]);
    auto add = [&](std::string part) { text += (text.empty() ? "" : "; ") + part; };
    if (!refused.empty())
        add("refused: " + refused);
    if (counts.evicted)
        add("evicted " + std::to_string(counts.evicted));
    if (counts.saturated)
        add("saturated " + std::to_string(counts.saturated));
    if (counts.unwritten)
        add("unwritten " + std::to_string(counts.unwritten));
    return text;
}

// What the loops share: the options, the listening socket and the counts.
struct Gate::Shared {
    GateOptions options;
    Handler handler;
    std::size_t loops = 1;
    int listenFd = -1;
    int port = 0;
    std::size_t cap = 1; // connections held or written by each loop
    std::atomic<bool> stopping{false};
    std::atomic<bool> ran{false};
    std::array<std::atomic<std::uint64_t>, kRefusalKinds> refused{};
    std::atomic<std::uint64_t> evicted{0};
    std::atomic<std::uint64_t> saturated{0};
    std::atomic<std::uint64_t> unwritten{0};

    GateCounts Counts() const {
        GateCounts counts;
        for (std::size_t i = 0; i < kRefusalKinds; ++i)
            counts.refused[i] = refused[i].load();
        counts.evicted = evicted;
        counts.saturated = saturated;
        counts.unwritten = unwritten;
        return counts;
    }
};

class Gate::Loop {
  public:
    Loop(Shared& shared, bool primary) : s_(shared), primary_(primary) {}

    ~Loop() {
        for (Held& h : held_)
            ::close(h.fd);
        for (auto& [fd, out] : outs_)
            ::close(fd);
        for (Job& job : ready_)
            ::close(job.fd);
        if (epollFd_ >= 0)
            ::close(epollFd_);
        if (wakeFd_ >= 0)
            ::close(wakeFd_);
    }

    // The loop's own epoll set and wake-up descriptor.
    bool Setup() {
        epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
        wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        return epollFd_ >= 0 && wakeFd_ >= 0 && Watch(wakeFd_, EPOLLIN);
    }

    bool Listen(std::string* error) {
        auto fail = [&](const std::string& why) {
            if (error)
                *error = "cannot listen on " + HostPort(s_.options.address, s_.options.port) +
                         (why.empty() ? "" : ": " + why);
            if (s_.listenFd >= 0)
                ::close(s_.listenFd);
            s_.listenFd = -1;
            return false;
        };
        if ((!s_.options.answerInLoop && (s_.options.threads == 0 || s_.options.maxQueued == 0)) ||
            s_.options.headLimit == 0 || s_.options.maxHeld == 0) {
            if (error)
                *error = "the server needs at least one thread, one queue place, one held "
                         "connection and room for a request head";
            return false;
        }
        const std::size_t files = RaiseDescriptorLimit();
        const std::size_t reserve = s_.options.maxQueued + kSpareDescriptors;
        s_.cap = std::max<std::size_t>(
            1, std::min(s_.options.maxHeld, files > reserve * 2 ? files - reserve : files / 2));

        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_PASSIVE;
        addrinfo* found = nullptr;
        const std::string service = std::to_string(s_.options.port);
        int rc = ::getaddrinfo(s_.options.address.empty() ? nullptr : s_.options.address.c_str(),
                               service.c_str(), &hints, &found);
        if (rc != 0)
            return fail(gai_strerror(rc));
        std::string why;
        for (addrinfo* a = found; a && s_.listenFd < 0; a = a->ai_next) {
            int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                              a->ai_protocol);
            if (fd < 0) {
                why = std::strerror(errno);
                continue;
            }
            // Only SO_REUSEADDR: SO_REUSEPORT would let a second server
            // share a port that is already in use.
            int yes = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
            if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, SOMAXCONN) != 0) {
                why = std::strerror(errno);
                ::close(fd);
                continue;
            }
            s_.listenFd = fd;
        }
        ::freeaddrinfo(found);
        if (s_.listenFd < 0)
            return fail(why);
        sockaddr_storage bound{};
        socklen_t length = sizeof bound;
        if (::getsockname(s_.listenFd, reinterpret_cast<sockaddr*>(&bound), &length) != 0)
            return fail(std::strerror(errno));
        s_.port = bound.ss_family == AF_INET6
                      ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                      : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);

        if (!Setup())
            return fail(std::strerror(errno));
        return true;
    }

    bool Running() const { return running_; }

    void Wake() {
        if (wakeFd_ >= 0) {
            std::uint64_t one = 1;
            [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
        }
    }

    void Run() {
        std::optional<WorkerPool> pool;
        if (!s_.options.answerInLoop && primary_)
            pool.emplace(s_.options.threads, s_.options.maxQueued, s_.handler, wakeFd_);
        pool_ = pool ? &*pool : nullptr;
        running_ = true;
        nextLog_ = SteadyClock::now() + s_.options.logInterval;
        Accepting(true);
        std::vector<epoll_event> events(256);
        bool draining = false;
        for (;;) {
            if (s_.stopping && !draining) {
                // No new connections, none of those still sending their
                // heads; every request that has arrived is answered.
                draining = true;
                StopListening();
                while (!held_.empty())
                    Drop(held_.begin());
                if (pool_)
                    pool_->RefuseFrom(SteadyClock::now() + s_.options.drainTimeout);
            }
            if (draining && ready_.empty() && outs_.empty() && (!pool_ || pool_->Idle()))
                break;
            int n = ::epoll_wait(epollFd_, events.data(), static_cast<int>(events.size()),
                                 NextWaitMs());
            if (n < 0 && errno != EINTR)
                break;
            for (int i = 0; i < n; ++i) {
                const epoll_event& e = events[static_cast<std::size_t>(i)];
                if (e.data.fd == wakeFd_) {
                    std::uint64_t count;
                    [[maybe_unused]] ssize_t r = ::read(wakeFd_, &count, sizeof count);
                } else if (e.data.fd == s_.listenFd) {
                    AcceptSome();
                } else {
                    Ready(e.data.fd, e.events);
                }
            }
            if (pool_)
                for (Job& job : pool_->TakeDone())
                    Write(job.fd, std::move(job.reply), job.request.accepted, false, false);
            DropExpired();
            Dispatch();
            LogCounts(false);
        }
        pool.reset();
        pool_ = nullptr;
        LogCounts(true);
        running_ = false;
    }

  private:
    // A connection still sending its head.
    struct Held {
        int fd;
        SteadyClock::time_point accepted;
        std::string client;
        std::string received;
        bool watched; // in the epoll set
    };
    using HeldList = std::list<Held>;

    // A connection whose reply is being written, or which is read and
    // discarded after a refusal (`linger`) until the peer closes.
    struct Out {
        std::string data;
        std::size_t sent = 0;
        SteadyClock::time_point deadline;
        bool linger = false;
        std::size_t discarded = 0;
    };

    bool Watch(int fd, std::uint32_t events, int op = EPOLL_CTL_ADD) {
        epoll_event event{};
        event.events = events;
        event.data.fd = fd;
        return ::epoll_ctl(epollFd_, op, fd, &event) == 0;
    }

    // No loop accepts any more, and the kernel refuses new connections; the
    // descriptor itself is closed once every loop has ended.
    void StopListening() {
        if (accepting_)
            ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, s_.listenFd, nullptr);
        accepting_ = false;
        listening_ = false;
        if (s_.listenFd >= 0)
            ::shutdown(s_.listenFd, SHUT_RDWR);
    }

    void Accepting(bool on) {
        if (on == accepting_ || !listening_)
            return;
        // Each new connection wakes one loop only.
        if (on ? Watch(s_.listenFd, s_.loops > 1 ? EPOLLIN | EPOLLEXCLUSIVE : EPOLLIN)
               : ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, s_.listenFd, nullptr) == 0)
            accepting_ = on;
        if (!on)
            ++s_.saturated;
    }

    void Drop(HeldList::iterator it) {
        byFd_.erase(it->fd);
        ::close(it->fd); // also leaves the epoll set
        held_.erase(it);
    }

    void Refuse(Refusal why) { ++s_.refused[static_cast<std::size_t>(why)]; }

    // Makes room for one more connection: the oldest held one goes, or the
    // reply that has waited longest for its reader.
    bool MakeRoom() {
        if (!held_.empty()) {
            Drop(held_.begin());
            ++s_.evicted;
            return true;
        }
        if (!outDeadlines_.empty()) {
            CloseOut(outDeadlines_.begin()->second);
            ++s_.evicted;
            return true;
        }
        return false;
    }

    void AcceptSome() {
        // With several loops, each takes a few at a time, so that they share.
        const int most = s_.loops > 1 ? 16 : kAcceptsPerTurn;
        for (int i = 0; i < most; ++i) {
            sockaddr_storage peer{};
            socklen_t length = sizeof peer;
            int fd = ::accept4(s_.listenFd, reinterpret_cast<sockaddr*>(&peer), &length,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO)
                    continue;
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                    // Room for a new connection is made at the expense of
                    // the one that has waited longest.
                    if (MakeRoom())
                        continue;
                    restUntil_ = SteadyClock::now() + kFullTableRest;
                    Accepting(false);
                }
                return;
            }
            if (held_.size() + outs_.size() >= s_.cap)
                MakeRoom();
            held_.push_back({fd, SteadyClock::now(), AddressText(peer), {}, false});
            byFd_[fd] = std::prev(held_.end());
            // The request has often arrived with the connection: then it is
            // answered without the connection ever entering the epoll set.
            ReadHead(std::prev(held_.end()));
        }
    }

    void Ready(int fd, std::uint32_t events) {
        if (auto held = byFd_.find(fd); held != byFd_.end())
            ReadHead(held->second);
        else if (auto out = outs_.find(fd); out != outs_.end())
            Continue(fd, out->second, events);
    }

    void ReadHead(HeldList::iterator it) {
        char buffer[4096];
        ssize_t n = ::recv(it->fd, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            if (!it->watched && !(it->watched = Watch(it->fd, EPOLLIN)))
                Drop(it);
            return;
        }
        if (n <= 0) {
            Drop(it); // closed or failed before its request was complete
            return;
        }
        std::string& received = it->received;
        const std::size_t from = received.size() >= 3 ? received.size() - 3 : 0;
        received.append(buffer, static_cast<std::size_t>(n));
        const HeadScan scan = ScanHead(received, from);
        Refusal refusal = Refusal::None;
        if (scan.bareLineFeed)
            refusal = Refusal::BadHead;
        else if (scan.end == 0 ? received.size() >= s_.options.headLimit
                               : scan.end > s_.options.headLimit)
            refusal = Refusal::TooLarge;
        else if (scan.end == 0) {
            if (!it->watched && !(it->watched = Watch(it->fd, EPOLLIN)))
                Drop(it);
            return;
        }
        const int fd = it->fd;
        const bool watched = it->watched;
        Job job{fd, {}, {}};
        job.request.accepted = it->accepted;
        // Bytes beyond the head, or any at all after a refusal, would make
        // closing the connection reset it before the client reads its reply.
        const bool more = refusal != Refusal::None || received.size() > scan.end;
        if (refusal == Refusal::None) {
            job.request.head = ParseRequestHead(std::string_view(received).substr(0, scan.end));
            refusal = job.request.head.refusal;
        }
        job.request.client = std::move(it->client);
        byFd_.erase(fd);
        held_.erase(it);
        if (refusal != Refusal::None) {
            Refuse(refusal);
            Write(fd, RefusalReply(refusal), job.request.accepted, true, watched);
        } else if (!pool_) {
            std::string reply;
            try {
                reply = s_.handler(job.request);
            } catch (...) {
                reply = HttpReply(500, "text/html; charset=utf-8", StatusPage(500));
            }
            Write(fd, std::move(reply), job.request.accepted, more, watched);
        } else {
            if (watched)
                ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
            ready_.push_back(std::move(job));
        }
    }

    // Starts writing `data` to `fd`, and closes it once written (after
    // reading out what the client still sends when `linger`).
    void Write(int fd, std::string data, SteadyClock::time_point accepted, bool linger,
               bool watched) {
        ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            ::close(fd);
            return;
        }
        const std::size_t sent = n > 0 ? static_cast<std::size_t>(n) : 0;
        if (sent == data.size() && !linger) {
            ::close(fd);
            return;
        }
        Out out;
        out.linger = linger;
        const bool writing = sent < data.size();
        if (writing) {
            out.data = std::move(data);
            out.sent = sent;
            out.deadline = std::min(SteadyClock::now() + s_.options.writeTimeout,
                                    accepted + s_.options.requestDeadline);
        } else {
            ::shutdown(fd, SHUT_WR);
            out.deadline = SteadyClock::now() + kLingerTime;
        }
        if (!Watch(fd, writing ? EPOLLOUT : EPOLLIN, watched ? EPOLL_CTL_MOD : EPOLL_CTL_ADD)) {
            ::close(fd);
            return;
        }
        outDeadlines_.emplace(out.deadline, fd);
        outs_.emplace(fd, std::move(out));
    }

    void Continue(int fd, Out& out, std::uint32_t events) {
        if (out.sent < out.data.size()) {
            if (!(events & (EPOLLOUT | EPOLLERR | EPOLLHUP)))
                return;
            ssize_t n = ::send(fd, out.data.data() + out.sent, out.data.size() - out.sent,
                               MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
                return;
            if (n <= 0) {
                CloseOut(fd);
                return;
            }
            out.sent += static_cast<std::size_t>(n);
            if (out.sent < out.data.size())
                return;
            if (!out.linger) {
                CloseOut(fd);
                return;
            }
            out.data.clear();
            out.sent = 0;
            ::shutdown(fd, SHUT_WR);
            outDeadlines_.erase({out.deadline, fd});
            out.deadline = SteadyClock::now() + kLingerTime;
            outDeadlines_.emplace(out.deadline, fd);
            Watch(fd, EPOLLIN, EPOLL_CTL_MOD);
            return;
        }
        char buffer[4096];
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
        out.discarded += n > 0 ? static_cast<std::size_t>(n) : 0;
        if (n <= 0 || out.discarded > kLingerBytes)
            CloseOut(fd);
    }

    void CloseOut(int fd) {
        auto it = outs_.find(fd);
        if (it == outs_.end())
            return;
        outDeadlines_.erase({it->second.deadline, fd});
        outs_.erase(it);
        ::close(fd);
    }

    // Connections are held in the order they were accepted, so the first
    // one's head deadline is the earliest.
    void DropExpired() {
        const SteadyClock::time_point now = SteadyClock::now();
        while (!held_.empty() && held_.front().accepted + s_.options.headTimeout <= now) {
            Refuse(Refusal::HeadDeadline);
            Drop(held_.begin());
        }
        while (!outDeadlines_.empty() && outDeadlines_.begin()->first <= now) {
            const int fd = outDeadlines_.begin()->second;
            auto it = outs_.find(fd);
            if (it != outs_.end() && it->second.sent < it->second.data.size())
                ++s_.unwritten;
            CloseOut(fd);
        }
    }

    // Hands accepted requests to the workers; accepts only while none waits
    // for a place in their queue.
    void Dispatch() {
        while (pool_ && !ready_.empty() && pool_->TryPush(ready_.front()))
            ready_.pop_front();
        Accepting(ready_.empty() && SteadyClock::now() >= restUntil_);
    }

    void LogCounts(bool last) {
        if (!primary_ || !s_.options.log || (!last && SteadyClock::now() < nextLog_))
            return;
        nextLog_ = SteadyClock::now() + s_.options.logInterval;
        GateCounts now = s_.Counts();
        GateCounts since;
        for (std::size_t i = 0; i < kRefusalKinds; ++i)
            since.refused[i] = now.refused[i] - logged_.refused[i];
        since.evicted = now.evicted - logged_.evicted;
        since.saturated = now.saturated - logged_.saturated;
        since.unwritten = now.unwritten - logged_.unwritten;
        logged_ = now;
        if (since != GateCounts{})
            s_.options.log(DescribeCounts(since));
    }

    int NextWaitMs() const {
        std::optional<SteadyClock::time_point> next;
        auto sooner = [&](SteadyClock::time_point t) {
            if (!next || t < *next)
                next = t;
        };
        if (!held_.empty())
            sooner(held_.front().accepted + s_.options.headTimeout);
        if (!outDeadlines_.empty())
            sooner(outDeadlines_.begin()->first);
        if (listening_ && !accepting_ && ready_.empty())
            sooner(restUntil_);
        if (!ready_.empty())
            sooner(SteadyClock::now() + std::chrono::milliseconds(10));
        if (s_.options.log)
            sooner(nextLog_);
        if (!next)
            return -1;
        auto left = std::chrono::ceil<std::chrono::milliseconds>(*next - SteadyClock::now());
        return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, 60000));
    }

    Shared& s_;
    const bool primary_;
    int epollFd_ = -1;
    int wakeFd_ = -1;
    std::atomic<bool> running_{false};
    bool accepting_ = false;
    bool listening_ = true;
    SteadyClock::time_point restUntil_{};
    WorkerPool* pool_ = nullptr;
    HeldList held_;
    std::unordered_map<int, HeldList::iterator> byFd_;
    std::unordered_map<int, Out> outs_;
    std::set<std::pair<SteadyClock::time_point, int>> outDeadlines_;
    std::deque<Job> ready_;
    SteadyClock::time_point nextLog_{};
    GateCounts logged_;
};

Gate::Gate(GateOptions options, Handler handler) : shared_(std::make_unique<Shared>()) {
    shared_->loops = options.answerInLoop ? std::max<std::size_t>(1, options.loops) : 1;
    shared_->options = std::move(options);
    shared_->handler = std::move(handler);
    for (std::size_t i = 0; i < shared_->loops; ++i)
        loops_.push_back(std::make_unique<Loop>(*shared_, i == 0));
}

Gate::~Gate() {
    Stop();
    loops_.clear();
    if (shared_->listenFd >= 0)
        ::close(shared_->listenFd);
}

bool Gate::Listen(std::string* error) {
    if (!loops_[0]->Listen(error))
        return false;
    for (std::size_t i = 1; i < loops_.size(); ++i)
        if (!loops_[i]->Setup()) {
            if (error)
                *error = std::string("cannot start the server's loops: ") + std::strerror(errno);
            return false;
        }
    // Each loop holds its share of the connections.
    shared_->cap = std::max<std::size_t>(1, shared_->cap / loops_.size());
    return true;
}

int Gate::Port() const {
    return shared_->port;
}

void Gate::Run() {
    if (shared_->listenFd < 0 || shared_->ran.exchange(true))
        return;
    std::vector<std::thread> others;
    for (std::size_t i = 1; i < loops_.size(); ++i)
        others.emplace_back([loop = loops_[i].get()] { loop->Run(); });
    loops_[0]->Run();
    Stop();
    for (std::thread& t : others)
        t.join();
    ::close(shared_->listenFd);
    shared_->listenFd = -1;
}

bool Gate::Running() const {
    return loops_[0]->Running();
}

void Gate::Stop() {
    shared_->stopping = true;
    for (auto& loop : loops_)
        loop->Wake();
}

GateCounts Gate::Counts() const {
    return shared_->Counts();
}

} // namespace server
