// The refresh frequency dialog (149): the interval of the automatic refresh
// during trading hours, as a preset of 20 to 50 seconds, a custom number of
// minutes (in tenths, at least one), or off. It works on pending copies of
// RefreshInterval and RefreshUnit until it saves; the main window's timer
// takes the new interval at its next message.
#include "refresh/RefreshFrequencyDlg.h"

#include "common/DialogSupport.h"
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "res/ResourceIds.h"

#include <cmath>

std::int32_t PendingRefreshInterval = 40;
std::string PendingRefreshUnit;

namespace {

// The custom value is read with room for 50 units (49 characters).
constexpr int kMinutesRoom = 50;

// Whole seconds of a custom number of minutes, truncated toward zero. Values
// beyond the timer's range are held at its longest interval (a negative one
// is below a minute anyway and is refused on save).
std::int32_t MinutesToSeconds(double minutes) {
    const double seconds = std::trunc(minutes * 60.0);
    if (seconds >= kMaxRefreshIntervalSeconds) {
        return kMaxRefreshIntervalSeconds;
    }
    if (seconds <= -kMaxRefreshIntervalSeconds) {
        return -kMaxRefreshIntervalSeconds;
    }
    return static_cast<std::int32_t>(seconds);
}

void CheckRadio(HWND dlg, int id) {
    SendDlgItemMessage(dlg, id, BM_SETCHECK, BST_CHECKED, 0);
}

// The radio of a stored interval in seconds; 0 when none matches.
int RadioOf(std::int32_t interval) {
    switch (interval) {
    case 20:
        return IDC_FREQ_20;
    case 30:
        return IDC_FREQ_30;
    case 40:
        return IDC_FREQ_40;
    case 50:
        return IDC_FREQ_50;
    case -1:
        return IDC_FREQ_OFF;
    default:
        return 0;
    }
}

void Choose(std::int32_t interval) {
    PendingRefreshInterval = interval;
    PendingRefreshUnit = kUnitSeconds;
}

void Save(HWND dlg) {
    if (PendingRefreshUnit == kUnitMinutes) {
        PendingRefreshInterval =
            MinutesToSeconds(DlgItemNumber(dlg, IDC_FREQ_MINUTES, kMinutesRoom));
        if (PendingRefreshInterval < 60) {
            ShowMessageText(u"定制刷新频率不能小于1分钟，\r\n请重新输入！");
            return;
        }
    }
    Settings.RefreshInterval = PendingRefreshInterval;
    Settings.RefreshUnit = PendingRefreshUnit;
    EndDialog(dlg, 0);
}

void OnSpin(HWND dlg, const NMUPDOWN* change) {
    if (change->iDelta != 1 && change->iDelta != -1) {
        return;
    }
    const double minutes =
        DlgItemNumber(dlg, IDC_FREQ_MINUTES, kMinutesRoom) - change->iDelta * 0.1;
    SetDlgItemAnsi(dlg, IDC_FREQ_MINUTES, FormatDouble("%0.1f", minutes));
}

} // namespace

INT_PTR RefreshFrequencyDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG: {
        if (!InitSettingsDialog(dlg)) {
            return 0;
        }
        PendingRefreshInterval = Settings.RefreshInterval;
        PendingRefreshUnit = Settings.RefreshUnit;
        SetDlgItemText(dlg, IDC_FREQ_MINUTES, u"1.0");
        int radio = 0;
        if (Settings.RefreshUnit == kUnitMinutes) {
            SetDlgItemAnsi(dlg, IDC_FREQ_MINUTES,
                           FormatDouble("%.1f", Settings.RefreshInterval * (1.0 / 60.0)));
            radio = IDC_FREQ_CUSTOM;
        } else {
            radio = RadioOf(Settings.RefreshInterval);
        }
        if (radio != 0) {
            CheckRadio(dlg, radio);
        }
        SetFocus(GetDlgItem(dlg, radio != 0 ? radio : IDC_FREQ_20));
        return 0;
    }
    case WM_COMMAND:
        // Radio buttons choose when clicked; other notifications (and the
        // edit's) choose nothing.
        if (HIWORD(wParam) != BN_CLICKED || SettingsBarCommand(dlg, LOWORD(wParam), Save)) {
            return 0;
        }
        switch (LOWORD(wParam)) {
        case IDC_FREQ_20:
            Choose(20);
            break;
        case IDC_FREQ_30:
            Choose(30);
            break;
        case IDC_FREQ_40:
            Choose(40);
            break;
        case IDC_FREQ_50:
            Choose(50);
            break;
        case IDC_FREQ_OFF:
            Choose(-1);
            break;
        case IDC_FREQ_CUSTOM:
            // The interval is taken from the edit on save.
            PendingRefreshUnit = kUnitMinutes;
            break;
        default:
            break;
        }
        return 0;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header != nullptr && header->code == UDN_DELTAPOS &&
            header->idFrom == static_cast<UINT_PTR>(IDC_FREQ_SPIN)) {
            OnSpin(dlg, reinterpret_cast<const NMUPDOWN*>(lParam));
        }
        return 0;
    }
    default:
        return 0;
    }
}

namespace {

// These values go back to their start with the rest of the program's state.
[[maybe_unused]] const bool kStateResetRegistered = RegisterStateReset([] {
    PendingRefreshInterval = 40;
    PendingRefreshUnit.clear();
});

} // namespace
