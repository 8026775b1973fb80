// A loopback stand-in for the public quote feeds (see FeedStandIn.h).
#include "tests/support/FeedStandIn.h"

#include "server/LiveMarket.h"
#include "tests/support/Gbk.h"

#include <httplib.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <regex>
#include <stdexcept>
#include <thread>

namespace testsupport {
namespace {

// The feeds' recorded lines (GBK in the feeds, UTF-8 here: the name is put
// in as GBK when a line is made).
const char* kTencentTrading =
    "51~黔源电力~002039~13.85~13.60~13.56~43032~27297~15735~13.83~243~13.82~265~13.81~35~13.80~208~"
    "13.79~50~13.85~423~13.86~228~13.87~305~13.88~207~13.89~183~~20221122115730~0.25~1.84~13.87~"
    "13.56~13.85/43032/59265612~43032~5927~1.01~12.93~~13.87~13.56~2.28~59.22~59.22~1.55~14.96~"
    "12.24~1.78~-545~13.77~8.01~25.25~~~1.36~5926.5612~0.0000~0~ ~GP-A~-7.13~1.91~1.03~12.01~4.88~"
    "17.80~10.79~2.97~-1.49~-9.89~427553402~427558126~-25.38~-0.77~427553402~~~9.37~0.14~";
const char* kTencentSuspended =
    "51~通润装备~002150~9.55~9.55~0.00~0~0~0~0.00~0~0.00~0~0.00~0~0.00~0~0.00~0~0.00~0~0.00~0~0.00~"
    "0~0.00~0~0.00~0~~20221122115718~0.00~0.00~0.00~0.00~9.55/0/0~0~0~0.00~19.98~S~0.00~0.00~0.00~"
    "33.92~34.05~2.21~10.51~8.60~0.00~0~0.00~20.57~23.66~~~1.04~0.0000~0.0000~0~ ~GP-A~55.28~10.02~"
    "1.57~11.04~9.42~13.27~4.86~5.18~6.82~5.88~355149728~356517053~~29.23~355149728~~~59.43~0.00~";
const char* kSinaTrading =
    "国轩高科,32.400,32.570,32.110,32.400,31.510,32.100,32.110,10718101,341643944.520,1000,32.100,"
    "400,32.090,1300,32.080,6300,32.070,900,32.040,2900,32.110,1400,32.120,3100,32.130,5300,32.140,"
    "13000,32.150,2022-11-22,11:30:00,00";
const char* kSinaSuspended = "通润装备,0.000,9.550,0.000,0.000,0.000,0.000,0.000,0,0.000,0,0.000,0,"
                             "0.000,0,0.000,0,0.000,0,0.000,0,0.000,0,0.000,0,0.000,0,0.000,0,"
                             "0.000,2022-11-22,11:30:00,03";

std::vector<std::string> Split(const std::string& text, char by) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(by, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

std::string Join(const std::vector<std::string>& parts, char by) {
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i)
        text += (i ? std::string(1, by) : "") + parts[i];
    return text;
}

} // namespace

std::vector<std::string> SymbolsIn(const std::string& target) {
    static const std::regex symbol("(sh|sz|bj)[0-9]{6}");
    std::vector<std::string> found;
    for (auto it = std::sregex_iterator(target.begin(), target.end(), symbol);
         it != std::sregex_iterator(); ++it)
        found.push_back(it->str());
    return found;
}

struct FeedStandIn::Impl {
    Format format;
    httplib::Server http;
    std::thread thread;
    int port = 0;
    mutable std::mutex mutex;
    std::condition_variable changed;
    bool stopping = false;
    Fault fault = Fault::None;
    std::string stamp = "2022-11-22 11:29:58";
    std::map<std::string, Line> lines;
    std::vector<std::string> targets;

    bool unknownByDefault = false;

    // The change the tencent line states: latest minus previous close.
    static std::string Change(const Line& line) {
        const double change = std::stod(line.latest) - std::stod(line.previousClose);
        char text[32];
        std::snprintf(text, sizeof text, "%.3f", change);
        return text;
    }

    std::string LineFor(const std::string& symbol, const Line& line,
                        const std::string& asName) const {
        const std::string code = symbol.substr(2);
        const std::string date = line.stamp.substr(0, 10);
        const std::string time = line.stamp.substr(11);
        if (format == Format::Tencent) {
            if (line.unknown)
                return "v_pv_none_match=\"1\";\n";
            std::vector<std::string> f =
                Split(line.suspended ? kTencentSuspended : kTencentTrading, '~');
            f[1] = asName;
            f[2] = code;
            f[3] = line.latest;
            f[4] = line.previousClose;
            if (!line.suspended) {
                f[5] = line.latest;
                f[31] = Change(line);
                f[33] = line.high.empty() ? line.latest : line.high;
                f[34] = line.low.empty() ? line.latest : line.low;
            }
            if (!line.volume.empty())
                f[6] = line.volume;
            f[30] = date.substr(0, 4) + date.substr(5, 2) + date.substr(8, 2) + time.substr(0, 2) +
                    time.substr(3, 2) + time.substr(6, 2);
            if (line.suspended)
                f[3] = f[4] = line.previousClose;
            return "v_" + symbol + "=\"" + Join(f, '~') + "\";\n";
        }
        if (line.unknown)
            return "var hq_str_" + symbol + "=\"\";\n";
        std::vector<std::string> f = Split(line.suspended ? kSinaSuspended : kSinaTrading, ',');
        f[0] = asName;
        f[2] = line.previousClose;
        if (!line.suspended) {
            f[1] = f[3] = line.latest;
            f[4] = line.high.empty() ? line.latest : line.high;
            f[5] = line.low.empty() ? line.latest : line.low;
            if (!line.volume.empty())
                f[8] = line.volume;
        }
        f[30] = date;
        f[31] = time;
        return "var hq_str_" + symbol + "=\"" + Join(f, ',') + "\";\n";
    }

