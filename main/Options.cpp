// Parsing of stockat's command line with CLI11 (see Options.h).
#include "main/Options.h"

#include "platform/clock.h"
#include "platform/device.h"
#include "term/Keys.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <filesystem>
#include <ostream>

namespace launch {

namespace {

bool KnownZone(const std::string& zone) {
    if (zone == "UTC" || zone.empty()) {
        return !zone.empty();
    }
    if (zone.find("..") != std::string::npos || zone.front() == '/') {
        return false;
    }
    std::error_code ec;
    return std::filesystem::is_regular_file(std::filesystem::path("/usr/share/zoneinfo") / zone,
                                            ec);
}

// NAME[=URL]: a name of letters, digits, '_', '-' and '.', and a URL
// without spaces or control characters.
bool ValidFeed(const std::string& feed) {
    size_t equals = feed.find('=');
    std::string name = feed.substr(0, equals);
    if (name.empty() ||
        name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                               "0123456789_-.") != std::string::npos) {
        return false;
    }
    if (equals == std::string::npos) {
        return true;
    }
    std::string url = feed.substr(equals + 1);
    return !url.empty() && std::none_of(url.begin(), url.end(), [](char c) {
        return static_cast<unsigned char>(c) <= ' ' || c == '\x7f';
    });
}

} // namespace

std::optional<HostPort> ParseHostPort(const std::string& text, std::uint16_t defaultPort) {
    HostPort hp;
    std::string host = text;
    std::string port;
    if (!text.empty() && text.front() == '[') {
        size_t close = text.find(']');
        if (close == std::string::npos) {
            return std::nullopt;
        }
        host = text.substr(1, close - 1);
        std::string rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                return std::nullopt;
            }
            port = rest.substr(1);
            if (port.empty()) {
                return std::nullopt;
            }
        }
    } else if (size_t colon = text.rfind(':'); colon != std::string::npos) {
        if (text.find(':') != colon) {
            return std::nullopt; // a bare IPv6 address needs brackets
        }
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (port.empty()) {
            return std::nullopt;
        }
    }
    if (host.empty()) {
        return std::nullopt;
    }
    hp.host = host;
    hp.port = defaultPort;
    if (!port.empty()) {
        if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) {
            return std::nullopt;
        }
        int value = std::stoi(port);
        if (value < 1 || value > 65535) {
            return std::nullopt;
        }
        hp.port = static_cast<std::uint16_t>(value);
    }
    return hp;
}

