// The bundled quote server on cpp-httplib (see QuoteServer.h).
#include "server/QuoteServer.h"
#include "server/Gate.h"
#include "server/Gbk.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace server {
namespace {

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

constexpr const char* kHtml = "text/html; charset=utf-8";

// A connection's stream with two bounds: each read or write waits at most
// its own time-out, and all of them together end at one deadline. httplib's
// own socket stream has only the first, so a client dripping one byte per
// time-out could hold a worker for as long as its header may be. The bytes
// the gate has already read from the connection (`received`) come first.
class DeadlineStream : public httplib::Stream {
  public:
    DeadlineStream(int fd, std::string received, std::chrono::milliseconds readTimeout,
                   std::chrono::milliseconds writeTimeout,
                   std::chrono::steady_clock::time_point deadline)
        : fd_(fd), received_(std::move(received)), readTimeout_(readTimeout),
          writeTimeout_(writeTimeout), deadline_(deadline) {}

    bool is_readable() const override {
        return receivedUsed_ < received_.size() || used_ < filled_ || Wait(POLLIN, readTimeout_);
    }
    bool is_writable() const override { return Wait(POLLOUT, writeTimeout_); }

    ssize_t read(char* ptr, size_t size) override {
        if (receivedUsed_ < received_.size()) {
            size_t n = std::min(size, received_.size() - receivedUsed_);
            std::memcpy(ptr, received_.data() + receivedUsed_, n);
            receivedUsed_ += n;
            return static_cast<ssize_t>(n);
        }
        if (used_ == filled_) {
            if (!Wait(POLLIN, readTimeout_))
                return -1;
            ssize_t n;
            do
                n = ::recv(fd_, buffer_, sizeof buffer_, 0);
            while (n < 0 && errno == EINTR);
            if (n <= 0)
                return n;
            used_ = 0;
            filled_ = static_cast<size_t>(n);
        }
        size_t n = std::min(size, filled_ - used_);
        std::memcpy(ptr, buffer_ + used_, n);
        used_ += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* ptr, size_t size) override {
        if (!is_writable())
            return -1;
        ssize_t n;
        do
            n = ::send(fd_, ptr, size, MSG_NOSIGNAL);
        while (n < 0 && errno == EINTR);
        return n;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        Address(::getpeername, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        Address(::getsockname, ip, port);
    }
    socket_t socket() const override { return fd_; }

  private:
    // Waits for `events` at most `timeout`, and never past the deadline.
    bool Wait(short events, std::chrono::milliseconds timeout) const {
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline_ - std::chrono::steady_clock::now());
            auto wait = std::min(timeout, left);
            if (wait.count() <= 0)
                return false;
            pollfd p{fd_, events, 0};
            int r = ::poll(&p, 1, static_cast<int>(wait.count()));
            if (r < 0 && errno == EINTR)
                continue;
            return r > 0 && (p.revents & (events | POLLHUP | POLLERR)) != 0;
        }
    }

    template <typename Get> void Address(Get get, std::string& ip, int& port) const {
        sockaddr_storage addr{};
        socklen_t len = sizeof addr;
        ip.clear();
        port = 0;
        if (get(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            return;
        char text[INET6_ADDRSTRLEN] = {};
        if (addr.ss_family == AF_INET) {
            auto* a = reinterpret_cast<sockaddr_in*>(&addr);
            inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
            port = ntohs(a->sin_port);
        } else if (addr.ss_family == AF_INET6) {
            auto* a = reinterpret_cast<sockaddr_in6*>(&addr);
            inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
            port = ntohs(a->sin6_port);
        }
        ip = text;
    }

    int fd_;
    std::string received_;
    size_t receivedUsed_ = 0;
    std::chrono::milliseconds readTimeout_;
    std::chrono::milliseconds writeTimeout_;
    std::chrono::steady_clock::time_point deadline_;
    char buffer_[4096];
    size_t used_ = 0;
    size_t filled_ = 0;
};

} // namespace

// httplib's request processing, serving each connection the gate hands
// over through a DeadlineStream: one request, one reply, then the connection
// is closed. httplib's own accepting loop is not used.
class QuoteServer::Http : public httplib::Server {
  public:
    explicit Http(const ServerOptions& options) : options_(options) {}

