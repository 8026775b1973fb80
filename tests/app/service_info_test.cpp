// The service text's strict reader and the recommendation lines: a damaged,
// truncated or foreign reply must leave the start values, and the "[e]"
// split must show exactly the items before the last marker.
#include "app/ServiceInfo.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Reply(const std::string& body, const std::string& status = "HTTP/1.1 200 OK") {
    return status + "\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n" + body;
}

// A service text with its END line counted.
std::string Body(const std::string& lines) {
    std::string text = "STOCKAT-SERVICE 1\r\n" + lines;
    return text + "END " + std::to_string(text.size()) + "\r\n";
}

TEST(ServiceReplyTest, ReadsEveryField) {
    auto report = ParseServiceReply(Reply(Body("version=2.1\r\n"
                                               "package=http://127.0.0.1/stockat-2.1.cab\r\n"
                                               "recommend=A[e]B[e]\r\n"
                                               "notice=one\r\n"
                                               "notice=two\r\n")));
    ASSERT_TRUE(report);
    EXPECT_DOUBLE_EQ(report->version, 2.1);
    EXPECT_EQ(report->package, "http://127.0.0.1/stockat-2.1.cab");
    EXPECT_EQ(report->recommend, "A[e]B[e]");
    EXPECT_EQ(report->notices, (std::vector<std::string>{"one", "two"}));
}

TEST(ServiceReplyTest, VersionAloneIsEnough) {
    auto report = ParseServiceReply(Reply(Body("version=1.5\r\n")));
    ASSERT_TRUE(report);
    EXPECT_DOUBLE_EQ(report->version, 1.5);
    EXPECT_TRUE(report->package.empty());
    EXPECT_TRUE(report->notices.empty());
}

TEST(ServiceReplyTest, RefusesDamagedOrForeignReplies) {
    const std::string good = Body("version=2.1\r\npackage=http://h/p\r\nnotice=n\r\n");
    ASSERT_TRUE(ParseServiceReply(Reply(good)));

    // Not a successful reply, or no body at all.
    EXPECT_FALSE(ParseServiceReply(Reply(good, "HTTP/1.1 404 Not Found")));
    EXPECT_FALSE(ParseServiceReply(""));
    EXPECT_FALSE(ParseServiceReply("HTTP/1.1 200 OK\r\n"));
    // A quote page is not a service text.
    EXPECT_FALSE(ParseServiceReply(Reply("<html><body>200 OK</body></html>")));
    // Cut short anywhere: the END line is missing or its count is wrong.
    for (size_t cut = 1; cut < good.size(); ++cut) {
        EXPECT_FALSE(ParseServiceReply(Reply(good.substr(0, cut)))) << cut;
    }
    // Bytes after the END line.
    EXPECT_FALSE(ParseServiceReply(Reply(good + "x")));
    // A line lost or changed in the middle keeps the END line but not its count.
    std::string lost = good;
    lost.erase(lost.find("notice=n\r\n"), 10);
    EXPECT_FALSE(ParseServiceReply(Reply(lost)));
    // Lines ending in LF alone.
    EXPECT_FALSE(ParseServiceReply(Reply("STOCKAT-SERVICE 1\nversion=2.1\nEND 30\n")));
    // Another format version.
    std::string other = good;
    other.replace(other.find(" 1\r\n"), 2, " 2");
    EXPECT_FALSE(ParseServiceReply(Reply(other)));
}

