// Every channel against a loopback stand-in answering in the service's
// documented shapes: the request it sends (target, headers, body, and the
// DingTalk and Feishu signatures for a fixed time) and the verdict on each
// documented success and failure reply. Then the replies that never come,
// and mail through a real SMTP server on loopback.
#include "push/Channels.h"
#include "push/Config.h"
#include "tests/support/PushStandIn.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using nlohmann::json;
using push::Verdict;
using testsupport::PushStandIn;

constexpr std::int64_t kWallMs = 1700000000000; // 2023-11-14 22:13:20 UTC
constexpr std::int64_t kAnyWait = -1, kSomeWait = -2;

push::Message TestMessage() {
    push::Message m;
    m.id = "sa1700000000000-42-7";
    m.title = "瞰市";
    m.text = "浦发银行(600000)：您设置的卖出价位10.00元已经达到";
    m.code = "600000";
    m.name = "浦发银行";
    m.price = "10.05";
    m.target = "10.00";
    m.side = "10.10";
    m.time = "10:31:05";
    m.kind = "H";
    return m;
}

struct Row {
    Row(std::string url, PushStandIn::Reply reply, Verdict verdict, std::string reason,
        std::int64_t waitMs = 0, std::string target = {}, std::string body = {},
        std::map<std::string, std::string> headers = {})
        : url(std::move(url)), reply(std::move(reply)), verdict(verdict), reason(std::move(reason)),
          waitMs(waitMs), target(std::move(target)), body(std::move(body)),
          headers(std::move(headers)) {}
    std::string url; // "{B}": the stand-in's base address, "{H}": its host:port
    PushStandIn::Reply reply;
    Verdict verdict;
    std::string reason;                         // part of the reason
    std::int64_t waitMs;                        // kAnyWait: not checked, kSomeWait: more than 0
    std::string target;                         // the request's path and query ("": not checked)
    std::string body;                           // JSON compared as JSON, or text ("": not checked)
    std::map<std::string, std::string> headers; // headers the request must carry
};

const std::string kWhole = "瞰市\n浦发银行(600000)：您设置的卖出价位10.00元已经达到";

