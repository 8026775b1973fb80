// The quote server's accepting loop and worker pool (see Gate.h).
#include "server/Gate.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <deque>
#include <list>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

namespace server {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Descriptors kept free of held connections for the workers' queue and the
// rest of the process.
constexpr std::size_t kSpareDescriptors = 64;
// Connections accepted in one turn of the loop, so that reading the held
// ones goes on during a flood.
constexpr int kAcceptsPerTurn = 512;
// How long accepting rests when the descriptor table is full and no held
// connection can make room.
constexpr std::chrono::milliseconds kFullTableRest{100};

constexpr std::string_view kHeadTooLarge = "HTTP/1.1 431 Request Header Fields Too Large\r\n"
                                           "Content-Length: 0\r\nConnection: close\r\n\r\n";

// Where the head ends in `data` (just past its blank line), searching from
// `from`; 0 while it has not ended. A blank line is "\r\n\r\n", or "\n\n"
// from clients that end lines with a bare line feed.
std::size_t HeadEnd(std::string_view data, std::size_t from) {
    for (std::size_t i = data.find('\n', from); i != std::string_view::npos;
         i = data.find('\n', i + 1)) {
        if (i + 1 < data.size() && data[i + 1] == '\n')
            return i + 2;
        if (i + 2 < data.size() && data[i + 1] == '\r' && data[i + 2] == '\n')
            return i + 3;
    }
    return 0;
}

// A fixed set of worker threads with a bounded queue. The loop never waits
// for room: TryPush refuses when the queue is full and the pool writes to
// `wakeFd` once a worker has taken a connection from it.
class WorkerPool {
  public:
    WorkerPool(std::size_t threads, std::size_t maxQueued, const Gate::Handler& serve, int wakeFd)
        : maxQueued_(maxQueued), serve_(serve), wakeFd_(wakeFd) {
        for (std::size_t i = 0; i < threads; ++i)
            workers_.emplace_back([this] { Work(); });
    }
    ~WorkerPool() { Finish(); }

    // Queues `arrival` (moving from it) unless the queue is full.
    bool TryPush(Arrival& arrival) {
        std::lock_guard lock(mutex_);
        if (jobs_.size() >= maxQueued_) {
            wantRoom_ = true;
            return false;
        }
        jobs_.push_back(std::move(arrival));
        notEmpty_.notify_one();
        return true;
    }

    // Queues `arrival`, waiting for room.
    void Push(Arrival&& arrival) {
        std::unique_lock lock(mutex_);
        notFull_.wait(lock, [&] { return jobs_.size() < maxQueued_; });
        jobs_.push_back(std::move(arrival));
        notEmpty_.notify_one();
    }

    // Serves what is queued, then ends the workers.
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
        // A client that closes before its reply is written must cost only
        // its own connection: the write fails with EPIPE instead of raising
        // SIGPIPE at the whole process.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        for (;;) {
            Arrival job;
            {
                std::unique_lock lock(mutex_);
                notEmpty_.wait(lock, [&] { return !jobs_.empty() || finishing_; });
                if (jobs_.empty())
                    return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
                notFull_.notify_one();
                if (wantRoom_) {
                    wantRoom_ = false;
                    std::uint64_t one = 1;
                    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
                }
            }
            try {
                serve_(std::move(job));
            } catch (...) {
                // The handler owns the descriptor and closes it however it
                // ends; the worker carries on with the next connection.
            }
        }
    }

    std::size_t maxQueued_;
    const Gate::Handler& serve_;
    int wakeFd_;
    std::vector<std::thread> workers_;
    std::deque<Arrival> jobs_;
    bool finishing_ = false;
    bool wantRoom_ = false;
    std::mutex mutex_;
    std::condition_variable notEmpty_;
    std::condition_variable notFull_;
};

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

} // namespace

class Gate::Loop {
  public:
    Loop(GateOptions options, Handler serve)
        : options_(std::move(options)), serve_(std::move(serve)) {}

