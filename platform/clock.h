// The device clock: the one source of time for the platform's timers, for
// GetLocalTime and GetTickCount, and for the bundled quote server's market.
//
// It runs in one of three modes:
//  - real: the machine's time;
//  - scaled: starts at a chosen moment and runs `rate` times faster than real
//    time (a demo can live through a trading day in minutes);
//  - manual: stands still until a test advances it.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace platform {

class DeviceClock {
  public:
    // Real time.
    DeviceClock();

    static DeviceClock Real();
    // Starts at `startEpochMs` (milliseconds since 1970-01-01 UTC) and runs
    // `rate` times faster than real time.
    static DeviceClock Scaled(std::int64_t startEpochMs, double rate);
    // Stands at `startEpochMs` until Advance is called.
    static DeviceClock Manual(std::int64_t startEpochMs);

    DeviceClock(const DeviceClock& other);
    DeviceClock& operator=(const DeviceClock& other);

    // Milliseconds since 1970-01-01 UTC, device time.
    std::int64_t NowEpochMs() const;
    // Monotonic milliseconds of device time since the clock was made.
    std::int64_t NowMs() const;
    // Real milliseconds to wait until device time has moved `deviceMs` ahead
    // (for the scaled mode: deviceMs / rate). Infinite for the manual mode.
    std::optional<std::int64_t> RealDelayFor(std::int64_t deviceMs) const;

    bool IsManual() const { return mode_ == Mode::Manual; }
    double Rate() const { return rate_; }
    // Manual mode only: moves the clock forward.
    void Advance(std::int64_t ms);
    // Manual mode only: sets the clock to a moment (never backwards).
    void SetEpochMs(std::int64_t epochMs);

  private:
    enum class Mode { Real, Scaled, Manual };
    Mode mode_ = Mode::Real;
    double rate_ = 1.0;
    std::int64_t startEpochMs_ = 0; // device time at the real start
    std::int64_t startRealMs_ = 0;  // steady-clock ms at the start
    std::int64_t manualEpochMs_ = 0;
    std::int64_t originEpochMs_ = 0; // device time when made, for NowMs
    mutable std::mutex mutex_;
};

// Parses "YYYY-MM-DD HH:MM[:SS]" as a local time in `tz` (an IANA zone name,
// "Asia/Shanghai" for the device) into epoch milliseconds.
std::optional<std::int64_t> ParseLocalTime(const std::string& text, const std::string& tz);

// Breaks epoch milliseconds into local time fields of zone `tz`.
struct LocalTime {
    int year, month, day, dayOfWeek, hour, minute, second, millisecond;
};
LocalTime ToLocalTime(std::int64_t epochMs, const std::string& tz);

} // namespace platform
