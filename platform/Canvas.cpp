// The character-cell canvas: text widths, cell writes that keep wide
// characters whole, copying between canvases and reading rows back as text.
#include "platform/Canvas.h"

#include "platform/Text.h"

#include <algorithm>
#include <iterator>

namespace platform {
namespace {

struct Range {
    char32_t first;
    char32_t last;
};

// Combining marks and other characters that take no cell of their own (the
// common blocks; what wcwidth gives 0 for).
constexpr Range kZeroWidth[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A}, {0x064B, 0x065F},
    {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF},
    {0x200B, 0x200F}, {0x202A, 0x202E}, {0x2060, 0x2064}, {0x20D0, 0x20FF}, {0x302A, 0x302D},
    {0x3099, 0x309A}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}, {0xE0100, 0xE01EF},
};

// East Asian wide (W) and full-width (F) characters.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
    {0x23F0, 0x23F0},   {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},
    {0x2648, 0x2653},   {0x267F, 0x267F},   {0x2693, 0x2693},   {0x26A1, 0x26A1},
    {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},   {0x26CE, 0x26CE},
    {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},
    {0x2728, 0x2728},   {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},
    {0x2757, 0x2757},   {0x2795, 0x2797},   {0x27B0, 0x27B0},   {0x27BF, 0x27BF},
    {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},   {0x2E80, 0x303E},
    {0x3041, 0x3096},   {0x3099, 0x30FF},   {0x3105, 0x312F},   {0x3131, 0x318E},
    {0x3190, 0x31E3},   {0x31F0, 0x321E},   {0x3220, 0x3247},   {0x3250, 0x4DBF},
    {0x4E00, 0xA48C},   {0xA490, 0xA4C6},   {0xA960, 0xA97C},   {0xAC00, 0xD7A3},
    {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE52},   {0xFE54, 0xFE66},
    {0xFE68, 0xFE6B},   {0xFF01, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4},
    {0x17000, 0x187F7}, {0x18800, 0x18CD5}, {0x1B000, 0x1B122}, {0x1B150, 0x1B152},
    {0x1B164, 0x1B167}, {0x1B170, 0x1B2FB}, {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF},
    {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F202}, {0x1F210, 0x1F23B},
    {0x1F240, 0x1F248}, {0x1F250, 0x1F251}, {0x1F260, 0x1F265}, {0x1F300, 0x1F320},
    {0x1F32D, 0x1F335}, {0x1F337, 0x1F37C}, {0x1F37E, 0x1F393}, {0x1F3A0, 0x1F3CA},
    {0x1F3CF, 0x1F3D3}, {0x1F3E0, 0x1F3F0}, {0x1F3F4, 0x1F3F4}, {0x1F3F8, 0x1F43E},
    {0x1F440, 0x1F440}, {0x1F442, 0x1F4FC}, {0x1F4FF, 0x1F53D}, {0x1F54B, 0x1F54E},
    {0x1F550, 0x1F567}, {0x1F57A, 0x1F57A}, {0x1F595, 0x1F596}, {0x1F5A4, 0x1F5A4},
    {0x1F5FB, 0x1F64F}, {0x1F680, 0x1F6C5}, {0x1F6CC, 0x1F6CC}, {0x1F6D0, 0x1F6D2},
    {0x1F6D5, 0x1F6D7}, {0x1F6EB, 0x1F6EC}, {0x1F6F4, 0x1F6FC}, {0x1F7E0, 0x1F7EB},
    {0x1F90C, 0x1F93A}, {0x1F93C, 0x1F945}, {0x1F947, 0x1F9FF}, {0x1FA70, 0x1FAFF},
    {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

template <std::size_t N> bool InRanges(const Range (&ranges)[N], char32_t ch) {
    auto it = std::upper_bound(std::begin(ranges), std::end(ranges), ch,
                               [](char32_t c, const Range& r) { return c < r.first; });
    if (it == std::begin(ranges)) {
        return false;
    }
    --it;
    return ch <= it->last;
}

void AppendUtf8(std::string& out, char32_t ch) {
    if (ch < 0x80) {
        out += static_cast<char>(ch);
    } else if (ch < 0x800) {
        out += static_cast<char>(0xC0 | (ch >> 6));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        out += static_cast<char>(0xE0 | (ch >> 12));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (ch >> 18));
        out += static_cast<char>(0x80 | ((ch >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    }
}

int FloorDiv(LONG value, int size) {
    LONG q = value / size;
    if (value % size != 0 && value < 0) {
        --q;
    }
    return static_cast<int>(q);
}

} // namespace

int CharWidth(char32_t ch) {
    if (ch == 0 || ch < 0x20 || (ch >= 0x7F && ch < 0xA0)) {
        return 0;
    }
    if (ch < 0x300) {
        return 1;
    }
    if (InRanges(kZeroWidth, ch)) {
        return 0;
    }
    return InRanges(kWide, ch) ? 2 : 1;
}

bool NoBreakBefore(char32_t ch) {
    static constexpr std::u32string_view kClosing = U"，。、：；！？）】」』》〉］｝％,.;:!?)]}%";
    return kClosing.find(ch) != std::u32string_view::npos;
}

std::u32string DecodeUtf16(std::u16string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            out += static_cast<char32_t>(0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            out += U'\uFFFD';
        } else {
            out += static_cast<char32_t>(u);
        }
    }
    return out;
}

int TextWidth(std::u32string_view text) {
    int width = 0;
    for (char32_t ch : text) {
        width += CharWidth(ch);
    }
    return width;
}

int TextWidth(std::u16string_view text) {
    return TextWidth(DecodeUtf16(text));
}

std::string ToUtf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t ch : text) {
        AppendUtf8(out, ch);
    }
    return out;
}

