// The main window's quote list: a virtual, owner-drawn report list view whose
// row i is always drawn from watch-list record i, coloured by the direction
// of the price (rising red, falling green) on either background.
#pragma once

#include "platform/win.h"

// Colours of the list on the default ("W") and the black background.
struct QuoteListColors {
    COLORREF background;
    COLORREF nameText; // also the price and change when the change is zero
    COLORREF rising;
    COLORREF falling;
    COLORREF sellTarget;
};
QuoteListColors QuoteListColorsFor(bool defaultBackground);
// The list's background for the current Background setting: white for "W",
// black otherwise.
COLORREF QuoteListBackground();

// Creates the list (control 2000) over the main window's client area less the
// soft-key bar, sets full-row selection and inserts the four columns. Returns
// 0, or -1 when the control or a column could not be made.
int CreateQuoteList(HWND mainWindow);
// Sets the list's background colour from the Background setting.
void ApplyQuoteListBackground();

// The main window's handlers for its list. The measuring is for list-view
// items (ODT_LISTVIEW) only: rows of 22 pixels.
LRESULT OnQuoteListMeasureItem(MEASUREITEMSTRUCT* item);
LRESULT OnQuoteListDrawItem(const DRAWITEMSTRUCT* item);
// WM_NOTIFY from control 2000; other controls go to DefWindowProc.
LRESULT OnQuoteListNotify(HWND mainWindow, WPARAM wParam, LPARAM lParam);
// LVN_ITEMACTIVATE: stores the row as selectedRow and opens the stock detail
// dialog for it (or says that no stock is selected).
LRESULT OpenSelectedStock(int item);

// Draws row `row` of the watch list into a device context (the WM_DRAWITEM
// work, without the selection bookkeeping).
void DrawQuoteRow(HDC dc, const RECT& rect, int row, bool selected);
