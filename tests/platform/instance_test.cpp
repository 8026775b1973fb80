// One copy per device, across real processes: a second process on the same
// device root finds the named mutex taken, finds the first copy's window
// through the runtime folder's socket, and asks it to come to the front,
// handing it a descriptor; the first copy's handler runs on its UI thread.
//
// The second copy is this same test program, started again with a filter
// that runs only InstanceSecondCopy.Run and the device root in the
// environment.

#include "platform/device.h"
#include "platform/headless/Driver.h"
#include "platform/instance.h"
#include "platform/win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

const char16_t kMutexName[] = u"StockAtInstanceTest";
const char16_t kClass[] = u"StockAtInstanceTest";
const char16_t kTitle[] = u"Instance \u00E9\u4E2D title";
const char kRootVariable[] = "STOCKAT_INSTANCE_TEST_ROOT";
const char kGreeting[] = "hello from the first copy";

class InstanceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "stockat-inst-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        savedRoot_ = platform::Device().root;
        savedRuntime_ = platform::Device().runtimeDir;
        platform::Device().root = root_;
        platform::Device().runtimeDir.clear();
    }
    void TearDown() override {
        platform::instance::SetForegroundRequestHandlerAsync(nullptr);
        platform::Device().root = savedRoot_;
        platform::Device().runtimeDir = savedRuntime_;
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // Starts the second copy and returns its exit status.
    int RunSecondCopy() {
        std::string self = fs::read_symlink("/proc/self/exe").string();
        std::string filter = "--gtest_filter=InstanceSecondCopy.Run";
        std::string env = std::string(kRootVariable) + "=" + root_.string();
        std::vector<char*> envp;
        for (char** e = environ; *e != nullptr; ++e) {
            envp.push_back(*e);
        }
        envp.push_back(env.data());
        envp.push_back(nullptr);
        char* argv[] = {self.data(), filter.data(), nullptr};
        pid_t pid;
        if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, envp.data()) != 0) {
            return -1;
        }
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    fs::path root_, savedRoot_, savedRuntime_;
};

LRESULT TestWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

