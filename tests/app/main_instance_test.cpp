// One copy per device: a second program started on the same device root (a
// second process: this test binary run again as the second copy) exits with
// code 0 and no window of its own, after asking the first to come to the
// front; when the first holds the mutex but has no window yet, the second
// tries five times, half a second apart, and gives up.
#include "app/WinMain.h"
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "platform/device.h"
#include "platform/headless/Driver.h"
#include "platform/instance.h"
#include "res/Resources.h"
#include "tests/support/SettingsHarness.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr const char* kRootVariable = "STOCKAT_SECOND_COPY_ROOT";
constexpr const char* kOutVariable = "STOCKAT_SECOND_COPY_OUT";

// Runs this test binary again as the second copy, on `root`; returns its
// exit status and what it reported.
int RunSecondCopy(const fs::path& root, std::string* report) {
    const fs::path out = root / "second-copy.txt";
    std::string self = fs::read_symlink("/proc/self/exe").string();
    std::string filter = "--gtest_filter=SecondCopy.RunsOnTheGivenDeviceRoot";
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        env.emplace_back(*e);
    }
    env.push_back(std::string(kRootVariable) + "=" + root.string());
    env.push_back(std::string(kOutVariable) + "=" + out.string());
    std::vector<char*> envp;
    for (std::string& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    std::vector<char*> argv = {self.data(), filter.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) {
        return -1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream in(out);
    std::getline(in, *report, '\0');
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

// The second copy itself: skipped unless run by the tests below.
TEST(SecondCopy, RunsOnTheGivenDeviceRoot) {
    const char* root = std::getenv(kRootVariable);
    const char* out = std::getenv(kOutVariable);
    if (root == nullptr || out == nullptr) {
        GTEST_SKIP() << "runs only as the second copy of another test";
    }
    platform::headless::Driver driver;
    platform::Device().root = root;
    platform::Device().runtimeDir = fs::path(root) / ".run";
    ResetProgramState();
    Shell = ShellState{};
    const std::int64_t before = driver.NowMs();
    HINSTANCE instance = RegisterResourceModule(&StockAtResources());
    driver.Start([instance] { return WinMain(instance, nullptr, nullptr, SW_SHOW); });
    ASSERT_TRUE(driver.Finished());
    int windows = 0;
    for (const auto& w : driver.Windows()) {
        windows += w.className == u"StockAtApp" ? 1 : 0;
    }
    std::ofstream report(out);
    report << "exit=" << driver.ExitCode().value_or(-1) << " windows=" << windows
           << " waited=" << (driver.NowMs() - before);
}

TEST(SingleInstance, ASecondCopyExitsAndAsksTheFirstToComeForward) {
    testsupport::SettingsSession first;
    first.Start();
    HWND mainWindow = Shell.mainWindow;
    ASSERT_NE(mainWindow, nullptr);
    std::atomic<int> requests{0};
    std::atomic<HWND> asked{nullptr};
    platform::instance::SetForegroundRequestHandler([&](HWND window, int) {
        ++requests;
        asked = window;
    });

    std::string report;
    EXPECT_EQ(RunSecondCopy(first.root(), &report), 0) << report;
    EXPECT_NE(report.find("exit=0 windows=0"), std::string::npos) << report;
    first.driver().WaitIdle();
    EXPECT_EQ(requests.load(), 1);
    EXPECT_EQ(asked.load(), mainWindow);
    EXPECT_FALSE(first.driver().Finished());
    platform::instance::SetForegroundRequestHandler(nullptr);
}

TEST(SingleInstance, AFirstCopyWithoutAWindowYetIsTriedFiveTimes) {
    // The first copy holds the mutex but has not made its window.
    testsupport::SettingsSession first;
    HANDLE mutex = nullptr;
    first.driver().Run([&] { mutex = CreateMutex(nullptr, FALSE, u"StockAtApp"); });
    ASSERT_NE(mutex, nullptr);

    std::string report;
    EXPECT_EQ(RunSecondCopy(first.root(), &report), 0) << report;
    // Five attempts, each with one wait of 500 ms between its two searches.
    EXPECT_NE(report.find("exit=0 windows=0 waited=2500"), std::string::npos) << report;
    first.driver().Run([&] { CloseHandle(mutex); });
}
