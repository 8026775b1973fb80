// The target price dialog (112): the sell and buy targets of the selected
// watch-list stock, typed as prices or stepped with spinners by one fen on
// the price or by one whole point on its percentage from the latest price.
// Saving stores the changed targets, re-arms their alerts and then opens the
// notification method dialog.
#include "alerts/TargetPriceDlg.h"

#include "alerts/NotifyMethodDlg.h"
#include "common/DialogSupport.h"
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "res/ResourceIds.h"

#include <cmath>
#include <string>

std::int32_t PercentDriven = 0;

namespace {

// Control texts are read with room for 20 UTF-16 units (19 characters).
constexpr int kTextRoom = 20;

// The record the open dialog works on: the selected row when it opened. A
// refresh may run while the dialog is open, but it never moves records.
int OpenRow = -1;

// The open record; none when the row is not a record in use (a stale
// selection must not give targets to the add flow's scratch record).
QuoteRecord* OpenRecord() {
    if (OpenRow < 0 || OpenRow >= stockCount || OpenRow >= kWatchListSize) {
        return nullptr;
    }
    return &WatchList[OpenRow];
}

// (p - L) / L * 100, for L > 0.
double PercentOf(double price, double latest) {
    return (price - latest) / latest * 100.0;
}

void WritePercent(HWND dlg, int percentId, double price, double latest) {
    SetDlgItemAnsi(dlg, percentId, FormatDouble("%.2f", PercentOf(price, latest)));
}

double Latest(HWND dlg) {
    return DlgItemNumber(dlg, IDC_TARGET_LATEST, kTextRoom);
}

// Saves one side: a non-zero number whose "%.2f" text differs from the stored
// target becomes the new target and re-arms that side's alert. Zero, text
// without a number and an unchanged target keep the stored state. A value
// too large to be a number ("1e999") is refused the same way: its text
// "inf" would not read back as a price. So is a value whose text is longer
// than the 19 characters the dialog reads back ("1e300" would be stored as
// some 300 digits, crowd stocks out of the watch-list file, and come back
// cut at the next opening, where saving it untouched would change it).
void SaveSide(HWND dlg, int editId, std::string& target, std::string& alerted) {
    const double value = DlgItemNumber(dlg, editId, kTextRoom);
    const std::string text = FormatDouble("%.2f", value);
    const bool readsBack =
        std::isfinite(value) && text.size() < static_cast<std::size_t>(kTextRoom);
    if (text != target && value != 0 && readsBack) {
        // g++ 12 at -O3 takes this inlined assignment of a literal to a std::string for an
        // overlapping copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
        alerted = "N";
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
        target = text;
    }
}

void CloseDialog(HWND dlg) {
    Shell.selectedRow = -1;
    OpenRow = -1;
    EndDialog(dlg, 0);
}

void FillDialog(HWND dlg, const QuoteRecord& record) {
    SetFocus(GetDlgItem(dlg, IDC_TARGET_SELL));
    SetDlgItemAnsi(dlg, IDC_TARGET_CODE, record.code);
    SetDlgItemAnsi(dlg, IDC_TARGET_NAME, record.name);
    SetDlgItemAnsi(dlg, IDC_TARGET_LATEST, record.latest);
    const double previousClose = ReadNumber(record.previousClose);
    SetDlgItemAnsi(dlg, IDC_TARGET_LIMITUP, FormatDouble("%.2f", previousClose * 1.1));
    SetDlgItemAnsi(dlg, IDC_TARGET_LIMITDOWN, FormatDouble("%.2f", previousClose * 0.9));
    SetDlgItemAnsi(dlg, IDC_TARGET_CHANGE, record.changePercent);
    SetDlgItemAnsi(dlg, IDC_TARGET_SELL, record.sellTarget);
    SetDlgItemAnsi(dlg, IDC_TARGET_BUY, record.buyTarget);

    const double latest = ReadNumber(record.latest);
    if (latest > 0) {
        WritePercent(dlg, IDC_TARGET_SELL_PERCENT, ReadNumber(record.sellTarget), latest);
        WritePercent(dlg, IDC_TARGET_BUY_PERCENT, ReadNumber(record.buyTarget), latest);
    }
}

// Steps a price edit by one fen and keeps its percentage in step.
void StepPrice(HWND dlg, int priceId, int percentId, int delta, double latest) {
    const double price = DlgItemNumber(dlg, priceId, kTextRoom) - delta * 0.01;
    SetDlgItemAnsi(dlg, priceId, FormatDouble("%0.2f", price));
    if (latest > 0) {
        WritePercent(dlg, percentId, price, latest);
    }
}

// Steps a percentage by one whole point (a fraction snaps to the whole number
// toward zero) and writes the price it stands for.
void StepPercent(HWND dlg, int percentId, int priceId, int delta, double latest) {
    if (!(latest > 0)) {
        return;
    }
    PercentDriven = 1;
    // Adding 0.0 turns a truncated -0.5 (that is, -0.0) into 0.0, which
    // prints as "0.00" rather than "-0.00".
    const double percent = std::trunc(DlgItemNumber(dlg, percentId, kTextRoom) - delta) + 0.0;
    SetDlgItemAnsi(dlg, percentId, FormatDouble("%0.2f", percent));
    SetDlgItemAnsi(dlg, priceId, FormatDouble("%.2f", latest * (1 + percent * 0.01)));
}

// Colours of the information statics; returns the brush for those it colours
// and 0 for every other static.
INT_PTR ColourStatic(HDC dc, HWND control) {
    constexpr COLORREF kRed = RGB(255, 0, 0);
    constexpr COLORREF kGreen = RGB(0, 255, 0);
    constexpr COLORREF kWhite = RGB(255, 255, 255);
    constexpr COLORREF kNearBlack = RGB(10, 10, 10);
    const int id = GetDlgCtrlID(control);
    switch (id) {
    case IDC_TARGET_LIMITUP:
        SetTextColor(dc, kRed);
        SetBkColor(dc, kNearBlack);
        break;
    case IDC_TARGET_LIMITDOWN:
        SetTextColor(dc, kGreen);
        SetBkColor(dc, kNearBlack);
        break;
    case IDC_TARGET_NAME:
        SetTextColor(dc, kRed);
        break;
    case IDC_TARGET_LATEST:
    case IDC_TARGET_CHANGE: {
        const QuoteRecord* record = OpenRecord();
        const double change = record ? ReadNumber(record->changePercent) : 0;
        if (change > 0) {
            SetTextColor(dc, kRed);
            SetBkMode(dc, OPAQUE);
        } else if (change < 0) {
            SetTextColor(dc, kGreen);
            SetBkMode(dc, OPAQUE);
        } else {
            SetTextColor(dc, kWhite);
        }
        SetBkColor(dc, kNearBlack);
        break;
    }
    default:
        return 0;
    }
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_MENU));
}

} // namespace

