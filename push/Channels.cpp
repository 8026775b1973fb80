// The channels' requests and the judgement of their replies, following each
// service's published API.
#include "push/Channels.h"

#include <nlohmann/json.hpp>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <ctime>

namespace push {
namespace {

using nlohmann::json;

// Cuts UTF-8 `text` to at most `bytes` bytes, never inside a character.
std::string CutUtf8(const std::string& text, size_t bytes) {
    if (text.size() <= bytes) {
        return text;
    }
    size_t n = bytes;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) {
        --n;
    }
    return text.substr(0, n);
}

// Cuts UTF-8 `text` to at most `chars` characters.
std::string CutChars(const std::string& text, size_t chars) {
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && n++ == chars) {
            return text.substr(0, i);
        }
    }
    return text;
}

// Title and text in one, for the services that have no title field.
std::string Whole(const Message& m) {
    return m.title.empty() ? m.text : m.title + "\n" + m.text;
}

std::string Dump(const json& j) {
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

Request JsonRequest(std::string target, const json& body) {
    return Request{std::move(target), {}, "application/json; charset=utf-8", Dump(body)};
}

// The body as JSON, or null when it is none.
json ParseBody(const std::string& body) {
    json j = json::parse(body, nullptr, false);
    return j.is_discarded() ? json() : j;
}

std::string Field(const json& j, const char* name) {
    if (!j.is_object() || !j.contains(name)) {
        return {};
    }
    const json& v = j[name];
    return v.is_string() ? v.get<std::string>() : v.dump();
}

std::optional<long long> Code(const json& j, const char* name) {
    if (j.is_object() && j.contains(name) && j[name].is_number_integer()) {
        return j[name].get<long long>();
    }
    return std::nullopt;
}

Outcome Make(Verdict v, int status, const std::string& what, std::int64_t waitMs = 0) {
    std::string reason = status ? "HTTP " + std::to_string(status) : std::string();
    if (!what.empty()) {
        reason += reason.empty() ? what : ": " + what;
    }
    return Outcome{v, CutUtf8(reason, 300), status, waitMs};
}

// What HTTP says when the body says nothing the channel understands.
Outcome ByStatus(int status, const std::string& what) {
    if (status >= 200 && status < 300) {
        return Make(Verdict::Delivered, status, "");
    }
    if (status == 429 || status == 408 || status >= 500) {
        return Make(Verdict::Retry, status, what);
    }
    return Make(Verdict::GiveUp, status, what);
}

// Milliseconds until the next midnight in Beijing (UTC+8, no daylight saving).
std::int64_t UntilBeijingMidnight(std::int64_t wallMs) {
    constexpr std::int64_t day = 86400000, offset = 8 * 3600000;
    return day - (wallMs + offset) % day;
}

std::int64_t Now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Judges a service that answers with {code, msg} (or errcode/errmsg) in the body.
struct BodyCodes {
    const char* codeField;
    const char* textField;
    long long ok;
    std::vector<long long> retry;
};

Outcome ByBody(int status, const json& j, const BodyCodes& codes, std::int64_t waitMs = 0) {
    std::optional<long long> code = Code(j, codes.codeField);
    std::string text = Field(j, codes.textField);
    if (!code) {
        return ByStatus(status >= 200 && status < 300 ? 502 : status,
                        status >= 200 && status < 300 ? "no result in the reply" : text);
    }
    std::string what = std::string(codes.codeField) + " " + std::to_string(*code) +
                       (text.empty() ? "" : " " + text);
    if (*code == codes.ok) {
        return Make(Verdict::Delivered, status, "");
    }
    for (long long r : codes.retry) {
        if (*code == r) {
            return Make(Verdict::Retry, status, what, waitMs);
        }
    }
    if (status >= 500) {
        return Make(Verdict::Retry, status, what);
    }
    return Make(Verdict::GiveUp, status, what);
}

} // namespace

std::string Base64(const std::string& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3), '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                            reinterpret_cast<const unsigned char*>(bytes.data()),
                            static_cast<int>(bytes.size()));
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string HmacSha256Base64(const std::string& key, const std::string& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
         reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest, &length);
    return Base64(std::string(reinterpret_cast<char*>(digest), length));
}

