// stockat-quoted: the bundled quote server. Parses its options and runs the
// server of server/QuoteServer.h until it is stopped.
#include "platform/clock.h"
#include "server/QuoteServer.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <iostream>

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
    CLI11_PARSE(app, argc, argv);

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
    server::QuoteServer quoted(options, clock);
    std::string error;
    if (!quoted.Bind(&error)) {
        std::cerr << "stockat-quoted: " << error << "\n";
        return 1;
    }
    std::string shown = options.address.find(':') != std::string::npos ? "[" + options.address + "]"
                                                                       : options.address;
    std::printf("listening on %s:%d\n", shown.c_str(), quoted.Port());
    std::fflush(stdout);
    if (options.market == server::MarketKind::Live) {
        std::string feeds;
        for (const server::FeedSource& feed : options.live.feeds)
            feeds += (feeds.empty() ? "" : ", ") + std::string(feed.adapter->name) + " (" +
                     feed.base + ")";
        std::cerr << "stockat-quoted: live market from " << feeds << "\n";
    }
    quoted.Serve();
    return 0;
}
