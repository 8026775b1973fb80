// The character-cell canvas that every device context draws into, and how a
// device context (HDC) is made for one.
//
// A Canvas is a grid of cells; each cell holds one character with its text
// and background colours (COLORREF), bold and underline. Chinese and other
// East Asian wide or full-width characters take two cells: the left cell
// holds the character, the right cell is marked `wideRight` and holds
// nothing of its own. Writes never leave half a wide character behind:
// overwriting either half blanks the other, and a wide character that does
// not fit (in the last column, or at a clip edge) is written as a blank.
//
// GDI coordinates are pixels of the canvas: pixel (0, 0) is the top-left
// corner of cell (0, 0), and one cell is kCellWidth x kCellHeight pixels
// (win.h). A pixel maps to the cell that contains it (floor division), and a
// pixel rectangle [left, right) x [top, bottom) covers the cells from the
// cell of its left/top edge up to, not including, the cell of its
// right/bottom edge; so rectangles that tile in pixels tile in cells.
//
// Making a device context (for BeginPaint, GetDC and the controls' tests):
//
//   HDC dc = platform::CreateCanvasDC(&canvas, windowRect, clipRect);
//   ... GDI calls with coordinates relative to windowRect's top-left ...
//   platform::DestroyCanvasDC(dc);
//
// `windowRect` is the window's client area in canvas pixels: its top-left
// corner becomes the DC's origin (0, 0). `clipRect`, also in canvas pixels,
// limits every write (intersected with the canvas). A null canvas makes a DC
// that draws nothing. The DC starts with black text, white background
// colour, OPAQUE background mode and no brush selected.
//
// Brushes: CreateSolidBrush makes a brush that DeleteObject frees. A stock
// brush (MakeStockBrush, for GetSysColorBrush) lives for the process and
// DeleteObject leaves it alone. DeleteObject of a handle that is not a live
// brush returns FALSE and does nothing.
//
// Icons: an HICON is made from an ICONTEMPLATE by CreateIconFromTemplate
// (LoadIcon uses it); DrawIcon draws its rows, and the static control's
// SS_ICON style shows it.
#pragma once

#include "platform/win.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// One character cell of the screen.
struct Cell {
    char32_t ch = U' ';
    COLORREF fg = RGB(0, 0, 0);
    COLORREF bg = RGB(255, 255, 255);
    bool bold = false;
    bool underline = false;
    // The right half of the wide character in the cell to the left.
    bool wideRight = false;

    bool operator==(const Cell&) const = default;
};

// Attributes a write gives to the cells it touches. With `transparent` set,
// the cells keep their background colour.
struct CellStyle {
    COLORREF fg = RGB(0, 0, 0);
    COLORREF bg = RGB(255, 255, 255);
    bool transparent = false;
    bool bold = false;
    bool underline = false;
};

// Cells a character takes on the screen, with the rules of wcwidth: 0 for
// control and combining characters, 2 for East Asian wide and full-width
// characters (CJK ideographs, kana, hangul, full-width forms, CJK
// punctuation such as "，" and "【"), 1 otherwise.
int CharWidth(char32_t ch);
// Whether a wrapped line may not start with this character: closing
// punctuation such as "，", "。", "）" and "】" stays with the text before it.
bool NoBreakBefore(char32_t ch);
// Decodes UTF-16 (a lone surrogate becomes U+FFFD).
std::u32string DecodeUtf16(std::u16string_view text);
// Cells the text takes when drawn on one line (control characters take 0).
int TextWidth(std::u16string_view text);
int TextWidth(std::u32string_view text);
// UTF-8 of a UTF-16 text, for tests and diagnostics.
std::string ToUtf8(std::u16string_view text);
std::string ToUtf8(std::u32string_view text);

// A rectangle of cells: columns [left, right), rows [top, bottom).
struct CellRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool Empty() const { return right <= left || bottom <= top; }
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};
CellRect Intersect(const CellRect& a, const CellRect& b);
// The cells a pixel rectangle covers (see the rule at the top of this file).
CellRect PixelsToCells(const RECT& pixels);
RECT CellsToPixels(const CellRect& cells);

