// GDI over the character-cell canvas: device contexts, solid brushes, text
// and background colours, FillRect, DrawText and DrawIcon. Coordinates are
// pixels relative to the DC's origin; every write is clipped to the DC's
// clip rectangle.
#include "platform/Canvas.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>

struct HICON__ {
    ICONTEMPLATE icon;
};

struct HDC__ {
    platform::Canvas* canvas = nullptr;
    POINT origin{0, 0};    // canvas pixels of the DC's (0, 0)
    RECT clip{0, 0, 0, 0}; // canvas pixels
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    HBRUSH brush = nullptr;
    bool bold = false;
    bool underline = false;
};

namespace platform {
namespace {

struct Brush {
    COLORREF color = 0;
    bool stock = false;
};

// Icons are handed out as raw pointers; the registry lets a call refuse a
// handle it did not make instead of reading garbage. Brushes come and go while
// the program paints, so a brush handle is not an address but a serial number
// that is never handed out twice: a deleted brush's handle stays dead even
// after the memory it used has gone to a new brush.
struct GdiObjects {
    std::mutex mutex;
    std::map<HBRUSH, Brush> brushes;
    std::uintptr_t lastBrush = 0;
    std::map<COLORREF, HBRUSH> stockBrushes;
    std::set<HICON> icons;
    std::set<HDC> dcs;
};

GdiObjects& Objects() {
    static GdiObjects* objects = new GdiObjects; // lives for the process
    return *objects;
}

// Registers a brush under a fresh handle; the caller holds the mutex. The
// handles start above the COLOR_x + 1 values that window classes use for
// system colours, and are never dereferenced.
HBRUSH AddBrush(GdiObjects& o, Brush brush) {
    constexpr std::uintptr_t kFirstBrush = 0x10000;
    ++o.lastBrush;
    auto handle = reinterpret_cast<HBRUSH>(kFirstBrush + o.lastBrush * 16);
    o.brushes.emplace(handle, brush);
    return handle;
}

bool IsDC(HDC dc) {
    if (dc == nullptr) {
        return false;
    }
    GdiObjects& o = Objects();
    std::lock_guard lock(o.mutex);
    return o.dcs.count(dc) != 0;
}

// The DC's clip in cells.
CellRect ClipCells(HDC dc) {
    return PixelsToCells(dc->clip);
}

RECT ToCanvas(HDC dc, const RECT& r) {
    return {r.left + dc->origin.x, r.top + dc->origin.y, r.right + dc->origin.x,
            r.bottom + dc->origin.y};
}

CellStyle TextStyle(HDC dc) {
    CellStyle style;
    style.fg = dc->textColor;
    style.bg = dc->bkColor;
    style.transparent = dc->bkMode == TRANSPARENT;
    style.bold = dc->bold;
    style.underline = dc->underline;
    return style;
}

// One line of text to draw, already decoded.
using Line = std::u32string;

bool IsBreakable(char32_t ch) {
    return CharWidth(ch) == 2;
}

// Splits the text into lines at CR LF, LF or CR; with DT_SINGLELINE the
// line breaks are dropped and everything is one line.
std::vector<Line> SplitLines(const std::u32string& text, bool singleLine) {
    std::vector<Line> lines(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t ch = text[i];
        if (ch == U'\r' || ch == U'\n') {
            if (singleLine) {
                continue;
            }
            if (ch == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n') {
                ++i;
            }
            lines.emplace_back();
            continue;
        }
        if (ch == U'\t') {
            ch = U' ';
        }
        lines.back() += ch;
    }
    return lines;
}

// Breaks one line into lines at most `width` cells wide: at blanks where it
// can, between wide (CJK) characters, and inside a word that is wider than
// the whole line. Blanks at a break are dropped.
void WrapLine(const Line& line, int width, std::vector<Line>& out) {
    if (width <= 0 || TextWidth(line) <= width) {
        out.push_back(line);
        return;
    }
    std::size_t start = 0;
    while (start < line.size()) {
        int used = 0;
        std::size_t i = start;
        std::size_t lastBreak = std::u32string::npos; // index where the next line starts
        std::size_t lastEnd = std::u32string::npos;   // end of this line at that break
        while (i < line.size()) {
            int w = CharWidth(line[i]);
            if (line[i] == U' ') {
                lastEnd = i;
                lastBreak = i + 1;
            } else if (i > start && (IsBreakable(line[i]) || IsBreakable(line[i - 1])) &&
                       !NoBreakBefore(line[i])) {
                if (lastEnd == std::u32string::npos || lastEnd < i) {
                    lastEnd = i;
                    lastBreak = i;
                }
            }
            if (used + w > width && line[i] != U' ') {
                break;
            }
            used += w;
            ++i;
        }
        if (i >= line.size()) {
            out.push_back(line.substr(start));
            break;
        }
        std::size_t end;
        std::size_t next;
        if (lastBreak != std::u32string::npos && lastBreak > start && lastEnd >= start) {
            end = lastEnd;
            next = lastBreak;
        } else {
            end = std::max(i, start + 1); // at least one character per line
            next = end;
        }
        Line piece = line.substr(start, end - start);
        while (!piece.empty() && piece.back() == U' ') {
            piece.pop_back();
        }
        out.push_back(piece);
        while (next < line.size() && line[next] == U' ') {
            ++next;
        }
        start = next;
    }
}

} // namespace

HDC CreateCanvasDC(Canvas* canvas, RECT windowRectInPixels, RECT clipInPixels) {
    auto* dc = new HDC__;
    dc->canvas = canvas;
    dc->origin = {windowRectInPixels.left, windowRectInPixels.top};
    dc->clip = clipInPixels;
    if (canvas != nullptr) {
        RECT bounds = CellsToPixels(canvas->Bounds());
        dc->clip.left = std::max(dc->clip.left, bounds.left);
        dc->clip.top = std::max(dc->clip.top, bounds.top);
        dc->clip.right = std::min(dc->clip.right, bounds.right);
        dc->clip.bottom = std::min(dc->clip.bottom, bounds.bottom);
    }
    GdiObjects& o = Objects();
    std::lock_guard lock(o.mutex);
    o.dcs.insert(dc);
    return dc;
}

void DestroyCanvasDC(HDC dc) {
    if (dc == nullptr) {
        return;
    }
    {
        GdiObjects& o = Objects();
        std::lock_guard lock(o.mutex);
        if (o.dcs.erase(dc) == 0) {
            return;
        }
    }
    delete dc;
}

Canvas* CanvasOf(HDC dc) {
    return IsDC(dc) ? dc->canvas : nullptr;
}

RECT DCClipInPixels(HDC dc) {
    return IsDC(dc) ? dc->clip : RECT{0, 0, 0, 0};
}

void SetTextAttributes(HDC dc, bool bold, bool underline) {
    if (IsDC(dc)) {
        dc->bold = bold;
        dc->underline = underline;
    }
}

POINT DCOrigin(HDC dc) {
    return IsDC(dc) ? dc->origin : POINT{0, 0};
}

HBRUSH MakeStockBrush(COLORREF color) {
    GdiObjects& o = Objects();
    std::lock_guard lock(o.mutex);
    auto it = o.stockBrushes.find(color);
    if (it != o.stockBrushes.end()) {
        return it->second;
    }
    HBRUSH brush = AddBrush(o, Brush{color, true});
    o.stockBrushes[color] = brush;
    return brush;
}

bool BrushColor(HBRUSH brush, COLORREF* color) {
    GdiObjects& o = Objects();
    std::lock_guard lock(o.mutex);
    auto it = o.brushes.find(brush);
    if (it == o.brushes.end()) {
        return false;
    }
    if (color != nullptr) {
        *color = it->second.color;
    }
    return true;
}

HICON CreateIconFromTemplate(const ICONTEMPLATE& icon) {
    auto* handle = new HICON__{icon};
    GdiObjects& o = Objects();
    std::lock_guard lock(o.mutex);
    o.icons.insert(handle);
    return handle;
}

const ICONTEMPLATE* IconTemplateOf(HICON icon) {
    GdiObjects& o = Objects();
    std::lock_guard lock(o.mutex);
    if (icon == nullptr || o.icons.count(icon) == 0) {
        return nullptr;
    }
    return &icon->icon;
}

} // namespace platform

