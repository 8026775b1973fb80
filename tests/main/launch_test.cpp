// The command line of the program, and the start of the bundled server
// (its start-up line, a program that does not start, the guard).
#include "main/DemoServer.h"
#include "main/Options.h"
#include "main/RunStatus.h"
#include "platform/clock.h"
#include "platform/device.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// ---- Command line -------------------------------------------------------------

struct Parsed {
    std::optional<int> code;
    launch::CommandLine line;
    std::string out, err;
};

Parsed Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "stockat");
    Parsed p;
    std::ostringstream out, err;
    p.code = launch::ParseCommandLine(static_cast<int>(args.size()), args.data(), p.line, out, err);
    p.out = out.str();
    p.err = err.str();
    return p;
}

TEST(LaunchOptions, EveryOptionIsRead) {
    Parsed p = Parse({"--root", "/tmp/r", "--server", "127.0.0.1:8080", "--gateway",
                      "10.0.0.172:9201", "--clock", "2026-03-04 10:00", "--clock-rate", "5", "--tz",
                      "Europe/Berlin", "--sms-outbox", "/tmp/out", "--demo", "--background"});
    ASSERT_FALSE(p.code) << p.err;
    EXPECT_EQ(p.line.root, "/tmp/r");
    EXPECT_EQ(p.line.server, "127.0.0.1:8080");
    EXPECT_EQ(p.line.gateway, "10.0.0.172:9201");
    EXPECT_EQ(p.line.clock, "2026-03-04 10:00");
    EXPECT_DOUBLE_EQ(p.line.clockRate, 5);
    EXPECT_TRUE(p.line.clockRateGiven);
    EXPECT_EQ(p.line.timeZone, "Europe/Berlin");
    EXPECT_EQ(p.line.smsOutbox, "/tmp/out");
    EXPECT_TRUE(p.line.demo);
    EXPECT_TRUE(p.line.background);
    EXPECT_TRUE(Parse({"--status"}).line.status);
    Parsed none = Parse({});
    EXPECT_FALSE(none.line.background || none.line.status);
    EXPECT_FALSE(none.code);
    EXPECT_FALSE(none.line.clockRateGiven);
    EXPECT_EQ(none.line.timeZone, "Asia/Shanghai");
}

TEST(LaunchOptions, HelpListsOptionsAndKeysVersionSaysTwoPointZero) {
    Parsed help = Parse({"--help"});
    ASSERT_EQ(help.code, 0);
    for (const char* word :
         {"--root", "--server", "--gateway", "--clock", "--clock-rate", "--tz", "--sms-outbox",
          "--demo", "--feed", "--background", "--status", "F1", "F3", "Tab"}) {
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    }
    Parsed version = Parse({"--version"});
    ASSERT_EQ(version.code, 0);
    EXPECT_EQ(version.out, "stockat 2.0\n");
}

TEST(LaunchOptions, BadOptionsGetOneLineAndExitCodeTwo) {
    const std::vector<std::vector<const char*>> bad = {
        {"--bogus"},
        {"--root"},
        {"--clock-rate", "0"},
        {"--clock-rate", "fast"},
        {"--clock", "tomorrow"},
        {"--clock", "2026-13-40 10:00"},
        {"--tz", "Mars/Olympus"},
        {"--tz", "../../etc/passwd"},
        {"--server", ":80"},
        {"--server", "host:0"},
        {"--server", "host:99999"},
        {"--server", "host:8x"},
        {"--gateway", "gateway.example"},
        {"--gateway", "10.0.0.1:"},
        {"--feed", ""},
        {"--feed", "=http://127.0.0.1:1/q"},
        {"--feed", "two words"},
        {"--feed", "tencent="},
        {"--feed", "tencent=http://127.0.0.1/a b"},
        {"--feed", "tencent", "--demo"},
        {"--feed", "tencent", "--server", "127.0.0.1:8080"},
        {"extra"},
        {"--background", "--status"},
    };
    for (const auto& args : bad) {
        Parsed p = Parse(args);
        EXPECT_EQ(p.code, 2) << args[0];
        EXPECT_EQ(p.err.rfind("stockat: ", 0), 0u) << p.err;
        EXPECT_EQ(std::count(p.err.begin(), p.err.end(), '\n'), 1) << p.err;
    }
}

