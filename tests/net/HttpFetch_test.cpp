// The HTTP fetch against scripted loopback peers: the exact request bytes,
// the three connection roads, the reply limit and re-encoding, traffic
// counting, and every way a peer can fail or misbehave.
#include "net/HttpFetch.h"

#include "common/QuoteRecord.h"
#include "net/QuotePageParser.h"
#include "platform/connmgr.h"
#include "platform/device.h"
#include "platform/headless/Driver.h"
#include "platform/winsock.h"
#include "server/Gbk.h"
#include "server/QuoteServer.h"
#include "tests/support/ScriptedServer.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

using testsupport::ScriptedPeer;

constexpr double kMB = 1048576.0;

int OpenDescriptors() {
    int n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++n;
    }
    return n;
}

class FetchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Device().serverHost = "127.0.0.1";
        platform::Device().gatewayAddress = "127.0.0.1";
        platform::Device().networkUp = true;
        LastReply = "before";
    }
    // Points HOST (methods "2" and "3") and the gateway (method "1") at a peer.
    static void PointAt(const ScriptedPeer& peer) {
        platform::Device().serverPort = peer.port();
        platform::Device().gatewayPort = peer.port();
    }
    // A failed fetch leaves the reply and the counters as they were.
    static void ExpectNothingChanged() {
        EXPECT_EQ(LastReply, "before");
        EXPECT_EQ(RunTraffic, 0);
        EXPECT_EQ(Settings.MonthTraffic, 0);
    }

    testsupport::FetchTestState state_;
};

TEST(Requests, AreTheExactBytesOfTheQuoteServerRequests) {
    std::string host = platform::Device().serverHost;
    std::string headers = "\r\nHost: " + host +
                          "\r\nConnection: Close\r\nUser-agent:Mozilla/4.0\r\n"
                          "Accept-language:zh-cn\r\n\r\n";
    EXPECT_EQ(BuildStockRequest("600036"),
              "GET /prog/wapsite/stock/stockquery.php?code=600036&vt=2 HTTP/1.1" + headers);
    EXPECT_EQ(BuildShIndexRequest(),
              "GET /prog/wapsite/stock/sh_stockquery.php?vt=2 HTTP/1.1" + headers);
    EXPECT_EQ(BuildSzIndexRequest(),
              "GET /prog/wapsite/stock/sz_stockquery.php?vt=2 HTTP/1.1" + headers);
    EXPECT_EQ(BuildMarketIndexRequest(),
              "GET /prog/wapsite/stock/stockquery.php?code=000001&vt=2 HTTP/1.1" + headers);
    EXPECT_EQ(BuildQuoteRequest("999998"), BuildShIndexRequest());
    EXPECT_EQ(BuildQuoteRequest("999999"), BuildSzIndexRequest());
    EXPECT_EQ(BuildQuoteRequest("000001"), BuildMarketIndexRequest());
}

TEST(ReplyTest, NeedsOkAndTheMarkerAfterTheFirstByte) {
    std::string marker = server::Utf8ToGbk("当前价:").value();
    ASSERT_EQ(marker, kStockPageMarker);
    LastReply = "HTTP/1.1 200 OK\r\n\r\n" + marker + "1";
    EXPECT_TRUE(ReplyIsQuotePage(kStockPageMarker));
    EXPECT_TRUE(ReplyIsQuotePage(""));
    EXPECT_FALSE(ReplyIsQuotePage(kIndexPageMarker));
    LastReply = "200 OK " + marker; // "200 OK" at position 0
    EXPECT_FALSE(ReplyIsQuotePage(kStockPageMarker));
    EXPECT_FALSE(ReplyIsQuotePage(nullptr));
    LastReply = marker + " 200 OK"; // the marker at position 0
    EXPECT_FALSE(ReplyIsQuotePage(kStockPageMarker));
    LastReply = "HTTP/1.1 404 Not Found\r\n\r\n" + marker;
    EXPECT_FALSE(ReplyIsQuotePage(kStockPageMarker));
    LastReply.clear();
}

TEST(FailureTexts, FollowTheConnectionMethod) {
    EXPECT_EQ(std::u16string(ConnectionFailureShortText("1")),
              u"GRPS连接失败，请检查GPRS CMWAP设置是否正确！");
    EXPECT_NE(std::u16string(ConnectionFailureLongText("2")).find(u"CMNET"), std::u16string::npos);
    EXPECT_EQ(std::u16string(ConnectionFailureLongText("3")),
              std::u16string(ConnectionFailureShortText("3")));
    EXPECT_EQ(ConnectionFailureShortText(""), nullptr);
    EXPECT_EQ(ConnectionFailureLongText("0"), nullptr);
}