void OnTargetSpin(HWND dlg, int controlId, const NMUPDOWN* change) {
    PercentDriven = 0;
    const double latest = Latest(dlg);
    const int delta = change->iDelta;
    if (delta != 1 && delta != -1) {
        return;
    }
    switch (controlId) {
    case IDC_TARGET_SELL_SPIN:
        StepPrice(dlg, IDC_TARGET_SELL, IDC_TARGET_SELL_PERCENT, delta, latest);
        break;
    case IDC_TARGET_BUY_SPIN:
        StepPrice(dlg, IDC_TARGET_BUY, IDC_TARGET_BUY_PERCENT, delta, latest);
        break;
    case IDC_TARGET_SELL_PERCENT_SPIN:
        StepPercent(dlg, IDC_TARGET_SELL_PERCENT, IDC_TARGET_SELL, delta, latest);
        break;
    case IDC_TARGET_BUY_PERCENT_SPIN:
        StepPercent(dlg, IDC_TARGET_BUY_PERCENT, IDC_TARGET_BUY, delta, latest);
        break;
    default:
        break;
    }
}

INT_PTR TargetPriceDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        OpenRow = Shell.selectedRow;
        if (InitFullScreenDialog(dlg, IDR_SETTINGSBAR)) {
            if (const QuoteRecord* record = OpenRecord()) {
                FillDialog(dlg, *record);
            }
        }
        return 0;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header != nullptr && header->code == UDN_DELTAPOS) {
            OnTargetSpin(dlg, static_cast<int>(header->idFrom),
                         reinterpret_cast<const NMUPDOWN*>(lParam));
        }
        return 0;
    }
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDC_TARGET_SELL || id == IDC_TARGET_BUY) {
            // Keeps the percentage in step while the user types, except
            // right after a percentage spinner wrote the price.
            if (PercentDriven == 1) {
                return 0;
            }
            const double latest = Latest(dlg);
            if (latest > 0) {
                const int percentId =
                    id == IDC_TARGET_SELL ? IDC_TARGET_SELL_PERCENT : IDC_TARGET_BUY_PERCENT;
                WritePercent(dlg, percentId, DlgItemNumber(dlg, id, kTextRoom), latest);
            }
        } else if (id == IDC_SETTINGS_SAVE || id == IDOK) {
            if (QuoteRecord* record = OpenRecord()) {
                SaveSide(dlg, IDC_TARGET_SELL, record->sellTarget, record->sellAlerted);
                SaveSide(dlg, IDC_TARGET_BUY, record->buyTarget, record->buyAlerted);
            }
            CloseDialog(dlg);
            RunDialog(IDD_NOTIFYMETHOD, NotifyMethodDlgProc);
        } else if (id == IDC_SETTINGS_CANCEL) {
            CloseDialog(dlg);
        }
        return 0;
    }
    case WM_CTLCOLORSTATIC:
        return ColourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    default:
        return 0;
    }
}

namespace {

// These values go back to their start with the rest of the program's state.
[[maybe_unused]] const bool kStateResetRegistered = RegisterStateReset([] {
    PercentDriven = 0;
    OpenRow = -1;
});

} // namespace