TEST(LaunchOptions, WithoutServerOrDemoTheLiveServerStartsWithTheFeedsAndTheClock) {
    EXPECT_TRUE(launch::StartsLiveServer(Parse({}).line));
    EXPECT_FALSE(launch::StartsLiveServer(Parse({"--server", "127.0.0.1:8080"}).line));
    EXPECT_FALSE(launch::StartsLiveServer(Parse({"--demo"}).line));

    // The real clock: the server keeps its own.
    Parsed plain = Parse({"--feed", "tencent", "--feed", "sina=http://127.0.0.1:8081/list="});
    ASSERT_FALSE(plain.code) << plain.err;
    EXPECT_EQ(launch::LiveServerArguments(plain.line, 0),
              (std::vector<std::string>{"--listen", "127.0.0.1:0", "--market", "live", "--feed",
                                        "tencent", "--feed", "sina=http://127.0.0.1:8081/list="}));

    // A set clock goes along, its start in Beijing time whatever the
    // device's zone: 10:00 in Berlin in March is 17:00 in Beijing.
    Parsed set = Parse({"--clock", "2026-03-04 10:00", "--tz", "Europe/Berlin"});
    ASSERT_FALSE(set.code) << set.err;
    std::int64_t start = *platform::ParseLocalTime(set.line.clock, "Europe/Berlin");
    EXPECT_EQ(launch::LiveServerArguments(set.line, start),
              (std::vector<std::string>{"--listen", "127.0.0.1:0", "--market", "live", "--clock",
                                        "2026-03-04 17:00:00", "--clock-rate", "1"}));
    Parsed fast = Parse({"--clock-rate", "2.5"});
    std::vector<std::string> args = launch::LiveServerArguments(fast.line, start);
    ASSERT_EQ(args.size(), 8u);
    EXPECT_EQ(args[5], "2026-03-04 17:00:00");
    EXPECT_EQ(args[7], "2.5");
}

TEST(LaunchOptions, HostAndPort) {
    auto hp = launch::ParseHostPort("quotes.example", 80);
    ASSERT_TRUE(hp);
    EXPECT_EQ(hp->host, "quotes.example");
    EXPECT_EQ(hp->port, 80);
    hp = launch::ParseHostPort("127.0.0.1:8080", 80);
    ASSERT_TRUE(hp);
    EXPECT_EQ(hp->host, "127.0.0.1");
    EXPECT_EQ(hp->port, 8080);
    hp = launch::ParseHostPort("[::1]:81", 80);
    ASSERT_TRUE(hp);
    EXPECT_EQ(hp->host, "::1");
    EXPECT_EQ(hp->port, 81);
    EXPECT_FALSE(launch::ParseHostPort("::1", 80));
    EXPECT_FALSE(launch::ParseHostPort("[::1", 80));
    EXPECT_FALSE(launch::ParseHostPort("", 80));
}

TEST(LaunchOptions, TheDeviceTakesTheOptions) {
    char dir[] = "/tmp/stockat-term-optsXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    platform::DeviceConfig saved = platform::Device();
    Parsed p = Parse({"--root", dir, "--server", "127.0.0.1:8123", "--gateway", "127.0.0.2:9201",
                      "--clock", "2026-03-06 14:59:30", "--clock-rate", "2", "--sms-outbox",
                      "/tmp/outbox"});
    ASSERT_FALSE(p.code);
    ASSERT_FALSE(launch::ApplyToDevice(p.line));
    EXPECT_EQ(platform::Device().root, std::filesystem::path(dir));
    EXPECT_EQ(platform::Device().serverHost, "127.0.0.1");
    EXPECT_EQ(platform::Device().serverPort, 8123);
    EXPECT_EQ(platform::Device().gatewayAddress, "127.0.0.2");
    EXPECT_EQ(platform::Device().gatewayPort, 9201);
    EXPECT_EQ(platform::Device().smsOutbox, std::filesystem::path("/tmp/outbox"));
    std::int64_t start = *platform::ParseLocalTime("2026-03-06 14:59:30", "Asia/Shanghai");
    std::int64_t now = platform::Clock().NowEpochMs();
    EXPECT_GE(now, start);
    EXPECT_LT(now, start + 60000);
    EXPECT_DOUBLE_EQ(platform::Clock().Rate(), 2);
    platform::Device() = saved;
    platform::SetClock(platform::DeviceClock::Real());
    std::filesystem::remove_all(dir);
}

