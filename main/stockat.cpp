// stockat: the program on a terminal. Reads the options into the device's
// configuration, prepares the terminal front-end, for --demo starts the
// bundled quote server and writes a demo device, and runs the program.
#include "app/WinMain.h"
#include "net/HttpFetch.h"
#include "net/QuotePageParser.h"
#include "platform/clock.h"
#include "platform/device.h"
#include "refresh/RefreshFrequencyDlg.h"
#include "res/Resources.h"
#include "term/DemoServer.h"
#include "term/Options.h"
#include "term/Terminal.h"
#include "watchlist/DataFiles.h"
#include "watchlist/QuoteRecord.h"

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
    ResetWatchListState();
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
        // g++ 12 at -O3 takes these inlined assignments of a literal to a std::string for an
        // overlapping copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
        r.sellAlerted = "N";
        r.buyAlerted = "N";
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
        ++n;
    }
    stockCount = n;
    Settings.MonthTraffic = 0;
    SaveSettings();
    SaveWatchList();
    // The program reads everything back from the files when it starts.
    ResetWatchListState();
    RunTraffic = 0;
    LastReply.clear();
}

// Starts the demo's quote server with the device's clock and points the
// device at it; writes the demo device unless the user chose a root.
bool StartDemo(const term::CommandLine& line, term::DemoServer& server) {
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

} // namespace

int main(int argc, char** argv) {
    SetLocale();
    term::CommandLine line;
    if (std::optional<int> code = term::ParseCommandLine(argc, argv, line, std::cout, std::cerr)) {
        return *code;
    }
    term::CommandLine device = line;
    if (line.demo && line.root.empty()) {
        device.root = DemoRoot().string();
    }
    if (std::optional<std::string> error = term::ApplyToDevice(device)) {
        std::cerr << "stockat: " << *error << "\n";
        return 1;
    }
    term::Terminal terminal;
    if (!terminal.Install()) {
        std::cerr << "stockat: needs a terminal (standard input and output)\n";
        return 1;
    }
    term::DemoServer server;
    if (line.demo && !AnotherCopyRuns() && !StartDemo(line, server)) {
        return 1;
    }
    platform::BindUiThread();
    HINSTANCE instance = RegisterResourceModule(&StockAtResources());
    int code = WinMain(instance, nullptr, nullptr, SW_SHOW);
    terminal.Finish();
    server.Stop();
    return code;
}
