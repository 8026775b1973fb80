// ShellExecuteEx "open": the opener gets the URL as its one argument, as it
// is (no shell in between), and failures come back as FALSE.

#include "platform/Text.h"
#include "platform/device.h"
#include "platform/win.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace {

namespace fs = std::filesystem;

class ShellOpen : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "stockat-open-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        savedOpener_ = platform::Device().opener;
        // A stand-in opener that writes down how many arguments it got and
        // the first one, then renames its record into place.
        fs::path script = dir_ / "opener";
        std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n%s' \"$#\" \"$1\" > '" << dir_.string()
                              << "/record.tmp'\nmv '" << dir_.string() << "/record.tmp' '"
                              << dir_.string() << "/record'\n";
        fs::permissions(script, fs::perms::owner_all);
        platform::Device().opener = script.string();
    }
    void TearDown() override {
        platform::Device().opener = savedOpener_;
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    BOOL Open(const char16_t* verb, const char16_t* file) {
        SHELLEXECUTEINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOCLOSEPROCESS;
        info.lpVerb = verb;
        info.lpFile = file;
        info.nShow = SW_SHOW;
        return ShellExecuteEx(&info);
    }

    // Waits for the opener's record (it runs on its own).
    std::string Record() {
        fs::path record = dir_ / "record";
        for (int i = 0; i < 200 && !fs::exists(record); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        std::ifstream in(record, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    fs::path dir_;
    std::string savedOpener_;
};

TEST_F(ShellOpen, OpenerGetsTheUrlAsItsOneArgument) {
    // Blanks, quotes and shell characters reach the opener untouched.
    const char16_t* url =
        u"http://127.0.0.1/\u4E0B\u8F7D/pkg 2.1.cab?a=1&b='x';$(touch pwned)|`id`";
    ASSERT_TRUE(Open(u"open", url));
    EXPECT_EQ(Record(), "1\n" + platform::Utf16ToUtf8(url));
    EXPECT_FALSE(fs::exists(fs::current_path() / "pwned"));
}

TEST_F(ShellOpen, FailuresAreReportedNotHidden) {
    EXPECT_FALSE(Open(u"edit", u"http://127.0.0.1/"));
    EXPECT_FALSE(Open(u"open", u""));
    EXPECT_FALSE(Open(u"open", nullptr));
    // An argument the opener would take for an option.
    EXPECT_FALSE(Open(u"open", u"--help"));
    EXPECT_FALSE(fs::exists(dir_ / "record"));

    platform::Device().opener = (dir_ / "no-such-opener").string();
    EXPECT_FALSE(Open(u"open", u"http://127.0.0.1/"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(ShellExecuteEx(nullptr));
}

} // namespace
