// The stock detail dialog (resource 138): every field of one record, its
// colours on both backgrounds, the 40-second redisplay during trading hours,
// and its commands in the two modes.
//
// The dialog shows the record that selectedRow names when it opens and keeps
// to that record while it is open. selectedRow itself can change under the
// open dialog: the main window keeps running its refresh cycle, and giving
// the quote list its count after a cycle forgets a selection past the end of
// the watch list (which is where the add flow's scratch record sits), while
// drawing the list stores the list's own selected row. Following those
// changes would show, and in preview mode save, a different record than the
// one the user is looking at.
#include "watchlist/StockDetailDialog.h"

#include "common/DialogSupport.h"
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "refresh/RefreshCycle.h"
#include "res/ResourceIds.h"
#include "watchlist/AddStockDialog.h"

#include <string>

namespace {

// Text colours (COLORREF, 0x00BBGGRR).
constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kBlack = 0x000000;
constexpr COLORREF kRed = 0x0000FF;
constexpr COLORREF kBlue = 0xFF0000;
constexpr COLORREF kYellow = 0x00FFFF;
constexpr COLORREF kDarkGreen = 0x005000;
constexpr COLORREF kGreen = 0x00FF00;

// At most this many UTF-16 units of a field are shown (a 25-unit buffer with
// its terminator).
constexpr std::size_t kFieldUnits = 24;

const char16_t kNotSaved[] = u"(非保存)";

// The record the open dialog shows, fixed when it opens; -1 while closed.
int shownRow = -1;
// Set once a closing command has ended the dialog, so that the messages of
// its destruction do not arm its timer again.
bool closing = false;

// What "提醒设置" opens.
void (*alertsCommand)() = nullptr;

bool DefaultBackground() {
    return Settings.Background == "W";
}

// One brush per colour for the life of the program: the colour messages come
// with every repaint, and two colours are all the dialog ever needs.
HBRUSH BackgroundBrush() {
    static HBRUSH white = CreateSolidBrush(kWhite);
    static HBRUSH black = CreateSolidBrush(kBlack);
    return DefaultBackground() ? white : black;
}

void SetField(HWND dlg, int id, const std::string& field) {
    SetDlgItemAnsi(dlg, id, field, kFieldUnits);
}

void SetFieldOrNotSaved(HWND dlg, int id, const std::string& field) {
    if (field.empty()) {
        SetDlgItemText(dlg, id, kNotSaved);
    } else {
        SetField(dlg, id, field);
    }
}

void CloseDetail(HWND dlg) {
    Shell.selectedRow = -1;
    KillTimer(dlg, kDetailTimerId);
    closing = true;
    shownRow = -1;
    EndDialog(dlg, 0);
}

// The colours of one static control, by the table of the dialog.
INT_PTR ColourStatic(HDC dc, HWND control) {
    bool white = DefaultBackground();
    COLORREF background = white ? kWhite : kBlack;
    COLORREF text = white ? kBlack : kWhite;
    int id = GetDlgCtrlID(control);
    if (id == IDC_DETAIL_NAME) {
        text = kRed;
    } else if (id == IDC_DETAIL_SELL || id == IDC_DETAIL_BUY) {
        text = white ? kBlue : kYellow;
    } else if (id == IDC_DETAIL_LATEST || id == IDC_DETAIL_CHANGE || id == IDC_DETAIL_PERCENT) {
        double change = 0;
        if (shownRow >= 0 && shownRow < kWatchListSize) {
            change = ReadNumber(WatchList[shownRow].changePercent);
        }
        // Red and green are drawn opaque; at a change of 0 the three are
        // drawn like every other value.
        if (change > 0) {
            text = kRed;
            SetBkMode(dc, OPAQUE);
        } else if (change < 0) {
            text = white ? kDarkGreen : kGreen;
            SetBkMode(dc, OPAQUE);
        }
    }
    SetTextColor(dc, text);
    SetBkColor(dc, background);
    return reinterpret_cast<INT_PTR>(BackgroundBrush());
}

void OnInitDialog(HWND dlg) {
    closing = false;
    shownRow = Shell.selectedRow;
    if (!InitFullScreenDialog(dlg, previewMode == "Y" ? IDR_PREVIEWBAR : IDR_DETAILBAR)) {
        return;
    }
    ShowStockDetail(dlg, shownRow);
}

void OnCommand(HWND dlg, int command) {
    bool preview = previewMode == "Y";
    switch (command) {
    case IDOK:
    case IDC_PREVIEW_SAVE:
        if (preview) {
            // The save step works on the record this preview shows.
            Shell.selectedRow = shownRow;
            SavePreviewedStock();
        }
        CloseDetail(dlg);
        break;
    case IDC_DETAIL_BACK:
    case IDC_PREVIEW_CANCEL:
        CloseDetail(dlg);
        break;
    case IDC_DETAIL_ALERTS:
        if (preview) {
            break;
        }
        // The target price dialog works on selectedRow and sets it to -1
        // when it closes; this dialog leaves it so.
        Shell.selectedRow = shownRow;
        if (alertsCommand != nullptr) {
            alertsCommand();
        }
        KillTimer(dlg, kDetailTimerId);
        closing = true;
        shownRow = -1;
        EndDialog(dlg, 0);
        break;
    default:
        break;
    }
}

} // namespace