std::string UrlEncode(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::int64_t MinIntervalMs(Kind kind) {
    switch (kind) {
    case Kind::WeComBot:
    case Kind::DingTalk:
        return 3000; // 20 a minute per robot
    case Kind::Feishu:
        return 600; // 100 a minute
    case Kind::Telegram:
        return 1000; // about one a second per chat
    default:
        return 0;
    }
}

Request BuildRequest(const Channel& c, const Message& m, std::int64_t wallMs) {
    const std::string& base = c.basePath;
    switch (c.kind) {
    case Kind::PushPlus:
        return JsonRequest(
            base + "/send",
            {{"token", c.key}, {"title", m.title}, {"content", m.text}, {"template", "txt"}});
    case Kind::ServerChan: {
        // The older endpoint takes the key as the file name; the newer one
        // under /send/.
        std::string target =
            c.key.rfind("sctp", 0) == 0 ? "/send/" + c.key + ".send" : "/" + c.key + ".send";
        return JsonRequest(base + target, {{"title", CutChars(m.title, 32)}, {"desp", m.text}});
    }
    case Kind::WeComBot:
        return JsonRequest(base + "/cgi-bin/webhook/send?key=" + UrlEncode(c.key),
                           {{"msgtype", "text"}, {"text", {{"content", CutUtf8(Whole(m), 2048)}}}});
    case Kind::DingTalk: {
        std::string target = base + "/robot/send?access_token=" + UrlEncode(c.key);
        if (!c.secret.empty()) {
            std::string ms = std::to_string(wallMs);
            target += "&timestamp=" + ms +
                      "&sign=" + UrlEncode(HmacSha256Base64(c.secret, ms + "\n" + c.secret));
        }
        return JsonRequest(target, {{"msgtype", "text"}, {"text", {{"content", Whole(m)}}}});
    }
    case Kind::Feishu: {
        json body = {{"msg_type", "text"}, {"content", {{"text", CutUtf8(Whole(m), 18000)}}}};
        if (!c.secret.empty()) {
            std::string s = std::to_string(wallMs / 1000);
            body["timestamp"] = s;
            body["sign"] = HmacSha256Base64(s + "\n" + c.secret, "");
        }
        return JsonRequest(base + "/open-apis/bot/v2/hook/" + c.key, body);
    }
    case Kind::Bark:
        return JsonRequest(base + c.path + "/push", {{"device_key", c.key},
                                                     {"title", m.title},
                                                     {"body", m.text},
                                                     {"group", "stockat"},
                                                     {"level", "timeSensitive"}});
    case Kind::Ntfy: {
        Request r{
            base + c.path + "/" + c.key, {}, "text/plain; charset=utf-8", CutUtf8(m.text, 4096)};
        // Header values are ASCII: the title goes as an RFC 2047 encoded word.
        r.headers.emplace_back("Title", "=?UTF-8?B?" + Base64(m.title) + "?=");
        r.headers.emplace_back("Tags", "chart_with_upwards_trend");
        if (!m.id.empty()) {
            r.headers.emplace_back("X-Sequence-ID", m.id);
        }
        return r;
    }
    case Kind::Telegram:
        return JsonRequest(base + "/bot" + c.key + "/sendMessage",
                           {{"chat_id", c.secret}, {"text", CutChars(Whole(m), 4096)}});
    case Kind::Gotify:
        return JsonRequest(base + c.path + "/message?token=" + UrlEncode(c.key),
                           {{"title", m.title}, {"message", m.text}, {"priority", 8}});
    case Kind::Json:
    case Kind::Mail:
        break;
    }
    return JsonRequest(base + (c.path.empty() ? "/" : c.path), {{"title", m.title},
                                                                {"text", m.text},
                                                                {"code", m.code},
                                                                {"name", m.name},
                                                                {"price", m.price},
                                                                {"target", m.target},
                                                                {"side", m.side},
                                                                {"time", m.time},
                                                                {"kind", m.kind}});
}

Outcome Judge(const Channel& c, int status, const std::string& body,
              const std::string& transportError) {
    if (status == 0) {
        return Make(Verdict::Retry, 0, transportError.empty() ? "no reply" : transportError);
    }
    json j = ParseBody(body);
    Outcome o;
    switch (c.kind) {
    case Kind::PushPlus: {
        std::int64_t tomorrow = UntilBeijingMidnight(Now());
        o = ByBody(status, j, {"code", "msg", 200, {500, 900}});
        if (Code(j, "code") == 900) {
            o.waitMs = tomorrow;
        }
        break;
    }
    case Kind::ServerChan:
        o = ByBody(status, j, {"code", "message", 0, {}});
        break;
    case Kind::WeComBot:
        o = ByBody(status, j, {"errcode", "errmsg", 0, {45009}});
        break;
    case Kind::DingTalk:
        // Over 20 a minute the robot is throttled for ten minutes.
        o = ByBody(status, j, {"errcode", "errmsg", 0, {130101}}, 600000);
        break;
    case Kind::Feishu:
        // The older reply shape says StatusCode 0 for success.
        if (Code(j, "StatusCode") == 0 && !Code(j, "code")) {
            o = Make(Verdict::Delivered, status, "");
        } else {
            o = ByBody(status, j, {"code", "msg", 0, {11232}});
        }
        break;
    case Kind::Bark:
        o = status >= 500 ? Make(Verdict::Retry, status, Field(j, "message"))
                          : ByBody(status, j, {"code", "message", 200, {500}});
        break;
    case Kind::Telegram:
        if (j.is_object() && j.value("ok", false)) {
            o = Make(Verdict::Delivered, status, "");
        } else {
            o = ByStatus(status, Field(j, "description"));
            if (status == 429 && j.contains("parameters") &&
                j["parameters"].contains("retry_after") &&
                j["parameters"]["retry_after"].is_number_integer()) {
                o.waitMs = j["parameters"]["retry_after"].get<std::int64_t>() * 1000;
            }
        }
        break;
    case Kind::Gotify: {
        std::string what = Field(j, "errorDescription");
        o = ByStatus(status, what.empty() ? Field(j, "error") : what);
        break;
    }
    case Kind::Ntfy:
        o = ByStatus(status, Field(j, "error"));
        break;
    case Kind::Json:
    case Kind::Mail:
        o = ByStatus(status, CutUtf8(body, 200));
        break;
    }
    o.reason = MaskSecrets(o.reason, c);
    return o;
}

std::string ComposeMail(const Channel& c, const Message& m, std::int64_t wallMs) {
    char date[64];
    std::time_t t = static_cast<std::time_t>(wallMs / 1000);
    std::tm tm{};
    gmtime_r(&t, &tm);
    std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S +0000", &tm);
    std::string body = Base64(m.text + "\r\n");
    std::string wrapped;
    for (size_t i = 0; i < body.size(); i += 76) {
        wrapped += body.substr(i, 76) + "\r\n";
    }
    return "Date: " + std::string(date) + "\r\nFrom: " + c.from + "\r\nTo: " + c.to +
           "\r\nSubject: =?UTF-8?B?" + Base64(m.title + " " + CutChars(m.name, 20)) +
           "?=\r\nMessage-ID: <" + (m.id.empty() ? std::to_string(wallMs) : m.id) +
           "@stockat>\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; "
           "charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
           wrapped;
}

} // namespace push