TEST_F(FetchTest, ConnectionManagerFollowsTheDeviceNetworkAndTheMethod) {
    Settings.ConnectionMethod = "1";
    EXPECT_EQ(EstablishConnection(), 0);
    CONNMGR_CONNECTIONINFO request = platform::LastConnMgrRequestForTesting();
    EXPECT_EQ(request.cbSize, 64u);
    EXPECT_EQ(request.dwParams, CONNMGR_PARAM_GUIDDESTNET);
    EXPECT_EQ(request.dwFlags, CONNMGR_FLAG_PROXY_HTTP);
    EXPECT_EQ(request.dwPriority, 0x200u);
    EXPECT_EQ(request.guidDestNet.Data1, 0x436EF144u);
    Settings.ConnectionMethod = "3";
    EXPECT_EQ(EstablishConnection(), 0);
    EXPECT_EQ(platform::LastConnMgrRequestForTesting().dwFlags, 0u);
    platform::Device().networkUp = false;
    EXPECT_EQ(EstablishConnection(), -1);
}

TEST_F(FetchTest, AFetchSendsTheRequestAndStoresTheReplyInGbk) {
    std::string body = "HTTP/1.1 200 OK\r\n\r\n当前价:12.34元";
    ScriptedPeer peer(ScriptedPeer::Reply(body));
    PointAt(peer);
    std::string request = BuildStockRequest("600036");
    ASSERT_EQ(HttpFetch(request), 0);
    ASSERT_EQ(peer.requests().size(), 1u);
    EXPECT_EQ(peer.requests()[0], request);
    EXPECT_EQ(LastReply, server::Utf8ToGbk(body).value());
    EXPECT_TRUE(ReplyIsQuotePage(kStockPageMarker));
    EXPECT_DOUBLE_EQ(RunTraffic, body.size() / kMB);
    EXPECT_DOUBLE_EQ(Settings.MonthTraffic, body.size() / kMB);
}

TEST_F(FetchTest, WiFiRepliesAreReEncodedToo) {
    Settings.ConnectionMethod = "3";
    std::string body = "HTTP/1.1 200 OK\r\n\r\n最 新:2209.95<";
    ScriptedPeer peer(ScriptedPeer::Reply(body));
    PointAt(peer);
    ASSERT_EQ(HttpFetch(BuildShIndexRequest()), 0);
    EXPECT_TRUE(ReplyIsQuotePage(kIndexPageMarker));
}

TEST_F(FetchTest, ARepliesBeyondFiftyThousandBytesIsCutAndCounted) {
    std::string reply = "HTTP/1.1 200 OK\r\n\r\n" + std::string(60000 - 19, 'a');
    ScriptedPeer peer(ScriptedPeer::Reply(reply));
    PointAt(peer);
    Settings.MonthTraffic = 1.0;
    ASSERT_EQ(HttpFetch(BuildStockRequest("600000")), 0);
    EXPECT_EQ(LastReply, reply.substr(0, 50000));
    EXPECT_DOUBLE_EQ(RunTraffic, 50000 / kMB);
    EXPECT_DOUBLE_EQ(Settings.MonthTraffic, 1.0 + 50000 / kMB);
}

TEST_F(FetchTest, TwoFullRepliesShowAsPointZeroNineFiveFour) {
    ScriptedPeer peer(ScriptedPeer::Reply(std::string(50000, 'x')));
    PointAt(peer);
    ASSERT_EQ(HttpFetch(BuildStockRequest("600000")), 0);
    ASSERT_EQ(HttpFetch(BuildStockRequest("600000")), 0);
    char shown[32];
    std::snprintf(shown, sizeof shown, "%.4f", RunTraffic);
    EXPECT_STREQ(shown, "0.0954");
    std::snprintf(shown, sizeof shown, "%.4f", Settings.MonthTraffic);
    EXPECT_STREQ(shown, "0.0954");
}

TEST_F(FetchTest, AReplyIsCutAtItsFirstNulButCountedWhole) {
    std::string reply("HTTP/1.1 200 OK\r\n\r\nab\0cd", 23);
    ScriptedPeer peer(ScriptedPeer::Reply(reply));
    PointAt(peer);
    ASSERT_EQ(HttpFetch(BuildStockRequest("600000")), 0);
    EXPECT_EQ(LastReply, "HTTP/1.1 200 OK\r\n\r\nab");
    EXPECT_DOUBLE_EQ(RunTraffic, 23 / kMB);
}

