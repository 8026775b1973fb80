// The maker's service information on the whole program: fetched once after
// the first successful refresh cycle from the quote server's service path,
// then used by the recommendations and the version update, and its notices
// shown once as bubbles; a garbled reply leaves the start values.
#include "tests/watchlist/addstock_harness.h"

#include "server/ServiceInfo.h"

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

const char16_t kAlreadyLatest[] = u"您现在的版本是2.0。已经是最新版本，不需要更新！";

class ServiceFlowTest : public lookuptest::AppTest {
  protected:
    // Serves the simulated market's pages, and at the service path either
    // the rendered service text or, when `garble` is set, a damaged one.
    void ServeService(server::ServiceInfo info, bool garble = false) {
        std::optional<std::string> text = server::RenderServiceInfo(info);
        ASSERT_TRUE(text);
        std::string reply = server::ServiceInfoReply(*text);
        if (garble) {
            reply.resize(reply.size() - 12); // cut inside the notice line
        }
        site = std::make_unique<testsupport::ScriptedServer>(
            [this, reply](const std::string& request, int) {
                std::string target = testsupport::RequestTarget(request);
                if (target == server::kServicePath) {
                    ++serviceRequests;
                    return testsupport::ScriptedReply::Send(reply);
                }
                return testsupport::ScriptedReply::Send(
                    server.ReplyFor(target, platform::Clock().NowEpochMs()));
            });
        site->PointDevice();
    }

    // A manual refresh of the watch list, through its progress pop-up.
    void Refresh() {
        Command(IDC_MANUALREFRESH);
        driver.Advance(3000);
        ASSERT_TRUE(MainOnTop());
    }

    std::u16string MessageShownBy(int command) {
        Command(command);
        if (TopTitle() != u"瞰市" || MainOnTop()) {
            return u"(no message dialog)";
        }
        std::u16string text = Item(IDC_MESSAGE_TEXT);
        driver.SoftKey(0);
        return text;
    }

    std::unique_ptr<testsupport::ScriptedServer> site;
    std::atomic<int> serviceRequests{0};
};

TEST_F(ServiceFlowTest, RecommendationsShowTheItemsBeforeTheLastMarker) {
    server::ServiceInfo info;
    info.recommend = "A[e]B[e]C";
    ServeService(info);
    Seed({"600036"});
    StartApp();
    EXPECT_EQ(MessageShownBy(IDC_RECOMMEND), u"") << "nothing reported yet";
    Refresh();
    EXPECT_EQ(serviceRequests.load(), 1);
    EXPECT_EQ(MessageShownBy(IDC_RECOMMEND), u"A\r\nB");
}

// Chinese texts travel in UTF-8 like the pages and reach the program in GBK
// after its reply re-encoding, with the byte count still right.
TEST_F(ServiceFlowTest, ChineseRecommendationsAndNoticesArriveWhole) {
    server::ServiceInfo info;
    info.recommend = "招商银行[e]贵州茅台[e]";
    info.notices = {"今日提前收盘"};
    ServeService(info);
    Seed({"600036"});
    StartApp();
    Refresh();
    EXPECT_EQ(MessageShownBy(IDC_RECOMMEND), u"招商银行\r\n贵州茅台");
    auto shown = driver.BubblesShown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].text.find(u"今日提前收盘"), std::u16string::npos);
}

TEST_F(ServiceFlowTest, ANewerVersionOpensItsPackageThroughTheOpener) {
    // A stand-in opener that writes down what it was given.
    const std::filesystem::path opened = root / "opened.txt";
    const std::filesystem::path opener = root / "opener.sh";
    {
        std::ofstream script(opener);
        script << "#!/bin/sh\nprintf '%s' \"$1\" > '" << opened.string() << ".part'\n"
               << "mv '" << opened.string() << ".part' '" << opened.string() << "'\n";
    }
    ::chmod(opener.c_str(), 0755);
    platform::Device().opener = opener.string();

    server::ServiceInfo info;
    info.latestVersion = "2.1";
    info.packageUrl = "http://127.0.0.1/stockat-2.1.tar.gz";
    ServeService(info);
    Seed({"600036"});
    StartApp();
    EXPECT_EQ(MessageShownBy(IDC_VERSIONUPDATE), kAlreadyLatest) << "1.0 until reported";
    Refresh();
    EXPECT_DOUBLE_EQ(LatestVersion, 2.1);

    Command(IDC_VERSIONUPDATE);
    EXPECT_TRUE(MainOnTop()) << "no message: the opener takes over";
    // The opener is a process of its own; wait for its file.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!std::filesystem::exists(opened) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::ifstream in(opened);
    std::stringstream got;
    got << in.rdbuf();
    EXPECT_EQ(got.str(), "http://127.0.0.1/stockat-2.1.tar.gz");
}

TEST_F(ServiceFlowTest, TheCurrentVersionNeedsNoUpdate) {
    server::ServiceInfo info; // the server reports 2.0 by default
    ServeService(info);
    Seed({"600036"});
    StartApp();
    Refresh();
    EXPECT_EQ(serviceRequests.load(), 1);
    EXPECT_EQ(MessageShownBy(IDC_VERSIONUPDATE), kAlreadyLatest);
}

TEST_F(ServiceFlowTest, EachNoticeIsShownOnceAndTheServiceIsAskedOncePerRun) {
    server::ServiceInfo info;
    info.notices = {"Trading ends early today", "<b>Second</b> notice"};
    ServeService(info);
    Seed({"600036"});
    StartApp();
    EXPECT_TRUE(driver.BubblesShown().empty());
    Refresh();
    auto shown = driver.BubblesShown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].title, u"新通知");
    EXPECT_NE(shown[0].text.find(u"温馨提示"), std::u16string::npos);
    EXPECT_NE(shown[0].text.find(u"Trading ends early today"), std::u16string::npos);
    EXPECT_EQ(shown[1].id, shown[0].id + 1);

    Refresh();
    Refresh();
    EXPECT_EQ(serviceRequests.load(), 1);
    EXPECT_EQ(driver.BubblesShown().size(), 2u);
}

TEST_F(ServiceFlowTest, AGarbledReplyLeavesTheStartValues) {
    server::ServiceInfo info;
    info.latestVersion = "3.0";
    info.packageUrl = "http://127.0.0.1/stockat-3.0.tar.gz";
    info.recommend = "A[e]B[e]";
    info.notices = {"a notice that is cut"};
    ServeService(info, true);
    Seed({"600036"});
    StartApp();
    Refresh();
    EXPECT_EQ(serviceRequests.load(), 1);
    EXPECT_DOUBLE_EQ(LatestVersion, 1.0);
    EXPECT_TRUE(driver.BubblesShown().empty());
    EXPECT_EQ(MessageShownBy(IDC_RECOMMEND), u"");
    EXPECT_EQ(MessageShownBy(IDC_VERSIONUPDATE), kAlreadyLatest);
}

TEST_F(ServiceFlowTest, AFailedCycleDoesNotAskForTheService) {
    server::ServiceInfo info;
    info.notices = {"n"};
    ServeService(info);
    Seed({"600036"});
    StartApp();
    platform::Device().serverPort = 1; // the cycle cannot connect
    Command(IDC_MANUALREFRESH);
    driver.Advance(3000);
    driver.Enter(); // the connection failure message box
    EXPECT_TRUE(MainOnTop());
    EXPECT_EQ(serviceRequests.load(), 0);
    EXPECT_TRUE(driver.BubblesShown().empty());
}

} // namespace
