// Desktop notifications: the bubble page as the service's body (markup or
// plain text), and Notify against a mock notification service on a private
// session bus (python3-dbusmock's notification_daemon template).

#include "platform/Text.h"
#include "platform/desktop.h"
#include "platform/device.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;
using platform::desktop::BodyFromHtml;

// clang-format off
// A price alert's page and a notice page as the program builds them, the
// bubble title, and what the service should be given for the alert page.
const char8_t kAlertPage[] = u8"<html><body><form method=\"POST\" action=><p><font size=6 宋体 color=\"#000080\"><b><strong>民生银行(600016)</strong></b></font><br></br>您设置的卖出价位<U>10.00</U>元已经达到，请及时操作！现价:10.50元，最高:10.62元 。[瞰市09:35:12]</p><p align=right></p></body></html>";
const char8_t kAlertPlain[] = u8"民生银行(600016)\n您设置的卖出价位10.00元已经达到，请及时操作！现价:10.50元，最高:10.62元 。[瞰市09:35:12]";
const char8_t kAlertMarkup[] = u8"<b>民生银行(600016)</b>\n您设置的卖出价位<u>10.00</u>元已经达到，请及时操作！现价:10.50元，最高:10.62元 。[瞰市09:35:12]";
const char8_t kNoticeHead[] = u8"<html><body><form method=\"POST\" action=><p><font size=6 宋体 color=\"#0000FF\"><b><strong>温馨提示</strong></b></font><br></br>";
const char8_t kNoticeTail[] = u8"</p><p align=right></p></body></html>";
const char8_t kNoticeHeading[] = u8"温馨提示";
const char8_t kTitle[] = u8"新通知";
// clang-format on

std::u16string U(const char8_t* s) {
    return Utf8ToUtf16(reinterpret_cast<const char*>(s));
}
std::string S(const char8_t* s) {
    return reinterpret_cast<const char*>(s);
}

TEST(DesktopBody, AlertPageBecomesMarkupOrPlainText) {
    EXPECT_EQ(Utf16ToUtf8(BodyFromHtml(U(kAlertPage), true)), S(kAlertMarkup));
    EXPECT_EQ(Utf16ToUtf8(BodyFromHtml(U(kAlertPage), false)), S(kAlertPlain));
}

TEST(DesktopBody, NoticeTextWithMarkupCharactersStaysSafe) {
    // A notice text is inserted into the page unescaped; what it holds must
    // reach the service as text, never as broken markup.
    std::u16string page =
        U(kNoticeHead) + u"A &amp; B &lt;3 &#x4E2D;&#25991; x < y <3 & 2" + U(kNoticeTail);
    std::u16string heading = U(kNoticeHeading);
    EXPECT_EQ(BodyFromHtml(page, true),
              u"<b>" + heading + u"</b>\nA &amp; B &lt;3 \u4E2D\u6587 x &lt; y &lt;3 &amp; 2");
    EXPECT_EQ(BodyFromHtml(page, false), heading + u"\nA & B <3 \u4E2D\u6587 x < y <3 & 2");
}

TEST(DesktopBody, TagsStayWellNestedAndClosed) {
    EXPECT_EQ(BodyFromHtml(u"<b>x<u>y</b>z</u>", true), u"<b>x<u>y</u></b><u>z</u>");
    EXPECT_EQ(BodyFromHtml(u"<B><i>open", true), u"<b><i>open</i></b>");
    EXPECT_EQ(BodyFromHtml(u"</b>stray<b><strong>one</strong></b>", true), u"stray<b>one</b>");
    EXPECT_EQ(BodyFromHtml(u"a<br>b<br/>c<p>d</p>\n  e  <table><tr>f", true), u"a\nb\nc\nd\ne\nf");
    EXPECT_EQ(BodyFromHtml(u"", true), u"");
    EXPECT_EQ(BodyFromHtml(u"<unterminated", false), u"<unterminated");
}

// --- A private session bus with a mock notification service ----------------

std::string Python() {
    for (const char* candidate : {"/usr/bin/python3", "python3"}) {
        std::string probe = std::string(candidate) + " -c 'import dbusmock' >/dev/null 2>&1";
        if (std::system(probe.c_str()) == 0) {
            return candidate;
        }
    }
    return {};
}