TEST_F(InstanceTest, SecondCopyFindsTheFirstAndAsksItToComeForward) {
    platform::headless::Driver driver;
    HANDLE mutex = nullptr;
    HWND window = nullptr;
    DWORD mutexError = 0;
    driver.Run([&] {
        mutex = CreateMutex(nullptr, FALSE, kMutexName);
        mutexError = GetLastError();
        WNDCLASS wc{};
        wc.lpfnWndProc = TestWndProc;
        wc.lpszClassName = kClass;
        RegisterClass(&wc);
        window = CreateWindow(kClass, kTitle, WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
        ShowWindow(window, SW_SHOW);
    });
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(mutexError, ERROR_SUCCESS);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(fs::exists(root_ / ".run" / "StockAtInstanceTest.sock"));

    // The handler answers on the first copy's UI thread, writing into the
    // descriptor the second copy handed over.
    std::atomic<int> calls{0};
    std::atomic<bool> onDeviceThread{false};
    HWND asked = nullptr;
    std::thread::id deviceThread = driver.OnDevice([] { return std::this_thread::get_id(); });
    platform::instance::SetForegroundRequestHandlerAsync(
        [&](HWND w, int fd, platform::instance::ForegroundCompletion complete) {
            ++calls;
            asked = w;
            onDeviceThread = std::this_thread::get_id() == deviceThread;
            bool wrote = fd >= 0 && write(fd, kGreeting, std::strlen(kGreeting)) ==
                                        static_cast<ssize_t>(std::strlen(kGreeting));
            if (fd >= 0) {
                close(fd);
            }
            complete(wrote);
        });

    EXPECT_EQ(RunSecondCopy(), 0) << "the second copy's checks failed (see its output above)";
    driver.WaitIdle();
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(asked, window);
    EXPECT_TRUE(onDeviceThread.load());

    driver.Run([&] { EXPECT_TRUE(CloseHandle(mutex)); });
    // Letting go of the mutex closes the socket: nobody answers any more.
    EXPECT_FALSE(fs::exists(root_ / ".run" / "StockAtInstanceTest.sock"));
}

TEST_F(InstanceTest, GarbageOnTheSocketIsDroppedAndServiceGoesOn) {
    platform::headless::Driver driver;
    HANDLE mutex = nullptr;
    driver.Run([&] { mutex = CreateMutex(nullptr, FALSE, kMutexName); });
    ASSERT_NE(mutex, nullptr);
    fs::path socketPath = root_ / ".run" / "StockAtInstanceTest.sock";
    auto connectTo = [&] {
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, socketPath.c_str(), sizeof addr.sun_path - 1);
        EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        return fd;
    };
    // A frame that claims four gigabytes, and a client that leaves mid-frame.
    int huge = connectTo();
    ASSERT_EQ(write(huge,
                    "\xFF\xFF\xFF\xFF"
                    "F",
                    5),
              5);
    int early = connectTo();
    ASSERT_EQ(write(early, "\x10\x00", 2), 2);
    close(early);
    driver.WaitIdle();
    char byte;
    EXPECT_EQ(read(huge, &byte, 1), 0); // dropped without an answer
    close(huge);

    // The service still answers a proper search (for a window it lacks):
    // a frame of 'F', flags 1 (a class name follows), the name.
    std::string payload = "F\x01";
    std::string name = "StockAtInstanceTest";
    payload += std::string("\x13\0\0\0", 4) + name;
    std::string frame =
        std::string(1, static_cast<char>(payload.size())) + std::string(3, '\0') + payload;
    int fd = connectTo();
    timeval timeout{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ASSERT_EQ(write(fd, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    char reply[8] = {};
    size_t got = 0;
    for (ssize_t n; got < 5 && (n = read(fd, reply + got, 5 - got)) > 0;) {
        got += static_cast<size_t>(n);
    }
    close(fd);
    EXPECT_EQ(std::string(reply, got), std::string("\x01\0\0\0N", 5));
    driver.Run([&] { CloseHandle(mutex); });
}

// The second copy: runs only when the test above starts it.
TEST(InstanceSecondCopy, Run) {
    const char* root = std::getenv(kRootVariable);
    if (root == nullptr) {
        GTEST_SKIP() << "runs only as the second copy started by InstanceTest";
    }
    platform::Device().root = root;
    platform::Device().runtimeDir.clear();

    HANDLE mutex = CreateMutex(nullptr, FALSE, kMutexName);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(CloseHandle(mutex));

    EXPECT_EQ(FindWindow(kClass, u"some other title"), nullptr);
    HWND window = FindWindow(kClass, kTitle);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(platform::instance::IsRemoteWindow(window));
    EXPECT_TRUE(IsWindow(window));
    std::u16string className, title;
    ASSERT_TRUE(platform::instance::RemoteWindowInfo(window, &className, &title));
    EXPECT_EQ(className, kClass);
    EXPECT_EQ(title, kTitle);
    // The same window found again is the same proxy.
    EXPECT_EQ(FindWindow(kClass, nullptr), window);

    // Ask it forward with the group bit, handing over one end of a pipe.
    int pipeFds[2];
    ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
    platform::instance::SetForegroundRequestFd(pipeFds[1]);
    auto grouped =
        reinterpret_cast<HWND>(reinterpret_cast<std::uintptr_t>(window) | std::uintptr_t{1});
    EXPECT_TRUE(SetForegroundWindow(grouped));
    platform::instance::SetForegroundRequestFd(-1);
    close(pipeFds[1]);
    char buffer[64] = {};
    ssize_t n = read(pipeFds[0], buffer, sizeof buffer - 1);
    close(pipeFds[0]);
    EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0), kGreeting);
}

} // namespace
