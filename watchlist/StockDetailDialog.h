// The stock detail dialog: every field of one watch-list record on one
// screen, coloured by the direction of the change, redisplayed every 40
// seconds during trading hours so that a refresh running under it shows.
// It has two modes, chosen by previewMode before it opens: a watch-list
// stock ("N": "返回" / "提醒设置") and the add flow's preview of the scratch
// record ("Y": "取消" / "保存").
#pragma once
#include "platform/win.h"

// Dialog procedure of resource 138. The opener sets previewMode and
// selectedRow first; the dialog shows record selectedRow and ends with 0.
INT_PTR StockDetailDialog(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);

// Sets the value controls of the detail dialog from record `index`: each
// field converted from GBK to UTF-16 (at most 24 units of it), volume and
// turnover as "(非保存)" when empty. An index outside the watch list's 21
// records changes nothing.
void ShowStockDetail(HWND dlg, int index);

// Id and period of the dialog's redisplay timer.
constexpr UINT_PTR kDetailTimerId = 2;
constexpr UINT kDetailTimerMs = 40000;

// What "提醒设置" opens for record selectedRow of the watch list (the target
// price dialog, which sets selectedRow to -1 when it closes); the detail
// dialog closes after it. The program's top installs it; without one the
// key only closes the dialog. Resetting the program's state keeps it.
void SetDetailAlertsCommand(void (*command)());
