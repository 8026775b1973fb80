// The live market's verdict per code on loopback stand-ins: what each feed's
// line is worth (the auction, stale and missing lines, unreadable and
// inconsistent lines, precision, units, code ranges), the holiday rule's
// cost, and a client flooding made-up codes beside a well-behaved one.
#include "server/QuoteServer.h"

#include "tests/server/PageCut.h"
#include "tests/support/FeedStandIn.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

using namespace servertest;
using testsupport::FeedStandIn;

namespace server {
namespace {

std::int64_t Beijing(const std::string& text) {
    std::optional<std::int64_t> ms = platform::ParseLocalTime(text, "Asia/Shanghai");
    EXPECT_TRUE(ms) << text;
    return ms.value_or(0);
}

FeedStandIn::Line L(const char* latest, const char* previousClose, const char* stamp) {
    FeedStandIn::Line line;
    line.latest = latest;
    line.previousClose = previousClose;
    line.stamp = stamp;
    return line;
}

template <typename Change> FeedStandIn::Line With(FeedStandIn::Line line, Change change) {
    change(line);
    return line;
}

std::unique_ptr<QuoteServer> LiveServer(const std::vector<const FeedStandIn*>& feeds,
                                        const std::string& when) {
    ServerOptions options;
    options.port = 0;
    options.market = MarketKind::Live;
    options.live.feeds = testsupport::StandInFeeds(feeds);
    options.live.deadline = std::chrono::milliseconds(1000);
    options.live.totalDeadline = std::chrono::milliseconds(3000);
    return std::make_unique<QuoteServer>(options, platform::DeviceClock::Manual(Beijing(when)));
}

using Lines = std::vector<std::pair<const char*, FeedStandIn::Line>>;

struct VerdictCase {
    const char* what;
    const char* when;  // the server's clock, Beijing time
    const char* stamp; // every line not set
    const char* code;
    Lines tencent, sina;
    const char* price;  // 当前价; on the closed-market page after "(昨收)"
    const char* change; // 涨跌额; nullptr on the closed-market page
    int sinaAsked;
    const char* shown = ""; // also on the page (UTF-8)
    const char* asked = ""; // a symbol tencent was asked for
};

TEST(LiveVerdicts, EachFeedAnswersForEachCodeAndTheNextFeedIsAskedForTheCodesItFailed) {
    const char* kToday = "2022-11-22 11:29:58";
    const std::vector<VerdictCase> cases = {
        {"call auction at 09:20: the previous close, no change",
         "2022-11-22 09:20:00",
         kToday,
         "600519",
         {{"sh600519", L("1490.00", "1470.00", "2022-11-22 09:20:00")}},
         {},
         "1470.00",
         "0.00",
         0},
        {"from 09:25 the opening price is a trade",
         "2022-11-22 09:26:00",
         kToday,
         "600519",
         {{"sh600519", L("1490.00", "1470.00", "2022-11-22 09:25:03")}},
         {},
         "1490.00",
         "+20.00",
         0,
         "+1.36%"},
        {"tencent on yesterday's close during the session, sina fresh",
         "2022-11-22 10:30:00",
         kToday,
         "000002",
         {{"sz000002", L("11.00", "10.80", "2022-11-21 15:00:00")}},
         {{"sz000002", L("12.00", "11.00", "2022-11-22 10:29:50")}},
         "12.00",
         "+1.00",
         1},
        {"tencent stuck at 09:45, at 14:00",
         "2022-11-22 14:00:00",
         "2022-11-22 13:59:58",
         "000002",
         {{"sz000002", L("11.00", "10.80", "2022-11-22 09:45:00")}},
         {{"sz000002", L("12.00", "11.00", "2022-11-22 13:59:50")}},
         "12.00",
         "+1.00",
         1},
        {"stamped at 11:30, served at 13:01: the lunch break is no lag",
         "2022-11-22 13:01:00",
         "2022-11-22 13:00:58",
         "000002",
         {{"sz000002", L("11.00", "10.80", "2022-11-22 11:30:00")}},
         {},
         "11.00",
         "+0.20",
         0},
        {"a line tencent leaves out without its none-match line",
         "2022-11-22 10:30:00",
         kToday,
         "000002",
         {{"sz000002", With(L("1", "1", kToday), [](auto& l) { l.missing = true; })}},
         {{"sz000002", L("21.43", "21.00", kToday)}},
         "21.43",
         "+0.43",
         1},
        {"an index line left out: sina gives it, the page is served",
         "2022-11-22 10:30:00",
         kToday,
         "600519",
         {{"sh600519", L("1750.00", "1738.50", kToday)},
          {"sh000001", With(L("1", "1", kToday), [](auto& l) { l.missing = true; })}},
         {{"sh000001", L("3088.94", "3085.04", kToday)}},
         "1750.00",
         "+11.50",
         1,
         "3088.94 +0.13%"},
        {"a line of three fields",
         "2022-11-22 10:30:00",
         kToday,
         "000002",
         {{"sz000002", With(L("1", "1", kToday), [](auto& l) { l.fields = 3; })}},
         {{"sz000002", L("21.43", "21.00", kToday)}},
         "21.43",
         "+0.43",
         1},
        {"an inconsistent line: the latest outside the day's low and high",
         "2022-11-22 10:30:00",
         kToday,
         "000002",
         {{"sz000002", With(L("99999999.99", "21.00", kToday),
                            [](auto& l) { l.high = "22.00", l.low = "20.00"; })}},
         {{"sz000002", L("21.43", "21.00", kToday)}},
         "21.43",
         "+0.43",
         1},
        {"a non-positive previous close",
         "2022-11-22 10:30:00",
         kToday,
         "000002",
         {{"sz000002", L("21.43", "0.00", kToday)}},
         {{"sz000002", L("21.43", "21.00", kToday)}},
         "21.43",
         "+0.43",
         1},
        {"an ETF in thousandths",
         "2022-11-22 10:30:00",
         kToday,
         "510300",
         {{"sh510300", L("3.912", "3.905", kToday)}},
         {},
         "3.912",
         "+0.007",
         0,
         "+0.18%"},
        {"a Shanghai B share in US dollars",
         "2022-11-22 10:30:00",
         kToday,
         "900901",
         {{"sh900901", L("0.523", "0.520", kToday)}},
         {},
         "0.523",
         "+0.003",
         0,
         "币种:美元"},
        {"a Shenzhen B share in Hong Kong dollars",
         "2022-11-22 10:30:00",
         kToday,
         "200002",
         {{"sz200002", L("5.61", "5.60", kToday)}},
         {},
         "5.61",
         "+0.01",
         0,
         "币种:港元"},
        {"a STAR share's volume is in shares already",
         "2022-11-22 10:30:00",
         kToday,
         "688981",
         {{"sh688981", With(L("40.10", "40.00", kToday), [](auto& l) { l.volume = "39368171"; })}},
         {},
         "40.10",
         "+0.10",
         0,
         "成交量:39368171股"},
        {"a main-board share's volume is in lots",
         "2022-11-22 10:30:00",
         kToday,
         "600000",
         {{"sh600000", With(L("7.10", "7.00", kToday), [](auto& l) { l.volume = "393681"; })}},
         {},
         "7.10",
         "+0.10",
         0,
         "成交量:39368100股"},
        {"a Shanghai convertible bond, asked of Shanghai",
         "2022-11-22 10:30:00",
         kToday,
         "113050",
         {{"sh113050", L("120.500", "120.000", kToday)}},
         {},
         "120.500",
         "+0.500",
         0,
         "",
         "sh113050"},
        {"a Shanghai repo, asked of Shanghai",
         "2022-11-22 10:30:00",
         kToday,
         "204001",
         {{"sh204001", L("1.850", "1.800", kToday)}},
         {},
         "1.850",
         "+0.050",
         0,
         "",
         "sh204001"},
        {"every feed on an earlier day: the closed market",
         "2022-11-22 10:30:00",
         "2022-11-21 15:00:00",
         "000002",
         {{"sz000002", L("11.00", "10.80", "2022-11-21 15:00:00")}},
         {{"sz000002", L("11.00", "10.80", "2022-11-21 15:00:00")}},
         "11.00",
         nullptr,
         1},
    };
    for (const VerdictCase& c : cases) {
        SCOPED_TRACE(c.what);
        FeedStandIn tencent(FeedStandIn::Format::Tencent), sina(FeedStandIn::Format::Sina);
        tencent.SetStamp(c.stamp);
        sina.SetStamp(c.stamp);
        for (const auto& [symbol, line] : c.tencent)
            tencent.SetLine(symbol, line);
        for (const auto& [symbol, line] : c.sina)
            sina.SetLine(symbol, line);
        std::unique_ptr<QuoteServer> server = LiveServer({&tencent, &sina}, c.when);
        Reply reply = server->Respond(kStockPath, c.code);
        ASSERT_EQ(reply.status, 200);
        const std::string page = Gbk(reply.body);
        const bool closed = page.find(Gbk("(昨收)")) != std::string::npos;
        EXPECT_EQ(closed, c.change == nullptr);
        EXPECT_EQ(Cut(page, "当前价", closed ? 29 : 35, "元"), c.price);
        if (c.change) {
            EXPECT_EQ(Cut(page, "涨跌额", 35, "元"), c.change);
        }
        if (*c.shown) {
            EXPECT_NE(page.find(Gbk(c.shown)), std::string::npos) << c.shown;
        }
        EXPECT_EQ(tencent.requestCount(), 1);
        EXPECT_EQ(sina.requestCount(), c.sinaAsked);
        if (*c.asked) {
            std::vector<std::string> asked = tencent.symbolsOf(0);
            EXPECT_NE(std::find(asked.begin(), asked.end(), c.asked), asked.end());
        }
    }
}

// 16 stocks of both exchanges.
const std::vector<std::string> kWatchList = {
    "600519", "000002", "601398", "600036", "000858", "601318", "000651", "600030",
    "002024", "600028", "000063", "601988", "300750", "688981", "000001", "600000"};

TEST(LiveVerdicts, OneBadLineFailsItsCodeOnlyAndAClosedDayCostsOneRequestPerCycleOnceKnown) {
    struct Case {
        const char* what;
        const char* stamp;
        std::vector<const char*> threeFields; // tencent's unreadable lines
        const char* earlierDay;               // a code on yesterday at every feed
        int firstCycleSina;
        int cycleRequests; // upstream requests of each later cycle
        bool closed;
    };
    const Case cases[] = {
        {"a trading day", "2022-11-22 10:29:58", {}, "", 0, 1, false},
        {"a trading day, one code unreadable at tencent",
         "2022-11-22 10:29:58",
         {"sz000651"},
         "",
         1,
         2,
         false},
        {"a trading day, one stock on yesterday at every feed, not marked suspended",
         "2022-11-22 10:29:58",
         {},
         "sh601988",
         1,
         1,
         false},
        {"a holiday on a weekday", "2022-11-21 15:00:03", {}, "", 1, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FeedStandIn tencent(FeedStandIn::Format::Tencent), sina(FeedStandIn::Format::Sina);
        tencent.SetStamp(c.stamp);
        sina.SetStamp(c.stamp);
        for (const char* symbol : c.threeFields)
            tencent.SetLine(symbol, With(L("1", "1", c.stamp), [](auto& l) { l.fields = 3; }));
        if (*c.earlierDay) {
            tencent.SetLine(c.earlierDay, L("3.70", "3.68", "2022-11-21 15:00:03"));
            sina.SetLine(c.earlierDay, L("3.70", "3.68", "2022-11-21 15:00:03"));
        }
        std::unique_ptr<QuoteServer> server = LiveServer({&tencent, &sina}, "2022-11-22 10:30:00");
        const std::int64_t ttl = server->GetLiveMarket()->Options().ttlMs;
        std::int64_t before = 0;
        for (int cycle = 0; cycle < 4; ++cycle) {
            int served = 0;
            for (const std::string& code : kWatchList) {
                Reply reply = server->Respond(kStockPath, code, "10.0.0.1");
                const std::string page = Gbk(reply.body);
                const bool closed = c.closed || SymbolForCode(code)->Text() == c.earlierDay;
                served += reply.status == 200 &&
                          (page.find(Gbk("(昨收)")) != std::string::npos) == closed &&
                          page.find(Gbk("当前价:")) != std::string::npos;
            }
            EXPECT_EQ(served, 16) << "cycle " << cycle;
            const std::int64_t requests = server->GetLiveMarket()->UpstreamRequests();
            if (cycle == 0) {
                EXPECT_EQ(sina.requestCount(), c.firstCycleSina);
            } else {
                EXPECT_EQ(requests - before, c.cycleRequests) << "cycle " << cycle;
            }
            before = requests;
            server->Clock().Advance(ttl);
        }
    }
}

// A client asking for made-up, valid-looking codes as fast as it can beside
// a well-behaved client refreshing 16 stocks: the flood must not take the
// market from it, and the made-up codes leave the batch once the feeds say
// they do not know them.
TEST(LiveVerdicts, AFloodOfMadeUpCodesLeavesAWellBehavedClientItsPages) {
    FeedStandIn tencent(FeedStandIn::Format::Tencent);
    tencent.SetStamp("2022-11-22 10:39:58");
    tencent.SetUnknownByDefault(true);
    FeedStandIn::Line line = L("12.37", "12.00", "2022-11-22 10:39:58");
    for (const std::string& code : kWatchList)
        tencent.SetLine(server::SymbolForCode(code)->Text(), line);
    tencent.SetLine("sh000001", L("3088.94", "3085.04", "2022-11-22 10:39:58"));
    tencent.SetLine("sz399001", L("11000.00", "10900.00", "2022-11-22 10:39:58"));
    std::unique_ptr<QuoteServer> server = LiveServer({&tencent}, "2022-11-22 10:30:00");
    const std::int64_t ttl = server->GetLiveMarket()->Options().ttlMs;

    std::atomic<bool> stop{false};
    std::atomic<int> flooded{0};
    std::vector<std::thread> flood;
    for (int t = 0; t < 2; ++t)
        flood.emplace_back([&, t] {
            for (int n = 0; !stop; ++n) {
                char code[8];
                std::snprintf(code, sizeof code, "60%04d", (t * 5003 + n * 7) % 10000 + 0);
                server->Respond(kStockPath, code, "10.0.0.66");
                ++flooded;
            }
        });
    std::vector<double> ms;
    int served = 0;
    for (int cycle = 0; cycle < 9; ++cycle) {
        // The flood runs through every cycle: each waits for its share of
        // flood requests (bounded, should the machine be very slow).
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (flooded < (cycle + 1) * 40 && std::chrono::steady_clock::now() < until)
            std::this_thread::yield();
        for (const std::string& code : kWatchList) {
            const auto start = std::chrono::steady_clock::now();
            Reply reply = server->Respond(kStockPath, code, "10.0.0.1");
            ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
            served += reply.status == 200 && Cut(Gbk(reply.body), "当前价", 35, "元") == "12.37";
        }
        server->Clock().Advance(ttl);
    }
    stop = true;
    for (std::thread& t : flood)
        t.join();
    std::sort(ms.begin(), ms.end());
    const double p99 = ms[ms.size() * 99 / 100];
    std::printf("well-behaved client: %d of 144 pages served, p99 %.1f ms, beside %d flood "
                "requests\n",
                served, p99, flooded.load());
    EXPECT_GE(served, 144 * 95 / 100) << "of 144, beside " << flooded << " flood requests";
    // The goal is 100 ms; a debug build with sanitizers takes several times
    // as long for the round of 120 codes that includes the flood's.
#if defined(NDEBUG)
    EXPECT_LT(p99, 100.0) << "p99 in ms";
#else
    EXPECT_LT(p99, 500.0) << "p99 in ms (debug build)";
#endif
    EXPECT_GE(flooded, 9 * 40);

    // Without the flood, within three rounds (the flood's 120 codes of
    // interest take two batches) only the watch list and the two indices
    // ride along: the made-up codes were found unknown and left.
    for (int cycle = 0; cycle < 3; ++cycle) {
        for (const std::string& code : kWatchList)
            server->Respond(kStockPath, code, "10.0.0.1");
        server->Clock().Advance(ttl);
    }
    EXPECT_EQ(tencent.symbolsOf(tencent.requestCount() - 1).size(), 18u);
}

} // namespace
} // namespace server
