// Kernel services: phone paths under the device root, the file calls with
// their error codes, handles, the named mutex and Sleep on a manual clock.

#include "platform/Text.h"
#include "platform/clock.h"
#include "platform/device.h"
#include "platform/win.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

class KernelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "stockat-kernel-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        savedRoot_ = platform::Device().root;
        savedRuntime_ = platform::Device().runtimeDir;
        platform::Device().root = root_;
        platform::Device().runtimeDir.clear();
    }
    void TearDown() override {
        platform::Device().root = savedRoot_;
        platform::Device().runtimeDir = savedRuntime_;
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    static std::string Slurp(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    // Writes `data` from the start of the file, the way the data files are
    // saved: opened if there, created if not, never shortened.
    static bool Save(const char16_t* path, const std::string& data) {
        HANDLE h = CreateFile(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            return false;
        }
        DWORD written = 0;
        BOOL ok = WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
        CloseHandle(h);
        return ok && written == data.size();
    }

    fs::path root_, savedRoot_, savedRuntime_;
};

TEST_F(KernelTest, PhonePathsMapUnderTheRootAndNeverLeaveIt) {
    EXPECT_EQ(platform::DevicePath(u"\\Program Files\\MyTradlynx\\qzfen\\afxg002"),
              root_ / "Program Files" / "MyTradlynx" / "qzfen" / "afxg002");
    // Without the leading backslash the path resolves from the root as well.
    EXPECT_EQ(platform::DevicePath(u"Program Files\\MyTradlynx"),
              root_ / "Program Files" / "MyTradlynx");
    EXPECT_EQ(platform::DevicePath(u"\\a\\\\.\\b/c"), root_ / "a" / "b" / "c");
    EXPECT_EQ(platform::DevicePath(u"\\\u6587\u4EF6"), root_ / "\xE6\x96\x87\xE4\xBB\xB6");
    EXPECT_TRUE(platform::DevicePath(u"\\a\\..\\..\\etc\\passwd").empty());
    EXPECT_TRUE(platform::DevicePath(u"..").empty());
    EXPECT_TRUE(platform::DevicePath(std::u16string(u"a\0b", 3)).empty());

    // An unset root never makes phone paths relative to the current folder.
    platform::Device().root.clear();
    EXPECT_EQ(platform::DevicePath(u"\\a"), platform::DefaultDeviceRoot() / "a");
    platform::Device().root = root_;

    // Calls with such a path fail cleanly, and create nothing beside the
    // root (under a name of this test's own: the folder above is shared).
    const std::string outside = root_.filename().string() + "-outside";
    const std::u16string escape = u"..\\" + platform::Utf8ToUtf16(outside);
    EXPECT_EQ(CreateFile(escape.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(fs::exists(root_.parent_path() / outside));
}

TEST_F(KernelTest, FoldersAreCreatedOnceAndReportWhatWentWrong) {
    EXPECT_FALSE(CreateDirectory(u"Program Files\\MyTradlynx\\qzfen", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(CreateDirectory(u"Program Files", nullptr));
    EXPECT_TRUE(CreateDirectory(u"Program Files\\MyTradlynx", nullptr));
    EXPECT_TRUE(CreateDirectory(u"Program Files\\MyTradlynx\\qzfen", nullptr));
    EXPECT_TRUE(fs::is_directory(root_ / "Program Files" / "MyTradlynx" / "qzfen"));
    SetLastError(0);
    EXPECT_FALSE(CreateDirectory(u"Program Files", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
}

TEST_F(KernelTest, DataFileWritesReadsAndKeepsTheLongerTail) {
    ASSERT_TRUE(CreateDirectory(u"d", nullptr));
    SetLastError(12345);
    ASSERT_TRUE(Save(u"d\\afxg003", "0123456789"));
    // A shorter content written over a longer one leaves the old tail.
    ASSERT_TRUE(Save(u"\\d\\afxg003", "abc"));
    EXPECT_EQ(Slurp(root_ / "d" / "afxg003"), "abc3456789");

    HANDLE h = CreateFile(u"d\\afxg003", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(h, nullptr), 10u);
    char buffer[150] = {};
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(read, 10u); // fewer bytes than asked is success at the end
    EXPECT_EQ(std::string(buffer, read), "abc3456789");
    ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(read, 0u);
    // A read-only handle refuses to write.
    DWORD written = 99;
    EXPECT_FALSE(WriteFile(h, "x", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(CloseHandle(h));

    // The handle is gone after closing; a second close and a forged handle
    // are refused, never followed.
    EXPECT_FALSE(ReadFile(h, buffer, 1, &read, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(0x1234567)));
    EXPECT_EQ(GetFileSize(reinterpret_cast<HANDLE>(0x1234567), nullptr), INVALID_FILE_SIZE);
}

TEST_F(KernelTest, DispositionsAndMissingFiles) {
    HANDLE h = CreateFile(u"new", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    WriteFile(h, "12345", 5, nullptr, nullptr);
    CloseHandle(h);
    EXPECT_EQ(CreateFile(u"new", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);

    h = CreateFile(u"new", GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(h);
    EXPECT_EQ(Slurp(root_ / "new"), "12345");
    h = CreateFile(u"new", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(h);
    EXPECT_EQ(Slurp(root_ / "new"), ""); // CREATE_ALWAYS truncates

    EXPECT_EQ(CreateFile(u"missing", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(CreateFile(u"nofolder\\x", GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

    // A folder is not a file.
    ASSERT_TRUE(CreateDirectory(u"folder", nullptr));
    EXPECT_EQ(CreateFile(u"folder", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(DeleteFile(u"folder"));

    EXPECT_TRUE(DeleteFile(u"new"));
    EXPECT_FALSE(DeleteFile(u"new"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(KernelTest, MoveReplacesOnlyWhenAskedTo) {
    ASSERT_TRUE(Save(u"a.tmp", "new"));
    ASSERT_TRUE(Save(u"a", "old"));
    EXPECT_FALSE(MoveFileEx(u"a.tmp", u"a", 0));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(Slurp(root_ / "a"), "old");
    EXPECT_TRUE(MoveFileEx(u"a.tmp", u"a", MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ(Slurp(root_ / "a"), "new");
    EXPECT_FALSE(fs::exists(root_ / "a.tmp"));
    EXPECT_TRUE(MoveFileEx(u"a", u"b", 0));
    EXPECT_FALSE(MoveFileEx(u"a", u"c", 0));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(KernelTest, NamedMutexIsHeldOnceAndLetGoOnClose) {
    HANDLE first = CreateMutex(nullptr, FALSE, u"KernelTestMutex");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_TRUE(fs::exists(root_ / ".run" / "KernelTestMutex.lock"));

    HANDLE second = CreateMutex(nullptr, FALSE, u"KernelTestMutex");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    // The mutex lives while any handle to it is open.
    EXPECT_TRUE(CloseHandle(first));
    HANDLE third = CreateMutex(nullptr, FALSE, u"KernelTestMutex");
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_TRUE(CloseHandle(third));

    HANDLE again = CreateMutex(nullptr, FALSE, u"KernelTestMutex");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_TRUE(CloseHandle(again));

    // Names with separators stay inside the runtime folder.
    HANDLE odd = CreateMutex(nullptr, FALSE, u"Global\\a/../b");
    ASSERT_NE(odd, nullptr);
    EXPECT_TRUE(fs::exists(root_ / ".run" / "Global_a_.._b.lock"));
    CloseHandle(odd);
}

TEST_F(KernelTest, SleepAdvancesAManualClockWithoutWaiting) {
    platform::SetClock(platform::DeviceClock::Manual(1'700'000'000'000));
    std::int64_t before = platform::Clock().NowEpochMs();
    Sleep(500);
    Sleep(500);
    EXPECT_EQ(platform::Clock().NowEpochMs() - before, 1000);
    platform::SetClock(platform::DeviceClock::Real());
}

} // namespace