using platform::CellRect;
using platform::IsDC;

HBRUSH CreateSolidBrush(COLORREF color) {
    platform::GdiObjects& o = platform::Objects();
    std::lock_guard lock(o.mutex);
    return platform::AddBrush(o, platform::Brush{color, false});
}

BOOL DeleteObject(HGDIOBJ object) {
    auto* brush = static_cast<HBRUSH>(object);
    platform::GdiObjects& o = platform::Objects();
    std::lock_guard lock(o.mutex);
    auto it = o.brushes.find(brush);
    if (it == o.brushes.end()) {
        return FALSE;
    }
    if (it->second.stock) {
        return TRUE;
    }
    o.brushes.erase(it);
    // A DC that still has the brush selected forgets it.
    for (HDC dc : o.dcs) {
        if (dc->brush == brush) {
            dc->brush = nullptr;
        }
    }
    return TRUE;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
    if (!IsDC(hdc)) {
        return nullptr;
    }
    auto* brush = static_cast<HBRUSH>(object);
    if (!platform::BrushColor(brush, nullptr)) {
        // Fonts and other objects have no effect on a cell canvas.
        return nullptr;
    }
    HBRUSH old = hdc->brush;
    hdc->brush = brush;
    return old;
}

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    COLORREF color;
    if (!IsDC(hdc) || rect == nullptr || !platform::BrushColor(brush, &color)) {
        return 0;
    }
    if (hdc->canvas == nullptr) {
        return 1;
    }
    CellRect cells = platform::Intersect(platform::PixelsToCells(platform::ToCanvas(hdc, *rect)),
                                         platform::ClipCells(hdc));
    hdc->canvas->Fill(cells, color, hdc->textColor);
    return 1;
}