void SetDetailAlertsCommand(void (*command)()) {
    alertsCommand = command;
}

void ShowStockDetail(HWND dlg, int index) {
    if (index < 0 || index >= kWatchListSize) {
        return;
    }
    const QuoteRecord& r = WatchList[index];
    SetField(dlg, IDC_DETAIL_CODE, r.code);
    SetField(dlg, IDC_DETAIL_NAME, r.name);
    SetField(dlg, IDC_DETAIL_SELL, r.sellTarget);
    SetField(dlg, IDC_DETAIL_BUY, r.buyTarget);
    SetField(dlg, IDC_DETAIL_LATEST, r.latest);
    SetField(dlg, IDC_DETAIL_PERCENT, r.changePercent);
    SetField(dlg, IDC_DETAIL_CHANGE, r.change);
    SetField(dlg, IDC_DETAIL_PREVCLOSE, r.previousClose);
    SetField(dlg, IDC_DETAIL_OPEN, r.open);
    SetField(dlg, IDC_DETAIL_HIGH, r.high);
    SetField(dlg, IDC_DETAIL_LOW, r.low);
    SetFieldOrNotSaved(dlg, IDC_DETAIL_TURNOVER, r.turnover);
    SetFieldOrNotSaved(dlg, IDC_DETAIL_VOLUME, r.volume);
    SetField(dlg, IDC_DETAIL_UPDATE, r.updateTime);
}

INT_PTR StockDetailDialog(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    // Every message re-arms the redisplay timer, so that it fires 40 seconds
    // after the last message the dialog received.
    if (msg == WM_INITDIALOG) {
        closing = false;
    }
    if (!closing && msg != WM_DESTROY) {
        SetTimer(dlg, kDetailTimerId, kDetailTimerMs, nullptr);
    }
    switch (msg) {
    case WM_INITDIALOG:
        OnInitDialog(dlg);
        return TRUE;
    case WM_TIMER: {
        // Nothing is fetched here: the main window's refresh keeps rewriting
        // the records, and during trading hours this shows what it wrote.
        SYSTEMTIME now{};
        GetLocalTime(&now);
        if (IsTradingTime(now)) {
            ShowStockDetail(dlg, shownRow);
        }
        return 0;
    }
    case WM_COMMAND:
        OnCommand(dlg, LOWORD(wParam));
        return 0;
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(BackgroundBrush());
    case WM_CTLCOLORSTATIC:
        return ColourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    default:
        return 0;
    }
}

namespace {

// These values go back to their start with the rest of the program's state.
[[maybe_unused]] const bool kStateResetRegistered = RegisterStateReset([] {
    shownRow = -1;
    closing = false;
});

} // namespace
