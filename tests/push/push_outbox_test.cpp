// The outbox on a clock that tests move: an entry is written whole and
// without its keys, survives a restart, is retried with backoff and sent
// exactly once, and ends in error/ when refused, unreadable or too old.
// Then the sending thread against a loopback stand-in.
#include "push/Outbox.h"
#include "tests/support/PushStandIn.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using push::Outcome;
using push::Verdict;

std::vector<fs::path> Files(const fs::path& dir) {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir)) {
        files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string Slurp(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class OutboxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("stockat-outbox-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        channels_ = {*push::ParseChannel("pushplus://ppSECRETKEY99", nullptr),
                     *push::ParseChannel("wecombot://wcSECRETKEY77", nullptr)};
    }
    void TearDown() override { fs::remove_all(dir_); }

    // An outbox whose sends answer from `script` (the last answer repeats).
    std::unique_ptr<push::Outbox> Make(std::vector<Outcome> script) {
        push::Outbox::Options o;
        o.now = [this] { return now_; };
        o.jitter = [] { return 0.5; };
        o.send = [this, script](const push::Channel& c, const push::Message& m) {
            sent_.push_back(c.masked + " " + m.text);
            return script[std::min(sent_.size() - 1, script.size() - 1)];
        };
        o.onGiveUp = [this](const std::string& c, const std::string& r) {
            gaveUp_.push_back(c + ": " + r);
        };
        return std::make_unique<push::Outbox>(dir_, channels_, o);
    }
    push::Message Alert(const std::string& text) {
        push::Message m;
        m.title = "瞰市";
        m.text = text;
        return m;
    }

    fs::path dir_;
    std::vector<push::Channel> channels_;
    std::int64_t now_ = 1700000000000;
    std::vector<std::string> sent_;
    std::vector<std::string> gaveUp_;
};

const Outcome kOk{Verdict::Delivered, "", 200, 0};
const Outcome kBusy{Verdict::Retry, "HTTP 503", 503, 0};
const Outcome kRefused{Verdict::GiveUp, "HTTP 200: code 903 无效的用户token", 200, 0};

TEST_F(OutboxTest, AnEntryPerChannelIsWrittenWholeWithoutKeysAndSurvivesARestart) {
    {
        auto box = Make({kOk});
        EXPECT_EQ(box->Submit(Alert("浦发银行 到价")), 2);
        // Written, not yet sent: what `--status` counts.
        EXPECT_EQ(push::Waiting(dir_), 2);
        fs::path dot = dir_ / "outbox" / ".half-written.json.tmp";
        std::ofstream(dot) << "{";
        for (const fs::path& f : Files(dir_ / "outbox")) {
            if (f.filename().string()[0] == '.') {
                continue;
            }
            std::string text = Slurp(f);
            EXPECT_TRUE(nlohmann::json::accept(text)) << text;
            EXPECT_EQ(text.find("SECRETKEY"), std::string::npos) << text;
        }
        EXPECT_EQ(push::Waiting(dir_), 2) << "a file beginning with '.' is no entry";
    } // the program ends (or is killed) before sending
    auto box = Make({kOk});
    EXPECT_EQ(Files(dir_ / "outbox").size(), 2u) << "the cut-short write is cleaned up";
    EXPECT_EQ(box->RunDue(), std::nullopt);
    EXPECT_EQ(sent_, (std::vector<std::string>{"pushplus://pp…99 浦发银行 到价",
                                               "wecombot://wc…77 浦发银行 到价"}));
    EXPECT_EQ(push::Waiting(dir_), 0);
    EXPECT_EQ(Files(dir_ / "sent").size(), 2u);
}

TEST_F(OutboxTest, AFailedSendBacksOffAndIsDeliveredExactlyOnce) {
    channels_.resize(1);
    auto box = Make({kBusy, kBusy, kOk});
    box->Submit(Alert("a"));
    // 30 s, then 60 s (jitter 0.5: the middle of 0.8–1.2).
    std::optional<std::int64_t> next = box->RunDue();
    ASSERT_TRUE(next);
    EXPECT_EQ(*next - now_, 30000);
    now_ += 29999;
    EXPECT_EQ(box->RunDue(), next);
    EXPECT_EQ(sent_.size(), 1u) << "nothing is sent before it is due";
    now_ += 1;
    next = box->RunDue();
    ASSERT_TRUE(next);
    EXPECT_EQ(*next - now_, 60000);
    now_ = *next;
    EXPECT_EQ(box->RunDue(), std::nullopt);
    EXPECT_EQ(box->RunDue(), std::nullopt);
    EXPECT_EQ(sent_.size(), 3u);
    EXPECT_EQ(Files(dir_ / "sent").size(), 1u);
    EXPECT_EQ(push::Waiting(dir_), 0);
    EXPECT_TRUE(gaveUp_.empty());
}