std::string ToUtf8(std::u16string_view text) {
    return Utf16ToUtf8(text); // the code page's encoder, the only one from UTF-16
}

CellRect Intersect(const CellRect& a, const CellRect& b) {
    CellRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
               std::min(a.bottom, b.bottom)};
    if (r.Empty()) {
        return {r.left, r.top, r.left, r.top};
    }
    return r;
}

CellRect PixelsToCells(const RECT& pixels) {
    return {FloorDiv(pixels.left, kCellWidth), FloorDiv(pixels.top, kCellHeight),
            FloorDiv(pixels.right, kCellWidth), FloorDiv(pixels.bottom, kCellHeight)};
}

RECT CellsToPixels(const CellRect& cells) {
    return {cells.left * kCellWidth, cells.top * kCellHeight, cells.right * kCellWidth,
            cells.bottom * kCellHeight};
}

Canvas::Canvas(int cols, int rows, const Cell& fill)
    : cols_(std::max(cols, 0)), rows_(std::max(rows, 0)),
      cells_(static_cast<std::size_t>(cols_) * static_cast<std::size_t>(rows_), fill) {}

void Canvas::Resize(int cols, int rows, const Cell& fill) {
    cols = std::max(cols, 0);
    rows = std::max(rows, 0);
    std::vector<Cell> cells(static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows), fill);
    int keepCols = std::min(cols, cols_);
    int keepRows = std::min(rows, rows_);
    for (int r = 0; r < keepRows; ++r) {
        for (int c = 0; c < keepCols; ++c) {
            cells[static_cast<std::size_t>(r) * static_cast<std::size_t>(cols) +
                  static_cast<std::size_t>(c)] = cells_[Index(c, r)];
        }
        // A wide character whose right half was cut off by the new edge.
        if (keepCols > 0 && keepCols < cols_ && cells_[Index(keepCols, r)].wideRight) {
            Cell& last = cells[static_cast<std::size_t>(r) * static_cast<std::size_t>(cols) +
                               static_cast<std::size_t>(keepCols - 1)];
            last.ch = U' ';
        }
    }
    cols_ = cols;
    rows_ = rows;
    cells_ = std::move(cells);
    Touch();
}

void Canvas::Clear(const Cell& fill) {
    std::fill(cells_.begin(), cells_.end(), fill);
    Touch();
}

void Canvas::BreakWide(int col, int row) {
    Cell& cell = cells_[Index(col, row)];
    if (cell.wideRight) {
        if (col > 0) {
            cells_[Index(col - 1, row)].ch = U' ';
        }
        cell.wideRight = false;
        cell.ch = U' ';
    } else if (CharWidth(cell.ch) == 2 && col + 1 < cols_ &&
               cells_[Index(col + 1, row)].wideRight) {
        Cell& right = cells_[Index(col + 1, row)];
        right.wideRight = false;
        right.ch = U' ';
        cell.ch = U' ';
    }
}

void Canvas::Set(int col, int row, const Cell& cell) {
    if (!Contains(col, row)) {
        return;
    }
    BreakWide(col, row);
    cells_[Index(col, row)] = cell;
    Touch();
}

