// The bundled quote server on cpp-httplib (see QuoteServer.h).
#include "server/QuoteServer.h"

#include <httplib.h>

#include <csignal>
#include <pthread.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

namespace server {
namespace {

// A fixed set of worker threads with a bounded queue. When the queue is
// full, enqueue (called by the accepting thread) waits for room, so a flood
// of connections waits in the kernel's backlog rather than growing memory.
class BoundedPool : public httplib::TaskQueue {
  public:
    BoundedPool(std::size_t threads, std::size_t maxQueued) : maxQueued_(maxQueued) {
        for (std::size_t i = 0; i < threads; ++i)
            workers_.emplace_back([this] { Work(); });
    }

    void enqueue(std::function<void()> fn) override {
        std::unique_lock lock(mutex_);
        notFull_.wait(lock, [&] { return jobs_.size() < maxQueued_ || shutdown_; });
        jobs_.push_back(std::move(fn));
        notEmpty_.notify_one();
    }

    void shutdown() override {
        {
            std::lock_guard lock(mutex_);
            shutdown_ = true;
        }
        notEmpty_.notify_all();
        notFull_.notify_all();
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
            std::function<void()> job;
            {
                std::unique_lock lock(mutex_);
                notEmpty_.wait(lock, [&] { return !jobs_.empty() || shutdown_; });
                // Connections already accepted are still served at shutdown.
                if (jobs_.empty())
                    return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
                notFull_.notify_one();
            }
            job();
        }
    }

    std::size_t maxQueued_;
    std::vector<std::thread> workers_;
    std::deque<std::function<void()>> jobs_;
    bool shutdown_ = false;
    std::mutex mutex_;
    std::condition_variable notEmpty_;
    std::condition_variable notFull_;
};

// A path as an exact-match regular expression for httplib's router.
std::string Exact(std::string_view path) {
    std::string pattern;
    for (char c : path) {
        if (std::string_view(".?*+()[]{}^$|\\").find(c) != std::string_view::npos)
            pattern += '\\';
        pattern += c;
    }
    return pattern;
}

template <typename Rep, typename Period>
std::pair<time_t, time_t> SecondsAndMicros(std::chrono::duration<Rep, Period> d) {
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(d).count();
    return {static_cast<time_t>(us / 1000000), static_cast<time_t>(us % 1000000)};
}

constexpr const char* kHtml = "text/html; charset=utf-8";

} // namespace

QuoteServer::QuoteServer(ServerOptions options, const platform::DeviceClock& clock)
    : options_(std::move(options)), clock_(clock), market_(options_.seed),
      serviceText_(RenderServiceInfo(options_.service)) {}

QuoteServer::~QuoteServer() {
    Stop();
}

Reply QuoteServer::Respond(std::string_view path, std::string_view code) const {
    const platform::LocalTime now = platform::ToLocalTime(clock_.NowEpochMs(), options_.timeZone);
    const MarketMoment moment = MomentAt(now);
    if (path == kStockPath) {
        std::optional<StockQuote> stock = market_.Stock(code, moment);
        if (!stock)
            return {200, kHtml, RenderNotFoundPage(code)};
        return {200, kHtml,
                RenderStockPage(*stock, market_.ShIndex(moment), market_.SzIndex(moment),
                                moment.stamp)};
    }
    if (path == kShIndexPath)
        return {200, kHtml, RenderIndexPage(market_.ShIndex(moment), moment.stamp)};
    if (path == kSzIndexPath)
        return {200, kHtml, RenderIndexPage(market_.SzIndex(moment), moment.stamp)};
    if (path == kServicePath && serviceText_)
        return {200, "text/plain; charset=GBK", *serviceText_};
    return {404, kHtml, "<html><body><p>404 Not Found</p></body></html>\n"};
}

bool QuoteServer::Bind(std::string* error) {
    if (!serviceText_) {
        if (error)
            *error = "the service values must be single lines of text that GBK can write, "
                     "and the latest version a decimal number";
        return false;
    }
    if (options_.threads == 0 || options_.maxQueued == 0) {
        if (error)
            *error = "the server needs at least one thread and one queue place";
        return false;
    }
    http_ = std::make_unique<httplib::Server>();
    httplib::Server& http = *http_;
    const std::size_t threads = options_.threads;
    const std::size_t maxQueued = options_.maxQueued;
    http.new_task_queue = [threads, maxQueued] { return new BoundedPool(threads, maxQueued); };
    auto [rs, rus] = SecondsAndMicros(options_.readTimeout);
    auto [ws, wus] = SecondsAndMicros(options_.writeTimeout);
    http.set_read_timeout(rs, rus);
    http.set_write_timeout(ws, wus);
    http.set_payload_max_length(options_.payloadLimit);
    // One request per connection, as the site's clients expect; httplib then
    // sends "Connection: close" itself.
    http.set_keep_alive_max_count(1);
    // Only SO_REUSEADDR: httplib's default also sets SO_REUSEPORT, which would
    // let a second server share a port that is already in use.
    http.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });

    auto serve = [this](std::string_view path) {
        return [this, path](const httplib::Request& req, httplib::Response& res) {
            Reply reply = Respond(path, req.get_param_value("code"));
            res.status = reply.status;
            res.set_content(reply.body, reply.contentType.c_str());
        };
    };
    for (std::string_view path : {kStockPath, kShIndexPath, kSzIndexPath, kServicePath})
        http.Get(Exact(path), serve(path));
    http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty())
            res.set_content("<html><body><p>" + std::to_string(res.status) + "</p></body></html>\n",
                            kHtml);
    });
    http.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            res.status = 500;
            res.set_content("<html><body><p>500</p></body></html>\n", kHtml);
        });

    if (options_.port == 0) {
        port_ = http.bind_to_any_port(options_.address);
    } else if (http.bind_to_port(options_.address, options_.port)) {
        port_ = options_.port;
    } else {
        port_ = -1;
    }
    if (port_ <= 0) {
        if (error)
            *error = "cannot listen on " + options_.address + ":" + std::to_string(options_.port);
        http_.reset();
        return false;
    }
    return true;
}

void QuoteServer::Serve() {
    if (http_)
        http_->listen_after_bind();
}

bool QuoteServer::Start(std::string* error) {
    if (!Bind(error))
        return false;
    serveEnded_ = false;
    thread_ = std::thread([this] {
        Serve();
        serveEnded_ = true;
    });
    // The socket already listens, so clients can connect at once; wait until
    // the accepting loop runs so that an early Stop reaches it.
    while (!http_->is_running() && !serveEnded_)
        std::this_thread::yield();
    return true;
}

void QuoteServer::Stop() {
    if (http_)
        http_->stop();
    if (thread_.joinable())
        thread_.join();
}

} // namespace server