std::vector<Row> Rows() {
    const std::string plain =
        R"({"title":"瞰市","content":"浦发银行(600000)：您设置的卖出价位10.00元已经达到","template":"txt","token":"ppTOKEN123456"})";
    const std::string robotText = json{{"msgtype", "text"}, {"text", {{"content", kWhole}}}}.dump();
    return {
        // PushPlus: code in the body; 900 is the daily limit (until tomorrow).
        {"pushplus://ppTOKEN123456?base={B}",
         {200, R"({"code":200,"msg":"请求成功","data":"x"})"},
         Verdict::Delivered,
         "",
         0,
         "/send",
         plain,
         {{"Content-Type", "application/json; charset=utf-8"}}},
        {"pushplus://ppTOKEN123456?base={B}",
         {200, R"({"code":903,"msg":"无效的用户token"})"},
         Verdict::GiveUp,
         "code 903 无效的用户token"},
        {"pushplus://ppTOKEN123456?base={B}",
         {200, R"({"code":905,"msg":"账户未进行实名认证"})"},
         Verdict::GiveUp,
         "code 905"},
        {"pushplus://ppTOKEN123456?base={B}",
         {200, R"({"code":900,"msg":"用户账号使用受限"})"},
         Verdict::Retry,
         "code 900",
         kSomeWait},
        {"pushplus://ppTOKEN123456?base={B}",
         {200, R"({"code":500,"msg":"服务器错误"})"},
         Verdict::Retry,
         "code 500",
         0},
        // ServerChan: code 0 is queued; the sctp keys go under /send/.
        {"schan://SCT123456abcdefg?base={B}",
         {200, R"({"code":0,"message":"","data":{}})"},
         Verdict::Delivered,
         "",
         0,
         "/SCT123456abcdefg.send",
         R"({"title":"瞰市","desp":"浦发银行(600000)：您设置的卖出价位10.00元已经达到"})"},
        {"schan://sctp7777tABCDEFGHIJ?base={B}",
         {200, R"({"code":0,"message":"SUCCESS"})"},
         Verdict::Delivered,
         "",
         0,
         "/send/sctp7777tABCDEFGHIJ.send"},
        {"schan://SCT123456abcdefg?base={B}",
         {200, R"({"code":40001,"message":"bad pushkey"})"},
         Verdict::GiveUp,
         "code 40001 bad pushkey"},
        {"schan://SCT123456abcdefg?base={B}",
         {502, "<html>bad gateway</html>"},
         Verdict::Retry,
         "HTTP 502"},
        // WeCom group robot.
        {"wecombot://wecomKEY-0001?base={B}",
         {200, R"({"errcode":0,"errmsg":"ok"})"},
         Verdict::Delivered,
         "",
         0,
         "/cgi-bin/webhook/send?key=wecomKEY-0001",
         robotText},
        {"wecombot://wecomKEY-0001?base={B}",
         {200, R"({"errcode":45009,"errmsg":"api freq out of limit"})"},
         Verdict::Retry,
         "errcode 45009"},
        {"wecombot://wecomKEY-0001?base={B}",
         {200, R"({"errcode":93000,"errmsg":"invalid webhook url"})"},
         Verdict::GiveUp,
         "errcode 93000 invalid webhook url"},
        // DingTalk: signed with the secret for the fixed time; 130101 waits ten minutes.
        {"dingtalk://SECmadeup0123456789@dtTOKEN0001?base={B}",
         {200, R"({"errcode":0,"errmsg":"ok"})"},
         Verdict::Delivered,
         "",
         0,
         "/robot/"
         "send?access_token=dtTOKEN0001&timestamp=1700000000000&sign=zg0OgQr%2FaWW8mc%2BJNXVkK%"
         "2Foj8TPUV3lFeEfjB%2F%2BZF3o%3D",
         robotText},
        {"dingtalk://dtTOKEN0001?base={B}",
         {200, R"({"errcode":0,"errmsg":"ok"})"},
         Verdict::Delivered,
         "",
         0,
         "/robot/send?access_token=dtTOKEN0001"},
        {"dingtalk://dtTOKEN0001?base={B}",
         {200, R"({"errcode":130101,"errmsg":"send too fast"})"},
         Verdict::Retry,
         "errcode 130101",
         600000},
        {"dingtalk://dtTOKEN0001?base={B}",
         {200, R"({"errcode":310000,"errmsg":"sign not match"})"},
         Verdict::GiveUp,
         "errcode 310000 sign not match"},
        // Feishu: the signature is the HMAC of nothing under "<s>\n<secret>".
        {"feishu://feishuMadeUpSecret@fsHOOK-0001?base={B}",
         {200, R"({"code":0,"msg":"success","data":{}})"},
         Verdict::Delivered,
         "",
         0,
         "/open-apis/bot/v2/hook/fsHOOK-0001",
         json{{"msg_type", "text"},
              {"content", {{"text", kWhole}}},
              {"timestamp", "1700000000"},
              {"sign", "BtEt/9RdG+3njfKBXXKglv7P+EFRiwRrcIT6eULX0es="}}
             .dump()},
        {"feishu://fsHOOK-0001?base={B}",
         {200, R"({"StatusCode":0,"StatusMessage":"success"})"},
         Verdict::Delivered,
         ""},
        {"feishu://fsHOOK-0001?base={B}",
         {200,
          R"({"code":19021,"msg":"sign match fail or timestamp is not within one hour from current time"})"},
         Verdict::GiveUp,
         "code 19021"},
        {"feishu://fsHOOK-0001?base={B}",
         {200, R"({"code":11232,"msg":"frequency limited"})"},
         Verdict::Retry,
         "code 11232"},
        // Bark (self-hosted on the stand-in's host).
        {"bark://{H}/barkDEVICE01",
         {200, R"({"code":200,"message":"success","timestamp":1})"},
         Verdict::Delivered,
         "",
         0,
         "/push",
         R"({"device_key":"barkDEVICE01","title":"瞰市","body":"浦发银行(600000)：您设置的卖出价位10.00元已经达到","group":"stockat","level":"timeSensitive"})"},
        {"bark://{H}/barkDEVICE01",
         {400, R"({"code":400,"message":"failed to get device token"})"},
         Verdict::GiveUp,
         "code 400 failed to get device token"},
        {"bark://{H}/barkDEVICE01",
         {500, R"({"code":500,"message":"push failed"})"},
         Verdict::Retry,
         "HTTP 500"},
        // ntfy: the text as the body, the title as an encoded word, the sequence id.
        {"ntfy://{H}/alerts-topic",
         {200, R"({"id":"x","event":"message"})"},
         Verdict::Delivered,
         "",
         0,
         "/alerts-topic",
         "浦发银行(600000)：您设置的卖出价位10.00元已经达到",
         {{"Title", "=?UTF-8?B?556w5biC?="}, {"X-Sequence-ID", "sa1700000000000-42-7"}}},
        {"ntfy://{H}/alerts-topic",
         {429, R"({"code":42901,"http":429,"error":"limit reached: too many requests"})"},
         Verdict::Retry,
         "HTTP 429: limit reached"},
        {"ntfy://{H}/alerts-topic",
         {403, R"({"code":40301,"http":403,"error":"forbidden"})"},
         Verdict::GiveUp,
         "HTTP 403: forbidden"},
        {"ntfy://alerts-topic?base={B}", {200, "{}"}, Verdict::Delivered, "", 0, "/alerts-topic"},
        // Telegram: retry_after in seconds.
        {"tgram://123456:tgBOTTOKEN/98765?base={B}",
         {200, R"({"ok":true,"result":{}})"},
         Verdict::Delivered,
         "",
         0,
         "/bot123456:tgBOTTOKEN/sendMessage",
         json{{"chat_id", "98765"}, {"text", kWhole}}.dump()},
        {"tgram://123456:tgBOTTOKEN/98765?base={B}",
         {429,
          R"({"ok":false,"error_code":429,"description":"Too Many Requests: retry after 7","parameters":{"retry_after":7}})"},
         Verdict::Retry,
         "HTTP 429: Too Many Requests",
         7000},
        {"tgram://123456:tgBOTTOKEN/98765?base={B}",
         {401, R"({"ok":false,"error_code":401,"description":"Unauthorized"})"},
         Verdict::GiveUp,
         "HTTP 401: Unauthorized"},
        // Gotify.
        {"gotify://{H}/gtAPPTOKEN1",
         {200, R"({"id":25,"appid":1})"},
         Verdict::Delivered,
         "",
         0,
         "/message?token=gtAPPTOKEN1",
         R"({"title":"瞰市","message":"浦发银行(600000)：您设置的卖出价位10.00元已经达到","priority":8})"},
        {"gotify://{H}/gtAPPTOKEN1",
         {401,
          R"({"error":"Unauthorized","errorCode":401,"errorDescription":"you need to provide a valid access token or user credentials to access this api"})"},
         Verdict::GiveUp,
         "HTTP 401: you need to provide a valid access token"},
        // The JSON webhook: the alert's fields.
        {"json://{H}/hooks/stockat",
         {204, ""},
         Verdict::Delivered,
         "",
         0,
         "/hooks/stockat",
         R"({"title":"瞰市","text":"浦发银行(600000)：您设置的卖出价位10.00元已经达到","code":"600000","name":"浦发银行","price":"10.05","target":"10.00","side":"10.10","time":"10:31:05","kind":"H"})"},
        {"json://{H}/hooks/stockat", {503, "busy"}, Verdict::Retry, "HTTP 503: busy"},
    };
}

