// The live market against loopback stand-ins for the public feeds: shared
// upstream requests, the time-to-live, fallback over every kind of bad feed,
// the error reply when no feed answers, and the page rules for a quote's
// day, a suspended stock and an unknown code.
#include "common/QuoteRecord.h"
#include "main/DemoServer.h"
#include "net/HttpFetch.h"
#include "net/QuotePageParser.h"
#include "platform/device.h"
#include "server/QuoteServer.h"

#include "tests/server/PageCut.h"
#include "tests/server/RawClient.h"
#include "tests/support/FeedStandIn.h"
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace servertest;
using testsupport::FeedStandIn;

namespace server {
namespace {

std::int64_t Beijing(const char* text) {
    std::optional<std::int64_t> ms = platform::ParseLocalTime(text, "Asia/Shanghai");
    EXPECT_TRUE(ms) << text;
    return ms.value_or(0);
}

// 16 stocks of both exchanges.
const std::vector<std::string> kWatchList = {
    "600519", "000002", "601398", "600036", "000858", "601318", "000651", "600030",
    "002024", "600028", "000063", "601988", "300750", "688981", "000001", "600000"};

class LiveMarketTest : public testing::Test {
  protected:
    void Start(std::vector<const FeedStandIn*> feeds, const char* when = "2022-11-22 10:30:00") {
        ServerOptions options;
        options.port = 0;
        options.market = MarketKind::Live;
        options.live.feeds = testsupport::StandInFeeds(feeds);
        // Long enough for a loaded test machine to answer on loopback, short
        // enough that a stalled feed costs little.
        options.live.deadline = std::chrono::milliseconds(1000);
        options.live.totalDeadline = std::chrono::milliseconds(3000);
        server_ =
            std::make_unique<QuoteServer>(options, platform::DeviceClock::Manual(Beijing(when)));
    }
    void Start(const char* when = "2022-11-22 10:30:00") { Start({&tencent_, &sina_}, when); }
    Reply Stock(const std::string& code) { return server_->Respond(kStockPath, code); }
    std::string StockPage(const std::string& code) {
        Reply reply = Stock(code);
        EXPECT_EQ(reply.status, 200) << code;
        return Gbk(reply.body);
    }
    void Advance(std::int64_t ms) { server_->Clock().Advance(ms); }
    std::int64_t Ttl() const { return server_->GetLiveMarket()->Options().ttlMs; }

