// The upstream GET: HTTPS that trusts only certificates it can check, a
// bound on the body, and the feed addresses that --feed accepts.
#include "server/LiveMarket.h"
#include "server/Upstream.h"

#include <httplib.h>

#include <gtest/gtest.h>

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