    void ServeConnection(Arrival&& arrival) {
        struct Closer {
            int fd;
            ~Closer() {
                ::shutdown(fd, SHUT_RDWR);
                ::close(fd);
            }
        } closer{arrival.fd};
        DeadlineStream stream(arrival.fd, std::move(arrival.received), options_.readTimeout,
                              options_.writeTimeout, arrival.accepted + options_.requestDeadline);
        bool closed = false;
        process_request(stream, /*close_connection=*/true, closed, [](httplib::Request&) {});
    }

  private:
    const ServerOptions& options_;
};

QuoteServer::QuoteServer(ServerOptions options, const platform::DeviceClock& clock)
    : options_(std::move(options)), clock_(clock),
      serviceText_(RenderServiceInfo(options_.service)) {
    if (options_.market == MarketKind::Live) {
        options_.live.timeZone = options_.timeZone;
        auto live = std::make_unique<LiveMarket>(options_.live, clock_);
        live_ = live.get();
        source_ = std::move(live);
    } else {
        auto sim = std::make_unique<SimSource>(options_.seed, clock_, options_.timeZone);
        sim_ = sim.get();
        source_ = std::move(sim);
    }
}

QuoteServer::~QuoteServer() {
    Stop();
}

const Market& QuoteServer::GetMarket() const {
    if (sim_)
        return sim_->market();
    static const Market unused(1);
    return unused;
}

Reply QuoteServer::Respond(std::string_view path, std::string_view code,
                           std::string_view client) const {
    auto unavailable = [] {
        // No feed gave a current quote: the program takes the error status
        // for a failed fetch and its record keeps its last values.
        return Reply{503, kHtml, "<html><body><p>503 quotes unavailable</p></body></html>\n"};
    };
    if (path == kStockPath) {
        const StockAnswer answer = source_->Stock(code, client);
        if (answer.state == QuoteState::Unknown)
            return {200, kHtml, RenderNotFoundPage(code)};
        if (answer.state == QuoteState::Unavailable)
            return unavailable();
        return {200, kHtml,
                RenderStockPage(ShownStock(answer), ShownIndex(answer.sh), ShownIndex(answer.sz),
                                answer.stamp)};
    }
    if (path == kShIndexPath || path == kSzIndexPath) {
        const IndexAnswer answer =
            path == kShIndexPath ? source_->ShIndex(client) : source_->SzIndex(client);
        if (answer.state == QuoteState::Unavailable || answer.state == QuoteState::Unknown)
            return unavailable();
        return {200, kHtml, RenderIndexPage(ShownIndex(answer), answer.stamp)};
    }
    if (path == kServicePath && serviceText_)
        return {200, std::string(kServiceContentType), GbkToUtf8(*serviceText_).value_or("")};
    return {404, kHtml, "<html><body><p>404 Not Found</p></body></html>\n"};
}

bool QuoteServer::Bind(std::string* error) {
    if (!serviceText_) {
        if (error)
            *error = "the service values must be single lines of text that GBK can write, "
                     "and the latest version a decimal number";
        return false;
    }
    http_ = std::make_unique<Http>(options_);
    httplib::Server& http = *http_;
    http.set_payload_max_length(options_.payloadLimit);
    // One request per connection, as the site's clients expect; httplib then
    // sends "Connection: close" itself.
    http.set_keep_alive_max_count(1);

    auto serve = [this](std::string_view path) {
        return [this, path](const httplib::Request& req, httplib::Response& res) {
            Reply reply = Respond(path, req.get_param_value("code"), req.remote_addr);
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

    GateOptions gate;
    gate.address = options_.address;
    gate.port = options_.port;
    // A head is short (one packet from a phone): it must arrive within a
    // single read's time-out, and the whole exchange's deadline, too.
    gate.headTimeout =
        std::min({options_.headTimeout, options_.readTimeout, options_.requestDeadline});
    gate.headLimit = options_.headLimit;
    gate.maxHeld = options_.maxHeld;
    gate.threads = options_.threads;
    gate.maxQueued = options_.maxQueued;
    gate_ = std::make_unique<Gate>(gate, [http = http_.get()](Arrival&& arrival) {
        http->ServeConnection(std::move(arrival));
    });
    if (!gate_->Listen(error)) {
        gate_.reset();
        http_.reset();
        return false;
    }
    port_ = gate_->Port();
    return true;
}

void QuoteServer::Serve() {
    if (gate_)
        gate_->Run();
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
    while (!gate_->Running() && !serveEnded_)
        std::this_thread::yield();
    return true;
}

void QuoteServer::Stop() {
    if (gate_)
        gate_->Stop();
    if (thread_.joinable())
        thread_.join();
}

} // namespace server
