// Sending: the HTTP channels through cpp-httplib's OpenSSL client on a thread
// of their own (so that the deadline bounds name resolution too), mail
// through libcurl's SMTP. libcurl is Debian's well-kept SMTP client: it
// speaks AUTH, STARTTLS and implicit TLS with OpenSSL and the system's
// certificates, and bounds the whole exchange, resolution included, with one
// time-out; SMTP and TLS written by hand would be neither.
#include "push/Channels.h"

#include <curl/curl.h>
#include <httplib.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace push {
namespace {

std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

struct Exchange {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int status = 0;
    std::string body;
    std::string error;
    std::unique_ptr<httplib::Client> client;
};

std::string Describe(httplib::Error error) {
    switch (error) {
    case httplib::Error::Connection:
        return "cannot connect";
    case httplib::Error::SSLConnection:
        return "TLS handshake failed";
    case httplib::Error::SSLServerVerification:
        return "the server's certificate is not trusted";
    case httplib::Error::ConnectionTimeout:
        return "no connection within the deadline";
    case httplib::Error::Read:
        return "the reply broke off";
    default:
        return httplib::to_string(error);
    }
}

Outcome SendHttp(const Channel& c, const Message& m, std::int64_t wallMs,
                 std::chrono::milliseconds deadline) {
    Request request = BuildRequest(c, m, wallMs);
    auto exchange = std::make_shared<Exchange>();
    std::string host = c.host.find(':') != std::string::npos ? "[" + c.host + "]" : c.host;
    exchange->client =
        std::make_unique<httplib::Client>(c.scheme + "://" + host + ":" + std::to_string(c.port));
    httplib::Client& client = *exchange->client;
    if (!client.is_valid()) {
        return Judge(c, 0, {}, "not a usable address");
    }
    client.set_connection_timeout(deadline);
    client.set_read_timeout(deadline);
    client.set_write_timeout(deadline);
    client.set_keep_alive(false);
    client.set_follow_location(false);
    client.set_url_encode(false);
    if (c.scheme == "https") {
        client.enable_server_certificate_verification(true);
    }
    httplib::Headers headers;
    for (const auto& [name, value] : request.headers) {
        headers.emplace(name, value);
    }
    // The reply is read up to a bound: a verdict needs a few hundred bytes,
    // and a service that sends without end must not fill memory.
    httplib::Request post;
    post.method = "POST";
    post.path = request.target;
    post.headers = std::move(headers);
    post.headers.emplace("Content-Type", request.contentType);
    post.body = std::move(request.body);
    auto reply = std::make_shared<std::string>();
    auto status = std::make_shared<int>(0);
    post.response_handler = [status](const httplib::Response& response) {
        *status = response.status;
        return true;
    };
    post.content_receiver = [reply](const char* data, size_t length, uint64_t, uint64_t) {
        constexpr size_t kReplyLimit = 64 * 1024;
        reply->append(data, std::min(length, kReplyLimit - reply->size()));
        return reply->size() < kReplyLimit;
    };
    std::thread([exchange, post = std::move(post), reply, status] {
        httplib::Result result = exchange->client->send(post);
        std::lock_guard lock(exchange->mutex);
        if (result || (result.error() == httplib::Error::Canceled && *status != 0)) {
            exchange->status = result ? result->status : *status;
            exchange->body = *reply;
        } else {
            exchange->error = Describe(result.error());
        }
        exchange->finished = true;
        exchange->done.notify_all();
    }).detach();
    std::unique_lock lock(exchange->mutex);
    if (!exchange->done.wait_for(lock, deadline, [&] { return exchange->finished; })) {
        lock.unlock();
        // Ends a stalled connection at once; a lookup that hangs ends by
        // itself, and its thread with it.
        exchange->client->stop();
        return Judge(c, 0, {}, "no reply within " + std::to_string(deadline.count() / 1000) + " s");
    }
    return Judge(c, exchange->status, exchange->body, exchange->error);
}

struct MailSource {
    std::string text;
    size_t at = 0;
};

size_t ReadMail(char* buffer, size_t size, size_t count, void* user) {
    auto* source = static_cast<MailSource*>(user);
    size_t n = std::min(size * count, source->text.size() - source->at);
    std::memcpy(buffer, source->text.data() + source->at, n);
    source->at += n;
    return n;
}

bool IsLoopback(const std::string& host) {
    return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

Outcome SendMail(const Channel& c, const Message& m, std::int64_t wallMs,
                 std::chrono::milliseconds deadline) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CURL* curl = curl_easy_init();
    if (!curl) {
        return Outcome{Verdict::Retry, "mail: cannot start libcurl", 0, 0};
    }
    MailSource source{ComposeMail(c, m, wallMs)};
    std::string host = c.host.find(':') != std::string::npos ? "[" + c.host + "]" : c.host;
    std::string url = c.scheme + "://" + host + ":" + std::to_string(c.port);
    curl_slist* recipients = curl_slist_append(nullptr, ("<" + c.to + ">").c_str());
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, ("<" + c.from + ">").c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadMail);
    curl_easy_setopt(curl, CURLOPT_READDATA, &source);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(deadline.count()));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(deadline.count()));
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    if (!c.user.empty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, c.user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, c.secret.c_str());
    }
    // mailtos: TLS or nothing. mailto: STARTTLS when offered; a password
    // goes in the clear only to this machine.
    bool requireTls = c.secure || (!c.secret.empty() && !IsLoopback(c.host));
    curl_easy_setopt(curl, CURLOPT_USE_SSL, requireTls ? CURLUSESSL_ALL : CURLUSESSL_TRY);
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    CURLcode rc = curl_easy_perform(curl);
    long reply = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply);
    curl_slist_free_all(recipients);
    curl_easy_cleanup(curl);

    std::string what = error[0] ? error : curl_easy_strerror(rc);
    Outcome o;
    if (rc == CURLE_OK) {
        o = Outcome{Verdict::Delivered, "", static_cast<int>(reply), 0};
    } else if (rc == CURLE_LOGIN_DENIED || rc == CURLE_USE_SSL_FAILED ||
               rc == CURLE_PEER_FAILED_VERIFICATION || (reply >= 500 && reply < 600)) {
        o = Outcome{Verdict::GiveUp, "SMTP " + std::to_string(reply) + ": " + what,
                    static_cast<int>(reply), 0};
    } else {
        o = Outcome{Verdict::Retry, reply ? "SMTP " + std::to_string(reply) + ": " + what : what,
                    static_cast<int>(reply), 0};
    }
    o.reason = MaskSecrets(o.reason, c);
    return o;
}

} // namespace

Outcome Send(const Channel& channel, const Message& message, std::int64_t wallMs,
             std::chrono::milliseconds deadline) {
    if (wallMs == 0) {
        wallMs = Now();
    }
    return channel.kind == Kind::Mail ? SendMail(channel, message, wallMs, deadline)
                                      : SendHttp(channel, message, wallMs, deadline);
}

} // namespace push
