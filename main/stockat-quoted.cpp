// stockat-quoted: the bundled quote server. Parses its options and runs the
// server of server/QuoteServer.h until SIGTERM or SIGINT stops it in order
// (no new connections, the requests in hand answered, then exit code 0), or,
// with --probe, asks each public quote feed once and tells what it got.
#include "platform/clock.h"
#include "server/Gate.h"
#include "server/Log.h"
#include "server/Pages.h"
#include "server/QuoteServer.h"

#include <CLI/CLI.hpp>

#include <pthread.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

// "ADDR:PORT" or "[IPv6]:PORT".
bool ParseListen(const std::string& text, std::string& address, int& port) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
        return false;
    address = text.substr(0, colon);
    if (address.size() > 2 && address.front() == '[' && address.back() == ']')
        address = address.substr(1, address.size() - 2);
    std::string digits = text.substr(colon + 1);
    if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    port = std::stoi(digits);
    return port <= 65535;
}

// Whether the system's zone data holds `zone`: without it the C library
// silently runs on UTC, and every market time would be eight hours off.
bool ZoneDataLoads(const std::string& zone) {
    const char* dir = std::getenv("TZDIR");
    std::ifstream in(std::string(dir && *dir ? dir : "/usr/share/zoneinfo") + "/" + zone,
                     std::ios::binary);
    char magic[4] = {};
    return in.read(magic, 4) && std::string(magic, 4) == "TZif";
}

