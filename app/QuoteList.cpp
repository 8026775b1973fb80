// The quote list: creation with its columns, the owner-drawn rows with the
// market's colour convention, and the list's notifications.
#include "app/QuoteList.h"

#include "app/MainWndProc.h"
#include "common/DialogSupport.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "res/ResourceIds.h"
#include "watchlist/StockDetailDialog.h"

#include <string>

namespace {

constexpr DWORD kQuoteListStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL |
                                  LVS_REPORT | LVS_OWNERDRAWFIXED | LVS_OWNERDATA;
static_assert(kQuoteListStyle == 0x50B01401);

constexpr int kRowHeight = 22;

// A record's 8-bit field drawn as UTF-16. The whole text is converted
// (however long); the cell's rectangle clips it on the screen.
void DrawCell(HDC dc, const std::string& text, RECT band, UINT format) {
    std::u16string wide = AnsiToWide(text);
    DrawText(dc, wide.c_str(), -1, &band, format);
}

const char16_t* const kNoStockSelectedText = u"没有股票被选中，请选择要浏览行情的股票！";

} // namespace

QuoteListColors QuoteListColorsFor(bool defaultBackground) {
    if (defaultBackground) {
        return {0xFFFFFF, 0x000000, 0x0000FF, 0x005000, 0xFF0000};
    }
    return {0x000000, 0xFFFFFF, 0x0000FF, 0x00FF00, 0x00FFFF};
}

COLORREF QuoteListBackground() {
    return Settings.Background == "W" ? 0xFFFFFF : 0x000000;
}

int CreateQuoteList(HWND mainWindow) {
    RECT client{};
    GetClientRect(mainWindow, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top - Shell.menuBarHeight;
    HWND list = CreateWindowEx(0, WC_LISTVIEW, nullptr, kQuoteListStyle, client.left, client.top,
                               width, height, mainWindow,
                               reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(IDC_QUOTELIST)),
                               Shell.instance, nullptr);
    if (list == nullptr) {
        return -1;
    }
    Shell.listWindow = list;
    LRESULT ex = SendMessage(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    SendMessage(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                static_cast<LPARAM>(static_cast<DWORD>(ex) | LVS_EX_FULLROWSELECT));

    // Header widths follow the window width at creation; products are cut
    // toward zero to whole pixels.
    const int w24 = static_cast<int>(width * 0.24);
    const int w26 = static_cast<int>(width * 0.26);
    const int nameWidth = width - GetSystemMetrics(SM_CXVSCROLL) - 2 * w24 - w26;
    struct Column {
        const char16_t* header;
        int width;
    };
    const Column columns[4] = {
        {u"名称", nameWidth}, {u"最新", w24}, {u"涨跌", w24}, {u"目标(卖)", w26}};
    for (int i = 0; i < 4; ++i) {
        std::u16string header = columns[i].header;
        LVCOLUMN col{};
        col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        col.fmt = LVCFMT_RIGHT;
        col.cx = columns[i].width;
        col.pszText = header.data();
        col.iSubItem = i;
        if (SendMessage(list, LVM_INSERTCOLUMN, static_cast<WPARAM>(i),
                        reinterpret_cast<LPARAM>(&col)) == -1) {
            return -1;
        }
    }
    return 0;
}

void ApplyQuoteListBackground() {
    SendMessage(Shell.listWindow, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(QuoteListBackground()));
}

LRESULT OnQuoteListMeasureItem(MEASUREITEMSTRUCT* item) {
    item->itemHeight = kRowHeight;
    return TRUE;
}

void DrawQuoteRow(HDC dc, const RECT& rect, int row, bool selected) {
    const bool defaultBackground = Settings.Background == "W";
    const QuoteListColors colors = QuoteListColorsFor(defaultBackground);

    HBRUSH black = CreateSolidBrush(0x000000);
    HBRUSH white = CreateSolidBrush(0xFFFFFF);
    HBRUSH highlight = CreateSolidBrush(GetSysColor(COLOR_HIGHLIGHT));
    SetTextColor(dc, colors.nameText);
    FillRect(dc, &rect, selected ? highlight : (defaultBackground ? white : black));
    DeleteObject(black);
    DeleteObject(white);
    DeleteObject(highlight);

    // The texts lie on the filled row (the highlight included) rather than
    // on a background of their own.
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    if (row >= 0 && row < kWatchListSize) {
        const QuoteRecord& r = WatchList[row];
        DrawCell(dc, r.name, rect, DT_LEFT | DT_VCENTER | DT_SINGLELINE);

        // The "%" sign ends the number; a text that is no number reads as 0.
        const double change = ReadNumber(r.changePercent);
        COLORREF priceColor = colors.nameText;
        if (change > 0) {
            priceColor = colors.rising;
        }
        if (change < 0) {
            priceColor = colors.falling;
        }
        SetTextColor(dc, priceColor);

        // Three bands of 0.26 of the row width each, measured from the right;
        // they do not follow the header widths.
        const int w = static_cast<int>((rect.right - rect.left) * 0.26);
        const UINT numberFormat = DT_RIGHT | DT_VCENTER | DT_SINGLELINE;
        DrawCell(dc, r.latest, RECT{rect.right - 3 * w, rect.top, rect.right - 2 * w, rect.bottom},
                 numberFormat);
        DrawCell(dc, r.changePercent,
                 RECT{rect.right - 2 * w, rect.top, rect.right - w, rect.bottom}, numberFormat);
        SetTextColor(dc, colors.sellTarget);
        DrawCell(dc, r.sellTarget, RECT{rect.right - w, rect.top, rect.right, rect.bottom},
                 numberFormat);
    }
    SetBkMode(dc, oldMode);
    // Leave the context with the text colours of the background.
    SetTextColor(dc, colors.nameText);
    SetBkColor(dc, colors.background);
}

LRESULT OnQuoteListDrawItem(const DRAWITEMSTRUCT* item) {
    if (item == nullptr || item->CtlType != ODT_LISTVIEW) {
        return TRUE;
    }
    const int row = static_cast<int>(item->itemID);
    const bool selected = (item->itemState & ODS_SELECTED) != 0;
    if (selected) {
        // A row the user moved to with the keypad counts as selected too.
        Shell.selectedRow = row;
    }
    DrawQuoteRow(item->hDC, item->rcItem, row, selected);
    return TRUE;
}

LRESULT OpenSelectedStock(int item) {
    Shell.selectedRow = item;
    if (item == -1) {
        MessageBox(nullptr, kNoStockSelectedText, kShellCaption, MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    // g++ 12 at -O3 takes this inlined assignment of a literal to a std::string for an overlapping
    // copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
    previewMode = "N";
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    RunDialog(IDD_STOCKDETAIL, StockDetailDialog);
    return 0;
}

LRESULT OnQuoteListNotify(HWND mainWindow, WPARAM wParam, LPARAM lParam) {
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header == nullptr || header->idFrom != static_cast<UINT_PTR>(IDC_QUOTELIST)) {
        return DefWindowProc(mainWindow, WM_NOTIFY, wParam, lParam);
    }
    if (header->code == LVN_ITEMACTIVATE) {
        const auto* activate = reinterpret_cast<const NMITEMACTIVATE*>(lParam);
        return OpenSelectedStock(activate->iItem);
    }
    return 0;
}
