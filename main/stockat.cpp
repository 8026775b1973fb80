// stockat: the program on a terminal. Reads the options into the device's
// configuration, prepares the terminal front-end, starts the bundled quote
// server (for --demo on its simulated market with a demo device; without
// --server on the live market, fetching from the public quote feeds), and
// runs the program.
#include "alerts/AlertDelivery.h"
#include "app/WinMain.h"
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "main/DemoServer.h"
#include "main/Options.h"
#include "net/HttpFetch.h"
#include "net/QuotePageParser.h"
#include "platform/clock.h"
#include "platform/device.h"
#include "platform/loop.h"
#include "push/Config.h"
#include "push/PushTest.h"
#include "refresh/RefreshFrequencyDlg.h"
#include "res/Resources.h"
#include "term/Terminal.h"
#include "watchlist/DataFiles.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <langinfo.h>
#include <sys/socket.h>
#include <sys/un.h>
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
    fs::path log = platform::Device().root / "stockat-quoted.log";
    if (!server.Start(SelfDir() / "stockat-quoted", args, log, 10000)) {
        std::cerr << "stockat: cannot start the live quote server: " << server.Error()
                  << "; give a quote server with --server HOST[:PORT], or try --demo\n";
        return false;
    }
    platform::Device().serverHost = "127.0.0.1";
    platform::Device().serverPort = static_cast<std::uint16_t>(server.Port());
    return true;
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
    term::Terminal terminal;
    if (std::optional<std::string> error = terminal.Install()) {
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
    platform::BindUiThread();
    HINSTANCE instance = RegisterResourceModule(&StockAtResources());
    int code = WinMain(instance, nullptr, nullptr, SW_SHOW);
    terminal.Finish();
    StopPushDelivery();
    server.Stop();
    return code;
}
