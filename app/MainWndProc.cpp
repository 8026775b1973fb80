// The main window procedure and the command dispatch. Every command either
// acts on the watch list directly (exit, delete) or opens one of the modal
// dialogs and, where the dialog may have changed the watch list or its look,
// gives the list its row count again.
#include "app/MainWndProc.h"

#include "alerts/TargetPriceDlg.h"
#include "app/ConnectionDlg.h"
#include "app/InfoDialogs.h"
#include "app/QuoteList.h"
#include "app/ServiceInfo.h"
#include "common/DialogSupport.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "net/MarketIndexView.h"
#include "refresh/BackgroundDlg.h"
#include "refresh/RefreshCycle.h"
#include "refresh/RefreshFrequencyDlg.h"
#include "res/ResourceIds.h"
#include "watchlist/AddStockDialog.h"
#include "watchlist/DataFiles.h"

#include <string>

namespace {

const char16_t* const kExitConfirmText = u"确实要退出吗？退出后将丧失提醒功能，建议您【取消】后按屏"
                                         u"幕右上角的【X】将系统最小化，系统将继续保持提醒功能。";
const char16_t* const kNoStockForAlertsText = u"没有股票被选中，请选择要设置提醒的股票！";
const char16_t* const kNoStockForDeleteText = u"没有股票被选中，请选择要删除的股票！";
const char16_t* const kDeleteConfirmHead = u"确实要删除【";
const char16_t* const kDeleteConfirmTail = u"】吗？按【确定】删除，按【取消】放弃。";

int Notice(const char16_t* text, UINT type) {
    return MessageBox(nullptr, text, kShellCaption, type);
}

// The only way the data files are written: the settings first, then the
// watch list; then the program ends.
void SaveAndEnd(HWND hwnd) {
    SaveSettings();
    SaveWatchList();
    KillTimer(hwnd, 1);
    DestroyWindow(hwnd);
}

void ExitCommand(HWND hwnd) {
    if (Notice(kExitConfirmText, MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK) {
        return;
    }
    SaveAndEnd(hwnd);
}

void DeleteCommand() {
    if (Shell.selectedRow == -1) {
        Notice(kNoStockForDeleteText, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const int row = Shell.selectedRow;
    // The selection may point past the records in use only when something
    // went wrong; then there is no name to ask about and nothing to remove.
    if (row < 0 || row >= stockCount) {
        Notice(kNoStockForDeleteText, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    std::u16string text = kDeleteConfirmHead;
    text += AnsiToWide(WatchList[row].name);
    text += kDeleteConfirmTail;
    if (Notice(text.c_str(), MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK) {
        return;
    }
    RemoveStock(row);
    SetRowCount(stockCount);
}

LRESULT OnCreate(HWND hwnd) {
    SHMENUBARINFO bar{};
    bar.cbSize = sizeof(bar);
    bar.hwndParent = hwnd;
    bar.nToolBarId = IDR_MAINBAR;
    bar.hInstRes = Shell.instance;
    if (!SHCreateMenuBar(&bar)) {
        return -1;
    }
    RECT barRect{};
    GetWindowRect(bar.hwndMB, &barRect);
    Shell.menuBarHeight = barRect.bottom - barRect.top;

    if (CreateQuoteList(hwnd) == -1) {
        return -1;
    }
    LoadSettings();
    ApplyQuoteListBackground();
    stockCount = LoadWatchList();
    SetRowCount(stockCount);
    return 0;
}

LRESULT OnSettingChange(HWND hwnd, WPARAM wParam) {
    if (wParam != SETTINGCHANGE_RESET) {
        return 0;
    }
    RECT work{};
    SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
    const int width = work.right - work.left;
    const int height = work.bottom - work.top;
    MoveWindow(hwnd, work.left, work.top, width, height, FALSE);
    MoveWindow(Shell.listWindow, 0, 0, width, height, FALSE);
    return 0;
}

} // namespace

LRESULT OnMainCommand(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case IDC_EXIT:
        ExitCommand(hwnd);
        return 0;
    case IDC_ALERTSETTINGS:
        if (Shell.selectedRow == -1) {
            Notice(kNoStockForAlertsText, MB_OK | MB_ICONEXCLAMATION);
        } else {
            RunDialog(IDD_TARGETPRICE, TargetPriceDlgProc);
        }
        return 0;
    case IDC_ADDSTOCK:
        RunDialog(IDD_ADDSTOCK, AddStockDialog);
        SetRowCount(stockCount);
        return 0;
    case IDC_DELETESTOCK:
        DeleteCommand();
        return 0;
    case IDC_STOCKDETAILS:
        // The same as activating the selected row: the "no stock is
        // selected" box at -1, else the detail dialog for the row.
        OpenSelectedStock(Shell.selectedRow);
        return 0;
    case IDC_MARKETINDEX:
        RunDialog(IDD_MARKETINDEX, MarketIndexDlgProc);
        return 0;
    case IDC_RECOMMEND:
        ShowRecommendations();
        return 0;
    case IDC_VERSIONUPDATE:
        RunVersionUpdate();
        return 0;
    case IDC_NOTES:
        ShowNotes();
        return 0;
    case IDC_ABOUT:
        RunDialog(IDD_ABOUT, AboutDlgProc);
        return 0;
    case IDC_TRAFFIC:
        RunDialog(IDD_TRAFFIC, TrafficDlgProc);
        return 0;
    case IDC_REFRESHFREQ:
        // The new interval reaches timer 1 at the next message.
        RunDialog(IDD_REFRESHFREQ, RefreshFrequencyDlgProc);
        return 0;
    case IDC_BACKGROUND:
        RunDialog(IDD_BACKGROUND, BackgroundDlgProc);
        ApplyQuoteListBackground();
        SetRowCount(stockCount);
        return 0;
    case IDC_MANUALREFRESH:
        ManualRefresh();
        return 0;
    case IDC_CONNECTIONMETHOD:
        RunDialog(IDD_CONNECTION, ConnectionMethodDlgProc);
        return 0;
    default:
        return DefWindowProc(hwnd, WM_COMMAND, wParam, lParam);
    }
}

LRESULT MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // Before any message is looked at: remember the window and re-arm the
    // refresh timer, so that it fires only after a whole quiet interval.
    Shell.mainWindow = hwnd;
    ApplyRefreshTimer(hwnd);

    switch (msg) {
    case WM_CREATE:
        return OnCreate(hwnd);
    case WM_ACTIVATE:
        if (LOWORD(wParam) != 0) {
            SetFocus(Shell.listWindow);
        }
        return 0;
    case WM_SETTINGCHANGE:
        return OnSettingChange(hwnd, wParam);
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_ENDSESSION:
        // The system stops the program (a service stop, a logout, a
        // shutdown): it ends as after the exit command, its files written.
        if (wParam != FALSE) {
            SaveAndEnd(hwnd);
        }
        return 0;
    case WM_COMMAND:
        return OnMainCommand(hwnd, wParam, lParam);
    case WM_TIMER:
        OnRefreshTimer();
        return 0;
    case WM_MEASUREITEM: {
        // Only the list's rows are measured here; anything else that asks
        // goes to the default procedure.
        auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (item == nullptr || item->CtlType != ODT_LISTVIEW) {
            return DefWindowProc(hwnd, msg, wParam, lParam);
        }
        return OnQuoteListMeasureItem(item);
    }
    case WM_DRAWITEM:
        return OnQuoteListDrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    case WM_NOTIFY:
        return OnQuoteListNotify(hwnd, wParam, lParam);
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}
