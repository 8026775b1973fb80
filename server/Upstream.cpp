// A bounded GET to an upstream feed (see Upstream.h).
#include "server/Upstream.h"

#include <httplib.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace server {
namespace {

// What the caller and the request's thread share. The thread may outlive the
// caller, so it holds its own reference.
struct Exchange {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    UpstreamReply reply;
    std::unique_ptr<httplib::Client> client;
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
    const std::string hostPort =
        base.scheme + "://" +
        (base.host.find(':') != std::string::npos ? "[" + base.host + "]" : base.host) + ":" +
        std::to_string(base.port);
    exchange->client = std::make_unique<httplib::Client>(hostPort);
    httplib::Client& client = *exchange->client;
    if (!client.is_valid())
        return {0, {}, "not a feed address: " + request.base};
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
            reply.error = tooLarge ? "reply too large" : Describe(result.error());
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