std::string Fill(std::string url, const PushStandIn& s) {
    for (auto [from, to] : {std::pair<std::string, std::string>{"{B}", s.base()},
                            {"{H}", "127.0.0.1:" + std::to_string(s.port())}}) {
        if (size_t at = url.find(from); at != std::string::npos) {
            url.replace(at, from.size(), to);
        }
    }
    return url;
}

TEST(PushChannels, SendWhatTheServiceExpectsAndJudgeItsReply) {
    for (const Row& row : Rows()) {
        SCOPED_TRACE(row.url + " answered " + std::to_string(row.reply.status) + " " +
                     row.reply.body);
        PushStandIn service({row.reply});
        std::string error;
        std::optional<push::Channel> channel = push::ParseChannel(Fill(row.url, service), &error);
        ASSERT_TRUE(channel) << error;
        push::Outcome o =
            push::Send(*channel, TestMessage(), kWallMs, std::chrono::milliseconds(5000));
        EXPECT_EQ(o.verdict, row.verdict) << o.reason;
        EXPECT_NE(o.reason.find(row.reason), std::string::npos) << o.reason;
        if (row.waitMs == kSomeWait) {
            EXPECT_GT(o.waitMs, 0);
        } else if (row.waitMs != kAnyWait) {
            EXPECT_EQ(o.waitMs, row.waitMs);
        }
        ASSERT_EQ(service.received().size(), 1u);
        const PushStandIn::Received got = service.received()[0];
        if (!row.target.empty()) {
            EXPECT_EQ(got.target, row.target);
        }
        if (!row.body.empty()) {
            json expected = json::parse(row.body, nullptr, false);
            if (expected.is_discarded()) {
                EXPECT_EQ(got.body, row.body);
            } else {
                EXPECT_EQ(json::parse(got.body, nullptr, false), expected) << got.body;
            }
        }
        for (const auto& [name, value] : row.headers) {
            EXPECT_EQ(got.headers.count(name) ? got.headers.at(name) : "(none)", value) << name;
        }
        // No key of the channel in what a person is shown.
        EXPECT_EQ(o.reason, push::MaskSecrets(o.reason, *channel));
    }
}