TEST_F(OutboxTest, BackoffGrowsToThirtyMinutesAndGivesUpAfterADay) {
    channels_.resize(1);
    auto box = Make({kBusy});
    box->Submit(Alert("a"));
    std::vector<std::int64_t> waits;
    while (std::optional<std::int64_t> next = box->RunDue()) {
        waits.push_back(*next - now_);
        now_ = *next;
    }
    ASSERT_GE(waits.size(), 7u);
    EXPECT_EQ(std::vector<std::int64_t>(waits.begin(), waits.begin() + 7),
              (std::vector<std::int64_t>{30000, 60000, 120000, 240000, 480000, 960000, 1800000}));
    EXPECT_EQ(waits.back(), 1800000);
    ASSERT_EQ(gaveUp_.size(), 1u);
    EXPECT_EQ(gaveUp_[0], "pushplus://pp…99: not delivered in 24 hours; last: HTTP 503");
    ASSERT_EQ(Files(dir_ / "error").size(), 1u);
}

TEST_F(OutboxTest, ARefusalOrAnUnreadableEntryEndsInErrorWithItsReason) {
    auto box = Make({kRefused, kOk});
    box->Submit(Alert("a"));
    std::ofstream(dir_ / "outbox" / "0-broken.json") << "{\"chan";
    EXPECT_EQ(box->RunDue(), std::nullopt);
    EXPECT_EQ(gaveUp_,
              (std::vector<std::string>{"?: unreadable outbox entry",
                                        "pushplus://pp…99: HTTP 200: code 903 无效的用户token"}));
    std::vector<fs::path> errors = Files(dir_ / "error");
    ASSERT_EQ(errors.size(), 2u);
    nlohmann::json entry = nlohmann::json::parse(Slurp(errors[1]));
    EXPECT_EQ(entry["reason"], "HTTP 200: code 903 无效的用户token");
    EXPECT_EQ(entry["shown"], "pushplus://pp…99");
    EXPECT_EQ(Files(dir_ / "sent").size(), 1u);
}

TEST_F(OutboxTest, ARobotChannelSendsAtMostTwentyAMinute) {
    channels_.erase(channels_.begin());
    auto box = Make({kOk});
    box->Submit(Alert("a"));
    box->Submit(Alert("b"));
    std::optional<std::int64_t> next = box->RunDue();
    EXPECT_EQ(sent_.size(), 1u);
    ASSERT_TRUE(next);
    EXPECT_EQ(*next - now_, 3000);
    now_ = *next;
    EXPECT_EQ(box->RunDue(), std::nullopt);
    EXPECT_EQ(sent_, (std::vector<std::string>{"wecombot://wc…77 a", "wecombot://wc…77 b"}));
}

TEST_F(OutboxTest, TheSendingThreadDeliversANewEntryAtOnce) {
    testsupport::PushStandIn service({{500, "{}"}, {200, "{}"}});
    channels_ = {
        *push::ParseChannel("ntfy://127.0.0.1:" + std::to_string(service.port()) + "/t", nullptr)};
    std::atomic<std::int64_t> now{now_};
    push::Outbox::Options o;
    o.now = [&now] { return now.load(); };
    o.realDelay = [](std::int64_t) { return std::nullopt; }; // wait for Wake
    push::Outbox box(dir_, channels_, o);
    box.Start();
    box.Submit(Alert("a"));
    ASSERT_TRUE(service.WaitFor(1, 10000));
    // Once the entry holds its retry time, the clock passes it.
    for (int i = 0; i < 1000 && Slurp(Files(dir_ / "outbox").back()).find("\"attempts\": 1") ==
                                    std::string::npos;
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    now += 40000;
    box.Wake();
    ASSERT_TRUE(service.WaitFor(2, 10000));
    box.Stop();
    EXPECT_EQ(service.received().size(), 2u);
    EXPECT_EQ(Files(dir_ / "sent").size(), 1u);
    // The retry carries the same sequence id, so a repeat replaces the first.
    EXPECT_EQ(service.received()[0].headers.at("X-Sequence-ID"),
              service.received()[1].headers.at("X-Sequence-ID"));
}

} // namespace
