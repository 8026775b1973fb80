// stockat: the program on a terminal. Reads the options into the device's
// configuration, prepares the terminal front-end, starts the bundled quote
// server (for --demo on its simulated market with a demo device; without
// --server on the live market, fetching from the public quote feeds), and
// runs the program. With --background the program starts without a
// terminal (leaving the shell it was started from, unless a service manager
// started it); --status tells about the running copy.
#include "alerts/AlertDelivery.h"
#include "app/WinMain.h"
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "main/DemoServer.h"
#include "main/Options.h"
#include "main/RunStatus.h"
#include "net/HttpFetch.h"
#include "net/QuotePageParser.h"
#include "platform/clock.h"
#include "platform/device.h"
#include "platform/loop.h"
#include "push/Config.h"
#include "push/PushTest.h"
#include "refresh/RefreshCycle.h"
#include "refresh/RefreshFrequencyDlg.h"
#include "res/Resources.h"
#include "term/Terminal.h"
#include "watchlist/DataFiles.h"

#include <cerrno>
#include <chrono>
#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <langinfo.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The demo's watch list: four stocks and the Shanghai composite.
const char* const kDemoCodes[] = {"600519", "600036", "000002", "601318", "999998"};
constexpr double kDemoClockRate = 5.0;
constexpr const char* kBeijing = "Asia/Shanghai";

// The UTF-8 locale the screen needs, with C number formats, which the
// program's texts rely on.
void SetLocale() {
    std::setlocale(LC_ALL, "");
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) {
        std::setlocale(LC_CTYPE, "C.UTF-8");
    }
    std::setlocale(LC_NUMERIC, "C");
}

fs::path DemoRoot() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        return fs::path(runtime) / "stockat-demo";
    }
    return fs::path("/tmp") / ("stockat-demo-" + std::to_string(getuid()));
}

fs::path SelfDir() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : self.parent_path();
}

// Whether a copy of the program already runs on this device: its instance
// socket answers.
bool AnotherCopyRuns() {
    fs::path path = platform::RuntimeDir() / (platform::ToUtf8(kMainClassName) + ".sock");
    sockaddr_un addr{};
    if (path.string().size() >= sizeof addr.sun_path) {
        return false;
    }
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path.c_str());
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool running = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (fd >= 0) {
        close(fd);
    }
    return running;
}

