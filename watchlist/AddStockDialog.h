// The add-stock dialog and the stock lookup: a code typed or picked from the
// preset list, or one of the two index buttons, is fetched from the quote
// server and parsed into the scratch record (index stockCount), shown in the
// detail dialog's preview mode, and joins the watch list only through the
// preview's save step.
#pragma once
#include "platform/win.h"

// Dialog procedure of resource 140. Ends with 0 in every case; whether a
// stock was added shows only in stockCount.
INT_PTR AddStockDialog(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);

// The save step of the preview ("保存" or OK of the detail dialog in preview
// mode) for record selectedRow, the scratch record: refuses a code already in
// the watch list and a 17th stock (each in the message dialog), otherwise
// makes the record the last of the watch list by incrementing stockCount.
// Closing the detail dialog is left to the caller.
void SavePreviewedStock();

// The 48 preset entries of the code list, in the order they are added: a
// six-digit code, three blanks and the stock's short name.
constexpr int kPresetStockCount = 48;
extern const char16_t* const PresetStocks[kPresetStockCount];
