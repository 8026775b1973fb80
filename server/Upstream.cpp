// A bounded GET to an upstream feed (see Upstream.h).
#include "server/Upstream.h"

#include <httplib.h>
#include <openssl/ssl.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace server {
namespace {

// The bounds of one reply, in bytes as they come over the connection.
struct ReplyBounds {
    std::size_t headBytes;
    std::size_t headLines;
    std::size_t totalBytes;
};

// A connection's stream (plain, or TLS when `ssl` is set) that fails a read
// once the reply passes its bounds: the head's size and number of lines, and
// all bytes together. httplib's client reads any number of header lines of
// any length, and a chunk-size line of any length, into memory.
class BoundedStream : public httplib::Stream {
  public:
    BoundedStream(int fd, SSL* ssl, std::chrono::milliseconds timeout, ReplyBounds bounds,
                  bool* overflow)
        : fd_(fd), ssl_(ssl), timeout_(timeout), bounds_(bounds), overflow_(overflow) {}

    bool is_readable() const override { return (ssl_ && SSL_pending(ssl_) > 0) || Wait(POLLIN); }
    bool is_writable() const override { return Wait(POLLOUT); }

    ssize_t read(char* ptr, size_t size) override {
        if (total_ >= bounds_.totalBytes)
            return Overflow();
        size = std::min(size, bounds_.totalBytes - total_);
        ssize_t n = ssl_ ? ReadTls(ptr, size) : ReadPlain(ptr, size);
        if (n <= 0)
            return n;
        total_ += static_cast<std::size_t>(n);
        for (ssize_t i = 0; i < n && !headDone_; ++i) {
            const char c = ptr[i];
            ++headBytes_;
            if (c == '\n') {
                ++headLines_;
                headDone_ = lineLength_ == 0;
                lineLength_ = 0;
            } else if (c != '\r') {
                ++lineLength_;
            }
        }
        if (!headDone_ && (headBytes_ > bounds_.headBytes || headLines_ > bounds_.headLines))
            return Overflow();
        return n;
    }

    ssize_t write(const char* ptr, size_t size) override {
        if (!is_writable())
            return -1;
        if (ssl_) {
            int n = SSL_write(ssl_, ptr, static_cast<int>(std::min<size_t>(size, 1 << 30)));
            return n > 0 ? n : -1;
        }
        ssize_t n;
        do
            n = ::send(fd_, ptr, size, MSG_NOSIGNAL);
        while (n < 0 && errno == EINTR);
        return n;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip.clear();
        port = 0;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip.clear();
        port = 0;
    }
    socket_t socket() const override { return fd_; }

  private:
    ssize_t Overflow() {
        *overflow_ = true;
        return -1;
    }

    bool Wait(short events) const {
        pollfd p{fd_, events, 0};
        int r;
        do
            r = ::poll(&p, 1, static_cast<int>(timeout_.count()));
        while (r < 0 && errno == EINTR);
        return r > 0 && (p.revents & (events | POLLHUP | POLLERR)) != 0;
    }

    ssize_t ReadPlain(char* ptr, size_t size) {
        if (!Wait(POLLIN))
            return -1;
        ssize_t n;
        do
            n = ::recv(fd_, ptr, size, 0);
        while (n < 0 && errno == EINTR);
        return n;
    }

    ssize_t ReadTls(char* ptr, size_t size) {
        for (;;) {
            if (SSL_pending(ssl_) == 0 && !Wait(POLLIN))
                return -1;
            int n = SSL_read(ssl_, ptr, static_cast<int>(std::min<size_t>(size, 1 << 30)));
            if (n > 0)
                return n;
            int error = SSL_get_error(ssl_, n);
            if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
                continue;
            return error == SSL_ERROR_ZERO_RETURN ? 0 : -1;
        }
    }

    int fd_;
    SSL* ssl_;
    std::chrono::milliseconds timeout_;
    ReplyBounds bounds_;
    bool* overflow_;
    std::size_t total_ = 0;
    std::size_t headBytes_ = 0;
    std::size_t headLines_ = 0;
    std::size_t lineLength_ = 0;
    bool headDone_ = false;
};

// httplib's client, plain or TLS, reading its reply through a BoundedStream.
template <typename Base> class BoundedClient : public Base {
  public:
    BoundedClient(const std::string& host, int port, std::chrono::milliseconds timeout,
                  ReplyBounds bounds)
        : Base(host, port), timeout_(timeout), bounds_(bounds) {}
    bool Overflowed() const { return overflow_; }

  private:
    bool process_socket(const typename Base::Socket& socket,
                        std::function<bool(httplib::Stream&)> callback) override {
        SSL* ssl = nullptr;
        if constexpr (std::is_same_v<Base, httplib::SSLClient>)
            ssl = socket.ssl;
        BoundedStream stream(socket.sock, ssl, timeout_, bounds_, &overflow_);
        return callback(stream);
    }

    std::chrono::milliseconds timeout_;
    ReplyBounds bounds_;
    bool overflow_ = false;
};

// What the caller and the request's thread share. The thread may outlive the
// caller, so it holds its own reference.
struct Exchange {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    UpstreamReply reply;
    std::unique_ptr<httplib::ClientImpl> client;
    std::function<bool()> overflowed;
};

std::string Describe(httplib::Error error) {
    switch (error) {
    case httplib::Error::Connection:
        return "no connection";
    case httplib::Error::Read:
        return "read failed";
    case httplib::Error::Write:
        return "write failed";
    case httplib::Error::SSLConnection:
        return "TLS handshake failed";
    case httplib::Error::SSLServerVerification:
        return "server certificate not trusted";
    case httplib::Error::Canceled:
        return "reply too large";
    case httplib::Error::ConnectionTimeout:
        return "connection timed out";
    default:
        return httplib::to_string(error);
    }
}

} // namespace

