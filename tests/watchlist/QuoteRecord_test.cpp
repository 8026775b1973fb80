// The watch list's removal and the number readers that every price test of
// the program depends on.
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

class WatchListTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetProgramState(); }
    void TearDown() override { ResetProgramState(); }
    static void Fill(int n) {
        for (int i = 0; i < n; ++i) {
            QuoteRecord& r = WatchList[i];
            for (int f = 0; f < kRecordFieldCount; ++f) {
                // g++ 12 at -O3 takes this inlined string concatenation for an overlapping copy: a
                // known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
                FieldOf(r, f) = "r" + std::to_string(i) + "f" + std::to_string(f);
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
            }
        }
        stockCount = n;
    }
};

TEST_F(WatchListTest, StartValues) {
    EXPECT_EQ(stockCount, 0);
    EXPECT_EQ(previewMode, "");
    EXPECT_EQ(Settings.RefreshInterval, 40);
    EXPECT_EQ(Settings.MonthTraffic, 0);
    EXPECT_EQ(Settings.ReservedFlag, "N");
    EXPECT_EQ(Settings.Background, "");
    EXPECT_EQ(Settings.ConnectionMethod, "");
    EXPECT_EQ(WatchList[20].code, "");
}

TEST_F(WatchListTest, FieldNumbersFollowTheRecordOrder) {
    QuoteRecord r;
    r.code = "a";
    r.sellAlerted = "b";
    r.turnover = "c";
    r.updateTime = "d";
    EXPECT_EQ(FieldOf(r, 0), "a");
    EXPECT_EQ(FieldOf(r, 5), "b");
    EXPECT_EQ(FieldOf(r, 13), "c");
    EXPECT_EQ(FieldOf(r, 15), "d");
}

TEST_F(WatchListTest, RemovingMovesLaterRecordsUpWithAllFields) {
    Fill(3);
    EXPECT_EQ(RemoveStock(0), 0);
    EXPECT_EQ(stockCount, 2);
    for (int f = 0; f < kRecordFieldCount; ++f) {
        EXPECT_EQ(FieldOf(WatchList[0], f), "r1f" + std::to_string(f));
        EXPECT_EQ(FieldOf(WatchList[1], f), "r2f" + std::to_string(f));
    }
    // The old last record stays behind in the slot past the end.
    EXPECT_EQ(WatchList[2].code, "r2f0");
}

TEST_F(WatchListTest, RemovingTheLastOrOnlyRecordOnlyCounts) {
    Fill(3);
    EXPECT_EQ(RemoveStock(2), 0);
    EXPECT_EQ(stockCount, 2);
    EXPECT_EQ(WatchList[1].code, "r1f0");
    Fill(1);
    EXPECT_EQ(RemoveStock(0), 0);
    EXPECT_EQ(stockCount, 0);
}

TEST_F(WatchListTest, RemovingOutsideTheRecordsInUseChangesNothing) {
    Fill(2);
    EXPECT_EQ(RemoveStock(2), -1); // a stale selection past the end
    EXPECT_EQ(RemoveStock(-1), -1);
    EXPECT_EQ(RemoveStock(20), -1);
    EXPECT_EQ(stockCount, 2);
    EXPECT_EQ(WatchList[0].code, "r0f0");
    stockCount = 0;
    EXPECT_EQ(RemoveStock(0), -1);
    EXPECT_EQ(stockCount, 0);
}

TEST(ReadNumber, TakesTheLongestLeadingDecimalNumber) {
    EXPECT_DOUBLE_EQ(ReadNumber("12.34"), 12.34);
    EXPECT_DOUBLE_EQ(ReadNumber("  -0.15元"), -0.15);
    EXPECT_DOUBLE_EQ(ReadNumber("+1.23%"), 1.23);
    EXPECT_DOUBLE_EQ(ReadNumber(".5"), 0.5);
    EXPECT_DOUBLE_EQ(ReadNumber("7."), 7.0);
    EXPECT_DOUBLE_EQ(ReadNumber("1.5e3x"), 1500.0);
    EXPECT_DOUBLE_EQ(ReadNumber("2E-2"), 0.02);
    // An "e" without digits is not an exponent; the number ends before it.
    EXPECT_DOUBLE_EQ(ReadNumber("3e"), 3.0);
    EXPECT_DOUBLE_EQ(ReadNumber("3e+"), 3.0);
    EXPECT_DOUBLE_EQ(ReadNumber("12.3.4"), 12.3);
}

TEST(ReadNumber, TextWithoutANumberReadsAsZero) {
    for (const char* text : {"--", "", "   ", "-", "+.", ".", "abc", "N",
                             "0x1A" /* the 0 before the x */, "inf", "nan", "\xB5\xB1"}) {
        EXPECT_EQ(ReadNumber(text), 0.0) << text;
    }
    EXPECT_EQ(ReadNumber(static_cast<const char*>(nullptr)), 0.0);
    EXPECT_EQ(ReadNumber(std::string("--")), 0.0);
}

TEST(ReadNumber, OutOfRangeValuesSaturate) {
    EXPECT_EQ(ReadNumber("1e999"), HUGE_VAL);
    EXPECT_EQ(ReadNumber("-1e999"), -HUGE_VAL);
    EXPECT_EQ(ReadNumber("1e-999"), 0.0);
}

TEST(ReadInteger, ReadsTheLeadingIntegerAndClamps) {
    EXPECT_EQ(ReadInteger("40"), 40);
    EXPECT_EQ(ReadInteger(" -1;"), -1);
    EXPECT_EQ(ReadInteger("12.9"), 12);
    EXPECT_EQ(ReadInteger(""), 0);
    EXPECT_EQ(ReadInteger("--"), 0);
    EXPECT_EQ(ReadInteger("99999999999999999999"), 2147483647);
    EXPECT_EQ(ReadInteger("-99999999999999999999"), -2147483647 - 1);
}

} // namespace
