// The list view ("SysListView32") in report mode, as the quote list uses it:
// a header row drawn by the control (column texts, widths and alignment from
// LVM_INSERTCOLUMN), an item count given by the owner (LVS_OWNERDATA,
// LVM_SETITEMCOUNT), and rows drawn by the owner (LVS_OWNERDRAWFIXED): the
// row height comes from WM_MEASUREITEM and every visible row is drawn by
// WM_DRAWITEM to the parent, with ODS_SELECTED (and ODS_FOCUS) for the
// selected row. Up and Down move the selection and the keyboard focus,
// scrolling when needed; Enter and a tap raise LVN_ITEMACTIVATE. The part
// below the last row takes the colour set by LVM_SETBKCOLOR. Columns that
// fill the list keep filling it when the list changes width (the screen was
// resized), so that rows drawn across them follow the screen.
#include "platform/CtlCommon.h"

#include <algorithm>
#include <vector>

namespace platform::ctl {
namespace {

struct Column {
    std::u16string text;
    int width = 0; // pixels
    int fmt = LVCFMT_LEFT;
};

struct ListState {
    std::vector<Column> columns;
    int count = 0;
    int selected = -1;
    int focused = -1;
    int top = 0;       // first row shown
    int rowHeight = 0; // pixels; 0 until measured
    COLORREF bk = 0;
    bool bkSet = false;
    DWORD exStyle = 0;
    int width = 0; // client width, pixels, as last sized
};

bool HasHeader(HWND hwnd) {
    return (Style(hwnd) & LVS_NOCOLUMNHEADER) == 0;
}

// The row height in pixels: asked of the parent once (WM_MEASUREITEM with
// ODT_LISTVIEW) and kept; at least one cell.
int RowHeight(HWND hwnd, ListState* state) {
    if (state->rowHeight > 0) {
        return state->rowHeight;
    }
    int height = kCellHeight;
    HWND parent = GetParent(hwnd);
    if ((Style(hwnd) & LVS_OWNERDRAWFIXED) != 0 && parent != nullptr) {
        MEASUREITEMSTRUCT mi{};
        mi.CtlType = ODT_LISTVIEW;
        mi.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
        mi.itemHeight = kCellHeight;
        SendMessage(parent, WM_MEASUREITEM, static_cast<WPARAM>(mi.CtlID),
                    reinterpret_cast<LPARAM>(&mi));
        if (mi.itemHeight > 0) {
            height = static_cast<int>(mi.itemHeight);
        }
    }
    // Rows take whole cells.
    height = std::max(kCellHeight, height / kCellHeight * kCellHeight);
    state->rowHeight = height;
    return height;
}

int HeaderHeight(HWND hwnd) {
    return HasHeader(hwnd) ? kCellHeight : 0;
}

// Rows that fit below the header.
int VisibleRows(HWND hwnd, ListState* state) {
    RECT client{0, 0, 0, 0};
    GetClientRect(hwnd, &client);
    int room = client.bottom - client.top - HeaderHeight(hwnd);
    return std::max(room / RowHeight(hwnd, state), 0);
}

int RowsWidth(HWND hwnd, const ListState* state) {
    int width = 0;
    for (const Column& c : state->columns) {
        width += c.width;
    }
    if (width <= 0) {
        RECT client{0, 0, 0, 0};
        GetClientRect(hwnd, &client);
        width = client.right;
    }
    return width;
}

RECT ItemRect(HWND hwnd, ListState* state, int index) {
    int h = RowHeight(hwnd, state);
    int top = HeaderHeight(hwnd) + (index - state->top) * h;
    return RECT{0, top, RowsWidth(hwnd, state), top + h};
}

// A list whose columns fill it (all its width but at most a scroll bar's
// column) changed width: each column takes its share of the change, in
// proportion to its width, so that they fill it again. Other columns keep
// the widths their owner gave them.
void FollowWidth(ListState* state, int width) {
    const int old = state->width;
    state->width = width;
    long long total = 0;
    for (const Column& c : state->columns) {
        total += c.width;
    }
    if (old <= 0 || width == old || total <= 0 || total > old ||
        total < old - GetSystemMetrics(SM_CXVSCROLL)) {
        return;
    }
    const long long wanted = std::max<long long>(total + width - old, 0);
    long long before = 0;
    long long placed = 0;
    for (Column& c : state->columns) {
        before += c.width;
        const long long edge = before * wanted / total;
        c.width = static_cast<int>(edge - placed);
        placed = edge;
    }
}

COLORREF Background(const ListState* state) {
    return state->bkSet ? state->bk : GetSysColor(COLOR_WINDOW);
}

void ClampTop(HWND hwnd, ListState* state) {
    int rows = VisibleRows(hwnd, state);
    state->top = std::clamp(state->top, 0, std::max(state->count - std::max(rows, 1), 0));
}

void EnsureVisible(HWND hwnd, ListState* state, int index) {
    int rows = std::max(VisibleRows(hwnd, state), 1);
    if (index < state->top) {
        state->top = index;
    } else if (index >= state->top + rows) {
        state->top = index - rows + 1;
    }
    ClampTop(hwnd, state);
}

void SendItemChanged(HWND hwnd, int index, UINT newState, UINT oldState) {
    NMLISTVIEW nm{};
    nm.iItem = index;
    nm.uNewState = newState;
    nm.uOldState = oldState;
    nm.uChanged = LVIF_STATE;
    NotifyParent(hwnd, &nm.hdr, LVN_ITEMCHANGED);
}

// Makes `index` the selected and focused row (-1: none).
void Select(HWND hwnd, ListState* state, int index) {
    int old = state->selected;
    state->selected = index;
    state->focused = index;
    if (index >= 0) {
        EnsureVisible(hwnd, state, index);
    }
    InvalidateRect(hwnd, nullptr, TRUE);
    if (old != index) {
        if (old >= 0) {
            SendItemChanged(hwnd, old, 0, LVIS_SELECTED | LVIS_FOCUSED);
        }
        if (index >= 0) {
            SendItemChanged(hwnd, index, LVIS_SELECTED | LVIS_FOCUSED, 0);
        }
    }
}

void Activate(HWND hwnd, int index, POINT at) {
    NMITEMACTIVATE nm{};
    nm.iItem = index;
    nm.iSubItem = 0;
    nm.ptAction = at;
    NotifyParent(hwnd, &nm.hdr, LVN_ITEMACTIVATE);
}

void PaintHeader(HDC dc, const ListState* state, const RECT& client) {
    COLORREF fg = GetSysColor(COLOR_WINDOWTEXT);
    COLORREF bg = GetSysColor(COLOR_BTNFACE);
    RECT band{client.left, client.top, client.right, client.top + kCellHeight};
    FillClient(dc, band, bg);
    int x = 0;
    for (const Column& c : state->columns) {
        RECT r{x, band.top, x + c.width, band.bottom};
        // One blank cell keeps neighbouring right-aligned and left-aligned
        // headers apart.
        if ((c.fmt & LVCFMT_RIGHT) != 0) {
            r.right -= kCellWidth;
        }
        UINT format = DT_SINGLELINE | DT_VCENTER;
        format |= (c.fmt & LVCFMT_RIGHT) != 0    ? DT_RIGHT
                  : (c.fmt & LVCFMT_CENTER) != 0 ? DT_CENTER
                                                 : DT_LEFT;
        DrawTextColoured(dc, c.text, r, format, fg, bg);
        x += c.width;
    }
}

void PaintScrollBar(HDC dc, const RECT& client, int top, int rows, int total) {
    CellRect cells = PixelsToCells(client);
    if (cells.Width() < 2 || cells.Height() < 1 || total <= rows) {
        return;
    }
    int col = cells.right - 1;
    int height = cells.Height();
    int thumbTop = top * height / total;
    int thumbBottom = std::max(thumbTop + 1, (top + rows) * height / total);
    COLORREF fg = GetSysColor(COLOR_WINDOWTEXT);
    COLORREF trackBg = GetSysColor(COLOR_BTNFACE);
    for (int r = 0; r < height; ++r) {
        char16_t ch = (r >= thumbTop && r < thumbBottom) ? u'#' : u'|';
        RECT cell = CellsToPixels(CellRect{col, cells.top + r, col + 1, cells.top + r + 1});
        DrawTextColoured(dc, std::u16string_view(&ch, 1), cell, DT_LEFT | DT_SINGLELINE, fg,
                         trackBg);
    }
}

void Paint(HWND hwnd, ListState* state) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (dc == nullptr) {
        return;
    }
    RECT client;
    GetClientRect(hwnd, &client);
    ClampTop(hwnd, state);
    FillClient(dc, client, Background(state));
    if (HasHeader(hwnd)) {
        PaintHeader(dc, state, client);
    }
    int rows = VisibleRows(hwnd, state);
    bool ownerDraw = (Style(hwnd) & LVS_OWNERDRAWFIXED) != 0;
    HWND parent = GetParent(hwnd);
    bool focused = HasFocus(hwnd);
    for (int i = 0; i <= rows; ++i) {
        int index = state->top + i;
        if (index >= state->count) {
            break;
        }
        RECT item = ItemRect(hwnd, state, index);
        if (item.top >= client.bottom) {
            break;
        }
        if (!ownerDraw || parent == nullptr) {
            continue; // items without owner drawing have no text of their own here
        }
        DRAWITEMSTRUCT dis{};
        dis.CtlType = ODT_LISTVIEW;
        dis.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
        dis.itemID = static_cast<UINT>(index);
        dis.itemAction = ODA_DRAWENTIRE;
        if (index == state->selected) {
            dis.itemState |= ODS_SELECTED;
        }
        if (index == state->focused && focused) {
            dis.itemState |= ODS_FOCUS;
        }
        dis.hwndItem = hwnd;
        dis.hDC = dc;
        dis.rcItem = item;
        SendMessage(parent, WM_DRAWITEM, static_cast<WPARAM>(dis.CtlID),
                    reinterpret_cast<LPARAM>(&dis));
        if (!IsWindow(hwnd)) {
            return; // the owner destroyed the list while drawing
        }
    }
    if ((Style(hwnd) & WS_VSCROLL) != 0) {
        RECT rowsArea{client.left, client.top + HeaderHeight(hwnd), client.right, client.bottom};
        PaintScrollBar(dc, rowsArea, state->top, rows, state->count);
    }
    EndPaint(hwnd, &ps);
}

LRESULT KeyDown(HWND hwnd, ListState* state, WPARAM key, LPARAM lParam) {
    int page = std::max(VisibleRows(hwnd, state) - 1, 1);
    int target;
    switch (key) {
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_HOME:
    case VK_END: {
        if (state->count == 0) {
            return 0;
        }
        int from = state->focused;
        if (from < 0) {
            target = 0; // the first press picks the first row
        } else {
            int step = key == VK_UP ? -1 : key == VK_DOWN ? 1 : key == VK_PRIOR ? -page : page;
            target = key == VK_HOME ? 0 : key == VK_END ? state->count - 1 : from + step;
        }
        target = std::clamp(target, 0, state->count - 1);
        Select(hwnd, state, target);
        return 0;
    }
    case VK_RETURN: {
        NMHDR hdr{};
        NotifyParent(hwnd, &hdr, NM_RETURN);
        if (!IsWindow(hwnd)) {
            return 0;
        }
        // With rows but none selected the owner hears of an activation
        // without an item (-1); an empty list raises none.
        if (state->count > 0) {
            Activate(hwnd, state->selected, POINT{0, 0});
        }
        return 0;
    }
    default:
        return DefWindowProc(hwnd, WM_KEYDOWN, key, lParam);
    }
}

void Tap(HWND hwnd, ListState* state, LPARAM lParam) {
    SetFocus(hwnd);
    if (!IsWindow(hwnd)) {
        return;
    }
    POINT at = TapPoint(lParam);
    int y = at.y - HeaderHeight(hwnd);
    if (y < 0) {
        return; // the header
    }
    int index = state->top + y / RowHeight(hwnd, state);
    if (index >= state->count || at.x >= RowsWidth(hwnd, state)) {
        return; // below the last row
    }
    Select(hwnd, state, index);
    if (IsWindow(hwnd)) {
        Activate(hwnd, index, at);
    }
}

LRESULT SetItemState(HWND hwnd, ListState* state, int index, const LVITEM* item) {
    if (item == nullptr) {
        return FALSE;
    }
    if (index >= state->count || index < -1) {
        return FALSE;
    }
    UINT mask = item->stateMask;
    int oldSelected = state->selected;
    if ((mask & LVIS_SELECTED) != 0) {
        if ((item->state & LVIS_SELECTED) != 0) {
            // One row is selected at a time; -1 (all rows) picks none.
            if (index >= 0) {
                state->selected = index;
            }
        } else if (index == -1 || index == state->selected) {
            state->selected = -1;
        }
    }
    if ((mask & LVIS_FOCUSED) != 0) {
        if ((item->state & LVIS_FOCUSED) != 0) {
            if (index >= 0) {
                state->focused = index;
            }
        } else if (index == -1 || index == state->focused) {
            state->focused = -1;
        }
    }
    if (state->selected != oldSelected) {
        if (oldSelected >= 0) {
            SendItemChanged(hwnd, oldSelected, 0, LVIS_SELECTED);
        }
        if (state->selected >= 0) {
            SendItemChanged(hwnd, state->selected, LVIS_SELECTED, 0);
        }
    }
    InvalidateRect(hwnd, nullptr, TRUE);
    return TRUE;
}

int NextItem(const ListState* state, int start, UINT flags) {
    for (int i = std::max(start + 1, 0); i < state->count; ++i) {
        bool ok = true;
        if ((flags & LVNI_SELECTED) != 0 && i != state->selected) {
            ok = false;
        }
        if ((flags & LVNI_FOCUSED) != 0 && i != state->focused) {
            ok = false;
        }
        if (ok) {
            return i;
        }
    }
    return -1;
}

LRESULT Handle(HWND hwnd, ListState* state, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case LVM_INSERTCOLUMN: {
        auto* col = reinterpret_cast<const LVCOLUMN*>(lParam);
        if (col == nullptr) {
            return -1;
        }
        Column c;
        if ((col->mask & LVCF_TEXT) != 0 && col->pszText != nullptr) {
            c.text = col->pszText;
        }
        if ((col->mask & LVCF_WIDTH) != 0) {
            c.width = std::max(col->cx, 0);
        }
        if ((col->mask & LVCF_FMT) != 0) {
            c.fmt = col->fmt;
        }
        auto index = std::min(static_cast<std::size_t>(wParam), state->columns.size());
        state->columns.insert(state->columns.begin() + static_cast<std::ptrdiff_t>(index), c);
        InvalidateRect(hwnd, nullptr, TRUE);
        return static_cast<LRESULT>(index);
    }
    case LVM_GETCOLUMNWIDTH: {
        auto index = static_cast<std::size_t>(wParam);
        return index < state->columns.size() ? state->columns[index].width : 0;
    }
    case LVM_SETITEMCOUNT: {
        state->count = std::max(static_cast<int>(wParam), 0);
        // Rows that went away take their selection and focus with them.
        if (state->selected >= state->count) {
            state->selected = -1;
        }
        if (state->focused >= state->count) {
            state->focused = -1;
        }
        ClampTop(hwnd, state);
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
    }
    case LVM_GETITEMCOUNT:
        return state->count;
    case LVM_SETBKCOLOR: {
        state->bk = static_cast<COLORREF>(lParam);
        state->bkSet = true;
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
    }
    case LVM_GETBKCOLOR:
        return static_cast<LRESULT>(Background(state));
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
        DWORD old = state->exStyle;
        auto mask = static_cast<DWORD>(wParam);
        auto style = static_cast<DWORD>(lParam);
        state->exStyle = mask == 0 ? style : ((old & ~mask) | (style & mask));
        InvalidateRect(hwnd, nullptr, TRUE);
        return static_cast<LRESULT>(old);
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE:
        return static_cast<LRESULT>(state->exStyle);
    case LVM_GETNEXTITEM:
        return NextItem(state, static_cast<int>(static_cast<LPARAM>(wParam)),
                        static_cast<UINT>(LOWORD(static_cast<std::uintptr_t>(lParam))));
    case LVM_SETITEMSTATE:
        return SetItemState(hwnd, state, static_cast<int>(static_cast<LPARAM>(wParam)),
                            reinterpret_cast<const LVITEM*>(lParam));
    case LVM_GETITEMSTATE: {
        auto index = static_cast<int>(wParam);
        UINT result = 0;
        if (index == state->selected) {
            result |= LVIS_SELECTED;
        }
        if (index == state->focused) {
            result |= LVIS_FOCUSED;
        }
        return static_cast<LRESULT>(result & static_cast<UINT>(lParam));
    }
    case LVM_GETITEMRECT: {
        auto* rect = reinterpret_cast<RECT*>(lParam);
        auto index = static_cast<int>(wParam);
        if (rect == nullptr || index < 0 || index >= state->count) {
            return FALSE;
        }
        *rect = ItemRect(hwnd, state, index);
        return TRUE;
    }
    case LVM_ENSUREVISIBLE: {
        auto index = static_cast<int>(wParam);
        if (index < 0 || index >= state->count) {
            return FALSE;
        }
        EnsureVisible(hwnd, state, index);
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
    }
    case LVM_GETTOPINDEX:
        return state->top;
    case WM_KEYDOWN:
        return KeyDown(hwnd, state, wParam, lParam);
    case WM_LBUTTONDOWN:
        Tap(hwnd, state, lParam);
        return 0;
    case WM_PAINT:
        Paint(hwnd, state);
        return 0;
    case WM_SIZE:
        FollowWidth(state, LOWORD(static_cast<std::uintptr_t>(lParam)));
        return DefControlProc(hwnd, msg, wParam, lParam);
    default:
        return DefControlProc(hwnd, msg, wParam, lParam);
    }
}

} // namespace

LRESULT ListViewWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return ControlProc<ListState, Handle>(hwnd, msg, wParam, lParam);
}

} // namespace platform::ctl