int Canvas::PutChar(int col, int row, char32_t ch, const CellStyle& style, const CellRect& clip) {
    int width = CharWidth(ch);
    if (width == 0) {
        return 0;
    }
    CellRect area = Intersect(clip, Bounds());
    if (row < area.top || row >= area.bottom) {
        return width;
    }
    auto write = [&](int c, char32_t value, bool wideRight) {
        BreakWide(c, row);
        Cell& cell = cells_[Index(c, row)];
        cell.ch = value;
        cell.fg = style.fg;
        if (!style.transparent) {
            cell.bg = style.bg;
        }
        cell.bold = style.bold;
        cell.underline = style.underline;
        cell.wideRight = wideRight;
    };
    bool leftIn = col >= area.left && col < area.right;
    if (width == 1) {
        if (leftIn) {
            write(col, ch, false);
            Touch();
        }
        return 1;
    }
    bool rightIn = col + 1 >= area.left && col + 1 < area.right;
    if (leftIn && rightIn) {
        // Break both cells first so that breaking the right one cannot undo
        // the left one's new character.
        BreakWide(col, row);
        BreakWide(col + 1, row);
        write(col, ch, false);
        write(col + 1, U' ', true);
    } else if (leftIn) {
        write(col, U' ', false);
    } else if (rightIn) {
        write(col + 1, U' ', false);
    } else {
        return 2;
    }
    Touch();
    return 2;
}

int Canvas::PutText(int col, int row, std::u32string_view text, const CellStyle& style,
                    const CellRect& clip) {
    for (char32_t ch : text) {
        col += PutChar(col, row, ch, style, clip);
    }
    return col;
}

int Canvas::PutText(int col, int row, std::u16string_view text, const CellStyle& style,
                    const CellRect& clip) {
    return PutText(col, row, DecodeUtf16(text), style, clip);
}

void Canvas::Fill(const CellRect& rect, COLORREF bg, COLORREF fg) {
    CellRect area = Intersect(rect, Bounds());
    if (area.Empty()) {
        return;
    }
    for (int r = area.top; r < area.bottom; ++r) {
        // Wide characters that straddle the edges lose their outer half.
        BreakWide(area.left, r);
        BreakWide(area.right - 1, r);
        Cell* cell = &cells_[Index(area.left, r)];
        for (int c = area.left; c < area.right; ++c, ++cell) {
            cell->ch = U' ';
            cell->fg = fg;
            cell->bg = bg;
            cell->bold = false;
            cell->underline = false;
            cell->wideRight = false;
        }
    }
    Touch();
}

void Canvas::Blit(const Canvas& source, int col, int row) {
    Blit(source, col, row, Bounds());
}

void Canvas::Blit(const Canvas& source, int col, int row, const CellRect& clip) {
    CellRect target = Intersect(Intersect(clip, Bounds()),
                                CellRect{col, row, col + source.cols_, row + source.rows_});
    if (target.Empty()) {
        return;
    }
    for (int r = target.top; r < target.bottom; ++r) {
        BreakWide(target.left, r);
        BreakWide(target.right - 1, r);
        for (int c = target.left; c < target.right; ++c) {
            Cell cell = source.cells_[source.Index(c - col, r - row)];
            bool wide = !cell.wideRight && CharWidth(cell.ch) == 2;
            if (cell.wideRight && c == target.left) {
                // The left half stays outside: show a blank.
                cell.wideRight = false;
                cell.ch = U' ';
            } else if (wide && c + 1 == target.right) {
                cell.ch = U' ';
            }
            cells_[Index(c, r)] = cell;
        }
    }
    Touch();
}

std::string Canvas::RowText(int row) const {
    std::string out;
    if (row < 0 || row >= rows_) {
        return out;
    }
    for (int c = 0; c < cols_; ++c) {
        const Cell& cell = cells_[Index(c, row)];
        if (cell.wideRight) {
            continue;
        }
        AppendUtf8(out, cell.ch);
    }
    return out;
}

std::vector<std::string> Canvas::TextRows() const {
    std::vector<std::string> rows;
    rows.reserve(static_cast<std::size_t>(rows_));
    for (int r = 0; r < rows_; ++r) {
        rows.push_back(RowText(r));
    }
    return rows;
}

std::string Canvas::ToString() const {
    std::string out;
    for (int r = 0; r < rows_; ++r) {
        std::string line = RowText(r);
        line.erase(line.find_last_not_of(' ') + 1);
        if (r > 0) {
            out += '\n';
        }
        out += line;
    }
    return out;
}

} // namespace platform