std::optional<int> ParseCommandLine(int argc, const char* const* argv, CommandLine& line,
                                    std::ostream& out, std::ostream& err) {
    CLI::App app{"stockat: a watch list and price alerts for the Shanghai and Shenzhen "
                 "exchanges, on the terminal.",
                 "stockat"};
    app.footer(term::kKeyHelp);
    app.set_version_flag("--version", "stockat 2.0");
    app.add_option("--root", line.root, "folder that holds the device's files");
    app.add_option("--server", line.server,
                   "quote server HOST[:PORT] (port 80 by default); without it (and without "
                   "--demo) stockat starts its own live quote server on loopback");
    app.add_option("--gateway", line.gateway, "WAP gateway ADDR[:PORT] for the CMWAP connection");
    app.add_option("--clock", line.clock, "device clock start, \"YYYY-MM-DD HH:MM[:SS]\"");
    app.add_option("--clock-rate", line.clockRate, "how many times faster the clock runs")
        ->check(CLI::PositiveNumber);
    app.add_option("--tz", line.timeZone, "device time zone (Asia/Shanghai by default)");
    app.add_option("--sms-outbox", line.smsOutbox, "outbox folder of a running gammu-smsd");
    app.add_flag("--demo", line.demo,
                 "start the bundled quote server on loopback and show a demo watch list");
    app.add_option("--feed", line.feeds,
                   "quote feed NAME[=URL] of the live quote server stockat starts (repeatable; "
                   "passed on to stockat-quoted --feed)")
        ->allow_extra_args(false);
    app.add_flag("--push-test", line.pushTest,
                 "send one test message through every push channel of push.conf, print for "
                 "each whether it was delivered, and end (exit code 0 when all were)");
    app.add_flag("--background", line.background,
                 "start without a terminal, as if its terminal had just closed; a later "
                 "stockat on a terminal brings it there (one line and exit 0 when a copy "
                 "runs already)");
    app.add_flag("--status", line.status,
                 "tell whether a copy runs, since when, its pid, terminal, quote server, last "
                 "refresh and the alerts waiting in the push outbox; exit 0 when it runs, 3 "
                 "when not");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::CallForVersion&) {
        out << "stockat 2.0\n";
        return 0;
    } catch (const CLI::ParseError& e) {
        std::string what = e.what();
        for (char& c : what) {
            if (c == '\n') {
                c = ' ';
            }
        }
        err << "stockat: " << what << " (see stockat --help)\n";
        return 2;
    }
    line.clockRateGiven = app.count("--clock-rate") > 0;
    auto fail = [&](const std::string& text) {
        err << "stockat: " << text << "\n";
        return 2;
    };
    if (line.background && line.status) {
        return fail("--background and --status do not go together");
    }
    if (!KnownZone(line.timeZone)) {
        return fail("--tz: unknown time zone \"" + line.timeZone + "\"");
    }
    if (!line.clock.empty() && !platform::ParseLocalTime(line.clock, line.timeZone)) {
        return fail("--clock wants \"YYYY-MM-DD HH:MM[:SS]\", got \"" + line.clock + "\"");
    }
    if (!line.server.empty() && !ParseHostPort(line.server, 80)) {
        return fail("--server wants HOST[:PORT], got \"" + line.server + "\"");
    }
    for (const std::string& feed : line.feeds) {
        if (!ValidFeed(feed)) {
            return fail("--feed wants NAME[=URL], got \"" + feed + "\"");
        }
    }
    if (!line.feeds.empty() && !StartsLiveServer(line)) {
        return fail(std::string("--feed is for the live quote server stockat starts, not for ") +
                    (line.demo ? "--demo" : "--server"));
    }
    if (!line.gateway.empty()) {
        std::optional<HostPort> gw = ParseHostPort(line.gateway, 80);
        in_addr addr{};
        if (!gw || inet_pton(AF_INET, gw->host.c_str(), &addr) != 1) {
            return fail("--gateway wants a dotted address ADDR[:PORT], got \"" + line.gateway +
                        "\"");
        }
    }
    return std::nullopt;
}

bool StartsLiveServer(const CommandLine& line) {
    return line.server.empty() && !line.demo;
}

std::vector<std::string> LiveServerArguments(const CommandLine& line, std::int64_t clockStartMs) {
    std::vector<std::string> args = {"--listen", "127.0.0.1:0", "--market", "live"};
    for (const std::string& feed : line.feeds) {
        args.push_back("--feed");
        args.push_back(feed);
    }
    if (!line.clock.empty() || line.clockRateGiven) {
        platform::LocalTime t = platform::ToLocalTime(clockStartMs, "Asia/Shanghai");
        char start[32];
        std::snprintf(start, sizeof start, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                      t.hour, t.minute, t.second);
        char rate[32];
        std::snprintf(rate, sizeof rate, "%g", line.clockRate);
        args.insert(args.end(), {"--clock", start, "--clock-rate", rate});
    }
    return args;
}

std::optional<std::string> ApplyToDevice(const CommandLine& line) {
    platform::DeviceConfig& device = platform::Device();
    device.timeZone = line.timeZone;
    if (!line.root.empty()) {
        device.root = std::filesystem::absolute(line.root);
    } else if (device.root.empty()) {
        device.root = platform::DefaultDeviceRoot();
    }
    std::error_code ec;
    std::filesystem::create_directories(device.root, ec);
    if (ec) {
        return "cannot use the device folder " + device.root.string() + ": " + ec.message();
    }
    if (!line.server.empty()) {
        HostPort hp = *ParseHostPort(line.server, 80);
        device.serverHost = hp.host;
        device.serverPort = hp.port;
    }
    if (!line.gateway.empty()) {
        HostPort hp = *ParseHostPort(line.gateway, 80);
        device.gatewayAddress = hp.host;
        device.gatewayPort = hp.port;
    }
    if (!line.smsOutbox.empty()) {
        device.smsOutbox = std::filesystem::absolute(line.smsOutbox);
    }
    if (!line.clock.empty() || line.clockRate != 1.0) {
        std::int64_t start = platform::DeviceClock::Real().NowEpochMs();
        if (!line.clock.empty()) {
            start = *platform::ParseLocalTime(line.clock, line.timeZone);
        }
        platform::SetClock(platform::DeviceClock::Scaled(start, line.clockRate));
    }
    return std::nullopt;
}

} // namespace launch
