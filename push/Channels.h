// Sending one message through one channel, and judging the reply as the
// service means it: delivered, retry later, or give up. The Chinese services
// answer HTTP 200 with their own error code in the body, so the body decides.
#pragma once

#include "push/Config.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace push {

// What an alert says, in UTF-8.
struct Message {
    std::string id; // unique per alert and channel: ntfy's sequence id
    std::string title;
    std::string text;
    // The alert's fields, for the JSON webhook.
    std::string code, name, price, target, side, time, kind;
};

// One HTTP request as a channel builds it.
struct Request {
    std::string target; // path and query
    std::vector<std::pair<std::string, std::string>> headers;
    std::string contentType;
    std::string body;
};
// `wallMs`: real time, for the signed channels' timestamps.
Request BuildRequest(const Channel& channel, const Message& message, std::int64_t wallMs);

enum class Verdict { Delivered, Retry, GiveUp };
struct Outcome {
    Verdict verdict = Verdict::Retry;
    std::string reason;      // for a person: the HTTP status and the service's text, keys masked
    int status = 0;          // HTTP status; 0 when no reply came
    std::int64_t waitMs = 0; // at least this long before the next try (0: the usual backoff)
};
// Judges an HTTP reply (`status` 0: none came, `transportError` says why).
Outcome Judge(const Channel& channel, int status, const std::string& body,
              const std::string& transportError = {});

// Sends `message` now, within `deadline` (name resolution included).
Outcome Send(const Channel& channel, const Message& message, std::int64_t wallMs,
             std::chrono::milliseconds deadline);

// HMAC-SHA256 of `data` under `key`, base64-encoded.
std::string HmacSha256Base64(const std::string& key, const std::string& data);
// Percent-encodes everything but unreserved characters.
std::string UrlEncode(const std::string& text);
std::string Base64(const std::string& bytes);

// The least time between two sends on one channel, from the service's limits.
std::int64_t MinIntervalMs(Kind kind);

// The full message of a mail channel (headers and base64 body), as sent.
std::string ComposeMail(const Channel& channel, const Message& message, std::int64_t wallMs);

} // namespace push
