// The quote server's log file: capped, with one old file kept, and the
// program's --log and its refusal to start without Beijing's zone data.
#include "main/DemoServer.h"
#include "server/Log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

namespace server {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

fs::path TempDir() {
    fs::path dir = fs::temp_directory_path() / ("stockat-log-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

TEST(QuotedLog, TheFileStaysUnderItsCapWithOneOldFileKept) {
    const fs::path dir = TempDir();
    const fs::path log = dir / "quoted.log";
    // Each line: "stockat-quoted: " (16) + 23 + "\n" = 40 bytes.
    const std::string line(23, 'x');
    struct Case {
        std::uintmax_t cap;
        int lines;
        std::uintmax_t size, oldSize; // of the file and of FILE.1 (0: none)
    };
    const Case cases[] = {
        {100, 2, 80, 0},     // under the cap
        {100, 3, 40, 80},    // the third line starts a new file
        {100, 7, 40, 80},    // and so on: never more than two files
        {0, 10, 400, 0},     // no cap
        {1000, 25, 1000, 0}, // 1,000 bytes: 25 lines fill it exactly
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.cap) + " / " + std::to_string(c.lines));
        fs::remove(log);
        fs::remove(log.string() + ".1");
        std::string error;
        ASSERT_TRUE(SetLogFile(log.string(), c.cap, &error)) << error;
        for (int i = 0; i < c.lines; ++i)
            LogLine(line);
        SetLogFile("", 0, nullptr);
        EXPECT_EQ(fs::file_size(log), c.size);
        EXPECT_EQ(fs::exists(log.string() + ".1") ? fs::file_size(log.string() + ".1") : 0,
                  c.oldSize);
        EXPECT_EQ(Read(log).rfind("stockat-quoted: " + line + "\n", 0), 0u);
    }
    // A file that cannot be written: a reason, and standard error stays.
    std::string error;
    EXPECT_FALSE(SetLogFile((dir / "no/such/folder/log").string(), 100, &error));
    EXPECT_NE(error.find("no/such/folder"), std::string::npos);
    fs::remove_all(dir);
}

TEST(QuotedLog, TheProgramWritesItsOwnLogAndNeedsTheZoneData) {
    const char* buildDir = std::getenv("STOCKAT_BUILD_DIR");
    if (!buildDir)
        GTEST_SKIP() << "STOCKAT_BUILD_DIR not set";
    const std::string binary = std::string(buildDir) + "/stockat-quoted";
    const fs::path dir = TempDir();

    // Without Asia/Shanghai in the zone data it says so and does not start.
    std::string output;
    FILE* pipe =
        popen(("TZDIR=" + dir.string() + " " + binary + " --listen 127.0.0.1:0 2>&1").c_str(), "r");
    char buffer[512];
    while (pipe && fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    const int status = pipe ? pclose(pipe) : -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << output;
    EXPECT_NE(output.find("Asia/Shanghai"), std::string::npos) << output;
    EXPECT_EQ(output.find("listening"), std::string::npos) << output;

    // --log: the live server's messages go to its own file.
    const fs::path log = dir / "stockat-quoted.log";
    launch::DemoServer quoted;
    ASSERT_TRUE(quoted.Start(binary,
                             {"--listen", "127.0.0.1:0", "--market", "live", "--feed",
                              "tencent=http://127.0.0.1:1", "--log", log.string()},
                             (dir / "start.log").string(), 20000))
        << quoted.Error();
    quoted.Stop();
    EXPECT_NE(Read(log).find("stockat-quoted: live market from tencent"), std::string::npos)
        << Read(log);
    fs::remove_all(dir);
}

} // namespace
} // namespace server
