// Fuzzes the settings loader with arbitrary afxg002 files (the input is the
// unscrambled content) and checks that what it loads survives a save and a
// second load unchanged.
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "fuzz/FuzzDeviceRoot.h"
#include "platform/clock.h"
#include "watchlist/DataFiles.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::filesystem::path gFile;

bool Same(const SettingsRecord& a, const SettingsRecord& b) {
    return a.RefreshInterval == b.RefreshInterval && a.RefreshUnit == b.RefreshUnit &&
           a.Background == b.Background && a.TrafficMonth == b.TrafficMonth &&
           a.NotifyMethod == b.NotifyMethod && a.SmsPhone == b.SmsPhone &&
           a.ConnectionMethod == b.ConnectionMethod;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gFile = UseFuzzDeviceRoot("settings", "afxg002");
    platform::SetClock(platform::DeviceClock::Manual(1773800000000)); // March 2026
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string content(reinterpret_cast<const char*>(data), size);
    std::ofstream(gFile, std::ios::binary | std::ios::trunc) << ScrambleText(content);
    ResetProgramState();
    LoadSettings();
    SettingsRecord loaded = Settings;
    if (ReadInteger(loaded.TrafficMonth) != 3 || loaded.MonthTraffic < 0) {
        std::abort(); // the month check always leaves the current month
    }
    std::string before;
    {
        std::ifstream in(gFile, std::ios::binary);
        before.assign(std::istreambuf_iterator<char>(in), {});
    }
    SaveSettings();
    std::string after;
    {
        std::ifstream in(gFile, std::ios::binary);
        after.assign(std::istreambuf_iterator<char>(in), {});
    }
    if (after == before) {
        return 0; // too long to save: the file was kept
    }
    ResetProgramState();
    LoadSettings();
    if (!Same(Settings, loaded)) {
        std::abort();
    }
    return 0;
}