TEST_F(FetchTest, APeerThatClosesAtOnceGivesAnEmptyReply) {
    ScriptedPeer peer(ScriptedPeer::CloseAtOnce());
    PointAt(peer);
    int rc = HttpFetch(BuildStockRequest("600000"));
    // Either the request was sent and the empty reply taken (0), or the
    // peer's reset failed the receive (-1); never a made-up reply.
    if (rc == 0) {
        EXPECT_EQ(LastReply, "");
        EXPECT_EQ(RunTraffic, 0);
    } else {
        EXPECT_EQ(rc, -1);
        ExpectNothingChanged();
    }
    EXPECT_FALSE(ReplyIsQuotePage(kStockPageMarker));
}

TEST_F(FetchTest, AResetConnectionFailsAndChangesNothing) {
    ScriptedPeer peer(ScriptedPeer::ResetAfterRequest());
    PointAt(peer);
    EXPECT_EQ(HttpFetch(BuildStockRequest("600000")), -1);
    ExpectNothingChanged();
}

TEST_F(FetchTest, AStalledPeerIsGivenUpAtTheDeadline) {
    ScriptedPeer peer(ScriptedPeer::Stall());
    PointAt(peer);
    SetFetchDeadlineForTesting(200);
    EXPECT_EQ(HttpFetch(BuildStockRequest("600000")), -1);
    ExpectNothingChanged();
}

TEST_F(FetchTest, ADrippingPeerIsGivenUpAtTheDeadline) {
    // A byte every 20 ms would take minutes; each byte restarts a per-call
    // time-out, but not the overall deadline.
    ScriptedPeer peer(ScriptedPeer::Drip(std::string(10000, 'd'), 20));
    PointAt(peer);
    SetFetchDeadlineForTesting(300);
    EXPECT_EQ(HttpFetch(BuildStockRequest("600000")), -1);
    ExpectNothingChanged();
}

TEST_F(FetchTest, ARefusedConnectionFails) {
    platform::Device().serverPort = ScriptedPeer::RefusedPort();
    EXPECT_EQ(HttpFetch(BuildStockRequest("600000")), -1);
    ExpectNothingChanged();
}

TEST_F(FetchTest, CmwapGoesToTheGatewayWithoutALookup) {
    Settings.ConnectionMethod = "1";
    platform::Device().serverHost = "quotes.invalid"; // resolvable by nobody
    ScriptedPeer gateway(ScriptedPeer::Reply("HTTP/1.1 200 OK\r\n\r\nok"));
    PointAt(gateway);
    int lookups = platform::winsock::NameLookupCountForTesting();
    ASSERT_EQ(HttpFetch(BuildStockRequest("600036")), 0);
    EXPECT_EQ(platform::winsock::NameLookupCountForTesting(), lookups);
    ASSERT_EQ(gateway.requests().size(), 1u);
    std::string request = gateway.requests()[0];
    EXPECT_EQ(
        request.rfind("GET /prog/wapsite/stock/stockquery.php?code=600036&vt=2 HTTP/1.1\r\n", 0),
        0u);
    EXPECT_NE(request.find("\r\nHost: quotes.invalid\r\n"), std::string::npos);
    EXPECT_EQ(LastReply, "HTTP/1.1 200 OK\r\n\r\nok");
}

TEST_F(FetchTest, AnUnresolvableHostShowsTheErrorBoxUnderCmnetAndWiFi) {
    platform::headless::Driver d;
    ScriptedPeer peer(ScriptedPeer::Reply("HTTP/1.1 200 OK\r\n\r\nok"));
    PointAt(peer);
    platform::Device().serverHost = "quotes.invalid";
    for (const char* method : {"2", "3"}) {
        Settings.ConnectionMethod = method;
        int rc = 0;
        d.Run([&] { rc = HttpFetch(BuildStockRequest("600036")); });
        ASSERT_FALSE(d.Windows().empty());
        EXPECT_EQ(d.Windows()[0].className, u"#MessageBox");
        EXPECT_EQ(d.Windows()[0].title, u"瞰市");
        EXPECT_TRUE(d.ScreenHas("查找不到服务器IP地址！"));
        d.Enter();
        EXPECT_EQ(rc, -1);
        ExpectNothingChanged();
    }
    EXPECT_EQ(peer.connections(), 0);
}

TEST_F(FetchTest, CmnetResolvesTheHostName) {
    platform::Device().serverHost = "localhost";
    ScriptedPeer peer(ScriptedPeer::Reply("HTTP/1.1 200 OK\r\n\r\nok"));
    PointAt(peer);
    int lookups = platform::winsock::NameLookupCountForTesting();
    ASSERT_EQ(HttpFetch(BuildStockRequest("600036")), 0);
    EXPECT_EQ(platform::winsock::NameLookupCountForTesting(), lookups + 1);
    EXPECT_EQ(peer.connections(), 1);
}