    ~Loop() {
        CloseListening();
        for (Held& h : held_)
            ::close(h.fd);
        for (Arrival& a : ready_)
            ::close(a.fd);
        if (epollFd_ >= 0)
            ::close(epollFd_);
        if (wakeFd_ >= 0)
            ::close(wakeFd_);
    }

    bool Listen(std::string* error) {
        auto fail = [&](const std::string& why) {
            if (error)
                *error = "cannot listen on " + options_.address + ":" +
                         std::to_string(options_.port) + (why.empty() ? "" : ": " + why);
            CloseListening();
            return false;
        };
        if (options_.threads == 0 || options_.maxQueued == 0 || options_.headLimit == 0 ||
            options_.maxHeld == 0) {
            if (error)
                *error = "the server needs at least one thread, one queue place, one held "
                         "connection and room for a request head";
            return false;
        }
        const std::size_t files = RaiseDescriptorLimit();
        const std::size_t reserve = options_.threads + options_.maxQueued + kSpareDescriptors;
        cap_ = std::max<std::size_t>(
            1, std::min(options_.maxHeld, files > reserve * 2 ? files - reserve : files / 2));

        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_PASSIVE;
        addrinfo* found = nullptr;
        const std::string service = std::to_string(options_.port);
        int rc = ::getaddrinfo(options_.address.empty() ? nullptr : options_.address.c_str(),
                               service.c_str(), &hints, &found);
        if (rc != 0)
            return fail(gai_strerror(rc));
        std::string why;
        for (addrinfo* a = found; a && listenFd_ < 0; a = a->ai_next) {
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
            listenFd_ = fd;
        }
        ::freeaddrinfo(found);
        if (listenFd_ < 0)
            return fail(why);
        sockaddr_storage bound{};
        socklen_t length = sizeof bound;
        if (::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &length) != 0)
            return fail(std::strerror(errno));
        port_ = bound.ss_family == AF_INET6
                    ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                    : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);

        epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
        wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (epollFd_ < 0 || wakeFd_ < 0 || !Watch(wakeFd_))
            return fail(std::strerror(errno));
        return true;
    }

    int Port() const { return port_; }
    bool Running() const { return running_; }

    void Stop() {
        stopping_ = true;
        if (wakeFd_ >= 0) {
            std::uint64_t one = 1;
            [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
        }
    }

    void Run() {
        if (listenFd_ < 0 || ran_.exchange(true))
            return;
        WorkerPool pool(options_.threads, options_.maxQueued, serve_, wakeFd_);
        running_ = true;
        Accepting(true);
        std::vector<epoll_event> events(256);
        while (!stopping_) {
            int n = ::epoll_wait(epollFd_, events.data(), static_cast<int>(events.size()),
                                 NextWaitMs());
            if (n < 0 && errno != EINTR)
                break;
            for (int i = 0; i < n; ++i) {
                int fd = events[static_cast<std::size_t>(i)].data.fd;
                if (fd == wakeFd_) {
                    std::uint64_t count;
                    [[maybe_unused]] ssize_t r = ::read(wakeFd_, &count, sizeof count);
                } else if (fd == listenFd_) {
                    AcceptSome();
                } else {
                    ReadHead(fd);
                }
            }
            DropExpired();
            Dispatch(pool);
        }
        // Stopping: no new connections, none of those still sending their
        // heads; every request that has arrived is served.
        CloseListening();
        for (Held& h : held_)
            ::close(h.fd);
        held_.clear();
        byFd_.clear();
        while (!ready_.empty()) {
            pool.Push(std::move(ready_.front()));
            ready_.pop_front();
        }
        pool.Finish();
        running_ = false;
    }

  private:
    // A connection still sending its head.
    struct Held {
        int fd;
        SteadyClock::time_point accepted;
        std::string received;
    };
    using HeldList = std::list<Held>;

    bool Watch(int fd) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = fd;
        return ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &event) == 0;
    }

    void CloseListening() {
        if (listenFd_ >= 0) {
            ::close(listenFd_);
            listenFd_ = -1;
        }
    }

    void Accepting(bool on) {
        if (on == accepting_ || listenFd_ < 0)
            return;
        if (on ? Watch(listenFd_) : ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, listenFd_, nullptr) == 0)
            accepting_ = on;
    }

    void Drop(HeldList::iterator it) {
        byFd_.erase(it->fd);
        ::close(it->fd); // also leaves the epoll set
        held_.erase(it);
    }

    void AcceptSome() {
        for (int i = 0; i < kAcceptsPerTurn; ++i) {
            int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO)
                    continue;
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                    // Room for a new connection is made at the expense of
                    // the one that has waited longest for its head.
                    if (!held_.empty()) {
                        Drop(held_.begin());
                        continue;
                    }
                    restUntil_ = SteadyClock::now() + kFullTableRest;
                    Accepting(false);
                }
                return;
            }
            if (held_.size() >= cap_)
                Drop(held_.begin());
            if (!Watch(fd)) {
                ::close(fd);
                continue;
            }
            held_.push_back({fd, SteadyClock::now(), {}});
            byFd_[fd] = std::prev(held_.end());
        }
    }

    void ReadHead(int fd) {
        auto found = byFd_.find(fd);
        if (found == byFd_.end())
            return;
        HeldList::iterator it = found->second;
        char buffer[4096];
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
        if (n <= 0) {
            Drop(it); // closed or failed before its request was complete
            return;
        }
        std::string& received = it->received;
        const std::size_t from = received.size() >= 2 ? received.size() - 2 : 0;
        received.append(buffer, static_cast<std::size_t>(n));
        const std::size_t end = HeadEnd(received, from);
        if (end == 0 && received.size() < options_.headLimit)
            return;
        if (end == 0 || end > options_.headLimit) {
            [[maybe_unused]] ssize_t sent =
                ::send(fd, kHeadTooLarge.data(), kHeadTooLarge.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            Drop(it);
            return;
        }
        ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
        int flags = ::fcntl(fd, F_GETFL);
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        ready_.push_back({fd, std::move(received), it->accepted});
        byFd_.erase(found);
        held_.erase(it);
    }

    // Connections are held in the order they were accepted, so the first
    // one's head deadline is the earliest.
    void DropExpired() {
        const SteadyClock::time_point now = SteadyClock::now();
        while (!held_.empty() && held_.front().accepted + options_.headTimeout <= now)
            Drop(held_.begin());
    }

    // Hands arrived requests to the workers; accepts only while none waits
    // for a place in their queue.
    void Dispatch(WorkerPool& pool) {
        while (!ready_.empty() && pool.TryPush(ready_.front()))
            ready_.pop_front();
        Accepting(ready_.empty() && SteadyClock::now() >= restUntil_);
    }

    int NextWaitMs() const {
        std::optional<SteadyClock::time_point> next;
        if (!held_.empty())
            next = held_.front().accepted + options_.headTimeout;
        if (!accepting_ && ready_.empty() && (!next || restUntil_ < *next))
            next = restUntil_;
        if (!next)
            return -1;
        auto left = std::chrono::ceil<std::chrono::milliseconds>(*next - SteadyClock::now());
        return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, 60000));
    }

    GateOptions options_;
    Handler serve_;
    int listenFd_ = -1;
    int epollFd_ = -1;
    int wakeFd_ = -1;
    int port_ = 0;
    std::size_t cap_ = 1;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> ran_{false};
    bool accepting_ = false;
    SteadyClock::time_point restUntil_{};
    HeldList held_;
    std::unordered_map<int, HeldList::iterator> byFd_;
    std::deque<Arrival> ready_;
};

Gate::Gate(GateOptions options, Handler serve)
    : loop_(std::make_unique<Loop>(std::move(options), std::move(serve))) {}

Gate::~Gate() {
    Stop();
}

bool Gate::Listen(std::string* error) {
    return loop_->Listen(error);
}
int Gate::Port() const {
    return loop_->Port();
}
void Gate::Run() {
    loop_->Run();
}
bool Gate::Running() const {
    return loop_->Running();
}
void Gate::Stop() {
    loop_->Stop();
}

} // namespace server