COLORREF SetTextColor(HDC hdc, COLORREF color) {
    if (!IsDC(hdc)) {
        return 0xFFFFFFFF;
    }
    COLORREF old = hdc->textColor;
    hdc->textColor = color;
    return old;
}

COLORREF GetTextColor(HDC hdc) {
    return IsDC(hdc) ? hdc->textColor : 0xFFFFFFFF;
}

COLORREF SetBkColor(HDC hdc, COLORREF color) {
    if (!IsDC(hdc)) {
        return 0xFFFFFFFF;
    }
    COLORREF old = hdc->bkColor;
    hdc->bkColor = color;
    return old;
}

COLORREF GetBkColor(HDC hdc) {
    return IsDC(hdc) ? hdc->bkColor : 0xFFFFFFFF;
}

int SetBkMode(HDC hdc, int mode) {
    if (!IsDC(hdc) || (mode != TRANSPARENT && mode != OPAQUE)) {
        return 0;
    }
    int old = hdc->bkMode;
    hdc->bkMode = mode;
    return old;
}

int GetBkMode(HDC hdc) {
    return IsDC(hdc) ? hdc->bkMode : 0;
}

int DrawText(HDC hdc, LPCWSTR text, int count, RECT* rect, UINT format) {
    if (!IsDC(hdc) || text == nullptr || rect == nullptr) {
        return 0;
    }
    std::u16string_view view = count < 0 ? std::u16string_view(text)
                                         : std::u16string_view(text, static_cast<size_t>(count));
    std::u32string decoded = platform::DecodeUtf16(view);
    bool singleLine = (format & DT_SINGLELINE) != 0;
    CellRect box = platform::PixelsToCells(platform::ToCanvas(hdc, *rect));

    std::vector<platform::Line> lines;
    for (platform::Line& line : platform::SplitLines(decoded, singleLine)) {
        if ((format & DT_WORDBREAK) != 0 && !singleLine) {
            platform::WrapLine(line, box.Width(), lines);
        } else {
            lines.push_back(std::move(line));
        }
    }
    int height = static_cast<int>(lines.size()) * kCellHeight;
    if (hdc->canvas == nullptr) {
        return height;
    }

    int top = box.top;
    if (singleLine && (format & DT_VCENTER) != 0) {
        top = box.top + (box.Height() - 1) / 2;
    } else if (singleLine && (format & DT_BOTTOM) != 0) {
        top = box.bottom - 1;
    }
    CellRect clip = platform::Intersect(box, platform::ClipCells(hdc));
    platform::CellStyle style = platform::TextStyle(hdc);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        int row = top + static_cast<int>(i);
        if (row >= clip.bottom) {
            break;
        }
        const platform::Line& line = lines[i];
        int width = platform::TextWidth(line);
        int col = box.left;
        if ((format & DT_RIGHT) != 0) {
            col = box.right - width;
        } else if ((format & DT_CENTER) != 0) {
            col = box.left + (box.Width() - width) / 2;
        }
        hdc->canvas->PutText(col, row, line, style, clip);
    }
    return height;
}

BOOL DrawIcon(HDC hdc, int x, int y, HICON icon) {
    const ICONTEMPLATE* tmpl = platform::IconTemplateOf(icon);
    if (!IsDC(hdc) || tmpl == nullptr) {
        return FALSE;
    }
    if (hdc->canvas == nullptr) {
        return TRUE;
    }
    CellRect origin = platform::PixelsToCells(
        platform::ToCanvas(hdc, RECT{x, y, x + kCellWidth, y + kCellHeight}));
    platform::CellStyle style;
    style.fg = tmpl->color;
    style.transparent = true; // an icon keeps what is behind it
    CellRect clip = platform::ClipCells(hdc);
    for (std::size_t r = 0; r < tmpl->rows.size(); ++r) {
        hdc->canvas->PutText(origin.left, origin.top + static_cast<int>(r), tmpl->rows[r], style,
                             clip);
    }
    return TRUE;
}
