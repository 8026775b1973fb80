// The combo box ("COMBOBOX") with an edit field and a drop-down list
// (CBS_DROPDOWN), optionally sorted (CBS_SORT). Typing edits the field
// (CBN_EDITCHANGE); a CBS_DROPDOWNLIST combo box has no field to type into
// and shows its chosen entry, and a tap anywhere on it opens the list. Down with the list closed,
// or a tap on the arrow at the right, opens the list; Up and Down move through it, Enter chooses
// (the entry's text fills the field, CBN_SELCHANGE), Esc closes it unchanged. The open list is a
// pop-up window of its own ("ComboLBox") below the field (or above it when the screen ends there),
// so it is drawn over the dialog and takes the taps on it; the combo box keeps the focus and the
// keys. As on the platform, the height the combo box is created with is the height of the field and
// its dropped list together: the control makes itself one row high and keeps the rest as the list's
// height.
#include "platform/CtlCommon.h"

#include <algorithm>
#include <vector>

namespace platform::ctl {
namespace {

struct ComboState {
    EditBuffer field;
    std::vector<std::u16string> items;
    int current = -1; // CB_GETCURSEL
    bool dropped = false;
    int highlight = -1;  // entry marked in the open list
    int listTop = 0;     // first entry shown in the open list
    int dropRows = 8;    // entries the open list shows at most
    int openRows = 0;    // entries the open list shows now
    HWND list = nullptr; // the open list's pop-up window
    CharJoiner typed;    // WM_CHAR's halves of a surrogate pair
};

// CBS_DROPDOWN has a field the user types into; CBS_DROPDOWNLIST shows
// only the chosen entry.
bool HasEditField(HWND combo) {
    return (Style(combo) & 0x3) != CBS_DROPDOWNLIST;
}

// Case-insensitive order for ASCII letters, code-unit order otherwise.
bool SortsBefore(const std::u16string& a, const std::u16string& b) {
    auto lower = [](char16_t c) -> char16_t {
        return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
    };
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [&](char16_t x, char16_t y) { return lower(x) < lower(y); });
}

int ListRows(const ComboState* state) {
    if (state->dropped && state->openRows > 0) {
        return state->openRows;
    }
    return std::max(1, std::min(state->dropRows, static_cast<int>(state->items.size())));
}

void KeepHighlightVisible(ComboState* state) {
    int rows = ListRows(state);
    if (state->highlight < state->listTop) {
        state->listTop = std::max(state->highlight, 0);
    } else if (state->highlight >= state->listTop + rows) {
        state->listTop = state->highlight - rows + 1;
    }
    state->listTop =
        std::clamp(state->listTop, 0, std::max(static_cast<int>(state->items.size()) - rows, 0));
}

void InvalidateAll(HWND combo, ComboState* state) {
    InvalidateRect(combo, nullptr, TRUE);
    if (state->list != nullptr) {
        InvalidateRect(state->list, nullptr, TRUE);
    }
}

void CloseList(HWND combo, ComboState* state) {
    if (!state->dropped) {
        return;
    }
    state->dropped = false;
    state->openRows = 0;
    HWND list = state->list;
    state->list = nullptr;
    if (list != nullptr) {
        DestroyWindow(list);
    }
    InvalidateRect(combo, nullptr, TRUE);
    NotifyCommand(combo, CBN_CLOSEUP);
}

// The entry whose text is the field's text, or the current entry.
int EntryOfField(const ComboState* state) {
    std::u16string text = state->field.Text16();
    for (std::size_t i = 0; i < state->items.size(); ++i) {
        if (state->items[i] == text) {
            return static_cast<int>(i);
        }
    }
    return state->current;
}

void OpenList(HWND combo, ComboState* state) {
    if (state->dropped) {
        return;
    }
    NotifyCommand(combo, CBN_DROPDOWN);
    if (!IsWindow(combo)) {
        return;
    }
    state->dropped = true;
    state->highlight = EntryOfField(state);
    if (state->highlight < 0 && !state->items.empty()) {
        state->highlight = 0;
    }
    // Below the field, as far as the screen goes above the soft-key row;
    // above the field when more entries fit there.
    RECT field{0, 0, 0, 0};
    GetWindowRect(combo, &field);
    int wanted = std::max(1, std::min(state->dropRows, static_cast<int>(state->items.size())));
    int screenBottom = GetSystemMetrics(SM_CYSCREEN) - kCellHeight;
    int below = std::max((screenBottom - field.bottom) / kCellHeight, 0);
    int above = std::max((field.top - kCellHeight) / kCellHeight, 0);
    int rows = std::min(wanted, below);
    int top = field.bottom;
    if (rows < wanted && above > below) {
        rows = std::min(wanted, above);
        top = field.top - rows * kCellHeight;
    }
    state->openRows = std::max(rows, 1);
    KeepHighlightVisible(state);
    // The list window takes neither the focus nor the keys: the combo box
    // keeps both and tells the list what to show.
    state->list = CreateWindowEx(0, kComboListClass, nullptr, WS_POPUP | WS_VISIBLE, field.left,
                                 top, field.right - field.left, state->openRows * kCellHeight,
                                 nullptr, nullptr, nullptr, nullptr);
    if (state->list != nullptr) {
        SetWindowLongPtr(state->list, GWL_USERDATA, reinterpret_cast<std::intptr_t>(combo));
    }
    InvalidateAll(combo, state);
}

void SetField(HWND combo, ComboState* state, const std::u16string& text) {
    state->field.SetText(text);
    DefWindowProc(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    InvalidateRect(combo, nullptr, TRUE);
}

void Choose(HWND combo, ComboState* state, int index) {
    if (index >= 0 && index < static_cast<int>(state->items.size())) {
        state->current = index;
        SetField(combo, state, state->items[static_cast<std::size_t>(index)]);
        NotifyCommand(combo, CBN_SELCHANGE);
        NotifyCommand(combo, CBN_SELENDOK);
    }
    CloseList(combo, state);
}

void FieldChanged(HWND combo, ComboState* state) {
    std::u16string text = state->field.Text16();
    DefWindowProc(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    InvalidateRect(combo, nullptr, TRUE);
    NotifyCommand(combo, CBN_EDITCHANGE);
}

// The open list, one entry per row, the marked entry in the highlight
// colours.
void PaintList(HDC dc, const ComboState* state, const CellRect& area) {
    COLORREF fg = DefaultTextColor();
    COLORREF bg = DefaultEditBackground();
    COLORREF hiFg = GetSysColor(COLOR_HIGHLIGHTTEXT);
    COLORREF hiBg = GetSysColor(COLOR_HIGHLIGHT);
    FillClient(dc, CellsToPixels(area), bg);
    for (int r = 0; r < area.Height(); ++r) {
        int index = state->listTop + r;
        if (index >= static_cast<int>(state->items.size())) {
            break;
        }
        CellRect row{area.left, area.top + r, area.right, area.top + r + 1};
        bool marked = index == state->highlight;
        if (marked) {
            FillClient(dc, CellsToPixels(row), hiBg);
        }
        DrawTextColoured(dc, state->items[static_cast<std::size_t>(index)], CellsToPixels(row),
                         DT_LEFT | DT_SINGLELINE, marked ? hiFg : fg, marked ? hiBg : bg);
    }
}

void PaintField(HWND combo, ComboState* state) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(combo, &ps);
    if (dc == nullptr) {
        return;
    }
    RECT client;
    GetClientRect(combo, &client);
    COLORREF bg =
        ControlColours(combo, dc, WM_CTLCOLOREDIT, DefaultTextColor(), DefaultEditBackground());
    CellRect cells = PixelsToCells(client);
    if (cells.Empty()) {
        EndPaint(combo, &ps);
        return;
    }
    CellRect text{cells.left, cells.top, std::max(cells.left, cells.right - 1), cells.top + 1};
    RECT fieldPx = CellsToPixels(CellRect{cells.left, cells.top, cells.right, cells.top + 1});
    FillClient(dc, fieldPx, bg);
    const std::u32string& chars = state->field.Text();
    int caretCol = TextWidth(std::u32string_view(chars).substr(0, state->field.Caret()));
    bool editable = HasEditField(combo);
    bool focused = HasFocus(combo);
    int scroll = 0;
    if (focused && caretCol >= text.Width()) {
        scroll = caretCol - text.Width() + 1;
    }
    // An edit field is underlined and shows its caret; a drop-down list
    // without one shows its choice in reverse colours while focused.
    SetTextAttributes(dc, false, editable);
    std::u16string blanks(static_cast<std::size_t>(text.Width()), u' ');
    DrawTextIn(dc, blanks, CellsToPixels(text), DT_LEFT | DT_SINGLELINE);
    // The part of the text that shows: what is scrolled off to the left is
    // skipped, and a wide character cut by the edge leaves a blank.
    std::size_t skip = 0;
    int cols = 0;
    while (skip < chars.size() && cols < scroll) {
        cols += CharWidth(chars[skip]);
        ++skip;
    }
    std::size_t units = 0;
    for (std::size_t i = 0; i < skip; ++i) {
        units += chars[i] >= 0x10000 ? 2 : 1;
    }
    std::u16string shown = state->field.Text16().substr(units);
    if (cols > scroll) {
        // g++ 12 at -O3 takes the inlined insert at 0 for an overlapping
        // copy (a known false -Wrestrict of its string code); it is not one.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
        shown.insert(0, u" ");
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    }
    if (editable || !focused) {
        DrawTextIn(dc, shown, CellsToPixels(text), DT_LEFT | DT_SINGLELINE);
    } else {
        COLORREF fg = GetTextColor(dc);
        COLORREF cellBg = GetBkMode(dc) == OPAQUE ? GetBkColor(dc) : bg;
        FillClient(dc, CellsToPixels(text), fg);
        DrawTextColoured(dc, shown, CellsToPixels(text), DT_LEFT | DT_SINGLELINE, cellBg, fg);
    }
    SetTextAttributes(dc, false, false);
    if (focused && editable) {
        int col = text.left + caretCol - scroll;
        if (col >= text.left && col < text.right) {
            std::size_t pos = state->field.Caret();
            char16_t ch = u' ';
            if (pos < chars.size() && chars[pos] < 0x10000 && CharWidth(chars[pos]) == 1) {
                ch = static_cast<char16_t>(chars[pos]);
            }
            COLORREF fg = GetTextColor(dc);
            COLORREF cellBg = GetBkMode(dc) == OPAQUE ? GetBkColor(dc) : bg;
            DrawTextColoured(dc, std::u16string_view(&ch, 1),
                             CellsToPixels(CellRect{col, text.top, col + 1, text.top + 1}),
                             DT_LEFT | DT_SINGLELINE, cellBg, fg);
        }
    }
    // The arrow that opens the list.
    CellRect arrow{cells.right - 1, cells.top, cells.right, cells.top + 1};
    COLORREF fg = GetTextColor(dc);
    DrawTextColoured(dc, state->dropped ? u"^" : u"v", CellsToPixels(arrow),
                     DT_LEFT | DT_SINGLELINE, bg, fg);
    EndPaint(combo, &ps);
}

LRESULT KeyDown(HWND combo, ComboState* state, WPARAM key, LPARAM lParam) {
    if (state->dropped) {
        int count = static_cast<int>(state->items.size());
        switch (key) {
        case VK_UP:
        case VK_DOWN:
        case VK_PRIOR:
        case VK_NEXT: {
            if (count == 0) {
                return 0;
            }
            int rows = ListRows(state);
            int step = key == VK_UP ? -1 : key == VK_DOWN ? 1 : key == VK_PRIOR ? -rows : rows;
            state->highlight = std::clamp(state->highlight + step, 0, count - 1);
            KeepHighlightVisible(state);
            InvalidateAll(combo, state);
            return 0;
        }
        case VK_RETURN:
            Choose(combo, state, state->highlight);
            return 0;
        case VK_ESCAPE:
            CloseList(combo, state);
            return 0;
        default:
            break;
        }
    }
    if (key == VK_DOWN) {
        OpenList(combo, state);
        return 0;
    }
    if (!HasEditField(combo)) {
        return DefWindowProc(combo, WM_KEYDOWN, key, lParam);
    }
    switch (state->field.Key(key)) {
    case EditKey::Changed:
        FieldChanged(combo, state);
        return 0;
    case EditKey::Unchanged:
        return 0;
    case EditKey::Moved:
        InvalidateRect(combo, nullptr, TRUE);
        return 0;
    case EditKey::NotEditing:
        break;
    }
    return DefWindowProc(combo, WM_KEYDOWN, key, lParam);
}

LRESULT Char(HWND combo, ComboState* state, WPARAM wParam, LPARAM lParam) {
    // Backspace arrives as WM_KEYDOWN (VK_BACK); its character is ignored.
    auto unit = static_cast<char16_t>(wParam);
    if (unit == 0x08 || !HasEditField(combo)) {
        return 0;
    }
    std::optional<char32_t> typed = state->typed.Take(unit);
    if (!typed) {
        return 0;
    }
    char32_t ch = *typed;
    if (ch < 0x20 || ch == 0x7F) {
        return DefWindowProc(combo, WM_CHAR, wParam, lParam);
    }
    if (state->field.Insert(ch, state->field.limit16)) {
        FieldChanged(combo, state);
    }
    return 0;
}

LRESULT Handle(HWND hwnd, ComboState* state, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE: {
        auto* cs = reinterpret_cast<const CREATESTRUCT*>(lParam);
        state->field.SetText(CreateText(lParam));
        // The created height holds the field and the dropped list.
        int rows = cs != nullptr ? cs->cy / kCellHeight : 0;
        if (rows > 1) {
            state->dropRows = rows - 1;
            MoveWindow(hwnd, cs->x, cs->y, cs->cx, kCellHeight, FALSE);
        }
        return 0;
    }
    case WM_DESTROY:
        if (state->list != nullptr) {
            HWND list = state->list;
            state->list = nullptr;
            SetWindowLongPtr(list, GWL_USERDATA, 0);
            DestroyWindow(list);
        }
        return 0;
    case WM_SETTEXT:
        SetField(hwnd, state, TextFromLParam(lParam));
        return TRUE;
    case WM_GETTEXT:
        return CopyTextOut(state->field.Text16(), wParam, lParam);
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(state->field.Length16());
    case CB_ADDSTRING:
    case CB_INSERTSTRING: {
        std::u16string text = TextFromLParam(lParam);
        int count = static_cast<int>(state->items.size());
        int index;
        if (msg == CB_ADDSTRING && (Style(hwnd) & CBS_SORT) != 0) {
            auto it = std::upper_bound(state->items.begin(), state->items.end(), text, SortsBefore);
            index = static_cast<int>(it - state->items.begin());
        } else if (msg == CB_INSERTSTRING && static_cast<int>(static_cast<LPARAM>(wParam)) >= 0) {
            index = static_cast<int>(wParam);
            if (index > count) {
                return CB_ERR;
            }
        } else {
            index = count;
        }
        state->items.insert(state->items.begin() + index, std::move(text));
        if (state->current >= index) {
            ++state->current;
        }
        InvalidateAll(hwnd, state);
        return index;
    }
    case CB_DELETESTRING: {
        auto index = static_cast<std::size_t>(wParam);
        if (index >= state->items.size()) {
            return CB_ERR;
        }
        state->items.erase(state->items.begin() + static_cast<std::ptrdiff_t>(index));
        if (state->current == static_cast<int>(index)) {
            state->current = -1;
        } else if (state->current > static_cast<int>(index)) {
            --state->current;
        }
        state->highlight = std::min(state->highlight, static_cast<int>(state->items.size()) - 1);
        InvalidateAll(hwnd, state);
        return static_cast<LRESULT>(state->items.size());
    }
    case CB_RESETCONTENT: {
        CloseList(hwnd, state);
        state->items.clear();
        state->current = -1;
        state->highlight = -1;
        state->listTop = 0;
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    }
    case CB_GETCOUNT:
        return static_cast<LRESULT>(state->items.size());
    case CB_GETCURSEL:
        return state->current;
    case CB_SETCURSEL: {
        auto index = static_cast<int>(static_cast<LPARAM>(wParam));
        if (index < 0 || index >= static_cast<int>(state->items.size())) {
            state->current = -1;
            SetField(hwnd, state, u"");
            return CB_ERR;
        }
        state->current = index;
        SetField(hwnd, state, state->items[static_cast<std::size_t>(index)]);
        return index;
    }
    case CB_GETLBTEXT: {
        auto index = static_cast<std::size_t>(wParam);
        auto* out = reinterpret_cast<char16_t*>(lParam);
        if (index >= state->items.size() || out == nullptr) {
            return CB_ERR;
        }
        // The caller's buffer must hold the whole entry (CB_GETLBTEXTLEN + 1).
        const std::u16string& text = state->items[index];
        std::copy(text.begin(), text.end(), out);
        out[text.size()] = u'\0';
        return static_cast<LRESULT>(text.size());
    }
    case CB_GETLBTEXTLEN: {
        auto index = static_cast<std::size_t>(wParam);
        return index < state->items.size() ? static_cast<LRESULT>(state->items[index].size())
                                           : CB_ERR;
    }
    case CB_SHOWDROPDOWN: {
        if (wParam != 0) {
            OpenList(hwnd, state);
        } else {
            CloseList(hwnd, state);
        }
        return TRUE;
    }
    case CB_GETDROPPEDSTATE:
        return state->dropped ? TRUE : FALSE;
    case CB_LIMITTEXT:
        state->field.limit16 = wParam == 0 ? 0x7FFFFFFE : wParam;
        return TRUE;
    case CB_GETEDITSEL:
        return SelectionReply(state->field, wParam, lParam);
    case WM_KEYDOWN:
        return KeyDown(hwnd, state, wParam, lParam);
    case WM_CHAR:
        return Char(hwnd, state, wParam, lParam);
    case WM_LBUTTONDOWN: {
        SetFocus(hwnd);
        int col = TapPoint(lParam).x / kCellWidth;
        CellRect cells = ClientCells(hwnd);
        if (col >= cells.right - 1 || !HasEditField(hwnd)) {
            if (state->dropped) {
                CloseList(hwnd, state);
            } else {
                OpenList(hwnd, state);
            }
        } else {
            const std::u32string& text = state->field.Text();
            int used = 0;
            std::size_t pos = 0;
            while (pos < text.size() && used + CharWidth(text[pos]) <= col - cells.left) {
                used += CharWidth(text[pos]);
                ++pos;
            }
            state->field.MoveTo(pos);
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        return 0;
    }
    case WM_SETFOCUS:
        InvalidateRect(hwnd, nullptr, TRUE);
        NotifyCommand(hwnd, 3 /* CBN_SETFOCUS */);
        return 0;
    case WM_KILLFOCUS:
        CloseList(hwnd, state);
        InvalidateRect(hwnd, nullptr, TRUE);
        NotifyCommand(hwnd, 4 /* CBN_KILLFOCUS */);
        return 0;
    case WM_PAINT:
        PaintField(hwnd, state);
        return 0;
    default:
        return DefControlProc(hwnd, msg, wParam, lParam);
    }
}

} // namespace

LRESULT ComboWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return ControlProc<ComboState, Handle>(hwnd, msg, wParam, lParam);
}

LRESULT ComboListWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto combo = reinterpret_cast<HWND>(GetWindowLongPtr(hwnd, GWL_USERDATA));
    ComboState* state = combo != nullptr ? StateOf<ComboState>(combo) : nullptr;
    bool live = state != nullptr;
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (dc != nullptr) {
            RECT client;
            GetClientRect(hwnd, &client);
            FillClient(dc, client, DefaultEditBackground());
            if (live) {
                PaintList(dc, state, PixelsToCells(client));
            }
            EndPaint(hwnd, &ps);
        }
        return 0;
    }
    case WM_LBUTTONDOWN:
        if (live) {
            Choose(combo, state, state->listTop + TapPoint(lParam).y / kCellHeight);
        }
        return 0;
    case WM_KEYDOWN:
    case WM_CHAR:
        // As the topmost window the list gets the keys while the combo box
        // keeps the focus; they are the combo box's.
        return live ? SendMessage(combo, msg, wParam, lParam) : 0;
    case WM_ACTIVATE:
        return 0; // never takes the focus from the combo box
    case WM_ERASEBKGND:
        return 1;
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

} // namespace platform::ctl
