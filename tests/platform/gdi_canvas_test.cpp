// Tests of the character-cell canvas and of GDI drawing into it through a
// canvas device context: wide characters, alignment, clipping, colours.
#include "platform/Canvas.h"

#include <gtest/gtest.h>

namespace {

using platform::Canvas;
using platform::CellRect;
using platform::CellStyle;

// A DC over the whole canvas with its origin at (0, 0).
struct CanvasDC {
    explicit CanvasDC(Canvas& canvas, RECT window = {0, 0, 10000, 10000},
                      RECT clip = {0, 0, 10000, 10000})
        : dc(platform::CreateCanvasDC(&canvas, window, clip)) {}
    ~CanvasDC() { platform::DestroyCanvasDC(dc); }
    HDC dc;
};

RECT Cells(int left, int top, int right, int bottom) {
    return {left * kCellWidth, top * kCellHeight, right * kCellWidth, bottom * kCellHeight};
}

TEST(CanvasText, WidthsFollowWcwidth) {
    EXPECT_EQ(1, platform::CharWidth(U'A'));
    EXPECT_EQ(2, platform::CharWidth(U'瞰'));
    EXPECT_EQ(2, platform::CharWidth(U'Ａ')); // full-width letter
    EXPECT_EQ(2, platform::CharWidth(U'，'));
    EXPECT_EQ(2, platform::CharWidth(U'【'));
    EXPECT_EQ(0, platform::CharWidth(U'\n'));
    EXPECT_EQ(0, platform::CharWidth(U'\u0301')); // combining accent
    EXPECT_EQ(1, platform::CharWidth(U'é'));
    EXPECT_EQ(2, platform::CharWidth(U'\U00020000')); // beyond the BMP
    EXPECT_EQ(6 + 3 + 8, platform::TextWidth(u"000001   深发展Ａ"));
    const char16_t lone[] = {0xD800, u'a', 0};
    EXPECT_EQ(U"\uFFFDa", platform::DecodeUtf16(lone));
}

TEST(Canvas, WideCharacterTakesTwoCellsAndReadsBackOnce) {
    Canvas canvas(6, 1);
    CellStyle style;
    EXPECT_EQ(4, canvas.PutText(0, 0, std::u16string_view(u"a上b"), style, canvas.Bounds()));
    EXPECT_EQ("a上b  ", canvas.RowText(0));
    EXPECT_FALSE(canvas.At(1, 0).wideRight);
    EXPECT_TRUE(canvas.At(2, 0).wideRight);
    EXPECT_EQ("a上b", canvas.ToString());
}

TEST(Canvas, WideCharacterInLastColumnBecomesBlank) {
    Canvas canvas(4, 1);
    canvas.PutText(0, 0, std::u16string_view(u"abc上"), CellStyle{}, canvas.Bounds());
    EXPECT_EQ("abc ", canvas.RowText(0));
    EXPECT_FALSE(canvas.At(3, 0).wideRight);
}

TEST(Canvas, OverwritingEitherHalfBlanksTheOther) {
    Canvas canvas(6, 1);
    canvas.PutText(0, 0, std::u16string_view(u"上海"), CellStyle{}, canvas.Bounds());
    canvas.PutChar(1, 0, U'x', CellStyle{}, canvas.Bounds()); // right half of 上
    EXPECT_EQ(" x海  ", canvas.RowText(0));
    canvas.PutChar(2, 0, U'y', CellStyle{}, canvas.Bounds()); // left half of 海
    EXPECT_EQ(" xy   ", canvas.RowText(0));
    for (int c = 0; c < 6; ++c) {
        EXPECT_FALSE(canvas.At(c, 0).wideRight) << c;
    }
    // A wide character written across the boundary of two others.
    canvas.PutText(0, 0, std::u16string_view(u"上海"), CellStyle{}, canvas.Bounds());
    canvas.PutChar(1, 0, U'中', CellStyle{}, canvas.Bounds());
    EXPECT_EQ(" 中   ", canvas.RowText(0));
}

TEST(Canvas, ClipEdgesNeverSplitAWideCharacter) {
    Canvas canvas(8, 1);
    CellRect clip{2, 0, 5, 1};
    canvas.PutText(1, 0, std::u16string_view(u"中文字"), CellStyle{}, clip);
    // 中 at 1-2 (left half outside), 文 at 3-4 (inside), 字 at 5-6 (outside).
    EXPECT_EQ("   文   ", canvas.RowText(0));
}

TEST(Canvas, BlitCopiesAtOffsetAndCutsWideCharactersAtTheEdges) {
    Canvas screen(6, 2, platform::Cell{U'.', 0, 0});
    Canvas window(4, 1);
    window.PutText(0, 0, std::u16string_view(u"中文"), CellStyle{RGB(255, 0, 0)}, window.Bounds());
    screen.Blit(window, 1, 1);
    EXPECT_EQ("......", screen.RowText(0));
    EXPECT_EQ(".中文.", screen.RowText(1));
    EXPECT_EQ(RGB(255, 0, 0), screen.At(1, 1).fg);
    // Partly off the left edge: 中's right half would land in column 0.
    screen.Blit(window, -1, 0);
    EXPECT_EQ(" 文...", screen.RowText(0));
    // Clipped on the right inside 文.
    screen.Blit(window, 2, 1, CellRect{0, 0, 5, 2});
    EXPECT_EQ(". 中 .", screen.RowText(1));
}

TEST(Canvas, ResizeKeepsTheOverlapAndBlanksACutWideCharacter) {
    Canvas canvas(4, 1);
    canvas.PutText(0, 0, std::u16string_view(u"a中b"), CellStyle{}, canvas.Bounds());
    canvas.Resize(2, 2);
    EXPECT_EQ("a ", canvas.RowText(0));
    EXPECT_EQ("  ", canvas.RowText(1));
    std::uint64_t before = canvas.Generation();
    canvas.Fill(canvas.Bounds(), RGB(0, 0, 0));
    EXPECT_GT(canvas.Generation(), before);
}

TEST(GdiDrawText, AlignsLeftRightAndCentreOnTheMiddleRow) {
    Canvas canvas(10, 3);
    CanvasDC dc(canvas);
    RECT r = Cells(0, 0, 10, 3);
    EXPECT_EQ(kCellHeight, DrawText(dc.dc, u"ab", -1, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE));
    DrawText(dc.dc, u"上证", -1, &r, DT_RIGHT | DT_SINGLELINE);
    r = Cells(0, 2, 10, 3);
    DrawText(dc.dc, u"xy", -1, &r, DT_CENTER | DT_SINGLELINE);
    EXPECT_EQ("      上证", canvas.RowText(0));
    EXPECT_EQ("ab        ", canvas.RowText(1));
    EXPECT_EQ("    xy    ", canvas.RowText(2));
}

TEST(GdiDrawText, PixelBandsThatTileMapToCellsThatTile) {
    // The quote list draws numbers in bands of int(width * 0.26) pixels that
    // do not fall on cell edges; neighbouring bands must neither overlap nor
    // leave a gap.
    Canvas canvas(30, 1);
    CanvasDC dc(canvas);
    int right = 240;
    int w = static_cast<int>(right * 0.26); // 62 pixels
    RECT a{right - 3 * w, 0, right - 2 * w, kCellHeight};
    RECT b{right - 2 * w, 0, right - w, kCellHeight};
    RECT c{right - w, 0, right, kCellHeight};
    DrawText(dc.dc, u"10.00", -1, &a, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    DrawText(dc.dc, u"1.00%", -1, &b, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    DrawText(dc.dc, u"--", -1, &c, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    // Bands 54-116, 116-178 and 178-240 pixels: cells 6-14, 14-22, 22-30.
    EXPECT_EQ("         10.00   1.00%      --", canvas.RowText(0));
}

TEST(GdiDrawText, ClipsToTheRectangleAndToTheDCClip) {
    Canvas canvas(10, 2, platform::Cell{U'.', 0, 0});
    {
        CanvasDC dc(canvas);
        RECT r = Cells(2, 0, 6, 1);
        DrawText(dc.dc, u"abcdefgh", -1, &r, DT_LEFT | DT_SINGLELINE);
        r = Cells(2, 1, 6, 2);
        DrawText(dc.dc, u"abcdefgh", -1, &r, DT_RIGHT | DT_SINGLELINE);
    }
    EXPECT_EQ("..abcd....", canvas.RowText(0));
    EXPECT_EQ("..efgh....", canvas.RowText(1));
    {
        // The DC's origin is the window's corner; its clip is in canvas pixels.
        CanvasDC dc(canvas, Cells(1, 0, 10, 2), Cells(0, 0, 4, 1));
        RECT r = Cells(0, 0, 9, 2);
        DrawText(dc.dc, u"XYZXYZ\r\nsecond", -1, &r, DT_LEFT);
    }
    EXPECT_EQ(".XYZcd....", canvas.RowText(0));
    EXPECT_EQ("..efgh....", canvas.RowText(1));
}

TEST(GdiDrawText, MultiLineAndWordBreak) {
    Canvas canvas(8, 5);
    CanvasDC dc(canvas);
    RECT r = Cells(0, 0, 8, 5);
    EXPECT_EQ(2 * kCellHeight, DrawText(dc.dc, u"one\r\ntwo", -1, &r, DT_LEFT));
    EXPECT_EQ("one", canvas.RowText(0).substr(0, 3));
    EXPECT_EQ("two", canvas.RowText(1).substr(0, 3));
    canvas.Clear();
    int h = DrawText(dc.dc, u"aa bb cc dd 正在刷新请稍候", -1, &r, DT_LEFT | DT_WORDBREAK);
    EXPECT_EQ(4 * kCellHeight, h);
    std::vector<std::string> rows = canvas.TextRows();
    EXPECT_EQ("aa bb cc", rows[0]);
    // Chinese text breaks between any two characters.
    EXPECT_EQ("dd 正在 ", rows[1]);
    EXPECT_EQ("刷新请稍", rows[2]);
    EXPECT_EQ("候      ", rows[3]);
    // Closing punctuation does not start a line: it goes down with the
    // character before it.
    canvas.Clear();
    DrawText(dc.dc, u"正在刷新，请稍候", -1, &r, DT_LEFT | DT_WORDBREAK);
    EXPECT_EQ("正在刷  ", canvas.RowText(0));
    EXPECT_EQ("新，请稍", canvas.RowText(1));
    // A word longer than the line is broken inside.
    canvas.Clear();
    DrawText(dc.dc, u"0123456789", -1, &r, DT_LEFT | DT_WORDBREAK);
    EXPECT_EQ("01234567", canvas.RowText(0));
    EXPECT_EQ("89      ", canvas.RowText(1));
}

TEST(GdiDrawText, SingleLineDropsLineBreaks) {
    Canvas canvas(8, 1);
    CanvasDC dc(canvas);
    RECT r = Cells(0, 0, 8, 1);
    DrawText(dc.dc, u"ab\r\ncd", 6, &r, DT_SINGLELINE);
    EXPECT_EQ("abcd    ", canvas.RowText(0));
}

TEST(GdiColours, OpaqueAndTransparentText) {
    Canvas canvas(6, 1);
    CanvasDC dc(canvas);
    HBRUSH black = CreateSolidBrush(RGB(0, 0, 0));
    RECT all = Cells(0, 0, 6, 1);
    EXPECT_EQ(1, FillRect(dc.dc, &all, black));
    EXPECT_EQ(RGB(0, 0, 0), canvas.At(5, 0).bg);
    SetTextColor(dc.dc, RGB(255, 0, 0));
    SetBkColor(dc.dc, RGB(10, 10, 10));
    EXPECT_EQ(OPAQUE, SetBkMode(dc.dc, TRANSPARENT));
    RECT left = Cells(0, 0, 3, 1);
    DrawText(dc.dc, u"ab", -1, &left, DT_LEFT | DT_SINGLELINE);
    EXPECT_EQ(RGB(255, 0, 0), canvas.At(0, 0).fg);
    EXPECT_EQ(RGB(0, 0, 0), canvas.At(0, 0).bg); // the brush's colour stays
    SetBkMode(dc.dc, OPAQUE);
    RECT right = Cells(3, 0, 6, 1);
    DrawText(dc.dc, u"cd", -1, &right, DT_LEFT | DT_SINGLELINE);
    EXPECT_EQ(RGB(10, 10, 10), canvas.At(3, 0).bg);
    // Only the text's own cells get the text background.
    EXPECT_EQ(RGB(0, 0, 0), canvas.At(5, 0).bg);
    EXPECT_EQ(RGB(255, 0, 0), GetTextColor(dc.dc));
    EXPECT_EQ(RGB(10, 10, 10), GetBkColor(dc.dc));
    EXPECT_EQ(TRUE, DeleteObject(black));
}

TEST(GdiObjects, DeleteObjectRefusesWhatIsNotALiveBrush) {
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_EQ(TRUE, DeleteObject(brush));
    EXPECT_EQ(FALSE, DeleteObject(brush)); // twice
    // A brush made afterwards never gets the dead brush's handle back.
    HBRUSH next = CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_NE(next, brush);
    EXPECT_EQ(FALSE, DeleteObject(brush));
    EXPECT_EQ(TRUE, DeleteObject(next));
    int local = 0;
    EXPECT_EQ(FALSE, DeleteObject(&local));
    EXPECT_EQ(FALSE, DeleteObject(nullptr));
    HBRUSH stock = platform::MakeStockBrush(RGB(9, 9, 9));
    EXPECT_EQ(stock, platform::MakeStockBrush(RGB(9, 9, 9)));
    EXPECT_EQ(TRUE, DeleteObject(stock));
    COLORREF c = 0;
    EXPECT_TRUE(platform::BrushColor(stock, &c)); // a stock brush survives
    EXPECT_EQ(RGB(9, 9, 9), c);
    // A deleted brush draws nothing instead of reading freed memory.
    Canvas canvas(2, 1);
    CanvasDC dc(canvas);
    RECT r = Cells(0, 0, 2, 1);
    EXPECT_EQ(0, FillRect(dc.dc, &r, brush));
}

TEST(GdiObjects, SelectObjectReturnsThePreviousBrush) {
    Canvas canvas(2, 1);
    CanvasDC dc(canvas);
    HBRUSH a = CreateSolidBrush(RGB(1, 1, 1));
    HBRUSH b = CreateSolidBrush(RGB(2, 2, 2));
    EXPECT_EQ(nullptr, SelectObject(dc.dc, a));
    EXPECT_EQ(a, SelectObject(dc.dc, b));
    DeleteObject(a);
    DeleteObject(b);
}

TEST(GdiDrawIcon, DrawsTheTemplateRowsInItsColour) {
    Canvas canvas(6, 3);
    CanvasDC dc(canvas);
    ICONTEMPLATE tmpl;
    tmpl.rows = {u"/\\", u"瞰"};
    tmpl.color = RGB(200, 0, 0);
    HICON icon = platform::CreateIconFromTemplate(tmpl);
    EXPECT_EQ(TRUE, DrawIcon(dc.dc, 2 * kCellWidth, kCellHeight, icon));
    EXPECT_EQ("  /\\  ", canvas.RowText(1));
    EXPECT_EQ("  瞰  ", canvas.RowText(2));
    EXPECT_EQ(RGB(200, 0, 0), canvas.At(2, 1).fg);
    EXPECT_EQ(FALSE, DrawIcon(dc.dc, 0, 0, nullptr));
}

TEST(GdiDC, NullCanvasAndDestroyedDCDrawNothing) {
    HDC dc = platform::CreateCanvasDC(nullptr, {0, 0, 80, 22}, {0, 0, 80, 22});
    RECT r{0, 0, 80, 22};
    EXPECT_EQ(kCellHeight, DrawText(dc, u"x", -1, &r, DT_SINGLELINE));
    platform::DestroyCanvasDC(dc);
    EXPECT_EQ(nullptr, platform::CanvasOf(dc));
}

} // namespace