// ---- The demo server ----------------------------------------------------------

TEST(LaunchDemoServer, ListeningLine) {
    EXPECT_EQ(launch::ParseListeningLine("listening on 127.0.0.1:40123"), 40123);
    EXPECT_EQ(launch::ParseListeningLine("listening on 127.0.0.1:8080\n"), 8080);
    EXPECT_EQ(launch::ParseListeningLine("listening on [::1]:9000\r\n"), 9000);
    EXPECT_FALSE(launch::ParseListeningLine("listening on 127.0.0.1:0"));
    EXPECT_FALSE(launch::ParseListeningLine("listening on 127.0.0.1:70000"));
    EXPECT_FALSE(launch::ParseListeningLine("listening on 127.0.0.1:"));
    EXPECT_FALSE(launch::ParseListeningLine("listening on 127.0.0.1:80a"));
    EXPECT_FALSE(launch::ParseListeningLine("error: address in use"));
    EXPECT_FALSE(launch::ParseListeningLine(""));
}

TEST(LaunchDemoServer, AProgramThatDoesNotStartIsReported) {
    launch::DemoServer server;
    EXPECT_FALSE(server.Start("/nonexistent/stockat-quoted", {}, "/dev/null", 1000));
    EXPECT_NE(server.Error().find("/nonexistent/stockat-quoted"), std::string::npos);
    // A program that ends without the line.
    EXPECT_FALSE(server.Start("/bin/true", {}, "/dev/null", 5000));
    EXPECT_FALSE(server.Error().empty());
    EXPECT_EQ(server.Port(), 0);
}

} // namespace