TEST_F(FetchTest, NoMethodOrAnOverlongRequestReachesNoPeer) {
    ScriptedPeer peer(ScriptedPeer::Reply("HTTP/1.1 200 OK\r\n\r\nok"));
    PointAt(peer);
    for (const char* method : {"", "0", "4"}) {
        Settings.ConnectionMethod = method;
        EXPECT_EQ(HttpFetch(BuildStockRequest("600036")), -1);
    }
    Settings.ConnectionMethod = "2";
    EXPECT_EQ(HttpFetch(BuildStockRequest(std::string(500, '6'))), -1);
    EXPECT_EQ(peer.connections(), 0);
    ExpectNothingChanged();
    // 499 bytes still fit the request buffer.
    std::string request = BuildStockRequest("6");
    request.insert(request.size() - 4, std::string(499 - request.size(), 'x'));
    ASSERT_EQ(request.size(), 499u);
    EXPECT_EQ(HttpFetch(request), 0);
    EXPECT_EQ(peer.requests().at(0), request);
}

TEST_F(FetchTest, FailedFetchesLeaveNoSocketOpen) {
    // Warm up: the first lookup may open descriptors that stay (resolver).
    platform::Device().serverHost = "localhost";
    platform::Device().serverPort = ScriptedPeer::RefusedPort();
    HttpFetch(BuildStockRequest("600000"));
    int before = OpenDescriptors();
    {
        ScriptedPeer reset(ScriptedPeer::ResetAfterRequest());
        ScriptedPeer stall(ScriptedPeer::Stall());
        SetFetchDeadlineForTesting(100);
        for (int i = 0; i < 5; ++i) {
            PointAt(reset);
            EXPECT_EQ(HttpFetch(BuildStockRequest("600000")), -1);
            PointAt(stall);
            EXPECT_EQ(HttpFetch(BuildStockRequest("600000")), -1);
            platform::Device().serverPort = ScriptedPeer::RefusedPort();
            EXPECT_EQ(HttpFetch(BuildStockRequest("600000")), -1);
        }
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

// The whole road against the bundled quote server: request, reply, the
// success test and the parse, for a stock, both indices and an unknown code.
TEST_F(FetchTest, PagesOfTheBundledServerPassTheTestsAndParse) {
    server::ServerOptions options;
    options.port = 0;
    // 2026-03-18 10:00 Beijing time: trading.
    server::QuoteServer quoted(options, platform::DeviceClock::Manual(1773799200000));
    std::string error;
    ASSERT_TRUE(quoted.Start(&error)) << error;
    platform::Device().serverPort = static_cast<std::uint16_t>(quoted.Port());

    WatchList[0].code = "600036";
    ASSERT_EQ(HttpFetch(BuildQuoteRequest("600036")), 0);
    ASSERT_TRUE(ReplyIsQuotePage(kStockPageMarker));
    ParseQuotePage(0);
    EXPECT_EQ(WatchList[0].name, server::Utf8ToGbk("招商银行").value());
    EXPECT_GT(ReadNumber(WatchList[0].latest), 0);
    EXPECT_NE(WatchList[0].updateTime, "--");
    EXPECT_NE(ShIndexText, "");
    EXPECT_NE(SzIndexText, "");

    for (const char* code : {"999998", "999999"}) {
        WatchList[1].code = code;
        ASSERT_EQ(HttpFetch(BuildQuoteRequest(code)), 0);
        ASSERT_TRUE(ReplyIsQuotePage(kIndexPageMarker));
        ASSERT_TRUE(ReplyIsQuotePage(kChangeAmountMarker));
        ParseQuotePage(1);
        EXPECT_GT(ReadNumber(WatchList[1].latest), 0) << code;
        EXPECT_GT(ReadNumber(WatchList[1].open), 0) << code;
        EXPECT_NE(WatchList[1].updateTime, "--") << code;
    }

    ASSERT_EQ(HttpFetch(BuildStockRequest("123456")), 0);
    EXPECT_TRUE(ReplyIsQuotePage(nullptr));
    EXPECT_FALSE(ReplyIsQuotePage(kStockPageMarker));
    EXPECT_GT(RunTraffic, 0);
    quoted.Stop();
}

TEST(ReplyEncoding, MapsUtf8ToGbkAndMarksBrokenBytes) {
    EXPECT_EQ(ReplyToDeviceText("abc"), "abc");
    EXPECT_EQ(ReplyToDeviceText(""), "");
    EXPECT_EQ(ReplyToDeviceText("上证"), server::Utf8ToGbk("上证").value());
    // A byte that is not UTF-8 and a character that GBK lacks become "?".
    EXPECT_EQ(ReplyToDeviceText("a\xFF"
                                "b"),
              "a?b");
    EXPECT_EQ(ReplyToDeviceText("x\xF0\x9F\x98\x80y"), "x?y");
}

} // namespace