class Canvas {
  public:
    Canvas() = default;
    Canvas(int cols, int rows, const Cell& fill = Cell{});

    int Cols() const { return cols_; }
    int Rows() const { return rows_; }
    CellRect Bounds() const { return {0, 0, cols_, rows_}; }

    // Changes the size; cells inside both sizes keep their content (a wide
    // character cut by the new right edge becomes a blank), new cells are
    // `fill`.
    void Resize(int cols, int rows, const Cell& fill = Cell{});
    // Sets every cell to `fill`.
    void Clear(const Cell& fill = Cell{});

    bool Contains(int col, int row) const {
        return col >= 0 && row >= 0 && col < cols_ && row < rows_;
    }
    // Pre: Contains(col, row).
    const Cell& At(int col, int row) const { return cells_[Index(col, row)]; }

    // Writes one character at (col, row) if it lies inside `clip` (and the
    // canvas); a wide character whose right half falls outside the clip, or
    // whose left half does, leaves a blank in its visible half. Returns the
    // cells the character advanced (0, 1 or 2).
    int PutChar(int col, int row, char32_t ch, const CellStyle& style, const CellRect& clip);
    // Writes the text from column `col` on one row, clipped; control
    // characters are skipped. Returns the column after the text.
    int PutText(int col, int row, std::u32string_view text, const CellStyle& style,
                const CellRect& clip);
    int PutText(int col, int row, std::u16string_view text, const CellStyle& style,
                const CellRect& clip);
    // Blanks the cells of `rect` (clipped to the canvas) with background
    // `bg`; their text colour becomes `fg`.
    void Fill(const CellRect& rect, COLORREF bg, COLORREF fg = RGB(0, 0, 0));
    // Sets one cell as given (for tests and the front-ends' own drawing); the
    // halves of wide characters it breaks are blanked.
    void Set(int col, int row, const Cell& cell);

    // Copies `source` onto this canvas with its cell (0, 0) at (col, row),
    // only within `clip` (in this canvas's cells); wide characters cut by the
    // edges become blanks.
    void Blit(const Canvas& source, int col, int row);
    void Blit(const Canvas& source, int col, int row, const CellRect& clip);

    // The characters of one row as UTF-8, wide characters once (their right
    // halves add nothing), trailing blanks kept.
    std::string RowText(int row) const;
    // All rows, for tests.
    std::vector<std::string> TextRows() const;
    // All rows joined with '\n', trailing blanks of each row removed.
    std::string ToString() const;

    // Grows by one at every change; the front-ends redraw when it moved.
    std::uint64_t Generation() const { return generation_; }

  private:
    std::size_t Index(int col, int row) const {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(cols_) +
               static_cast<std::size_t>(col);
    }
    // Blanks the other half of a wide character that cell (col, row) is part
    // of, before the cell is overwritten.
    void BreakWide(int col, int row);
    void Touch() { ++generation_; }

    int cols_ = 0;
    int rows_ = 0;
    std::vector<Cell> cells_;
    std::uint64_t generation_ = 0;
};

// Device contexts over a canvas (see the top of this file).
HDC CreateCanvasDC(Canvas* canvas, RECT windowRectInPixels, RECT clipInPixels);
void DestroyCanvasDC(HDC dc);
// The canvas and clip of a DC (for front-ends and tests).
Canvas* CanvasOf(HDC dc);
RECT DCClipInPixels(HDC dc);
POINT DCOrigin(HDC dc);

// Bold and underline for the text the DC draws from now on (the terminal
// shows them; GDI proper would choose a font). Both start off.
void SetTextAttributes(HDC dc, bool bold, bool underline);

// A brush that lives for the process (DeleteObject ignores it); the same
// colour gives the same brush.
HBRUSH MakeStockBrush(COLORREF color);
// The colour of a live brush, or false for a handle that is not one.
bool BrushColor(HBRUSH brush, COLORREF* color);

// An icon made from its template (the template is copied); icons live for
// the process.
HICON CreateIconFromTemplate(const ICONTEMPLATE& icon);
// The template of an icon made by CreateIconFromTemplate, or null.
const ICONTEMPLATE* IconTemplateOf(HICON icon);

} // namespace platform
