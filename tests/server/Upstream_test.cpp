// The upstream GET: HTTPS that trusts only certificates it can check, bounds
// on the whole reply, and the feed addresses that --feed accepts.
#include "server/LiveMarket.h"
#include "server/Upstream.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include "tests/server/RawClient.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace server {
namespace {

TEST(UpstreamTest, HttpsTrustsOnlyACertificateItCanCheck) {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("stockat-tls-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string key = (dir / "key.pem").string(), cert = (dir / "cert.pem").string();
    const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -keyout " + key + " -out " +
                             cert +
                             " -days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1"
                             " >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0) {
        std::filesystem::remove_all(dir);
        GTEST_SKIP() << "openssl cannot make a test certificate";
    }
    httplib::SSLServer https(cert.c_str(), key.c_str());
    ASSERT_TRUE(https.is_valid());
    https.Get(".*", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content("v_sh600519=\"" + req.target + "\";\n", "text/plain");
    });
    const int port = https.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    std::thread serving([&] { https.listen_after_bind(); });
    while (!https.is_running())
        std::this_thread::yield();

    UpstreamRequest request;
    request.base = "https://127.0.0.1:" + std::to_string(port);
    request.target = "/q=sh600519";
    request.deadline = std::chrono::milliseconds(3000);
    // A self-signed certificate is not among the system's authorities.
    request.caFile = DefaultCaFile();
    UpstreamReply untrusted = UpstreamGet(request);
    EXPECT_EQ(untrusted.status, 0);
    EXPECT_EQ(untrusted.error, "server certificate not trusted");
    EXPECT_TRUE(untrusted.body.empty());

    request.caFile = cert;
    UpstreamReply trusted = UpstreamGet(request);
    EXPECT_EQ(trusted.status, 200) << trusted.error;
    EXPECT_EQ(trusted.body, "v_sh600519=\"/q=sh600519\";\n");

    request.maxBody = 10;
    UpstreamReply large = UpstreamGet(request);
    EXPECT_EQ(large.status, 0);
    EXPECT_EQ(large.error, "reply too large");

    https.stop();
    serving.join();
    std::filesystem::remove_all(dir);
}

// A hostile feed that sends `start` and then `filler` over and over (up to
// 64 MiB) to one connection; counts what it got to send.
class EndlessFeed {
  public:
    EndlessFeed(std::string start, std::string filler) {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof addr;
        if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(listen_, 4) != 0 ||
            ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &length) != 0)
            return;
        port = ntohs(addr.sin_port);
        thread_ = std::thread([this, start = std::move(start), filler = std::move(filler)] {
            int fd = ::accept(listen_, nullptr, nullptr);
            if (fd < 0)
                return;
            char request[4096];
            [[maybe_unused]] ssize_t n = ::recv(fd, request, sizeof request, 0);
            if (servertest::SendAll(fd, start))
                while (!filler.empty() && sent < (64u << 20) && servertest::SendAll(fd, filler))
                    sent += filler.size();
            ::close(fd);
        });
    }
    ~EndlessFeed() {
        ::shutdown(listen_, SHUT_RDWR);
        if (thread_.joinable())
            thread_.join();
        ::close(listen_);
    }
    int port = 0;
    std::atomic<std::size_t> sent{0};

  private:
    int listen_ = -1;
    std::thread thread_;
};

TEST(UpstreamTest, AFeedCannotFillMemoryWithItsReply) {
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    struct Case {
        const char* what;
        std::string start, filler;
    };
    const Case cases[] = {
        {"endless header lines", ok, "X-Filler: 0123456789\r\n"},
        {"one endless header line", ok + "X-Filler: ", std::string(4096, 'x')},
        {"endless chunk-size line", ok + "Transfer-Encoding: chunked\r\n\r\n",
         std::string(4096, '0')},
        {"endless body", ok + "\r\n", std::string(4096, 'v')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EndlessFeed feed(c.start, c.filler);
        ASSERT_GT(feed.port, 0);
        UpstreamRequest request;
        request.base = "http://127.0.0.1:" + std::to_string(feed.port);
        request.target = "/q=sh600519";
        request.deadline = std::chrono::milliseconds(10000);
        request.maxBody = 64 * 1024;
        auto began = std::chrono::steady_clock::now();
        UpstreamReply reply = UpstreamGet(request);
        EXPECT_EQ(reply.status, 0);
        EXPECT_EQ(reply.error, "reply too large");
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5));
        // Cut off after about the bound: what the feed got into the socket
        // buffers beyond it is the kernel's, never the server's.
        EXPECT_LT(feed.sent, 16u << 20);
    }
    // Within the bounds, a reply with many headers is taken.
    std::string headers = ok + "Content-Length: 5\r\n";
    for (int i = 0; i < 90; ++i)
        headers += "X-Filler: 0123456789\r\n";
    EndlessFeed fine(headers + "\r\nquote", "");
    UpstreamRequest request;
    request.base = "http://127.0.0.1:" + std::to_string(fine.port);
    request.target = "/";
    UpstreamReply reply = UpstreamGet(request);
    EXPECT_EQ(reply.status, 200) << reply.error;
    EXPECT_EQ(reply.body, "quote");
}

TEST(UpstreamTest, FeedAddressesAreSchemeHostAndPortOnly) {
    UpstreamBase b;
    ASSERT_TRUE(ParseUpstreamBase("http://127.0.0.1:8081", &b));
    EXPECT_EQ(b.scheme, "http");
    EXPECT_EQ(b.host, "127.0.0.1");
    EXPECT_EQ(b.port, 8081);
    ASSERT_TRUE(ParseUpstreamBase("https://hq.example.test/", &b));
    EXPECT_EQ(b.port, 443);
    ASSERT_TRUE(ParseUpstreamBase("http://[::1]:9000", &b));
    EXPECT_EQ(b.host, "::1");
    EXPECT_EQ(b.port, 9000);
    for (const char* bad :
         {"ftp://127.0.0.1", "127.0.0.1:80", "http://", "http://h:", "http://h:0", "http://h:70000",
          "http://h/path", "http://h?q", "http://user@h", "http://[::1", "http://h:8a"})
        EXPECT_FALSE(ParseUpstreamBase(bad, nullptr)) << bad;

    std::string error;
    std::optional<FeedSource> sina = ParseFeedOption("sina=http://127.0.0.1:9/", &error);
    ASSERT_TRUE(sina) << error;
    EXPECT_EQ(sina->adapter->name, "sina");
    EXPECT_EQ(sina->base, "http://127.0.0.1:9");
    std::optional<FeedSource> tencent = ParseFeedOption("tencent", &error);
    ASSERT_TRUE(tencent) << error;
    EXPECT_EQ(tencent->base, tencent->adapter->defaultBase);
    EXPECT_FALSE(ParseFeedOption("yahoo", &error));
    EXPECT_NE(error.find("tencent"), std::string::npos);
    EXPECT_FALSE(ParseFeedOption("sina=http://127.0.0.1:9/list=", &error));
    // Unreachable bases fail within the deadline with a reason.
    UpstreamRequest request;
    request.base = "http://127.0.0.1:1";
    request.target = "/";
    request.deadline = std::chrono::milliseconds(500);
    UpstreamReply refused = UpstreamGet(request);
    EXPECT_EQ(refused.status, 0);
    EXPECT_FALSE(refused.error.empty());
}

} // namespace
} // namespace server