std::string DefaultCaFile() {
    const char* bundle = "/etc/ssl/certs/ca-certificates.crt";
    return ::access(bundle, R_OK) == 0 ? bundle : "";
}

bool ParseUpstreamBase(const std::string& base, UpstreamBase* parsed) {
    UpstreamBase b;
    std::string rest;
    if (base.rfind("http://", 0) == 0) {
        b.scheme = "http";
        b.port = 80;
        rest = base.substr(7);
    } else if (base.rfind("https://", 0) == 0) {
        b.scheme = "https";
        b.port = 443;
        rest = base.substr(8);
    } else {
        return false;
    }
    if (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    if (rest.empty() || rest.find_first_of("/?#@ ") != std::string::npos)
        return false;
    std::string portText;
    if (rest.front() == '[') {
        size_t close = rest.find(']');
        if (close == std::string::npos || close == 1)
            return false;
        b.host = rest.substr(1, close - 1);
        if (close + 1 < rest.size()) {
            if (rest[close + 1] != ':')
                return false;
            portText = rest.substr(close + 2);
            if (portText.empty())
                return false;
        }
    } else {
        size_t colon = rest.find(':');
        b.host = rest.substr(0, colon);
        if (colon != std::string::npos) {
            portText = rest.substr(colon + 1);
            if (portText.empty())
                return false;
        }
    }
    if (b.host.empty())
        return false;
    if (!portText.empty()) {
        if (portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos)
            return false;
        b.port = std::stoi(portText);
        if (b.port == 0 || b.port > 65535)
            return false;
    }
    if (parsed)
        *parsed = std::move(b);
    return true;
}

UpstreamReply UpstreamGet(const UpstreamRequest& request) {
    UpstreamBase base;
    if (!ParseUpstreamBase(request.base, &base))
        return {0, {}, "not a feed address: " + request.base};
    auto exchange = std::make_shared<Exchange>();
    const ReplyBounds bounds{request.maxHead, request.maxHeaderLines,
                             request.maxHead + 4 * request.maxBody + 4096};
    if (base.scheme == "https") {
        auto tls = std::make_unique<BoundedClient<httplib::SSLClient>>(base.host, base.port,
                                                                       request.deadline, bounds);
        exchange->overflowed = [client = tls.get()] { return client->Overflowed(); };
        exchange->client = std::move(tls);
    } else {
        auto plain = std::make_unique<BoundedClient<httplib::ClientImpl>>(base.host, base.port,
                                                                          request.deadline, bounds);
        exchange->overflowed = [client = plain.get()] { return client->Overflowed(); };
        exchange->client = std::move(plain);
    }
    httplib::ClientImpl& client = *exchange->client;
    if (!client.is_valid())
        return {0, {}, "cannot make a client for " + request.base};
    client.set_connection_timeout(request.deadline);
    client.set_read_timeout(request.deadline);
    client.set_write_timeout(request.deadline);
    client.set_keep_alive(false);
    client.set_follow_location(false);
    // The adapters' targets are sent as they are: the feeds read their lists
    // of codes separated by plain commas, which httplib would otherwise send
    // as "%2C".
    client.set_url_encode(false);
    if (base.scheme == "https") {
        client.enable_server_certificate_verification(true);
        if (!request.caFile.empty())
            client.set_ca_cert_path(request.caFile);
    }

    httplib::Headers headers;
    for (const auto& [name, value] : request.headers)
        headers.emplace(name, value);
    std::thread([exchange, target = request.target, headers = std::move(headers),
                 maxBody = request.maxBody] {
        UpstreamReply reply;
        std::string body;
        bool tooLarge = false;
        httplib::Result result = exchange->client->Get(
            target, headers, [](const httplib::Response&) { return true; },
            [&](const char* data, size_t length) {
                if (body.size() + length > maxBody) {
                    tooLarge = true;
                    return false;
                }
                body.append(data, length);
                return true;
            });
        if (result) {
            reply.status = result->status;
            reply.body = std::move(body);
        } else {
            reply.error =
                tooLarge || exchange->overflowed() ? "reply too large" : Describe(result.error());
        }
        std::lock_guard lock(exchange->mutex);
        exchange->reply = std::move(reply);
        exchange->finished = true;
        exchange->done.notify_all();
    }).detach();

    std::unique_lock lock(exchange->mutex);
    if (!exchange->done.wait_for(lock, request.deadline, [&] { return exchange->finished; })) {
        lock.unlock();
        // Ends a stalled connection at once; a lookup that hangs ends by
        // itself, and its thread with it.
        exchange->client->stop();
        return {0, {}, "no reply within " + std::to_string(request.deadline.count()) + " ms"};
    }
    return std::move(exchange->reply);
}

} // namespace server
