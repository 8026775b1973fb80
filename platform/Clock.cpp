// The device clock (real, scaled or manual time), the local-time conversions
// for an IANA zone, and the kernel's GetLocalTime and GetTickCount, which
// read the device clock so that tests can move time by hand.

#include "platform/clock.h"

#include "platform/device.h"
#include "platform/win.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace platform {

namespace {

std::int64_t RealEpochMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The C library knows zones only through the TZ variable, which is process
// state; every conversion switches it under this mutex and puts it back.
std::mutex& ZoneMutex() {
    static std::mutex mutex;
    return mutex;
}

class ZoneSwitch {
  public:
    explicit ZoneSwitch(const std::string& tz) : lock_(ZoneMutex()) {
        const char* old = std::getenv("TZ");
        hadOld_ = old != nullptr;
        if (hadOld_) {
            old_ = old;
        }
        // A leading colon makes glibc read the zone file of that name.
        std::string value = tz.empty() ? std::string("UTC") : ":" + tz;
        setenv("TZ", value.c_str(), 1);
        tzset();
    }
    ~ZoneSwitch() {
        if (hadOld_) {
            setenv("TZ", old_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    ZoneSwitch(const ZoneSwitch&) = delete;
    ZoneSwitch& operator=(const ZoneSwitch&) = delete;

  private:
    std::lock_guard<std::mutex> lock_;
    bool hadOld_ = false;
    std::string old_;
};

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) {
        --q;
    }
    return q;
}

} // namespace

DeviceClock::DeviceClock() : mode_(Mode::Real) {
    startRealMs_ = SteadyMs();
    startEpochMs_ = RealEpochMs();
    originEpochMs_ = startEpochMs_;
}

DeviceClock DeviceClock::Real() {
    return DeviceClock();
}

DeviceClock DeviceClock::Scaled(std::int64_t startEpochMs, double rate) {
    DeviceClock c;
    c.mode_ = Mode::Scaled;
    c.rate_ = rate > 0 ? rate : 1.0;
    c.startEpochMs_ = startEpochMs;
    c.startRealMs_ = SteadyMs();
    c.originEpochMs_ = startEpochMs;
    return c;
}

DeviceClock DeviceClock::Manual(std::int64_t startEpochMs) {
    DeviceClock c;
    c.mode_ = Mode::Manual;
    c.manualEpochMs_ = startEpochMs;
    c.startEpochMs_ = startEpochMs;
    c.originEpochMs_ = startEpochMs;
    return c;
}

DeviceClock::DeviceClock(const DeviceClock& other) {
    *this = other;
}

DeviceClock& DeviceClock::operator=(const DeviceClock& other) {
    if (this == &other) {
        return *this;
    }
    std::scoped_lock lock(mutex_, other.mutex_);
    mode_ = other.mode_;
    rate_ = other.rate_;
    startEpochMs_ = other.startEpochMs_;
    startRealMs_ = other.startRealMs_;
    manualEpochMs_ = other.manualEpochMs_;
    originEpochMs_ = other.originEpochMs_;
    return *this;
}

std::int64_t DeviceClock::NowEpochMs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    switch (mode_) {
    case Mode::Manual:
        return manualEpochMs_;
    case Mode::Scaled: {
        double elapsed = static_cast<double>(SteadyMs() - startRealMs_) * rate_;
        return startEpochMs_ + static_cast<std::int64_t>(std::floor(elapsed));
    }
    case Mode::Real:
    default:
        // The machine's time as it stands (it follows a suspend or a set
        // clock); timers use NowMs, which is monotonic.
        return RealEpochMs();
    }
}

std::int64_t DeviceClock::NowMs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    switch (mode_) {
    case Mode::Manual:
        return manualEpochMs_ - originEpochMs_;
    case Mode::Scaled: {
        double elapsed = static_cast<double>(SteadyMs() - startRealMs_) * rate_;
        return static_cast<std::int64_t>(std::floor(elapsed));
    }
    case Mode::Real:
    default:
        return SteadyMs() - startRealMs_;
    }
}

std::optional<std::int64_t> DeviceClock::RealDelayFor(std::int64_t deviceMs) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (mode_ == Mode::Manual) {
        return std::nullopt;
    }
    if (deviceMs <= 0) {
        return 0;
    }
    if (mode_ == Mode::Scaled) {
        // Round up, so that a wait never ends just before the moment.
        return static_cast<std::int64_t>(std::ceil(static_cast<double>(deviceMs) / rate_));
    }
    return deviceMs;
}

void DeviceClock::Advance(std::int64_t ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (mode_ == Mode::Manual && ms > 0) {
        manualEpochMs_ += ms;
    }
}

void DeviceClock::SetEpochMs(std::int64_t epochMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (mode_ == Mode::Manual && epochMs > manualEpochMs_) {
        manualEpochMs_ = epochMs;
    }
}

std::optional<std::int64_t> ParseLocalTime(const std::string& text, const std::string& tz) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int used = 0;
    int n = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d%n", &year, &month, &day, &hour, &minute,
                        &used);
    if (n != 5) {
        return std::nullopt;
    }
    std::string rest = text.substr(static_cast<std::size_t>(used));
    if (!rest.empty()) {
        int used2 = 0;
        if (std::sscanf(rest.c_str(), ":%2d%n", &second, &used2) != 1 ||
            static_cast<std::size_t>(used2) != rest.size()) {
            return std::nullopt;
        }
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 59 || year < 1970) {
        return std::nullopt;
    }
    ZoneSwitch zone(tz);
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    // mktime normalises impossible dates (31 February); refuse them instead.
    if (tm.tm_mday != day || tm.tm_mon != month - 1) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(t) * 1000;
}

LocalTime ToLocalTime(std::int64_t epochMs, const std::string& tz) {
    std::int64_t seconds = FloorDiv(epochMs, 1000);
    int millis = static_cast<int>(epochMs - seconds * 1000);
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    {
        ZoneSwitch zone(tz);
        localtime_r(&t, &tm);
    }
    LocalTime lt{};
    lt.year = tm.tm_year + 1900;
    lt.month = tm.tm_mon + 1;
    lt.day = tm.tm_mday;
    lt.dayOfWeek = tm.tm_wday;
    lt.hour = tm.tm_hour;
    lt.minute = tm.tm_min;
    lt.second = tm.tm_sec;
    lt.millisecond = millis;
    return lt;
}

} // namespace platform

void GetLocalTime(SYSTEMTIME* time) {
    if (time == nullptr) {
        return;
    }
    platform::LocalTime lt =
        platform::ToLocalTime(platform::Clock().NowEpochMs(), platform::Device().timeZone);
    time->wYear = static_cast<WORD>(lt.year);
    time->wMonth = static_cast<WORD>(lt.month);
    time->wDayOfWeek = static_cast<WORD>(lt.dayOfWeek);
    time->wDay = static_cast<WORD>(lt.day);
    time->wHour = static_cast<WORD>(lt.hour);
    time->wMinute = static_cast<WORD>(lt.minute);
    time->wSecond = static_cast<WORD>(lt.second);
    time->wMilliseconds = static_cast<WORD>(lt.millisecond);
}

DWORD GetTickCount() {
    return static_cast<DWORD>(platform::Clock().NowMs());
}
