// The quote server's front door over loopback: connections that have not sent
// their whole request head are held without a worker, within a head deadline,
// a head size limit and a cap, and never delay another client's page or the
// server's stop.
#include "server/QuoteServer.h"

#include "tests/server/RawClient.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace servertest;

namespace server {
namespace {

using namespace std::chrono_literals;

// 2009-03-18 10:00 Beijing time: the market is trading.
constexpr std::int64_t kTradingMoment = 1237341600000;

const std::string kStockRequest = PhoneRequest(std::string(kStockPath) + "?code=600036&vt=2");

bool IsPage(const std::string& reply) {
    return reply.rfind("HTTP/1.1 200 OK\r\n", 0) == 0;
}

// Whether the server has closed `fd` (or sent something) by now.
bool Answered(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

// Connections that each sent half a request and wait.
struct HalfOpen {
    HalfOpen(int port, int count) {
        for (int i = 0; i < count; ++i) {
            int fd = Connect(port);
            EXPECT_GE(fd, 0);
            if (fd < 0)
                return;
            EXPECT_TRUE(SendAll(fd, kStockRequest.substr(0, kStockRequest.size() / 2)));
            fds.push_back(fd);
        }
    }
    ~HalfOpen() {
        for (int fd : fds)
            ::close(fd);
    }
    std::vector<int> fds;
};

class GateTest : public testing::Test {
  protected:
    void Start(ServerOptions options) {
        options.port = 0;
        server_ =
            std::make_unique<QuoteServer>(options, platform::DeviceClock::Manual(kTradingMoment));
        std::string error;
        ASSERT_TRUE(server_->Start(&error)) << error;
        port_ = server_->Port();
    }
    void TearDown() override {
        if (server_)
            server_->Stop();
    }
    std::unique_ptr<QuoteServer> server_;
    int port_ = 0;
};

TEST_F(GateTest, HalfOpenConnectionsHoldNoWorkerAndTheOldestGiveWayBeyondTheCap) {
    ServerOptions options;
    options.threads = 2;
    options.headTimeout = 60s; // none of them is dropped for its deadline here
    options.maxHeld = 100;
    options.loops = 1; // so that the cap and its oldest connection are exact
    Start(options);
    rlimit files{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &files), 0);
    EXPECT_EQ(files.rlim_cur, files.rlim_max);

    // Far more connections than workers: each one would hold a worker for
    // its read time-out if workers waited for heads.
    HalfOpen held(port_, 100);
    ReadResult page;
    int fd = Connect(port_);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(SendAll(fd, kStockRequest));
    page = ReadUntilClose(fd, 10s);
    ::close(fd);
    EXPECT_TRUE(page.closed);
    EXPECT_TRUE(IsPage(page.data)) << page.data.substr(0, 80);
    // The page's connection was held at the cap too, and closed the oldest
    // held one to make room; all the others are still held, unanswered.
    ASSERT_EQ(held.fds.size(), 100u);
    ReadResult oldest = ReadUntilClose(held.fds[0], 10s);
    EXPECT_TRUE(oldest.closed);
    EXPECT_EQ(oldest.data, "");
    int answered = 0;
    for (size_t i = 1; i < held.fds.size(); ++i)
        answered += Answered(held.fds[i]);
    EXPECT_EQ(answered, 0);

    // A held connection that completes its head is served after all.
    ASSERT_TRUE(SendAll(held.fds[50], kStockRequest.substr(kStockRequest.size() / 2)));
    EXPECT_TRUE(IsPage(ReadUntilClose(held.fds[50], 10s).data));
}

TEST_F(GateTest, AHeadDrippedPastItsDeadlineIsClosedWithoutAPage) {
    ServerOptions options;
    options.threads = 1;
    options.headTimeout = 400ms;
    Start(options);
    int drip = Connect(port_);
    ASSERT_GE(drip, 0);
    // One byte every 20 ms: no single read waits long, and the head, 600
    // bytes, would end only after 12 s.
    std::atomic<bool> stop{false};
    std::thread dripper([&] {
        const std::string head = "GET /x HTTP/1.1\r\nX: " + std::string(580, 'y') + "\r\n\r\n";
        for (size_t i = 0; i < head.size() && !stop; ++i) {
            if (!SendAll(drip, head.substr(i, 1)))
                return;
            std::this_thread::sleep_for(20ms);
        }
    });
    auto began = std::chrono::steady_clock::now();
    ReadResult r = ReadUntilClose(drip, 10s);
    stop = true;
    dripper.join();
    ::close(drip);
    EXPECT_TRUE(r.closed);
    EXPECT_EQ(r.data, "");
    EXPECT_LT(std::chrono::steady_clock::now() - began, 8s);
    // The one worker is free.
    EXPECT_TRUE(IsPage(Fetch(port_, kStockRequest)));
}

TEST_F(GateTest, AnOverlongHeadIsRefusedAndAHeadIsTakenAsSoonAsItEnds) {
    ServerOptions options;
    options.headLimit = 1024;
    options.headTimeout = 60s;
    Start(options);
    // Many header lines, each short, no blank line yet: refused once the
    // head passes the limit, without waiting for its end.
    int fd = Connect(port_);
    ASSERT_GE(fd, 0);
    std::string head = "GET " + std::string(kStockPath) + "?code=600036 HTTP/1.1\r\n";
    while (head.size() < 4000)
        head += "X-Filler: 0123456789\r\n";
    ASSERT_TRUE(SendAll(fd, head));
    ReadResult r = ReadUntilClose(fd, 10s);
    ::close(fd);
    EXPECT_TRUE(r.closed);
    EXPECT_EQ(r.data.find("200 OK"), std::string::npos);
    EXPECT_TRUE(r.data.empty() || r.data.rfind("HTTP/1.1 431", 0) == 0) << r.data;
    // A whole head longer than the limit is refused as well.
    std::string whole = PhoneRequest(std::string(kStockPath) + "?code=" + std::string(1100, '6'));
    EXPECT_FALSE(IsPage(Fetch(port_, whole)));
    // A head just within it is served.
    std::string near = kStockRequest.substr(0, kStockRequest.size() - 2) +
                       "X-Pad: " + std::string(1024 - kStockRequest.size() - 9, 'p') + "\r\n\r\n";
    ASSERT_EQ(near.size(), 1024u);
    EXPECT_TRUE(IsPage(Fetch(port_, near)));
    // A head whose lines end in bare line feeds is refused at once rather
    // than waiting out the head deadline.
    std::string bare =
        Fetch(port_, "GET " + std::string(kStockPath) + "?code=600036 HTTP/1.1\nHost: x\n\n");
    EXPECT_EQ(bare.rfind("HTTP/1.1 ", 0), 0u) << bare;
}

// Every request the site's clients never send is answered by the gate at
// once (the deadlines here are a minute), and what the client goes on
// sending is read out for a moment and then cut off, so the server holds no
// more of it than a few buffers.
TEST_F(GateTest, RefusesBodiesOtherMethodsExpectationsAndLooseHeadsAtOnce) {
    ServerOptions options;
    options.threads = 1;
    options.headTimeout = 60s;
    options.readTimeout = 60s;
    options.requestDeadline = 60s;
    Start(options);
    const std::string path = std::string(kStockPath) + "?code=600036";
    const std::string get = "GET " + path + " HTTP/1.1\r\nHost: x\r\n";
    std::string ranges = "Range: bytes=0-";
    while (ranges.size() < 6000)
        ranges += ",0-";
    const std::string page = BodyOf(Fetch(port_, kStockRequest));
    ASSERT_FALSE(page.empty());
    struct Case {
        const char* what;
        std::string request;
        const char* status;
        bool endless; // the client goes on sending after its head
    };
    const Case cases[] = {
        {"chunked body", "POST " + path + " HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", "413",
         true},
        {"huge length", "POST " + path + " HTTP/1.1\r\nContent-Length: 1000000000\r\n\r\n", "413",
         true},
        {"GET with a body", get + "Content-Length: 5\r\n\r\nhello", "413", false},
        {"POST without a length", "POST " + path + " HTTP/1.1\r\nHost: x\r\n\r\n", "405", true},
        {"other method", "DELETE " + path + " HTTP/1.1\r\n\r\n", "405", false},
        {"expectation", get + "Expect: 100-continue\r\n\r\n", "417", true},
        {"bare line feeds", "GET " + path + " HTTP/1.1\nHost: x\n\n", "400", false},
        {"one bare line feed", get + "X: y\n\r\n", "400", true},
        {"folded line", get + " folded\r\n\r\n", "400", false},
        {"space before colon", get + "X : y\r\n\r\n", "400", false},
        {"no version", "GET " + path + "\r\n\r\n", "400", false},
        {"HTTP/2.0", "GET " + path + " HTTP/2.0\r\n\r\n", "505", false},
        {"endless header line", get + "X: ", "431", true},
        {"many parts of a range", get + ranges + "\r\n\r\n", "200", false},
    };
    const std::string chunk = "10000\r\n" + std::string(65536, 'a') + "\r\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int fd = Connect(port_);
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(SendAll(fd, c.request));
        std::atomic<std::size_t> sent{0};
        std::thread flood([&] {
            // Up to 64 MiB: the server must cut the connection long before.
            while (c.endless && sent < (64u << 20) && SendAll(fd, chunk))
                sent += chunk.size();
        });
        auto began = std::chrono::steady_clock::now();
        ReadResult r = ReadUntilClose(fd, 10s);
        flood.join();
        ::close(fd);
        EXPECT_LT(std::chrono::steady_clock::now() - began, 5s);
        EXPECT_EQ(r.data.rfind("HTTP/1.1 " + std::string(c.status) + " ", 0), 0u)
            << r.data.substr(0, 80);
        EXPECT_LT(sent, 8u << 20);
        if (std::string(c.status) == "200") {
            EXPECT_EQ(BodyOf(r.data), page); // one whole page, never parts of it
        }
        if (std::string(c.what) == "other method") {
            EXPECT_NE(r.data.find("\r\nAllow: GET, HEAD\r\n"), std::string::npos);
        }
    }
    // HEAD gets the page's head alone.
    std::string head = Fetch(port_, "HEAD " + path + " HTTP/1.1\r\n\r\n");
    EXPECT_EQ(head.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << head;
    EXPECT_NE(head.find("Content-Length: " + std::to_string(page.size()) + "\r\n"),
              std::string::npos);
    EXPECT_EQ(BodyOf(head), "");
    // Each refusal is counted by its reason, for the log.
    GateCounts counts = server_->Refusals();
    EXPECT_EQ(counts.refused[static_cast<int>(Refusal::Body)], 3u);
    EXPECT_EQ(counts.refused[static_cast<int>(Refusal::Method)], 2u);
    EXPECT_EQ(counts.refused[static_cast<int>(Refusal::BadHead)], 5u);
    EXPECT_EQ(counts.refused[static_cast<int>(Refusal::TooLarge)], 1u);
    EXPECT_EQ(DescribeCounts(counts),
              "refused: bad head 5, head too large 1, method 2, body 3, expectation 1, "
              "version 1");
    // And the server still serves.
    EXPECT_TRUE(IsPage(Fetch(port_, kStockRequest)));
}

TEST_F(GateTest, StopWithHalfOpenConnectionsReturnsPromptlyAndClosesThem) {
    ServerOptions options;
    options.threads = 2;
    options.headTimeout = 60s;
    options.readTimeout = 60s;
    Start(options);
    HalfOpen held(port_, 50);
    // Served, so the loop has taken in every held connection before it.
    ASSERT_TRUE(IsPage(Fetch(port_, kStockRequest)));
    auto began = std::chrono::steady_clock::now();
    server_->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - began, 5s);
    for (int fd : held.fds)
        EXPECT_TRUE(ReadUntilClose(fd, 5s).closed);
    EXPECT_LT(Connect(port_), 0);
}

} // namespace
} // namespace server