    FeedStandIn tencent_{FeedStandIn::Format::Tencent};
    FeedStandIn sina_{FeedStandIn::Format::Sina};
    std::unique_ptr<QuoteServer> server_;
};

TEST_F(LiveMarketTest, AWatchListCostsOneUpstreamRequestPerTimeToLiveForAnyNumberOfClients) {
    // Fresh all along the test's ten minutes.
    tencent_.SetStamp("2022-11-22 10:39:58");
    Start();
    // The first cycle meets every code for the first time.
    for (const std::string& code : kWatchList)
        StockPage(code);
    const int firstCycle = tencent_.requestCount();
    EXPECT_LE(firstCycle, 16);
    EXPECT_EQ(sina_.requestCount(), 0);

    // From then on every code rides along: one request for all 16 and both
    // indices, however many clients refresh at once.
    for (int cycle = 0; cycle < 3; ++cycle) {
        Advance(Ttl());
        std::vector<std::thread> clients;
        std::vector<std::string> prices[2];
        for (int c = 0; c < 2; ++c)
            clients.emplace_back([&, c] {
                for (const std::string& code : kWatchList)
                    prices[c].push_back(
                        Cut(Gbk(Stock(code).body), "当前价", 35, "元").value_or("-"));
            });
        for (std::thread& t : clients)
            t.join();
        EXPECT_EQ(tencent_.requestCount(), firstCycle + cycle + 1);
        EXPECT_EQ(prices[0], prices[1]);
        std::vector<std::string> symbols = tencent_.symbolsOf(tencent_.requestCount() - 1);
        EXPECT_EQ(symbols.size(), 18u);
        for (const char* s : {"sh600519", "sz300750", "sh688981", "sh000001", "sz399001"})
            EXPECT_NE(std::find(symbols.begin(), symbols.end(), s), symbols.end()) << s;
    }
    // Within the time-to-live nothing goes upstream, the index pages
    // included; at its end one request again.
    const int before = tencent_.requestCount();
    Advance(Ttl() - 1);
    for (const std::string& code : kWatchList)
        StockPage(code);
    EXPECT_EQ(server_->Respond(kShIndexPath, "").status, 200);
    EXPECT_EQ(tencent_.requestCount(), before);
    Advance(1);
    StockPage("600519");
    EXPECT_EQ(tencent_.requestCount(), before + 1);

    // A code nobody asked for within the interest window no longer rides
    // along.
    Advance(server_->GetLiveMarket()->Options().interestMs);
    StockPage("600519");
    EXPECT_EQ(tencent_.symbolsOf(tencent_.requestCount() - 1),
              (std::vector<std::string>{"sh600519", "sh000001", "sz399001"}));
    // The codes go out separated by plain commas, as the feeds read them.
    EXPECT_EQ(tencent_.targets().back(), "/q=sh600519,sh000001,sz399001");
    EXPECT_EQ(server_->GetLiveMarket()->UpstreamRequests(), tencent_.requestCount());
}

TEST_F(LiveMarketTest, NewCodesMayBurstButAFeedIsOtherwiseAskedOncePerTimeToLive) {
    Start({&tencent_});
    const int burst = server_->GetLiveMarket()->Options().burst;
    std::vector<std::string> codes;
    for (int i = 0; i < burst + 4; ++i)
        codes.push_back("6001" + std::string(i < 10 ? "0" : "") + std::to_string(i));
    // Within one time-to-live: one request, then the burst for new codes;
    // past it the only feed is not asked and the page is an error.
    int refused = 0;
    for (const std::string& code : codes)
        refused += Stock(code).status == 503;
    EXPECT_EQ(tencent_.requestCount(), burst + 1);
    EXPECT_EQ(refused, 3);
    // A time-to-live later, one request brings every code.
    Advance(Ttl());
    for (const std::string& code : codes)
        EXPECT_EQ(Stock(code).status, 200) << code;
    EXPECT_EQ(tencent_.requestCount(), burst + 2);
    EXPECT_EQ(tencent_.symbolsOf(burst + 1).size(), codes.size() + 2);
}

TEST_F(LiveMarketTest, PagesCarryTheFeedsValuesInThePagesUnits) {
    FeedStandIn::Line moutai;
    moutai.name = "贵州茅台";
    moutai.latest = "1750.00";
    moutai.previousClose = "1738.50";
    moutai.stamp = "2022-11-22 10:29:58";
    tencent_.SetLine("sh600519", moutai);
    FeedStandIn::Line sh;
    sh.name = "上证指数";
    sh.latest = "3088.94";
    sh.previousClose = "3085.04";
    sh.stamp = "2022-11-22 10:29:55";
    tencent_.SetLine("sh000001", sh);
    Start();
    std::string page = StockPage("600519");
    EXPECT_EQ(Cut(page, "股票名称", 9, "<"), Gbk("贵州茅台"));
    EXPECT_EQ(Cut(page, "当前价", 35, "元"), "1750.00");
    EXPECT_EQ(Cut(page, "涨跌额", 35, "元"), "+11.50");
    EXPECT_EQ(Cut(page, "昨收盘", 7, "元"), "1738.50");
    // The recorded line's volume, 43032 lots, in shares on a stock page.
    EXPECT_EQ(Cut(page, "成交量", 7, "股"), "4303200");
    EXPECT_EQ(Cut(page, "更新时间", 9, "</"), "11-22 10:29:58");
    EXPECT_EQ(IndexLine(page, "上证"), "3088.94 +0.13%");

    std::string index = Gbk(server_->Respond(kShIndexPath, "").body);
    EXPECT_EQ(Cut(index, "最 新", 6, "<"), "3088.94");
    EXPECT_EQ(Cut(index, "昨 收", 6, "<"), "3085.04");
    // In lots and in 100 million yuan on an index page.
    EXPECT_EQ(Cut(index, "成交量", 7, "手"), "43032");
    EXPECT_EQ(Cut(index, "成交额", 7, "亿"), "0.59");
    EXPECT_NE(index.find("[11-22 10:29:55]"), std::string::npos);
}

struct FaultCase {
    FeedStandIn::Fault fault;
    const char* name;
    bool refused; // the longer cool-down
};

class LiveMarketFaultTest : public LiveMarketTest, public testing::WithParamInterface<FaultCase> {};

TEST_P(LiveMarketFaultTest, ABadFeedIsSkippedForTheNextAndRestsForItsCoolDown) {
    FeedStandIn::Line line;
    line.latest = "21.43";
    line.previousClose = "21.00";
    // Fresh all through the longer cool-down.
    line.stamp = "2022-11-22 10:45:50";
    sina_.SetLine("sz000002", line);
    tencent_.SetFault(GetParam().fault);
    Start();
    const auto start = std::chrono::steady_clock::now();
    std::string page = StockPage("000002");
    // A stall costs the deadline, nothing more.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(Cut(page, "当前价", 35, "元"), "21.43");
    EXPECT_EQ(tencent_.requestCount(), 1);
    EXPECT_EQ(sina_.requestCount(), 1);

    // The failed feed rests while the next one serves.
    tencent_.SetFault(FeedStandIn::Fault::None);
    const LiveMarketOptions& o = server_->GetLiveMarket()->Options();
    const std::int64_t rest = GetParam().refused ? o.refusedCoolDownMs : o.coolDownMs;
    Advance(Ttl());
    EXPECT_EQ(Cut(StockPage("000002"), "当前价", 35, "元"), "21.43");
    EXPECT_EQ(tencent_.requestCount(), 1);
    EXPECT_EQ(sina_.requestCount(), 2);
    Advance(rest - Ttl() - 1);
    StockPage("000002");
    EXPECT_EQ(tencent_.requestCount(), 1);
    EXPECT_EQ(sina_.requestCount(), 3);
    // Rested: the first feed is asked again, and the next one is not.
    Advance(Ttl());
    EXPECT_NE(Cut(StockPage("000002"), "当前价", 35, "元"), "21.43");
    EXPECT_EQ(tencent_.requestCount(), 2);
    EXPECT_EQ(sina_.requestCount(), 3);
}

INSTANTIATE_TEST_SUITE_P(
    EveryFault, LiveMarketFaultTest,
    testing::Values(FaultCase{FeedStandIn::Fault::Forbidden, "Forbidden", true},
                    FaultCase{FeedStandIn::Fault::TooMany, "TooMany", true},
                    FaultCase{FeedStandIn::Fault::Status503, "Status503", false},
                    FaultCase{FeedStandIn::Fault::Garbage, "Garbage", false},
                    FaultCase{FeedStandIn::Fault::Truncated, "Truncated", false},
                    FaultCase{FeedStandIn::Fault::WrongCode, "WrongCode", false},
                    FaultCase{FeedStandIn::Fault::InvalidGbk, "InvalidGbk", false},
                    FaultCase{FeedStandIn::Fault::Stall, "Stall", false}),
    [](const testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST_F(LiveMarketTest, WhenEveryFeedFailsThePageIsAnErrorNeverAStalePrice) {
    Start();
    server_->Start(nullptr);
    const std::string request = PhoneRequest(std::string(kStockPath) + "?code=600036&vt=2");
    ASSERT_EQ(Fetch(server_->Port(), request).rfind("HTTP/1.1 200 OK\r\n", 0), 0u);

    tencent_.SetFault(FeedStandIn::Fault::Status503);
    sina_.SetFault(FeedStandIn::Fault::Stall);
    Advance(Ttl());
    std::string reply = Fetch(server_->Port(), request);
    EXPECT_EQ(reply.rfind("HTTP/1.1 503", 0), 0u) << reply;
    // Nothing a client could take for a quote page.
    EXPECT_EQ(reply.find("200 OK"), std::string::npos);
    EXPECT_EQ(reply.find(Gbk("当前价")), std::string::npos);
    EXPECT_EQ(reply.find("当前价"), std::string::npos);
    EXPECT_EQ(tencent_.requestCount(), 2);
    EXPECT_EQ(sina_.requestCount(), 1);

    // Both feeds rest: the next page fails at once, without asking them;
    // the index pages too.
    EXPECT_EQ(Stock("600036").status, 503);
    EXPECT_EQ(server_->Respond(kSzIndexPath, "").status, 503);
    EXPECT_EQ(tencent_.requestCount() + sina_.requestCount(), 3);

    // The program's own fetch: the error status is a failed fetch (the
    // callers show the connection-failure text), and the last reply is left
    // as it was.
    testsupport::FetchTestState fetchState;
    platform::DeviceConfig& device = platform::Device();
    device.serverHost = device.gatewayAddress = "127.0.0.1";
    device.serverPort = device.gatewayPort = static_cast<std::uint16_t>(server_->Port());
    device.networkUp = true;
    LastReply = "before";
    EXPECT_EQ(HttpFetch(BuildQuoteRequest("600036")), -1);
    EXPECT_EQ(HttpFetch(BuildQuoteRequest("999998")), -1);
    EXPECT_EQ(LastReply, "before");
    for (const auto& [reply, unreachable] : std::vector<std::pair<std::string, bool>>{
             {"HTTP/1.1 502 Bad Gateway\r\n", true},
             {"HTTP/1.0 504 Gateway Timeout\r\n", true},
             {"HTTP/1.1 503 x", true},
             {"HTTP/1.1 500 Internal Server Error\r\n", false},
             {"HTTP/1.1 200 OK\r\n\r\n503", false},
             {"HTTP/1.1 5030", false},
             {"503", false}})
        EXPECT_EQ(IsUnreachableStatus(reply), unreachable) << reply;

    // Once a feed is back and rested, pages are served again.
    tencent_.SetFault(FeedStandIn::Fault::None);
    sina_.SetFault(FeedStandIn::Fault::None);
    Advance(server_->GetLiveMarket()->Options().coolDownMs);
    ASSERT_EQ(HttpFetch(BuildQuoteRequest("600036")), 0);
    ASSERT_TRUE(ReplyIsQuotePage(kStockPageMarker));
    WatchList[0].code = "600036";
    ParseQuotePage(0);
    EXPECT_EQ(WatchList[0].latest, Cut(Gbk(Stock("600036").body), "当前价", 35, "元"));
    server_->Stop();
}

TEST_F(LiveMarketTest, TheDayOfTheQuoteDecidesBetweenTheClosedAndTheNormalPage) {
    FeedStandIn::Line closeLine;
    closeLine.latest = "11.56";
    closeLine.previousClose = "11.49";
    closeLine.stamp = "2022-11-22 15:00:02";
    tencent_.SetLine("sh600000", closeLine);
    FeedStandIn::Line suspended;
    suspended.name = "通润装备";
    suspended.previousClose = "9.55";
    suspended.suspended = true;
    tencent_.SetLine("sz002150", suspended);
    FeedStandIn::Line unknown;
    unknown.unknown = true;
    tencent_.SetLine("sz002257", unknown);
    tencent_.SetStamp("2022-11-22 15:00:03");

    // After today's close: today's close and today's change.
    Start("2022-11-22 15:30:00");
    std::string after = StockPage("600000");
    EXPECT_EQ(after.find(Gbk("(昨收)")), std::string::npos);
    EXPECT_EQ(Cut(after, "当前价", 35, "元"), "11.56");
    EXPECT_EQ(Cut(after, "涨跌额", 35, "元"), "+0.07");
    EXPECT_EQ(Cut(after, "更新时间", 9, "</"), "11-22 15:00:02");

    // A suspended stock: the closed-market page at its previous close.
    std::string halted = StockPage("002150");
    EXPECT_NE(halted.find(Gbk("(昨收)")), std::string::npos);
    EXPECT_EQ(Cut(halted, "当前价", 29, "元"), "9.55");

    // A code the feed does not know, and codes of no exchange or of one no
    // feed serves, which never go upstream.
    for (const char* code : {"002257", "700000", "999998", "399001", "12345", "430047"}) {
        SCOPED_TRACE(code);
        std::string page = StockPage(code);
        EXPECT_EQ(page.find(Gbk("当前价:")), std::string::npos);
        EXPECT_NE(page.find(Gbk("没有找到")), std::string::npos);
    }
    for (int i = 0; i < tencent_.requestCount(); ++i)
        for (const std::string& s : tencent_.symbolsOf(i))
            EXPECT_TRUE(s != "sh700000" && s != "sz700000" && s != "bj430047") << s;

    // The next morning, before the first trade, the feed still shows
    // yesterday: the closed-market page at yesterday's close.
    server_->Clock().SetEpochMs(Beijing("2022-11-23 09:20:00"));
    std::string morning = StockPage("600000");
    EXPECT_NE(morning.find(Gbk("(昨收)")), std::string::npos);
    EXPECT_EQ(Cut(morning, "当前价", 29, "元"), "11.56");
}

TEST_F(LiveMarketTest, AProbeAsksEachFeedOnceAndTellsWhatEachGave) {
    tencent_.SetFault(FeedStandIn::Fault::Forbidden);
    Start();
    std::vector<ProbeResult> results =
        server_->GetLiveMarket()->Probe({"600519", "999998", "999999", "700000"});
    ASSERT_EQ(results.size(), 2u);
    EXPECT_FALSE(results[0].ok);
    EXPECT_EQ(results[0].error, "HTTP 403");
    EXPECT_TRUE(results[1].ok) << results[1].error;
    EXPECT_EQ(results[1].quotes.size(), 3u);
    EXPECT_EQ(tencent_.requestCount(), 1);
    EXPECT_EQ(sina_.requestCount(), 1);
}

// The program's options: --probe and --market live with a stand-in feed.
TEST(QuotedLiveProgramTest, ProbesAStandInAndServesItsQuotes) {
    const char* buildDir = std::getenv("STOCKAT_BUILD_DIR");
    if (!buildDir)
        GTEST_SKIP() << "STOCKAT_BUILD_DIR not set";
    FeedStandIn tencent(FeedStandIn::Format::Tencent);
    auto run = [&](const std::string& arguments, std::string* output) {
        std::string command = std::string(buildDir) + "/stockat-quoted " + arguments + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[512];
        while (pipe && fgets(buffer, sizeof buffer, pipe))
            *output += buffer;
        int status = pipe ? pclose(pipe) : -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::string good;
    EXPECT_EQ(run("--market live --feed tencent=" + tencent.Base() + " --probe 600519", &good), 0)
        << good;
    EXPECT_NE(good.find("tencent (" + tencent.Base() + "): ok"), std::string::npos) << good;
    EXPECT_NE(good.find("sh600519"), std::string::npos) << good;
    EXPECT_EQ(tencent.requestCount(), 1);

    tencent.SetFault(FeedStandIn::Fault::Garbage);
    std::string bad;
    EXPECT_EQ(
        run("--feed tencent=" + tencent.Base() + " --feed sina=http://127.0.0.1:1 --probe", &bad),
        1)
        << bad;
    EXPECT_NE(bad.find("tencent (" + tencent.Base() + "): failed"), std::string::npos) << bad;
    EXPECT_NE(bad.find("sina (http://127.0.0.1:1): failed"), std::string::npos) << bad;

    // Serving: the page of the stand-in's quote, as of the quote's own day.
    tencent.SetFault(FeedStandIn::Fault::None);
    FeedStandIn::Line line;
    line.latest = "1750.00";
    line.stamp = "2022-11-22 10:29:58";
    tencent.SetLine("sh600519", line);
    launch::DemoServer quoted;
    ASSERT_TRUE(quoted.Start(std::string(buildDir) + "/stockat-quoted",
                             {"--listen", "127.0.0.1:0", "--market", "live", "--feed",
                              "tencent=" + tencent.Base(), "--clock", "2022-11-22 10:30",
                              "--clock-rate", "0"},
                             "/dev/null", 20000))
        << quoted.Error();
    std::string reply =
        Fetch(quoted.Port(), PhoneRequest(std::string(kStockPath) + "?code=600519&vt=2"));
    quoted.Stop();
    EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << reply;
    EXPECT_EQ(Cut(Gbk(reply), "当前价", 35, "元"), "1750.00");

    std::string wrong;
    EXPECT_EQ(run("--feed nosuchfeed --probe", &wrong), 2);
    EXPECT_EQ(run("--feed tencent=ftp://127.0.0.1 --probe", &wrong), 2);
}

} // namespace
} // namespace server
