// The edit control ("EDIT"): single-line or multi-line (wrapped at the
// control's width), read-only or editable with a caret, left- or
// right-aligned, with a text limit. Every change of its text, whether typed
// or set with WM_SETTEXT, sends EN_CHANGE to the parent; dialogs rely on
// that to keep other fields in step. Colours come from the parent through
// WM_CTLCOLOREDIT, for read-only edits too. A read-only multi-line edit
// scrolls with Up, Down, Page Up, Page Down, Home and End.
#include "platform/CtlCommon.h"

#include <algorithm>
#include <vector>

namespace platform::ctl {
namespace {

struct EditState {
    EditBuffer buffer;
    int topLine = 0;       // multi-line: first visual line shown
    int scrollCols = 0;    // single-line: cells scrolled off to the left
    int preferredCol = -1; // multi-line: column kept across Up/Down
    CharJoiner typed;      // WM_CHAR's halves of a surrogate pair
};

// One line as shown: code points [start, end) of the text; the next line
// starts at `next` (after a line break or the blanks of a wrap).
struct VisualLine {
    std::size_t start;
    std::size_t end;
    std::size_t next;
};

bool IsWide(char32_t ch) {
    return CharWidth(ch) == 2;
}

// Breaks the text into the lines a multi-line edit of `width` cells shows:
// at line breaks, and where a line is too wide, after a blank, between
// Chinese characters, or inside a word that does not fit at all.
std::vector<VisualLine> Layout(const std::u32string& text, int width) {
    std::vector<VisualLine> lines;
    width = std::max(width, 1);
    std::size_t start = 0;
    while (true) {
        std::size_t i = start;
        int used = 0;
        std::size_t breakEnd = std::u32string::npos;
        std::size_t breakNext = 0;
        bool done = false;
        while (true) {
            if (i >= text.size()) {
                lines.push_back({start, i, i});
                done = true;
                break;
            }
            char32_t ch = text[i];
            if (ch == U'\r' || ch == U'\n') {
                std::size_t next = i + 1;
                if (ch == U'\r' && next < text.size() && text[next] == U'\n') {
                    ++next;
                }
                lines.push_back({start, i, next});
                start = next;
                break;
            }
            int w = CharWidth(ch);
            if (ch == U' ') {
                breakEnd = i;
                breakNext = i + 1;
            } else if (i > start && (IsWide(ch) || IsWide(text[i - 1])) && !NoBreakBefore(ch)) {
                breakEnd = i;
                breakNext = i;
            }
            if (used + w > width && ch != U' ') {
                if (breakEnd != std::u32string::npos && breakEnd > start) {
                    lines.push_back({start, breakEnd, breakNext});
                    start = breakNext;
                } else {
                    std::size_t end = std::max(i, start + 1);
                    lines.push_back({start, end, end});
                    start = end;
                }
                break;
            }
            used += w;
            ++i;
        }
        if (done) {
            break;
        }
    }
    return lines;
}

bool IsMultiLine(HWND hwnd) {
    return (Style(hwnd) & ES_MULTILINE) != 0;
}
bool IsReadOnly(HWND hwnd) {
    return (Style(hwnd) & ES_READONLY) != 0;
}

// Cells available for text: the whole client area, less one column for the
// scroll bar of a multi-line edit with WS_VSCROLL.
CellRect TextArea(HWND hwnd) {
    CellRect area = ClientCells(hwnd);
    if (IsMultiLine(hwnd) && (Style(hwnd) & WS_VSCROLL) != 0 && area.Width() > 1) {
        --area.right;
    }
    return area;
}

// The line a caret position shows on: the last line starting at or before
// it (a caret at a wrap shows at the start of the next line).
int LineOf(const std::vector<VisualLine>& lines, std::size_t caret) {
    int found = 0;
    for (std::size_t i = 0; i < lines.size() && lines[i].start <= caret; ++i) {
        found = static_cast<int>(i);
    }
    return found;
}

int ColumnOf(const std::u32string& text, std::size_t from, std::size_t to) {
    return TextWidth(std::u32string_view(text).substr(from, to - from));
}

// The position in a line nearest to a column.
std::size_t PositionAt(const std::u32string& text, const VisualLine& line, int col) {
    int used = 0;
    for (std::size_t i = line.start; i < line.end; ++i) {
        int w = CharWidth(text[i]);
        if (used + w > col) {
            return i;
        }
        used += w;
    }
    return line.end;
}

void ClampTop(HWND hwnd, EditState* state, int lineCount) {
    int rows = std::max(TextArea(hwnd).Height(), 1);
    state->topLine = std::clamp(state->topLine, 0, std::max(lineCount - rows, 0));
}

// Scrolls a multi-line edit so that the caret's line shows.
void ShowCaretLine(HWND hwnd, EditState* state) {
    CellRect area = TextArea(hwnd);
    std::vector<VisualLine> lines = Layout(state->buffer.Text(), area.Width());
    int line = LineOf(lines, state->buffer.Caret());
    int rows = std::max(area.Height(), 1);
    if (line < state->topLine) {
        state->topLine = line;
    } else if (line >= state->topLine + rows) {
        state->topLine = line - rows + 1;
    }
    ClampTop(hwnd, state, static_cast<int>(lines.size()));
}

void Changed(HWND hwnd, EditState* state) {
    // Keep the window manager's copy of the text current as well.
    std::u16string text = state->buffer.Text16();
    DefWindowProc(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    InvalidateRect(hwnd, nullptr, TRUE);
    NotifyCommand(hwnd, EN_CHANGE);
}

void PaintScrollBar(HDC dc, const CellRect& client, int top, int rows, int total) {
    if (client.Width() < 2 || client.Height() < 1) {
        return;
    }
    int col = client.right - 1;
    int height = client.Height();
    for (int r = 0; r < height; ++r) {
        char16_t ch = u'|';
        if (total > rows) {
            int thumbTop = top * height / total;
            int thumbBottom = std::max(thumbTop + 1, (top + rows) * height / total);
            if (r >= thumbTop && r < thumbBottom) {
                ch = u'#';
            }
        }
        RECT cell = CellsToPixels(CellRect{col, client.top + r, col + 1, client.top + r + 1});
        DrawTextIn(dc, std::u16string_view(&ch, 1), cell, DT_LEFT | DT_SINGLELINE);
    }
}

void Paint(HWND hwnd, EditState* state) {
    ControlPaint paint(hwnd, WM_CTLCOLOREDIT, DefaultEditBackground());
    HDC dc = paint.dc;
    if (dc == nullptr) {
        return;
    }
    COLORREF bg = paint.bg;
    COLORREF fg = GetTextColor(dc);
    COLORREF textBg = GetBkMode(dc) == OPAQUE ? GetBkColor(dc) : bg;
    bool readOnly = IsReadOnly(hwnd);
    bool showCaret = HasFocus(hwnd) && !readOnly;
    bool right = (Style(hwnd) & ES_RIGHT) != 0;
    const std::u32string& text = state->buffer.Text();
    CellRect area = TextArea(hwnd);
    std::u16string line16;

    auto drawRun = [&](std::size_t from, std::size_t to, int col, int row) {
        line16 = EncodeUtf16(std::u32string_view(text).substr(from, to - from));
        RECT r = CellsToPixels(CellRect{col, row, area.right + 1000, row + 1});
        r.right = CellsToPixels(area).right;
        DrawTextIn(dc, line16, r, DT_LEFT | DT_SINGLELINE);
    };
    auto drawCaret = [&](int col, int row, std::size_t pos) {
        if (col < area.left || col >= area.right || row < area.top || row >= area.bottom) {
            return;
        }
        char16_t ch = u' ';
        if (pos < text.size() && text[pos] >= 0x20 && text[pos] < 0x10000 &&
            CharWidth(text[pos]) == 1) {
            ch = static_cast<char16_t>(text[pos]);
        }
        RECT r = CellsToPixels(CellRect{col, row, col + 1, row + 1});
        DrawTextColoured(dc, std::u16string_view(&ch, 1), r, DT_LEFT | DT_SINGLELINE, textBg, fg);
    };

    if (!IsMultiLine(hwnd)) {
        int width = ColumnOf(text, 0, text.size());
        int caretCol = ColumnOf(text, 0, state->buffer.Caret());
        int cols = std::max(area.Width(), 1);
        if (!showCaret) {
            state->scrollCols = 0;
        } else if (caretCol < state->scrollCols) {
            state->scrollCols = caretCol;
        } else if (caretCol >= state->scrollCols + cols) {
            state->scrollCols = caretCol - cols + 1;
        }
        int start = area.left - state->scrollCols;
        if (right && width < cols) {
            start = area.right - width - (showCaret && caretCol == width ? 1 : 0);
        }
        int row = area.top + (area.Height() - 1) / 2;
        if (!readOnly) {
            // An editable field is underlined across its width.
            SetTextAttributes(dc, false, true);
            std::u16string blanks(static_cast<std::size_t>(std::max(area.Width(), 0)), u' ');
            RECT r = CellsToPixels(CellRect{area.left, row, area.right, row + 1});
            DrawTextIn(dc, blanks, r, DT_LEFT | DT_SINGLELINE);
        }
        drawRun(0, text.size(), start, row);
        if (showCaret) {
            drawCaret(start + caretCol, row, state->buffer.Caret());
        }
        SetTextAttributes(dc, false, false);
    } else {
        std::vector<VisualLine> lines = Layout(text, area.Width());
        ClampTop(hwnd, state, static_cast<int>(lines.size()));
        int caretLine = LineOf(lines, state->buffer.Caret());
        for (int r = 0; r < area.Height(); ++r) {
            int index = state->topLine + r;
            if (index >= static_cast<int>(lines.size())) {
                break;
            }
            const VisualLine& line = lines[static_cast<std::size_t>(index)];
            int width = ColumnOf(text, line.start, line.end);
            int col = right ? area.right - width : area.left;
            drawRun(line.start, line.end, col, area.top + r);
            if (showCaret && index == caretLine) {
                std::size_t caret = std::min(state->buffer.Caret(), line.end);
                drawCaret(col + ColumnOf(text, line.start, caret), area.top + r, caret);
            }
        }
        if ((Style(hwnd) & WS_VSCROLL) != 0) {
            PaintScrollBar(dc, ClientCells(hwnd), state->topLine, area.Height(),
                           static_cast<int>(lines.size()));
        }
    }
}

void Scroll(HWND hwnd, EditState* state, int delta) {
    CellRect area = TextArea(hwnd);
    std::vector<VisualLine> lines = Layout(state->buffer.Text(), area.Width());
    int old = state->topLine;
    state->topLine += delta;
    ClampTop(hwnd, state, static_cast<int>(lines.size()));
    if (state->topLine != old) {
        InvalidateRect(hwnd, nullptr, TRUE);
    }
}

// Moves the caret of a multi-line edit up or down by `delta` lines.
void MoveLines(HWND hwnd, EditState* state, int delta) {
    CellRect area = TextArea(hwnd);
    const std::u32string& text = state->buffer.Text();
    std::vector<VisualLine> lines = Layout(text, area.Width());
    int line = LineOf(lines, state->buffer.Caret());
    if (state->preferredCol < 0) {
        state->preferredCol =
            ColumnOf(text, lines[static_cast<std::size_t>(line)].start, state->buffer.Caret());
    }
    int target = std::clamp(line + delta, 0, static_cast<int>(lines.size()) - 1);
    state->buffer.MoveTo(
        PositionAt(text, lines[static_cast<std::size_t>(target)], state->preferredCol));
    ShowCaretLine(hwnd, state);
    InvalidateRect(hwnd, nullptr, TRUE);
}

LRESULT KeyDown(HWND hwnd, EditState* state, WPARAM key, LPARAM lParam) {
    bool multi = IsMultiLine(hwnd);
    bool readOnly = IsReadOnly(hwnd);
    int page = std::max(TextArea(hwnd).Height() - 1, 1);
    if (multi && readOnly) {
        switch (key) {
        case VK_UP:
            Scroll(hwnd, state, -1);
            return 0;
        case VK_DOWN:
            Scroll(hwnd, state, 1);
            return 0;
        case VK_PRIOR:
            Scroll(hwnd, state, -page);
            return 0;
        case VK_NEXT:
            Scroll(hwnd, state, page);
            return 0;
        case VK_HOME:
            Scroll(hwnd, state, -1000000);
            return 0;
        case VK_END:
            Scroll(hwnd, state, 1000000);
            return 0;
        default:
            return DefWindowProc(hwnd, WM_KEYDOWN, key, lParam);
        }
    }
    if (key != VK_UP && key != VK_DOWN && key != VK_PRIOR && key != VK_NEXT) {
        state->preferredCol = -1;
    }
    if (readOnly && (key == VK_DELETE || key == VK_BACK)) {
        return 0;
    }
    switch (state->buffer.Key(key)) {
    case EditKey::Changed:
        if (multi) {
            ShowCaretLine(hwnd, state);
        }
        Changed(hwnd, state);
        return 0;
    case EditKey::Unchanged:
        return 0;
    case EditKey::Moved:
        if (multi) {
            ShowCaretLine(hwnd, state);
        }
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case EditKey::NotEditing:
        break;
    }
    switch (key) {
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT:
        if (!multi) {
            // A single-line edit leaves these keys to the dialog.
            return DefWindowProc(hwnd, WM_KEYDOWN, key, lParam);
        }
        MoveLines(hwnd, state,
                  key == VK_UP      ? -1
                  : key == VK_DOWN  ? 1
                  : key == VK_PRIOR ? -page
                                    : page);
        return 0;
    default:
        return DefWindowProc(hwnd, WM_KEYDOWN, key, lParam);
    }
}

LRESULT Char(HWND hwnd, EditState* state, WPARAM wParam, LPARAM lParam) {
    auto unit = static_cast<char16_t>(wParam);
    // Backspace arrives as WM_KEYDOWN (VK_BACK); its character is ignored.
    if (IsReadOnly(hwnd) || unit == 0x08) {
        return 0;
    }
    std::optional<char32_t> typed = state->typed.Take(unit);
    if (!typed) {
        return 0;
    }
    char32_t ch = *typed;
    if (ch < 0x20 || ch == 0x7F) {
        // Enter, Esc, Tab and other control characters belong to the dialog.
        return DefWindowProc(hwnd, WM_CHAR, wParam, lParam);
    }
    if ((Style(hwnd) & ES_NUMBER) != 0 && (ch < U'0' || ch > U'9')) {
        return 0;
    }
    state->preferredCol = -1;
    if (!state->buffer.Insert(ch, state->buffer.limit16)) {
        NotifyCommand(hwnd, EN_MAXTEXT);
        return 0;
    }
    if (IsMultiLine(hwnd)) {
        ShowCaretLine(hwnd, state);
    }
    Changed(hwnd, state);
    return 0;
}

void Tap(HWND hwnd, EditState* state, LPARAM lParam) {
    SetFocus(hwnd);
    POINT at = TapPoint(lParam);
    int col = at.x / kCellWidth;
    int row = at.y / kCellHeight;
    const std::u32string& text = state->buffer.Text();
    CellRect area = TextArea(hwnd);
    if (IsMultiLine(hwnd)) {
        std::vector<VisualLine> lines = Layout(text, area.Width());
        int index =
            std::clamp(state->topLine + row - area.top, 0, static_cast<int>(lines.size()) - 1);
        const VisualLine& line = lines[static_cast<std::size_t>(index)];
        int offset = (Style(hwnd) & ES_RIGHT) != 0
                         ? area.right - ColumnOf(text, line.start, line.end)
                         : area.left;
        state->buffer.MoveTo(PositionAt(text, line, col - offset));
    } else if ((Style(hwnd) & ES_RIGHT) == 0 || ColumnOf(text, 0, text.size()) >= area.Width()) {
        VisualLine line{0, text.size(), text.size()};
        state->buffer.MoveTo(PositionAt(text, line, col - area.left + state->scrollCols));
    } else {
        VisualLine line{0, text.size(), text.size()};
        state->buffer.MoveTo(
            PositionAt(text, line, col - (area.right - ColumnOf(text, 0, text.size()))));
    }
    state->preferredCol = -1;
    InvalidateRect(hwnd, nullptr, TRUE);
}

LRESULT Handle(HWND hwnd, EditState* state, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        state->buffer.SetText(CreateText(lParam));
        return 0;
    case WM_SETTEXT:
        state->buffer.SetText(TextFromLParam(lParam));
        state->topLine = 0;
        state->scrollCols = 0;
        state->preferredCol = -1;
        Changed(hwnd, state);
        return TRUE;
    case WM_GETTEXT:
        return CopyTextOut(state->buffer.Text16(), wParam, lParam);
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(state->buffer.Length16());
    case EM_LIMITTEXT:
        // 0 lifts the limit (as far as the platform goes).
        state->buffer.limit16 = wParam == 0 ? 0x7FFFFFFE : wParam;
        return 0;
    case EM_GETLIMITTEXT:
        return static_cast<LRESULT>(state->buffer.limit16);
    case EM_SETREADONLY: {
        DWORD style = Style(hwnd);
        style = wParam != 0 ? (style | ES_READONLY) : (style & ~ES_READONLY);
        SetWindowLong(hwnd, GWL_STYLE, static_cast<LONG>(style));
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
    }
    case EM_GETSEL:
        return SelectionReply(state->buffer, wParam, lParam);
    case EM_SETSEL:
        state->buffer.SetSelection16(static_cast<long>(static_cast<LPARAM>(wParam)),
                                     static_cast<long>(lParam));
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_KEYDOWN:
        return KeyDown(hwnd, state, wParam, lParam);
    case WM_CHAR:
        return Char(hwnd, state, wParam, lParam);
    case WM_LBUTTONDOWN:
        Tap(hwnd, state, lParam);
        return 0;
    case WM_SETFOCUS:
        InvalidateRect(hwnd, nullptr, TRUE);
        NotifyCommand(hwnd, EN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        InvalidateRect(hwnd, nullptr, TRUE);
        NotifyCommand(hwnd, EN_KILLFOCUS);
        return 0;
    case WM_PAINT:
        Paint(hwnd, state);
        return 0;
    default:
        return DefControlProc(hwnd, msg, wParam, lParam);
    }
}

} // namespace

LRESULT EditWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return ControlProc<EditState, Handle>(hwnd, msg, wParam, lParam);
}

} // namespace platform::ctl