// Asks each feed once for `codes` and prints what it got; 0 when a feed
// answered well.
int Probe(const server::ServerOptions& options, const platform::DeviceClock& clock,
          std::vector<std::string> codes) {
    if (codes.empty())
        codes = {"600519", "000002", "999998", "999999"};
    for (const std::string& code : codes)
        if (!server::SymbolForCode(code))
            std::printf("%s: not a code of a known exchange, left out\n", code.c_str());
    server::LiveMarket market(options.live, clock);
    bool any = false;
    for (const server::ProbeResult& r : market.Probe(codes)) {
        if (!r.ok) {
            std::printf("%s (%s): failed: %s\n", r.feed.c_str(), r.base.c_str(), r.error.c_str());
            continue;
        }
        any = true;
        std::printf("%s (%s): ok\n", r.feed.c_str(), r.base.c_str());
        for (const server::FeedQuote& q : r.quotes) {
            platform::LocalTime t = platform::ToLocalTime(q.epochMs, options.timeZone);
            const char* status = q.status == server::FeedStatus::Trading     ? ""
                                 : q.status == server::FeedStatus::Suspended ? " (suspended)"
                                                                             : " (delisted)";
            std::printf("  %s %s %s%s %04d-%02d-%02d %02d:%02d:%02d\n", q.symbol.Text().c_str(),
                        q.name.c_str(), server::FormatDecimal(q.latest, 3).c_str(), status, t.year,
                        t.month, t.day, t.hour, t.minute, t.second);
        }
        for (const server::FeedSymbol& s : r.unknown)
            std::printf("  %s unknown to this feed\n", s.Text().c_str());
    }
    return any ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"stockat-quoted: the bundled quote server of StockAt"};
    app.set_version_flag("--version", "stockat-quoted 2.0");
    std::string listen = "127.0.0.1:8080";
    std::string clockText;
    double clockRate = 1.0;
    server::ServerOptions options;
    app.add_option("--listen", listen, "ADDR:PORT to listen on; port 0 picks a free port")
        ->capture_default_str();
    app.add_option("--seed", options.seed, "seed of the simulated market")->capture_default_str();
    app.add_option("--clock", clockText, "start time, \"YYYY-MM-DD HH:MM[:SS]\" Beijing time");
    app.add_option("--clock-rate", clockRate,
                   "speed of the clock; 0 stands still (the live market then keeps the quotes "
                   "it first fetched)")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    app.add_option("--latest-version", options.service.latestVersion,
                   "latest version number to announce")
        ->capture_default_str();
    app.add_option("--package-url", options.service.packageUrl, "update package location");
    app.add_option("--recommend", options.service.recommend,
                   "recommendation text, items separated by [e]");
    app.add_option("--notice", options.service.notices, "a notice text (repeatable)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option("--loops", options.loops,
                   "event loops answering the simulated market; 0: one per processor")
        ->capture_default_str();
    std::string marketText = "sim";
    app.add_option("--market", marketText, "where the quotes come from: sim or live")
        ->check(CLI::IsMember({"sim", "live"}))
        ->capture_default_str();
    std::vector<std::string> feedTexts;
    app.add_option("--feed", feedTexts,
                   "a feed of the live market, NAME[=URL] (repeatable, in order of preference; "
                   "default tencent, sina, eastmoney); URL replaces its scheme, host and port")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    std::string logFile;
    app.add_option("--log", logFile,
                   "write the log to FILE instead of standard error, kept under --log-cap bytes "
                   "with one old file (FILE.1)");
    std::uintmax_t logCap = 1024 * 1024;
    app.add_option("--log-cap", logCap, "size of the log file at most, in bytes")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    std::vector<std::string> probeCodes;
    CLI::Option* probe =
        app.add_option("--probe", probeCodes,
                       "ask each feed once for these codes (default 600519 000002 999998 "
                       "999999), print what each gave and exit")
            ->expected(0, 64);
    CLI11_PARSE(app, argc, argv);

    if (!ZoneDataLoads(options.timeZone)) {
        std::cerr << "stockat-quoted: cannot load the time zone " << options.timeZone
                  << " from the system's zone data (install tzdata); market times would be "
                     "wrong, so the server does not start\n";
        return 1;
    }
    if (!logFile.empty()) {
        std::string error;
        if (!server::SetLogFile(logFile, logCap, &error)) {
            std::cerr << "stockat-quoted: --log: " << error << "\n";
            return 2;
        }
    }
    options.market = marketText == "live" ? server::MarketKind::Live : server::MarketKind::Sim;
    if (!feedTexts.empty()) {
        options.live.feeds.clear();
        for (const std::string& text : feedTexts) {
            std::string error;
            std::optional<server::FeedSource> feed = server::ParseFeedOption(text, &error);
            if (!feed) {
                std::cerr << "stockat-quoted: --feed: " << error << "\n";
                return 2;
            }
            options.live.feeds.push_back(*feed);
        }
    }

    if (!ParseListen(listen, options.address, options.port)) {
        std::cerr << "stockat-quoted: --listen wants ADDR:PORT, got \"" << listen << "\"\n";
        return 2;
    }
    std::int64_t start = platform::DeviceClock::Real().NowEpochMs();
    if (!clockText.empty()) {
        std::optional<std::int64_t> parsed = platform::ParseLocalTime(clockText, options.timeZone);
        if (!parsed) {
            std::cerr << "stockat-quoted: --clock wants \"YYYY-MM-DD HH:MM[:SS]\", got \""
                      << clockText << "\"\n";
            return 2;
        }
        start = *parsed;
    }
    platform::DeviceClock clock = clockRate == 0.0 ? platform::DeviceClock::Manual(start)
                                  : clockText.empty() && clockRate == 1.0
                                      ? platform::DeviceClock::Real()
                                      : platform::DeviceClock::Scaled(start, clockRate);

    std::signal(SIGPIPE, SIG_IGN);
    if (probe->count() > 0)
        return Probe(options, clock, probeCodes);
    // SIGTERM and SIGINT are taken by a thread of their own, which stops the
    // server in order; every other thread (the server's too) blocks them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    server::QuoteServer quoted(options, clock);
    std::string error;
    if (!quoted.Bind(&error)) {
        std::cerr << "stockat-quoted: " << error << "\n";
        return 1;
    }
    // Logged before the port is told, so that whoever waits for the port
    // finds the line in the log.
    if (options.market == server::MarketKind::Live) {
        std::string feeds;
        for (const server::FeedSource& feed : options.live.feeds)
            feeds += (feeds.empty() ? "" : ", ") + std::string(feed.adapter->name) + " (" +
                     feed.base + ")";
        server::LogLine("live market from " + feeds);
    }
    std::printf("listening on %s\n", server::HostPort(options.address, quoted.Port()).c_str());
    std::fflush(stdout);
    std::atomic<bool> served{false};
    std::thread stopper([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        if (served)
            return;
        server::LogLine(std::string("stopping on ") + (signal == SIGINT ? "SIGINT" : "SIGTERM") +
                        ": no new connections, finishing the requests in hand");
        quoted.Stop();
    });
    quoted.Serve();
    served = true;
    pthread_kill(stopper.native_handle(), SIGTERM); // ends its wait when no signal came
    stopper.join();
    server::LogLine("stopped");
    return 0;
}