class MockNotifications {
  public:
    // Starts a bus (no service activation: nothing else can start on it)
    // and the mock on it, with the given capabilities.
    bool Start(const fs::path& dir, const std::string& capabilities) {
        std::string python = Python();
        if (python.empty() || std::system("command -v dbus-daemon >/dev/null 2>&1") != 0) {
            return false;
        }
        fs::path config = dir / "bus.conf";
        std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                                 "Configuration 1.0//EN\" "
                                 "\"http://www.freedesktop.org/standards/dbus/1.0/"
                                 "busconfig.dtd\">\n"
                                 "<busconfig><type>session</type>"
                                 "<listen>unix:dir="
                              << dir.string()
                              << "</listen><auth>EXTERNAL</auth>"
                                 "<policy context=\"default\">"
                                 "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                 "<allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                                 "</policy></busconfig>\n";
        std::string command = "dbus-daemon --config-file='" + config.string() +
                              "' --fork --print-address=1 --print-pid=1";
        FILE* out = popen(command.c_str(), "r");
        if (out == nullptr) {
            return false;
        }
        char line[512];
        if (fgets(line, sizeof line, out) != nullptr) {
            address_ = line;
            address_.erase(address_.find_last_not_of("\n") + 1);
        }
        if (fgets(line, sizeof line, out) != nullptr) {
            busPid_ = std::atoi(line);
        }
        pclose(out);
        if (address_.empty() || busPid_ <= 0) {
            return false;
        }
        mockPid_ = fork();
        if (mockPid_ == 0) {
            setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
            int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, 1); // the mock reports every call on its output
            dup2(quiet, 2);
            std::string params = "{\"capabilities\": \"" + capabilities + "\"}";
            execlp(python.c_str(), python.c_str(), "-m", "dbusmock", "--template",
                   "notification_daemon", "-p", params.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        if (sd_bus_new(&bus_) < 0 || sd_bus_set_address(bus_, address_.c_str()) < 0 ||
            sd_bus_set_bus_client(bus_, 1) < 0 || sd_bus_start(bus_) < 0) {
            return false;
        }
        // Wait until the mock owns its name.
        for (int i = 0; i < 200; ++i) {
            sd_bus_error error = SD_BUS_ERROR_NULL;
            sd_bus_message* reply = nullptr;
            int owned = 0;
            if (sd_bus_call_method(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                   "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s",
                                   "org.freedesktop.Notifications") >= 0) {
                sd_bus_message_read(reply, "b", &owned);
            }
            sd_bus_message_unref(reply);
            sd_bus_error_free(&error);
            if (owned) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    ~MockNotifications() {
        if (bus_ != nullptr) {
            sd_bus_flush_close_unref(bus_);
        }
        if (mockPid_ > 0) {
            kill(mockPid_, SIGTERM);
            waitpid(mockPid_, nullptr, 0);
        }
        if (busPid_ > 0) {
            kill(busPid_, SIGTERM);
        }
    }

    const std::string& Address() const { return address_; }

    struct Call {
        std::string app, icon, summary, body;
        std::uint32_t replaces = 0;
        std::int32_t timeout = 0;
    };

    // The Notify calls the mock received, from its call log.
    std::optional<std::vector<Call>> NotifyCalls() {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* m = nullptr;
        int rc = sd_bus_call_method(bus_, "org.freedesktop.Notifications",
                                    "/org/freedesktop/Notifications", "org.freedesktop.DBus.Mock",
                                    "GetMethodCalls", &error, &m, "s", "Notify");
        sd_bus_error_free(&error);
        if (rc < 0) {
            return std::nullopt;
        }
        std::vector<Call> calls;
        bool ok = sd_bus_message_enter_container(m, 'a', "(tav)") >= 0;
        while (ok && sd_bus_message_enter_container(m, 'r', "tav") > 0) {
            std::uint64_t stamp;
            Call call;
            const char *app, *icon, *summary, *body;
            ok = sd_bus_message_read(m, "t", &stamp) >= 0 &&
                 sd_bus_message_enter_container(m, 'a', "v") >= 0 &&
                 sd_bus_message_read(m, "vvvvv", "s", &app, "u", &call.replaces, "s", &icon, "s",
                                     &summary, "s", &body) >= 0 &&
                 sd_bus_message_skip(m, "vv") >= 0 &&
                 sd_bus_message_read(m, "v", "i", &call.timeout) >= 0 &&
                 sd_bus_message_exit_container(m) >= 0 && sd_bus_message_exit_container(m) >= 0;
            if (ok) {
                call.app = app;
                call.icon = icon;
                call.summary = summary;
                call.body = body;
                calls.push_back(call);
            }
        }
        sd_bus_message_unref(m);
        if (!ok) {
            return std::nullopt;
        }
        return calls;
    }

  private:
    std::string address_;
    pid_t busPid_ = -1;
    pid_t mockPid_ = -1;
    sd_bus* bus_ = nullptr;
};

class DesktopNotify : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "stockat-dbus-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        if (const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
            savedAddress_ = old;
        }
        savedEnabled_ = platform::Device().desktopNotifications;
    }
    void TearDown() override {
        if (savedAddress_) {
            setenv("DBUS_SESSION_BUS_ADDRESS", savedAddress_->c_str(), 1);
        } else {
            unsetenv("DBUS_SESSION_BUS_ADDRESS");
        }
        platform::Device().desktopNotifications = savedEnabled_;
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // Starts the mock, or says why the test cannot run.
    bool StartMock(MockNotifications& mock, const std::string& capabilities) {
        if (Python().empty()) {
            return false;
        }
        EXPECT_TRUE(mock.Start(dir_, capabilities)) << "the private bus or the mock did not start";
        setenv("DBUS_SESSION_BUS_ADDRESS", mock.Address().c_str(), 1);
        platform::Device().desktopNotifications = true;
        return true;
    }

    fs::path dir_;
    std::optional<std::string> savedAddress_;
    bool savedEnabled_ = true;
};

TEST_F(DesktopNotify, ServiceWithBodyMarkupGetsTheMarkedUpPage) {
    MockNotifications mock;
    if (!StartMock(mock, "body body-markup")) {
        GTEST_SKIP() << "python3-dbusmock is not installed (scripts/install-deps.sh installs it)";
    }
    platform::desktop::Notify(U(kTitle), U(kAlertPage));
    auto calls = mock.NotifyCalls();
    ASSERT_TRUE(calls.has_value());
    ASSERT_EQ(calls->size(), 1u);
    const auto& call = calls->front();
    EXPECT_EQ(call.app, "stockat");
    EXPECT_EQ(call.replaces, 0u);
    EXPECT_EQ(call.summary, S(kTitle));
    EXPECT_EQ(call.body, S(kAlertMarkup));
    EXPECT_EQ(call.timeout, 40000);
}

TEST_F(DesktopNotify, ServiceWithoutBodyMarkupGetsPlainText) {
    MockNotifications mock;
    if (!StartMock(mock, "body")) {
        GTEST_SKIP() << "python3-dbusmock is not installed (scripts/install-deps.sh installs it)";
    }
    platform::desktop::Notify(U(kTitle), U(kAlertPage));
    platform::Device().desktopNotifications = false; // the device says no: nothing is sent
    platform::desktop::Notify(U(kTitle), u"second");
    auto calls = mock.NotifyCalls();
    ASSERT_TRUE(calls.has_value());
    ASSERT_EQ(calls->size(), 1u);
    EXPECT_EQ(calls->front().body, S(kAlertPlain));
}

TEST_F(DesktopNotify, NoBusIsQuietlyNothing) {
    // A desktop is there, on the bus a session would find by default
    // ($XDG_RUNTIME_DIR/bus), but the program is not told of a bus: it sends
    // nothing there, nor to an address where no bus listens, and says
    // nothing about it on the terminal. Then, told of the bus, it reaches it.
    MockNotifications mock;
    if (!StartMock(mock, "body")) {
        GTEST_SKIP() << "python3-dbusmock is not installed (scripts/install-deps.sh installs it)";
    }
    const std::string address = mock.Address();
    const std::string prefix = "unix:path=";
    ASSERT_EQ(address.rfind(prefix, 0), 0u) << address;
    const fs::path socket = address.substr(prefix.size(), address.find(',') - prefix.size());
    fs::create_symlink(socket, dir_ / "bus");
    std::optional<std::string> savedRuntime;
    if (const char* old = std::getenv("XDG_RUNTIME_DIR")) {
        savedRuntime = old;
    }
    setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);

    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    platform::desktop::Notify(U(kTitle), U(kAlertPage));
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (dir_ / "no-such-bus").string()).c_str(), 1);
    platform::desktop::Notify(U(kTitle), U(kAlertPage));
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    if (savedRuntime) {
        setenv("XDG_RUNTIME_DIR", savedRuntime->c_str(), 1);
    } else {
        unsetenv("XDG_RUNTIME_DIR");
    }
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
    EXPECT_FALSE(fs::exists(dir_ / "no-such-bus"));
    auto calls = mock.NotifyCalls();
    ASSERT_TRUE(calls.has_value());
    EXPECT_TRUE(calls->empty());

    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    platform::desktop::Notify(U(kTitle), U(kAlertPage));
    calls = mock.NotifyCalls();
    ASSERT_TRUE(calls.has_value());
    EXPECT_EQ(calls->size(), 1u);
}

} // namespace
