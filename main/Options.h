// The command line of `stockat`: the options of the stand-in phone (where its
// file system is, which quote server and gateway its network reaches, its
// clock and time zone, its SMS service), the demo switch, and the quote feeds
// of the live quote server that `stockat` starts when no --server is given.
// The program itself reads no command line; these only configure the device.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace launch {

struct CommandLine {
    std::string root;     // --root DIR
    std::string server;   // --server HOST[:PORT]
    std::string gateway;  // --gateway ADDR[:PORT]
    std::string clock;    // --clock "YYYY-MM-DD HH:MM[:SS]"
    double clockRate = 1; // --clock-rate R
    bool clockRateGiven = false;
    std::string timeZone = "Asia/Shanghai"; // --tz ZONE
    std::string smsOutbox;                  // --sms-outbox DIR
    bool demo = false;                      // --demo
    std::vector<std::string> feeds;         // --feed NAME[=URL], repeatable
    bool pushTest = false;                  // --push-test
    bool background = false;                // --background
    bool status = false;                    // --status
};

// Parses the command line. Returns the exit code when the program is to
// stop at once: 0 after --help or --version (printed to `out`), 2 after a
// bad option (one line on `err`); nothing when it is to run.
std::optional<int> ParseCommandLine(int argc, const char* const* argv, CommandLine& line,
                                    std::ostream& out, std::ostream& err);

// "HOST[:PORT]": the host and the port (`defaultPort` without one).
// Nothing for an empty host or a port that is not 1-65535.
struct HostPort {
    std::string host;
    std::uint16_t port = 0;
};
std::optional<HostPort> ParseHostPort(const std::string& text, std::uint16_t defaultPort);

// Whether the program starts its own live quote server: neither --server
// nor --demo was given.
bool StartsLiveServer(const CommandLine& line);

// The arguments of `stockat-quoted` for the live quote server on a free
// loopback port: the live market, every --feed in order, and, when the
// device clock was set (--clock or --clock-rate), the same clock, with its
// start `clockStartMs` written in Beijing time (the server's zone), so that
// recorded replies can be watched as of their own day.
std::vector<std::string> LiveServerArguments(const CommandLine& line, std::int64_t clockStartMs);

// Configures platform::Device() and the device clock from the options
// (the demo's own settings come on top, from main). Returns an error text
// for a value the device cannot take.
std::optional<std::string> ApplyToDevice(const CommandLine& line);

} // namespace launch