std::string FormatLocal(std::int64_t epochMs, const std::string& tz) {
    platform::LocalTime t = platform::ToLocalTime(epochMs, tz);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

// Today at 10:00 Beijing time, or the Friday before on a weekend: inside
// trading hours, so that the quotes move.
std::int64_t DemoStart() {
    std::int64_t now = platform::DeviceClock::Real().NowEpochMs();
    platform::LocalTime t = platform::ToLocalTime(now, kBeijing);
    int back = t.dayOfWeek == 0 ? 2 : t.dayOfWeek == 6 ? 1 : 0;
    platform::LocalTime day = platform::ToLocalTime(now - back * 86400000LL, kBeijing);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d 10:00:00", day.year, day.month, day.day);
    return platform::ParseLocalTime(text, kBeijing).value_or(now);
}

// Writes a fresh demo device: the settings (Wi-Fi, bubbles, a 20-second
// refresh, black background) and a watch list whose quotes come from the
// demo server, with targets just around each price so that alerts come soon.
void WriteDemoDevice() {
    std::error_code ec;
    fs::remove(platform::DevicePath(kSettingsFilePath), ec);
    fs::remove(platform::DevicePath(kWatchListFilePath), ec);
    ResetProgramState();
    Settings.RefreshInterval = 20;
    Settings.RefreshUnit = kUnitSeconds;
    Settings.Background = "K";
    Settings.NotifyMethod = "t";
    Settings.ConnectionMethod = "3";
    int n = 0;
    EstablishConnection();
    for (const char* code : kDemoCodes) {
        QuoteRecord& r = WatchList[n];
        r = QuoteRecord{};
        r.code = code;
        if (HttpFetch(BuildQuoteRequest(r.code)) == 0 &&
            (ReplyIsQuotePage(kStockPageMarker) || ReplyIsQuotePage(kIndexPageMarker))) {
            ParseQuotePage(n);
        }
        double latest = ReadNumber(r.latest);
        char target[32];
        std::snprintf(target, sizeof target, "%.2f", latest * 1.003);
        r.sellTarget = latest > 0 ? target : "--";
        std::snprintf(target, sizeof target, "%.2f", latest * 0.997);
        r.buyTarget = latest > 0 ? target : "--";
        // assign(1, 'N') rather than = "N": g++ 12 at -O3 warns wrongly
        // (-Wrestrict) about the inlined copy of the literal.
        r.sellAlerted.assign(1, 'N');
        r.buyAlerted.assign(1, 'N');
        ++n;
    }
    stockCount = n;
    Settings.MonthTraffic = 0;
    SaveSettings();
    SaveWatchList();
    // The program reads everything back from the files when it starts.
    ResetProgramState();
    RunTraffic = 0;
    LastReply.clear();
}

// Starts the demo's quote server with the device's clock and points the
// device at it; writes the demo device unless the user chose a root.
bool StartDemo(const launch::CommandLine& line, launch::DemoServer& server) {
    std::int64_t start =
        line.clock.empty() ? DemoStart() : *platform::ParseLocalTime(line.clock, line.timeZone);
    double rate = line.clockRateGiven ? line.clockRate : kDemoClockRate;
    platform::SetClock(platform::DeviceClock::Scaled(start, rate));
    char rateText[32];
    std::snprintf(rateText, sizeof rateText, "%g", rate);
    std::vector<std::string> args = {"--listen",     "127.0.0.1:0",
                                     "--clock",      FormatLocal(start, kBeijing),
                                     "--clock-rate", rateText};
    fs::path log = platform::Device().root / "stockat-quoted.log";
    if (!server.Start(SelfDir() / "stockat-quoted", args, log, 10000)) {
        std::cerr << "stockat: " << server.Error() << "\n";
        return false;
    }
    platform::Device().serverHost = "127.0.0.1";
    platform::Device().serverPort = static_cast<std::uint16_t>(server.Port());
    if (line.root.empty()) {
        WriteDemoDevice();
    }
    return true;
}

// Starts the live quote server on a free loopback port and points the device
// at it. The server runs as long as the program does, in the background too.
bool StartLive(const launch::CommandLine& line, launch::DemoServer& server) {
    std::vector<std::string> args =
        launch::LiveServerArguments(line, platform::Clock().NowEpochMs());
    // The live server runs for weeks: it keeps its own log, bounded; only
    // what it says before its log is open goes to the start-up file.
    fs::path log = platform::Device().root / "stockat-quoted.log";
    args.insert(args.end(), {"--log", log.string()});
    fs::path startup = platform::Device().root / "stockat-quoted.start.log";
    if (!server.Start(SelfDir() / "stockat-quoted", args, startup, 10000)) {
        std::cerr << "stockat: cannot start the live quote server: " << server.Error()
                  << "; give a quote server with --server HOST[:PORT], or try --demo\n";
        return false;
    }
    platform::Device().serverHost = "127.0.0.1";
    platform::Device().serverPort = static_cast<std::uint16_t>(server.Port());
    return true;
}

// ---- Running without a terminal, and the status ----------------------------

std::int64_t RealNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The status of this copy, kept in the device folder while it runs.
launch::StatusKeeper statusKeeper;

void OnRefreshed() {
    statusKeeper.SetRefreshed(RealNowMs());
}

// The running copy's status file, when it belongs to a live process.
std::optional<launch::RunStatus> ReadStatus() {
    std::ifstream in(launch::StatusPath(platform::Device().root));
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::optional<launch::RunStatus> status = launch::DecodeStatus(text.str());
    if (status && kill(static_cast<pid_t>(status->pid), 0) != 0 && errno == ESRCH) {
        return std::nullopt; // left behind by a copy that was killed
    }
    return status;
}

int ReportStatus() {
    launch::StatusReport report = launch::DescribeStatus(
        AnotherCopyRuns(), ReadStatus(), launch::CountPushOutbox(platform::Device().root));
    std::cout << report.text;
    return report.exitCode;
}

// Whether a service manager started this process with its standard error
// on the journal (it says so in JOURNAL_STREAM, "device:inode" of that
// stream). Such a process must stay the one that was started.
bool StartedByServiceManager() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    unsigned long long device = 0, inode = 0;
    struct stat st {};
    return stream != nullptr && std::sscanf(stream, "%llu:%llu", &device, &inode) == 2 &&
           fstat(STDERR_FILENO, &st) == 0 && st.st_dev == device && st.st_ino == inode;
}

