// The quote list's rows drawn into a canvas: the colours of rising, falling
// and unchanged prices, the sell target, the selected row, both
// backgrounds, the three 0.26 bands, and the colours left in the context.
#include "app/QuoteList.h"
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "platform/Canvas.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr int kCols = 40; // a row of 320 pixels

class QuoteRowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetProgramState();
        // g++ 12 at -O3 takes this inlined assignment of a literal to a std::string for an
        // overlapping copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
        Settings.Background = "W";
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
        canvas = platform::Canvas(kCols, 1);
    }

    // Draws row `row` and returns the row's text.
    std::string Draw(int row, bool selected) {
        RECT rect{0, 0, kCols * kCellWidth, kCellHeight};
        HDC dc = platform::CreateCanvasDC(&canvas, rect, rect);
        DrawQuoteRow(dc, rect, row, selected);
        lastText = GetTextColor(dc);
        lastBk = GetBkColor(dc);
        platform::DestroyCanvasDC(dc);
        return canvas.RowText(0);
    }

    // The cell where `text` starts on the (ASCII) row.
    const platform::Cell& CellOf(const std::string& text) {
        const std::string row = canvas.RowText(0);
        const size_t at = row.find(text);
        EXPECT_NE(at, std::string::npos) << text << " in [" << row << "]";
        return canvas.At(static_cast<int>(at == std::string::npos ? 0 : at), 0);
    }

    static void SetRecord(int i, const char* name, const char* latest, const char* percent,
                          const char* sell) {
        // g++ 12 at -O3 takes these inlined assignments of a literal to a std::string for an
        // overlapping copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
        WatchList[i].name = name;
        WatchList[i].latest = latest;
        WatchList[i].changePercent = percent;
        WatchList[i].sellTarget = sell;
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    }

    platform::Canvas canvas;
    COLORREF lastText = 0;
    COLORREF lastBk = 0;
};

} // namespace

TEST_F(QuoteRowTest, ColoursOnTheDefaultBackground) {
    struct Case {
        const char* percent;
        COLORREF price;
    };
    const Case cases[] = {{"+1.20%", 0x0000FF}, {"0.05%", 0x0000FF}, {"-0.05%", 0x005000},
                          {"0%", 0x000000},     {"0.00%", 0x000000}, {"--", 0x000000}};
    for (const Case& c : cases) {
        SetRecord(0, "NAMEA", "10.50", c.percent, "11.00");
        Draw(0, false);
        EXPECT_EQ(CellOf("NAMEA").fg, 0x000000u) << c.percent;
        EXPECT_EQ(CellOf("NAMEA").bg, 0xFFFFFFu);
        EXPECT_EQ(CellOf("10.50").fg, c.price) << c.percent;
        if (std::string(c.percent) != "--") {
            EXPECT_EQ(CellOf(c.percent).fg, c.price) << c.percent;
        }
        EXPECT_EQ(CellOf("11.00").fg, 0xFF0000u) << "sell target is blue";
        EXPECT_EQ(canvas.At(kCols - 1, 0).bg, 0xFFFFFFu);
        EXPECT_EQ(lastText, 0x000000u);
        EXPECT_EQ(lastBk, 0xFFFFFFu);
    }
}

TEST_F(QuoteRowTest, ColoursOnTheBlackBackground) {
    // g++ 12 at -O3 takes this inlined assignment of a literal to a std::string for an overlapping
    // copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
    Settings.Background = "B";
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    SetRecord(0, "NAMEA", "10.50", "-1.00%", "--");
    Draw(0, false);
    EXPECT_EQ(CellOf("NAMEA").fg, 0xFFFFFFu);
    EXPECT_EQ(CellOf("NAMEA").bg, 0x000000u);
    EXPECT_EQ(CellOf("10.50").fg, 0x00FF00u);
    EXPECT_EQ(CellOf("-1.00%").fg, 0x00FF00u);
    EXPECT_EQ(CellOf("--").fg, 0x00FFFFu) << "sell target is yellow";
    EXPECT_EQ(lastText, 0xFFFFFFu);
    EXPECT_EQ(lastBk, 0x000000u);

    SetRecord(0, "NAMEA", "10.50", "2.00%", "9.99");
    Draw(0, false);
    EXPECT_EQ(CellOf("10.50").fg, 0x0000FFu) << "red on both backgrounds";
    EXPECT_EQ(CellOf("9.99").fg, 0x00FFFFu);

    // Any other value than "W" is the black background.
    Settings.Background = "";
    Draw(0, false);
    EXPECT_EQ(canvas.At(kCols - 1, 0).bg, 0x000000u);
}

TEST_F(QuoteRowTest, SelectedRowIsHighlightedOnBothBackgroundsAndKeepsTextColours) {
    for (const char* background : {"W", "B"}) {
        Settings.Background = background;
        SetRecord(0, "NAMEA", "10.50", "+1.00%", "11.00");
        Draw(0, true);
        const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
        EXPECT_EQ(CellOf("NAMEA").bg, highlight) << background;
        EXPECT_EQ(CellOf("10.50").bg, highlight) << background;
        EXPECT_EQ(canvas.At(kCols - 1, 0).bg, highlight) << background;
        EXPECT_EQ(CellOf("10.50").fg, 0x0000FFu) << background;
    }
}

TEST_F(QuoteRowTest, NumbersAreRightAlignedInThreeBandsFromTheRight) {
    SetRecord(0, "N", "1.00", "2.00%", "3.00");
    const std::string row = Draw(0, false);
    // w = int(320 x 0.26) = 83 pixels: bands end at pixels 154, 237 and 320,
    // that is in cells 19, 29 and 40 (exclusive).
    EXPECT_EQ(row.find("1.00"), 19u - 4u);
    EXPECT_EQ(row.find("2.00%"), 29u - 5u);
    EXPECT_EQ(row.find("3.00"), 40u - 4u);
    EXPECT_EQ(row.find("N"), 0u);
}

TEST_F(QuoteRowTest, ChineseNamesAreConvertedFromTheDeviceCodePage) {
    // "民生银行" in GBK.
    SetRecord(0, "\xC3\xF1\xC9\xFA\xD2\xF8\xD0\xD0", "10.50", "0.00%", "--");
    const std::string row = Draw(0, false);
    EXPECT_EQ(row.find("民生银行"), 0u);
}