    std::string Body(const std::string& target) const {
        std::lock_guard lock(mutex);
        std::vector<std::string> symbols = SymbolsIn(target);
        std::string body;
        bool noneMatch = false;
        for (size_t i = 0; i < symbols.size(); ++i) {
            Line line;
            line.stamp = stamp;
            // A made-up price from the code, so that each stock has its own.
            line.latest = std::to_string(10 + std::stoi(symbols[i].substr(5)) % 90) + ".37";
            line.previousClose = "10.00";
            if (auto found = lines.find(symbols[i]); found != lines.end())
                line = found->second;
            else if (unknownByDefault)
                line.unknown = true;
            if (line.missing)
                continue;
            if (line.unknown && format == Format::Tencent) {
                noneMatch = true;
                continue;
            }
            std::string name = Gbk(line.name);
            std::string symbol = symbols[i];
            if (i == 0 && fault == Fault::InvalidGbk)
                name = "\xff\xfe\xff";
            if (i == 0 && fault == Fault::WrongCode)
                symbol = symbol.substr(0, 2) + (symbol.substr(2) == "688981" ? "688982" : "688981");
            std::string text = LineFor(symbol, line, name);
            const int keep = i == 0 && fault == Fault::TooFewFields ? 8 : line.fields;
            if (keep > 0) {
                const char by = format == Format::Tencent ? '~' : ',';
                std::vector<std::string> f = Split(text.substr(0, text.size() - 3), by);
                f.resize(static_cast<size_t>(keep));
                text = Join(f, by) + "\";\n";
            }
            body += text;
        }
        if (noneMatch)
            body += "v_pv_none_match=\"1\";\n";
        if (fault == Fault::Truncated && body.size() > 40)
            body.resize(body.size() - 40);
        return body;
    }
};

FeedStandIn::FeedStandIn(Format format) : impl_(std::make_unique<Impl>()) {
    impl_->format = format;
    Impl& s = *impl_;
    s.http.Get(".*", [&s](const httplib::Request& req, httplib::Response& res) {
        Fault fault;
        {
            std::unique_lock lock(s.mutex);
            s.targets.push_back(req.target);
            fault = s.fault;
            if (fault == Fault::Stall) {
                s.changed.wait(lock, [&] { return s.stopping || s.fault != Fault::Stall; });
                res.status = 503;
                return;
            }
        }
        switch (fault) {
        case Fault::Forbidden:
            res.status = 403;
            res.set_content("Forbidden", "text/plain");
            return;
        case Fault::TooMany:
            res.status = 429;
            res.set_content("Too Many Requests", "text/plain");
            return;
        case Fault::Status503:
            res.status = 503;
            res.set_content("<html><body>busy</body></html>", "text/html");
            return;
        case Fault::Garbage:
            res.set_content("<html><body><h1>Site maintenance</h1></body></html>", "text/html");
            return;
        default:
            res.set_content(s.Body(req.target), "application/javascript; charset=GBK");
        }
    });
    s.port = s.http.bind_to_any_port("127.0.0.1");
    if (s.port <= 0)
        throw std::runtime_error("feed stand-in: cannot bind");
    s.thread = std::thread([&s] { s.http.listen_after_bind(); });
    // Stop reaches only a running loop.
    while (!s.http.is_running())
        std::this_thread::yield();
}

FeedStandIn::~FeedStandIn() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->changed.notify_all();
    impl_->http.stop();
    impl_->thread.join();
}

std::string FeedStandIn::Base() const {
    return "http://127.0.0.1:" + std::to_string(impl_->port);
}

void FeedStandIn::SetFault(Fault fault) {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->fault = fault;
    }
    impl_->changed.notify_all();
}

void FeedStandIn::SetLine(const std::string& symbol, Line line) {
    std::lock_guard lock(impl_->mutex);
    impl_->lines[symbol] = std::move(line);
}

void FeedStandIn::SetUnknownByDefault(bool unknown) {
    std::lock_guard lock(impl_->mutex);
    impl_->unknownByDefault = unknown;
}

void FeedStandIn::SetStamp(const std::string& stamp) {
    std::lock_guard lock(impl_->mutex);
    impl_->stamp = stamp;
}

int FeedStandIn::requestCount() const {
    std::lock_guard lock(impl_->mutex);
    return static_cast<int>(impl_->targets.size());
}

std::vector<std::string> FeedStandIn::targets() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->targets;
}

std::vector<std::string> FeedStandIn::symbolsOf(int i) const {
    std::lock_guard lock(impl_->mutex);
    return SymbolsIn(impl_->targets.at(static_cast<size_t>(i)));
}

std::string FeedStandIn::Body(const std::string& target) const {
    return impl_->Body(target);
}

FeedStandIn::Format FeedStandIn::format() const {
    return impl_->format;
}

std::vector<server::FeedSource> StandInFeeds(const std::vector<const FeedStandIn*>& feeds) {
    std::vector<server::FeedSource> sources;
    for (const FeedStandIn* feed : feeds)
        sources.push_back({server::FindFeedAdapter(
                               feed->format() == FeedStandIn::Format::Tencent ? "tencent" : "sina"),
                           feed->Base()});
    return sources;
}

} // namespace testsupport
