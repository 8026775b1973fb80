// The quote server over loopback: the pages a phone's requests get, the
// device clock moving the market, and clients that misbehave without
// stalling the others.
#include "main/DemoServer.h"
#include "server/Gbk.h"
#include "server/QuoteServer.h"

#include "tests/server/PageCut.h"
#include "tests/server/RawClient.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

using namespace servertest;

namespace server {
namespace {

std::int64_t Beijing(const char* text) {
    std::optional<std::int64_t> ms = platform::ParseLocalTime(text, "Asia/Shanghai");
    EXPECT_TRUE(ms) << text;
    return ms.value_or(0);
}

const std::string kStockRequest = PhoneRequest(std::string(kStockPath) + "?code=600036&vt=2");
const std::string kShRequest = PhoneRequest(std::string(kShIndexPath) + "?vt=2");
const std::string kSzRequest = PhoneRequest(std::string(kSzIndexPath) + "?vt=2");

class QuoteServerTest : public testing::Test {
  protected:
    void Start(ServerOptions options = {}, const char* when = "2009-03-18 10:00:00") {
        options.port = 0;
        options.seed = 11;
        server_ =
            std::make_unique<QuoteServer>(options, platform::DeviceClock::Manual(Beijing(when)));
        std::string error;
        ASSERT_TRUE(server_->Start(&error)) << error;
        port_ = server_->Port();
        ASSERT_GT(port_, 0);
    }
    void TearDown() override {
        if (server_)
            server_->Stop();
    }
    std::unique_ptr<QuoteServer> server_;
    int port_ = 0;
};

TEST_F(QuoteServerTest, ServesThePagesAPhoneAsksFor) {
    Start();
    std::string reply = Fetch(port_, kStockRequest);
    ASSERT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << reply;
    size_t close = reply.find("\r\nConnection: close\r\n");
    EXPECT_NE(close, std::string::npos);
    EXPECT_EQ(reply.find("\r\nConnection:", close + 2), std::string::npos);
    EXPECT_NE(reply.find("charset=utf-8"), std::string::npos);
    EXPECT_EQ(BodyOf(reply), server_->Respond(kStockPath, "600036").body);
    // What the phone's parser reads after converting to GBK.
    std::string gbk = Gbk(reply);
    StockQuote quote = *server_->GetMarket().Stock(
        "600036", MomentAt(platform::ToLocalTime(server_->Clock().NowEpochMs(), "Asia/Shanghai")));
    EXPECT_EQ(Cut(gbk, "股票名称:", 9, "<"), Gbk("招商银行"));
    EXPECT_EQ(Cut(gbk, "当前价", 35, "元"), FormatHundredths(quote.latest));
    EXPECT_EQ(Cut(gbk, "昨收盘", 7, "元"), FormatHundredths(quote.previousClose));
    size_t m = gbk.find(Gbk("更新时间"));
    ASSERT_NE(m, std::string::npos);
    EXPECT_EQ(gbk.substr(m + 9, 14), "03-18 10:00:00");
    EXPECT_TRUE(IndexLine(gbk, "上证"));
    EXPECT_TRUE(IndexLine(gbk, "深成"));

    std::string sh = Gbk(Fetch(port_, kShRequest));
    EXPECT_EQ(Cut(sh, "名 称:", 6, "<"), Gbk("上证指数"));
    EXPECT_NE(sh.find(Gbk("涨跌额:")), std::string::npos);
    EXPECT_EQ(Cut(sh, "stockat.test[", 13, "]"), "03-18 10:00:00");
    std::string sz = Gbk(Fetch(port_, kSzRequest));
    EXPECT_EQ(Cut(sz, "名 称:", 6, "<"), Gbk("深证成指"));
    EXPECT_NE(Cut(sz, "最 新:", 6, "<"), Cut(sh, "最 新:", 6, "<"));
}

TEST_F(QuoteServerTest, UnknownCodesAndPaths) {
    Start();
    for (const char* query : {"?code=600000&vt=2", "?code=12&vt=2", "?vt=2", "?code=%3Cx%3E"}) {
        std::string reply = Fetch(port_, PhoneRequest(std::string(kStockPath) + query));
        EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << query;
        EXPECT_EQ(reply.find("当前价:"), std::string::npos) << query;
        EXPECT_EQ(reply.find("<x>"), std::string::npos) << query;
    }
    std::string missing = Fetch(port_, PhoneRequest("/prog/wapsite/stock/other.php?vt=2"));
    EXPECT_EQ(missing.rfind("HTTP/1.1 404", 0), 0u) << missing;
}

TEST_F(QuoteServerTest, ServesTheServiceTextInUtf8) {
    ServerOptions options;
    options.service.latestVersion = "2.1";
    options.service.recommend = "甲[e]乙";
    options.service.notices = {"通知"};
    Start(options);
    std::string reply = Fetch(port_, PhoneRequest(std::string(kServicePath) + "?vt=2"));
    ASSERT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << reply;
    EXPECT_NE(reply.find("charset=UTF-8"), std::string::npos);
    EXPECT_EQ(BodyOf(reply), GbkToUtf8(*RenderServiceInfo(options.service)));
}

TEST(QuoteServerOptionsTest, RefusesServiceValuesItCannotSend) {
    ServerOptions options;
    options.port = 0;
    options.service.notices = {"two\nlines"};
    QuoteServer server(options, platform::DeviceClock::Manual(0));
    std::string error;
    EXPECT_FALSE(server.Bind(&error));
    EXPECT_FALSE(error.empty());
}

TEST_F(QuoteServerTest, RefusesAPortInUse) {
    Start();
    ServerOptions options;
    options.port = port_;
    QuoteServer second(options, platform::DeviceClock::Manual(0));
    std::string error;
    EXPECT_FALSE(second.Bind(&error));
    EXPECT_NE(error.find(std::to_string(port_)), std::string::npos);
}

TEST_F(QuoteServerTest, TheDeviceClockMovesTheMarket) {
    Start({}, "2009-03-18 09:20:00");
    std::string pre = Gbk(Fetch(port_, kShRequest));
    EXPECT_EQ(Cut(pre, "今 开:", 6, "<"), "0");
    EXPECT_EQ(Cut(pre, "最 新:", 6, "<"), Cut(pre, "昨 收:", 6, "<"));

    server_->Clock().SetEpochMs(Beijing("2009-03-18 10:00:00"));
    std::string open = Gbk(Fetch(port_, kShRequest));
    EXPECT_NE(Cut(open, "今 开:", 6, "<"), "0");
    std::string first = Gbk(Fetch(port_, kStockRequest));
    server_->Clock().Advance(30 * 60 * 1000);
    std::string later = Gbk(Fetch(port_, kStockRequest));
    EXPECT_NE(Cut(first, "成交量", 7, "股"), Cut(later, "成交量", 7, "股"));

    // After the close: today's close with today's change, a normal page.
    server_->Clock().SetEpochMs(Beijing("2009-03-18 15:00:00"));
    std::string closed = Gbk(Fetch(port_, kStockRequest));
    EXPECT_EQ(closed.find(Gbk("(昨收)")), std::string::npos);
    StockQuote close = *server_->GetMarket().Stock(
        "600036", MomentAt(platform::ToLocalTime(server_->Clock().NowEpochMs(), "Asia/Shanghai")));
    EXPECT_EQ(Cut(closed, "当前价", 35, "元"), FormatHundredths(close.latest));
    EXPECT_EQ(Cut(closed, "涨跌额", 35, "元"),
              FormatSignedHundredths(close.latest - close.previousClose));

    // The next morning, before the open, yesterday's close is the previous
    // close.
    server_->Clock().SetEpochMs(Beijing("2009-03-19 09:16:00"));
    std::string next = Gbk(Fetch(port_, kStockRequest));
    EXPECT_EQ(next.find(Gbk("(昨收)")), std::string::npos);
    EXPECT_EQ(Cut(next, "昨收盘", 7, "元"), FormatHundredths(close.latest));
    EXPECT_EQ(Cut(next, "当前价", 35, "元"), FormatHundredths(close.latest));

    // At the weekend the closed-market page stands at Friday's close.
    server_->Clock().SetEpochMs(Beijing("2009-03-21 10:00:00"));
    std::string weekend = Gbk(Fetch(port_, kStockRequest));
    EXPECT_NE(weekend.find(Gbk("(昨收)")), std::string::npos);
}

TEST_F(QuoteServerTest, HalfRequestDoesNotStopOtherClients) {
    ServerOptions options;
    options.threads = 2;
    options.readTimeout = std::chrono::milliseconds(300);
    Start(options);
    int stalled = Connect(port_);
    ASSERT_GE(stalled, 0);
    ASSERT_TRUE(SendAll(stalled, kStockRequest.substr(0, 30)));
    // Another client is served while the first one holds its connection.
    std::string reply = Fetch(port_, kStockRequest);
    EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    // The stalled client is dropped once its read times out, without a page.
    ReadResult r = ReadUntilClose(stalled);
    EXPECT_TRUE(r.closed);
    EXPECT_EQ(r.data.find("200 OK"), std::string::npos);
    ::close(stalled);
}

TEST_F(QuoteServerTest, DrippingClientIsDroppedAtTheDeadline) {
    ServerOptions options;
    options.threads = 2;
    options.readTimeout = std::chrono::milliseconds(300);
    options.requestDeadline = std::chrono::milliseconds(600);
    Start(options);
    int drip = Connect(port_);
    ASSERT_GE(drip, 0);
    // One byte every 50 ms never lets a single read time out; only the
    // deadline of the whole exchange ends it.
    std::atomic<bool> stop{false};
    std::thread dripper([&] {
        const std::string header = "GET /x HTTP/1.1\r\nX: " + std::string(100000, 'y');
        for (size_t i = 0; i < header.size() && !stop; ++i) {
            if (!SendAll(drip, header.substr(i, 1)))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    ReadResult r = ReadUntilClose(drip, std::chrono::seconds(10));
    stop = true;
    dripper.join();
    EXPECT_TRUE(r.closed);
    EXPECT_EQ(r.data.find("200 OK"), std::string::npos);
    ::close(drip);
    EXPECT_EQ(Fetch(port_, kStockRequest).rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
}

TEST_F(QuoteServerTest, ManyClientsAtOnce) {
    ServerOptions options;
    options.threads = 4;
    options.maxQueued = 4;
    Start(options);
    const std::string expected = server_->Respond(kStockPath, "600036").body;
    std::atomic<int> good{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < 24; ++i)
        clients.emplace_back([&] {
            for (int j = 0; j < 4; ++j)
                good += BodyOf(Fetch(port_, kStockRequest)) == expected;
        });
    for (std::thread& t : clients)
        t.join();
    EXPECT_EQ(good, 96);
}

TEST_F(QuoteServerTest, SlowReadersAndEarlyClosersCostOnlyTheirOwnConnection) {
    ServerOptions options;
    options.threads = 3;
    options.writeTimeout = std::chrono::milliseconds(300);
    Start(options);
    // A client that asks and never reads.
    int slow = Connect(port_);
    ASSERT_GE(slow, 0);
    ASSERT_TRUE(SendAll(slow, kStockRequest));
    // Clients that ask and hang up at once, some with a reset.
    for (int i = 0; i < 8; ++i) {
        int rude = Connect(port_);
        ASSERT_GE(rude, 0);
        SendAll(rude, kStockRequest);
        if (i % 2) {
            linger reset{1, 0};
            setsockopt(rude, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        }
        ::close(rude);
    }
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Fetch(port_, kShRequest).rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    ::close(slow);
}

TEST_F(QuoteServerTest, OversizedRequestsAreRefused) {
    ServerOptions options;
    Start(options);
    // A body beyond the limit is refused before it is read.
    std::string request = "POST " + std::string(kStockPath) +
                          " HTTP/1.1\r\nHost: x\r\nContent-Length: 100000\r\n\r\n" +
                          std::string(4000, 'x');
    std::string reply = Fetch(port_, request);
    EXPECT_EQ(reply.rfind("HTTP/1.1 413", 0), 0u) << reply;
    // So is a request line too long to be one of the site's.
    std::string longLine =
        PhoneRequest(std::string(kStockPath) + "?code=" + std::string(20000, '6'));
    EXPECT_EQ(Fetch(port_, longLine).find("200 OK"), std::string::npos);
    EXPECT_EQ(Fetch(port_, kStockRequest).rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
}

// The program itself: prints where it listens and serves the same market
// as the library for the same seed and time.
TEST(QuotedProgramTest, ListensOnAFreePortAndServesTheSeededMarket) {
    const char* buildDir = std::getenv("STOCKAT_BUILD_DIR");
    if (!buildDir)
        GTEST_SKIP() << "STOCKAT_BUILD_DIR not set";
    launch::DemoServer quoted;
    ASSERT_TRUE(quoted.Start(std::string(buildDir) + "/stockat-quoted",
                             {"--listen", "127.0.0.1:0", "--seed", "11", "--clock",
                              "2009-03-18 10:00", "--clock-rate", "0"},
                             "/dev/null", 20000))
        << quoted.Error();
    std::string reply = Fetch(quoted.Port(), kStockRequest);
    quoted.Stop();

    ServerOptions options;
    options.seed = 11;
    QuoteServer local(options, platform::DeviceClock::Manual(Beijing("2009-03-18 10:00")));
    EXPECT_EQ(BodyOf(reply), local.Respond(kStockPath, "600036").body);
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Whether this machine can listen on ::1.
bool HasIpv6Loopback() {
    int fd = ::socket(AF_INET6, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in6 addr{};
    addr.sin6_family = AF_INET6;
    addr.sin6_addr = in6addr_loopback;
    bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

// SIGTERM and SIGINT stop the program in order: the connections still
// sending their heads are closed, and it ends with exit code 0 after logging
// what it refused. IPv6 addresses are written with their brackets.
TEST(QuotedProgramTest, StopsInOrderOnSigtermAndSigint) {
    const char* buildDir = std::getenv("STOCKAT_BUILD_DIR");
    if (!buildDir)
        GTEST_SKIP() << "STOCKAT_BUILD_DIR not set";
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("stockat-stop-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    struct Case {
        int signal;
        const char* name;
        std::string address;
    };
    std::vector<Case> cases = {{SIGTERM, "SIGTERM", "127.0.0.1"}};
    if (HasIpv6Loopback())
        cases.push_back({SIGINT, "SIGINT", "::1"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = (dir / "out").string(), err = (dir / "err").string();
        const std::string binary = std::string(buildDir) + "/stockat-quoted";
        const std::string listen =
            (c.address.find(':') != std::string::npos ? "[" + c.address + "]" : c.address) + ":0";
        std::vector<std::string> args = {
            binary, "--listen", listen, "--clock", "2009-03-18 10:00", "--clock-rate", "0"};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, binary.c_str(), &files, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&files);
        std::string shown;
        for (int i = 0; i < 200 && shown.find('\n') == std::string::npos; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            shown = ReadFile(out);
        }
        const std::string prefix = "listening on " + listen.substr(0, listen.size() - 1);
        ASSERT_EQ(shown.rfind(prefix, 0), 0u) << shown;
        const int port = std::stoi(shown.substr(prefix.size()));
        if (c.address == "127.0.0.1") {
            EXPECT_EQ(Fetch(port, "PUT / HTTP/1.1\r\n\r\n").rfind("HTTP/1.1 405", 0), 0u);
        }
        int half = c.address == "127.0.0.1" ? Connect(port) : -1;
        if (half >= 0)
            SendAll(half, kStockRequest.substr(0, 20));
        ASSERT_EQ(::kill(pid, c.signal), 0);
        int status = -1;
        for (int i = 0; i < 200 && ::waitpid(pid, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!WIFEXITED(status)) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            ADD_FAILURE() << "not stopped within 10 s";
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        const std::string log = ReadFile(err);
        EXPECT_NE(log.find("stockat-quoted: stopping on " + std::string(c.name)), std::string::npos)
            << log;
        EXPECT_NE(log.find("stockat-quoted: stopped\n"), std::string::npos) << log;
        if (half >= 0) {
            EXPECT_TRUE(ReadUntilClose(half, std::chrono::seconds(5)).closed);
            ::close(half);
            EXPECT_NE(log.find("refused: method 1"), std::string::npos) << log;
        }
    }
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace server