namespace {

bool Accepts(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

TEST(LaunchDemoServer, TheBundledServerRunsOnLoopbackUntilStopped) {
    const char* build = std::getenv("STOCKAT_BUILD_DIR");
    std::filesystem::path binary = std::filesystem::path(build ? build : ".") / "stockat-quoted";
    if (access(binary.c_str(), X_OK) != 0) {
        GTEST_SKIP() << "stockat-quoted is not built";
    }
    launch::DemoServer server;
    ASSERT_TRUE(server.Start(
        binary, {"--listen", "127.0.0.1:0", "--clock", "2026-03-04 10:00", "--clock-rate", "0"},
        "/dev/null", 20000))
        << server.Error();
    ASSERT_GT(server.Port(), 0);
    int port = server.Port();
    EXPECT_TRUE(Accepts(port));
    server.Stop(); // closes the lifeline; the guard stops the server and is reaped
    EXPECT_FALSE(Accepts(port));

    // Ending the guard (as a clean-up that kills every copy would) ends the
    // server as well, rather than orphaning it.
    ASSERT_TRUE(server.Start(
        binary, {"--listen", "127.0.0.1:0", "--clock", "2026-03-04 10:00", "--clock-rate", "0"},
        "/dev/null", 20000))
        << server.Error();
    port = server.Port();
    EXPECT_TRUE(Accepts(port));
    ASSERT_EQ(kill(server.GuardPid(), SIGTERM), 0);
    server.Stop(); // reaps the guard, which has stopped the server first
    EXPECT_FALSE(Accepts(port));
}

} // namespace

// ---- The running copy's status -------------------------------------------------

TEST(LaunchStatus, TheFileCarriesEveryValueAndABrokenOneIsRefused) {
    launch::RunStatus status{4242, 1796688000123, true, "127.0.0.1:40123 (live)", 1796688020000};
    EXPECT_EQ(launch::DecodeStatus(launch::EncodeStatus(status)), status);
    // A line break in the server text cannot split the file.
    status.server = "a\nrefreshed=7";
    EXPECT_EQ(launch::DecodeStatus(launch::EncodeStatus(status))->refreshedMs, 1796688020000);
    const std::vector<std::string> bad = {"",
                                          "pid=0\n",
                                          "pid=-3\n",
                                          "pid=12x\n",
                                          "pid=12\nstarted=soon\n",
                                          "pid=12\nterminal=yes\n",
                                          "pid=12\nrefreshed=\n"};
    for (const std::string& text : bad) {
        EXPECT_FALSE(launch::DecodeStatus(text)) << text;
    }
    EXPECT_EQ(launch::DecodeStatus("pid=12\nlater=1\nno line\n")->pid, 12);
}

TEST(LaunchStatus, TheReportAndItsExitCode) {
    setenv("TZ", "UTC", 1);
    tzset();
    launch::RunStatus bg{77, 1796688000000, false, "127.0.0.1:9 (--server)", 0};
    launch::RunStatus fg = bg;
    fg.terminal = true;
    fg.refreshedMs = 1796688065000;
    struct Case {
        bool running;
        std::optional<launch::RunStatus> status;
        int outbox;
        int code;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {false, std::nullopt, 0, 3, {"running: no", "push outbox: 0 waiting"}},
        {false, bg, 2, 3, {"running: no", "push outbox: 2 waiting"}},
        {true,
         bg,
         1,
         0,
         {"running: yes", "pid: 77", "since: 2026-12-08 00:00:00 UTC",
          "terminal: no (in the background)", "quote server: 127.0.0.1:9 (--server)",
          "last refresh: none yet", "push outbox: 1 waiting"}},
        {true,
         fg,
         0,
         0,
         {"running: yes", "pid: 77", "since: 2026-12-08 00:00:00 UTC", "terminal: yes",
          "quote server: 127.0.0.1:9 (--server)", "last refresh: 2026-12-08 00:01:05 UTC",
          "push outbox: 0 waiting"}},
        {true,
         std::nullopt,
         0,
         0,
         {"running: yes", "details: unknown (its status file cannot be read)",
          "push outbox: 0 waiting"}},
    };
    for (const Case& c : cases) {
        launch::StatusReport report = launch::DescribeStatus(c.running, c.status, c.outbox);
        std::string expected;
        for (const std::string& line : c.lines) {
            expected += line + "\n";
        }
        EXPECT_EQ(report.text, expected);
        EXPECT_EQ(report.exitCode, c.code);
    }
}

TEST(LaunchStatus, OutboxCountAndAKeeperThatWritesOnlyOnChange) {
    namespace fs = std::filesystem;
    fs::path root = fs::temp_directory_path() / ("stockat-status-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    EXPECT_EQ(launch::CountPushOutbox(root), 0); // no folder
    fs::path outbox = root / "push" / "outbox";
    fs::create_directories(outbox / "sub");
    for (const char* name : {"1.json", "2", ".3.tmp", "."}) {
        std::ofstream(outbox / name) << "x";
    }
    EXPECT_EQ(launch::CountPushOutbox(root), 2);

    auto inode = [&] {
        struct stat st {};
        return stat(launch::StatusPath(root).c_str(), &st) == 0 ? st.st_ino : 0;
    };
    launch::StatusKeeper keeper;
    keeper.Start(root, launch::RunStatus{55, 1, false, "s", 0});
    ino_t first = inode();
    ASSERT_NE(first, 0u);
    keeper.SetTerminal(false); // no change: the file is not written again
    keeper.SetServer("s");
    EXPECT_EQ(inode(), first);
    keeper.SetTerminal(true);
    EXPECT_NE(inode(), first); // replaced whole
    std::ifstream in(launch::StatusPath(root));
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(launch::DecodeStatus(text), keeper.Current());
    EXPECT_TRUE(keeper.Current().terminal);
    keeper.Stop();
    EXPECT_FALSE(fs::exists(launch::StatusPath(root)));
    fs::remove_all(root);
}