// Leaves the shell that started --background: a child in a session of its
// own carries on, with no terminal, standard input from /dev/null and its
// output appended to `log`. The parent waits until the child's program has
// composed its first screen (a byte on the pipe whose writing end goes to
// `readyFd`) or has ended, says which in one line and returns the exit code;
// the child gets nothing and goes on.
std::optional<int> LeaveTheShell(const fs::path& log, int& readyFd) {
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        std::cerr << "stockat: cannot go to the background: " << std::strerror(errno) << "\n";
        return 1;
    }
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    pid_t child = fork();
    if (child < 0) {
        std::cerr << "stockat: cannot go to the background: " << std::strerror(errno) << "\n";
        return 1;
    }
    if (child > 0) {
        close(ready[1]);
        char byte = 0;
        ssize_t n;
        do {
            n = read(ready[0], &byte, 1);
        } while (n < 0 && errno == EINTR);
        close(ready[0]);
        if (n == 1) {
            std::cout << "stockat: runs in the background (pid " << child << ", log "
                      << log.string() << ")\n";
            return 0;
        }
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
            std::cout << "stockat: a copy runs already\n"; // found one at the last moment
            return 0;
        }
        std::cerr << "stockat: the background copy did not start; see " << log.string() << "\n";
        return 1;
    }
    close(ready[0]);
    setsid();
    int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (null >= 0) {
        dup2(null, STDIN_FILENO);
    }
    if (out < 0) {
        out = null;
    }
    if (out >= 0) {
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
    }
    for (int fd : {null, out}) {
        if (fd > STDERR_FILENO) {
            close(fd);
        }
    }
    if (chdir("/") != 0) {
        // Only so that the program holds no folder busy; staying is harmless.
    }
    readyFd = ready[1];
    return std::nullopt;
}

std::string ServerText(const launch::CommandLine& line) {
    const platform::DeviceConfig& device = platform::Device();
    std::string text = device.serverHost + ":" + std::to_string(device.serverPort);
    if (line.demo) {
        return text + " (simulated market, started by stockat)";
    }
    if (launch::StartsLiveServer(line)) {
        return text + " (live market, started by stockat)";
    }
    return text + " (--server)";
}

} // namespace

int main(int argc, char** argv) {
    SetLocale();
    launch::CommandLine line;
    if (std::optional<int> code =
            launch::ParseCommandLine(argc, argv, line, std::cout, std::cerr)) {
        return *code;
    }
    if (line.pushTest) {
        return push::RunPushTest(push::DefaultConfigPath(), std::cout, std::cerr);
    }
    launch::CommandLine device = line;
    if (line.demo && line.root.empty()) {
        device.root = DemoRoot().string();
    }
    if (std::optional<std::string> error = launch::ApplyToDevice(device)) {
        std::cerr << "stockat: " << *error << "\n";
        return 1;
    }
    if (line.status) {
        return ReportStatus();
    }
    term::Terminal terminal;
    int readyFd = -1;
    if (line.background) {
        if (AnotherCopyRuns()) {
            std::optional<launch::RunStatus> running = ReadStatus();
            std::cout << "stockat: a copy runs already"
                      << (running ? " (pid " + std::to_string(running->pid) + ")" : std::string())
                      << "; stockat on a terminal brings it there\n";
            return 0;
        }
        if (!StartedByServiceManager()) {
            if (std::optional<int> code =
                    LeaveTheShell(platform::Device().root / "stockat.log", readyFd)) {
                return *code;
            }
        }
        terminal.InstallBackground();
    } else if (std::optional<std::string> error = terminal.Install()) {
        std::cerr << "stockat: " << *error << "\n";
        return 1;
    }
    launch::DemoServer server;
    // A copy that finds one already running only hands it the terminal; the
    // running copy has its server.
    if (!AnotherCopyRuns()) {
        if (line.demo && !StartDemo(line, server)) {
            return 1;
        }
        if (launch::StartsLiveServer(line) && !StartLive(line, server)) {
            return 1;
        }
        // The push channels' outbox; what is wrong with push.conf is shown
        // as a notice once the program runs.
        for (const std::string& told :
             StartPushDelivery(push::DefaultConfigPath(), platform::Device().root / "push")) {
            platform::RunOnUiThread([told] { ShowPushFailureBubble("push.conf", told); });
        }
    }
    // The copy that runs the program keeps its status from its first screen
    // on; the terminal's coming and going and every refresh update it.
    launch::RunStatus status;
    status.pid = getpid();
    status.startedMs = RealNowMs();
    status.terminal = !line.background;
    status.server = ServerText(line);
    terminal.SetFirstScreenObserver([&status, readyFd] {
        statusKeeper.Start(platform::Device().root, status);
        if (readyFd >= 0) {
            [[maybe_unused]] ssize_t n = write(readyFd, "R", 1);
            close(readyFd);
        }
    });
    terminal.SetSessionObserver([](bool shown) {
        statusKeeper.SetPid(getpid()); // leaving its own terminal, it forks
        statusKeeper.SetTerminal(shown);
    });
    SetRefreshObserver(OnRefreshed);
    platform::BindUiThread();
    HINSTANCE instance = RegisterResourceModule(&StockAtResources());
    int code = WinMain(instance, nullptr, nullptr, SW_SHOW);
    terminal.Finish();
    StopPushDelivery();
    statusKeeper.Stop();
    server.Stop();
    return code;
}