TEST(PushChannels, ANoReplyIsRetriedLaterWithinTheDeadline) {
    testsupport::ScriptedPeer stall(testsupport::ScriptedPeer::Stall());
    struct {
        std::uint16_t port;
        const char* reason;
    } cases[] = {{testsupport::ScriptedPeer::RefusedPort(), "cannot connect"},
                 {stall.port(), "no reply within"}};
    for (const auto& c : cases) {
        push::Channel channel =
            *push::ParseChannel("ntfy://127.0.0.1:" + std::to_string(c.port) + "/topic", nullptr);
        auto start = std::chrono::steady_clock::now();
        push::Outcome o =
            push::Send(channel, TestMessage(), kWallMs, std::chrono::milliseconds(500));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
        EXPECT_EQ(o.verdict, Verdict::Retry);
        EXPECT_NE(o.reason.find(c.reason), std::string::npos) << o.reason;
    }
}

// A free loopback port for a server that another process opens.
int FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    ::close(fd);
    return ntohs(a.sin_port);
}

TEST(PushChannels, MailArrivesWholeThroughARealSmtpServer) {
    namespace fs = std::filesystem;
    if (!fs::exists("/usr/bin/python3") ||
        std::system("/usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null") != 0) {
        GTEST_SKIP() << "python3-aiosmtpd is not installed (scripts/install-deps.sh)";
    }
    fs::path dir = fs::temp_directory_path() / ("stockat-mail-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    int port = FreePort();
    pid_t server = ::fork();
    if (server == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 1);
        ::dup2(null, 2);
        std::string listen = "127.0.0.1:" + std::to_string(port);
        ::execl("/usr/bin/python3", "python3", "-m", "aiosmtpd", "-n", "-l", listen.c_str(), "-c",
                "aiosmtpd.handlers.Mailbox", (dir / "box").c_str(), nullptr);
        ::_exit(127);
    }
    std::optional<push::Channel> channel =
        push::ParseChannel("mailto://127.0.0.1:" + std::to_string(port) +
                               "?to=me@example.test&from=stockat@example.test",
                           nullptr);
    ASSERT_TRUE(channel);
    push::Outcome o;
    // The server takes a moment to listen: a refused connection is a retry.
    for (int i = 0; i < 100; ++i) {
        o = push::Send(*channel, TestMessage(), kWallMs, std::chrono::milliseconds(5000));
        if (o.verdict != Verdict::Retry || o.reason.find("onnect") == std::string::npos) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(o.verdict, Verdict::Delivered) << o.reason;
    ::kill(server, SIGKILL);
    ::waitpid(server, nullptr, 0);

    std::string show =
        "/usr/bin/python3 -c 'import email,email.header,glob,sys\n"
        "f=glob.glob(sys.argv[1]+\"/new/*\")\n"
        "m=email.message_from_binary_file(open(f[0],\"rb\"))\n"
        "print(len(f), m[\"To\"], "
        "str(email.header.make_header(email.header.decode_header(m[\"Subject\"]))))\n"
        "print(m.get_payload(decode=True).decode(\"utf-8\"), end=\"\")' " +
        (dir / "box").string();
    FILE* p = ::popen(show.c_str(), "r");
    std::string text;
    char buffer[512];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, p)) {
        text.append(buffer, n);
    }
    ::pclose(p);
    EXPECT_EQ(text, "1 me@example.test 瞰市 浦发银行\n" + TestMessage().text + "\r\n");
    fs::remove_all(dir);
}

} // namespace