TEST(ServiceReplyTest, RefusesBadValues) {
    EXPECT_FALSE(ParseServiceReply(Reply(Body("")))); // no version
    EXPECT_FALSE(ParseServiceReply(Reply(Body("version=\r\n"))));
    EXPECT_FALSE(ParseServiceReply(Reply(Body("version=2.x\r\n"))));
    EXPECT_FALSE(ParseServiceReply(Reply(Body("version=-3\r\n"))));
    EXPECT_FALSE(ParseServiceReply(Reply(Body("version=1e9\r\n"))));
    EXPECT_FALSE(ParseServiceReply(Reply(Body("version=2.1\r\nversion=3\r\n"))));
    EXPECT_FALSE(ParseServiceReply(Reply(Body("version=2.1\r\nno equals sign\r\n"))));
    // The package location goes to the desktop's opener: web addresses only.
    EXPECT_FALSE(ParseServiceReply(Reply(Body("version=2.1\r\npackage=/bin/sh\r\n"))));
    EXPECT_FALSE(ParseServiceReply(Reply(Body("version=2.1\r\npackage=file:///etc/passwd\r\n"))));
    EXPECT_FALSE(ParseServiceReply(Reply(Body("version=2.1\r\npackage=--help\r\n"))));
    EXPECT_FALSE(ParseServiceReply(Reply(Body("version=2.1\r\npackage=http://h/a b\r\n"))));
    // A newer version without a package to fetch it from is of no use.
    EXPECT_FALSE(ParseServiceReply(Reply(Body("version=2.1\r\n"))));
    // Control bytes inside a text.
    EXPECT_FALSE(ParseServiceReply(Reply(Body("version=1\r\nnotice=a\x01b\r\n"))));
}

TEST(ServiceReplyTest, TheCountMayBeOverTheGbkOrTheUtf8FormOfTheText) {
    // "中国" is 4 bytes in GBK and 6 in UTF-8; the text arrives in GBK.
    const std::string lines = "STOCKAT-SERVICE 1\r\nversion=1.0\r\nnotice=\xD6\xD0\xB9\xFA\r\n";
    const size_t gbk = lines.size();
    for (size_t count : {gbk, gbk + 2}) {
        auto report = ParseServiceReply(Reply(lines + "END " + std::to_string(count) + "\r\n"));
        ASSERT_TRUE(report) << count;
        EXPECT_EQ(report->notices, std::vector<std::string>{"\xD6\xD0\xB9\xFA"});
    }
    for (size_t count : {gbk - 1, gbk + 1, gbk + 3}) {
        EXPECT_FALSE(ParseServiceReply(Reply(lines + "END " + std::to_string(count) + "\r\n")))
            << count;
    }
}

TEST(ServiceReplyTest, SkipsKeysOfLaterFormats) {
    auto report = ParseServiceReply(Reply(Body("version=1.5\r\ncolour=red\r\nnotice=n\r\n")));
    ASSERT_TRUE(report);
    EXPECT_EQ(report->notices, std::vector<std::string>{"n"});
}

TEST(ServiceReplyTest, ShowsAFewNoticesAtMostAndSkipsEmptyOnes) {
    std::string lines = "version=1.0\r\nnotice=\r\n";
    for (int i = 0; i < 20; ++i) {
        lines += "notice=n" + std::to_string(i) + "\r\n";
    }
    auto report = ParseServiceReply(Reply(Body(lines)));
    ASSERT_TRUE(report);
    ASSERT_EQ(static_cast<int>(report->notices.size()), kMaxNotices);
    EXPECT_EQ(report->notices.front(), "n0");
}

TEST(RecommendationLinesTest, SplitsAtMarkersAndDropsTheTail) {
    EXPECT_EQ(RecommendationLines("A[e]B[e]C"), "A\r\nB");
    EXPECT_EQ(RecommendationLines("A[e]B[e]"), "A\r\nB");
    EXPECT_EQ(RecommendationLines("whole text"), "whole text");
    EXPECT_EQ(RecommendationLines("A[e]B"), "A");
    EXPECT_EQ(RecommendationLines("[e][e]"), "\r\n");
    EXPECT_EQ(RecommendationLines(""), "");
}

TEST(RecommendationLinesTest, DoesNotSplitInsideAChineseCharacter) {
    // 0x81 0x5B is one GBK character whose second byte is "[": the "e]"
    // after it does not make a marker.
    const std::string tricky = "A\x81[e]B";
    EXPECT_EQ(RecommendationLines(tricky), tricky);
    EXPECT_EQ(RecommendationLines("\xD6\xD0[e]\xB9\xFA[e]"), "\xD6\xD0\r\n\xB9\xFA");
}

} // namespace
