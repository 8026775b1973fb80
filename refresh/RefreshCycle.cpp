// The refresh cycle: timer 1 of the main window, the trading-hours test, the
// cycle that fetches, parses and checks every watch-list record in list
// order, and the manual refresh with its progress pop-up.
#include "refresh/RefreshCycle.h"

#include "alerts/AlertChecker.h"
#include "common/Captions.h"
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "net/HttpFetch.h"
#include "net/QuotePageParser.h"
#include "res/ResourceIds.h"

#include <algorithm>
#include <cstdint>

int RefreshIdle = 1;
std::string FetchStatus;

namespace {

void (*refreshSucceededHook)() = nullptr;
void (*refreshObserver)() = nullptr;

} // namespace

void SetRefreshSucceededHook(void (*hook)()) {
    refreshSucceededHook = hook;
}

void SetRefreshObserver(void (*observer)()) {
    refreshObserver = observer;
}

namespace {

// Timer 1 at -1: the longest period a timer takes (about 49.7 days), so that
// it in effect never fires.
constexpr DWORD kNeverMs = 0xFFFFFFFF;
constexpr std::int32_t kDefaultIntervalSeconds = 40;
constexpr DWORD kProgressDelayMs = 1000;
constexpr std::int64_t kTradingMarginMs = 3600 * 1000;

const char16_t* const kRefreshingText = u"正在刷新，请稍候...";

// "秒" (seconds) in the device code page.
std::string SecondsUnit() {
    const char16_t* unit = u"秒";
    char buffer[8] = {};
    int n = WideCharToMultiByte(CP_ACP, 0, unit, 1, buffer, sizeof(buffer), nullptr, nullptr);
    return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

} // namespace

bool IsTradingTime(const SYSTEMTIME& now) {
    const double t = now.wHour + now.wMinute * 0.01;
    const bool inHours = (9.15 < t && t < 11.32) || (12.58 < t && t < 15.10);
    if (!inHours) {
        return false;
    }
    // Sunday is 0, Saturday 6.
    return now.wDayOfWeek >= 1 && now.wDayOfWeek <= 5;
}

std::int64_t MsUntilTrading(const SYSTEMTIME& now) {
    if (IsTradingTime(now)) {
        return 0;
    }
    // The first minutes inside the two sessions: 09:16 and 12:59.
    constexpr int kOpenings[] = {9 * 60 + 16, 12 * 60 + 59};
    const int minute = now.wHour * 60 + now.wMinute;
    for (int day = 0; day <= 7; ++day) {
        const int weekday = (now.wDayOfWeek + day) % 7;
        if (weekday < 1 || weekday > 5) {
            continue;
        }
        for (int opening : kOpenings) {
            const std::int64_t minutes = day * 1440 + opening - minute;
            if (minutes > 0) {
                return minutes * 60000 - now.wSecond * 1000 - now.wMilliseconds;
            }
        }
    }
    return 0; // not reached: every week has a weekday
}

bool IsTradingTimeNow() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return IsTradingTime(now);
}

void ApplyRefreshTimer(HWND mainWindow) {
    if (Settings.RefreshInterval == -1) {
        SetTimer(mainWindow, kRefreshTimerId, kNeverMs, nullptr);
    }
    if (Settings.RefreshInterval == 0) {
        Settings.RefreshInterval = kDefaultIntervalSeconds;
        Settings.RefreshUnit = SecondsUnit();
        SetTimer(mainWindow, kRefreshTimerId, kDefaultIntervalSeconds * 1000, nullptr);
    }
    if (Settings.RefreshInterval > 0) {
        // A custom interval of many minutes must not wrap around 32 bits into
        // a short period: the period stops at the longest one a timer takes.
        std::int64_t ms = static_cast<std::int64_t>(Settings.RefreshInterval) * 1000;
        // Outside trading hours a tick would find nothing to do: the timer
        // sleeps until the next session opens, so that an idle program does
        // not wake at all. It aims an hour early when the opening is further
        // away than that (a daylight-saving change in the device's zone
        // could otherwise make it an hour late), and that tick re-arms it.
        SYSTEMTIME now{};
        GetLocalTime(&now);
        std::int64_t untilOpen = MsUntilTrading(now);
        if (untilOpen > kTradingMarginMs) {
            untilOpen -= kTradingMarginMs;
        }
        ms = std::max(ms, untilOpen);
        SetTimer(mainWindow, kRefreshTimerId, ms > kNeverMs ? kNeverMs : static_cast<UINT>(ms),
                 nullptr);
    }
}

void OnRefreshTimer() {
    if (stockCount == 0) {
        return;
    }
    if (!IsTradingTimeNow()) {
        return;
    }
    if (RefreshIdle == 1) {
        if (RunRefreshCycle() != -1) {
            SetRowCount(stockCount);
        }
    }
}

int RunRefreshCycle() {
    RefreshIdle = 0;
    if (EstablishConnection() == -1) {
        RefreshIdle = 1;
        return -1;
    }
    int result = 0;
    for (int i = 0; i < stockCount; ++i) {
        if (HttpFetch(BuildQuoteRequest(WatchList[i].code)) == -1) {
            // The records after this one keep their values.
            result = -1;
            break;
        }
        if (ReplyIsQuotePage(kStockPageMarker) || ReplyIsQuotePage(kIndexPageMarker)) {
            ParseQuotePage(i);
            AlertChecker(i);
        }
    }
    if (result == 0) {
        // The once-a-run service request is network work of this cycle too:
        // it runs while the flag still says so, so that a box it may show
        // cannot let a second cycle start under it.
        if (refreshSucceededHook != nullptr) {
            refreshSucceededHook();
        }
        if (refreshObserver != nullptr) {
            refreshObserver();
        }
    }
    RefreshIdle = 1;
    return result;
}

void ManualRefresh() {
    if (stockCount == 0) {
        return;
    }
    RefreshIdle = 1;
    const char16_t* text = kRefreshingText;
    int n = 0;
    while (text[n] != 0) {
        Shell.messageText[n] = text[n];
        ++n;
    }
    Shell.messageText[n] = 0;
    FetchStatus.clear();
    RunDialog(IDD_REFRESHPROGRESS, RefreshProgressDlgProc);
    if (FetchStatus == "error") {
        if (const char16_t* failure = ConnectionFailureShortText(Settings.ConnectionMethod)) {
            MessageBox(nullptr, failure, kShellCaption, MB_OK | MB_ICONERROR);
        }
    }
    SetRowCount(stockCount);
}

INT_PTR RefreshProgressDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    // The pop-up shows its text for a quiet second before the cycle starts.
    SetTimer(dlg, kProgressTimerId, kProgressDelayMs, nullptr);

    // The two brushes live for the whole run: the pop-up opens once per
    // manual refresh and would otherwise leak one each time.
    static HBRUSH defaultBrush = CreateSolidBrush(RGB(153, 204, 204));
    static HBRUSH whiteBrush = CreateSolidBrush(RGB(255, 255, 255));
    const bool defaultBackground = Settings.Background == "W";

    switch (msg) {
    case WM_INITDIALOG: {
        SHINITDLGINFO info{};
        info.dwMask = SHIDIM_FLAGS;
        info.hDlg = dlg;
        info.dwFlags = SHIDIF_SIPDOWN;
        SHInitDialog(&info);
        SetDlgItemText(dlg, IDC_REFRESHPROGRESS_TEXT, Shell.messageText);
        return TRUE;
    }
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(defaultBackground ? defaultBrush : whiteBrush);
    case WM_CTLCOLORSTATIC: {
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) != IDC_REFRESHPROGRESS_TEXT) {
            return 0;
        }
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, RGB(0, 0, 0));
        SetBkColor(dc, defaultBackground ? RGB(153, 204, 204) : RGB(255, 255, 255));
        return reinterpret_cast<INT_PTR>(defaultBackground ? defaultBrush : whiteBrush);
    }
    case WM_TIMER:
        if (RefreshIdle == 1) {
            if (RunRefreshCycle() == -1) {
                FetchStatus = "error";
            }
            KillTimer(dlg, kProgressTimerId);
            EndDialog(dlg, 0);
        }
        return 0;
    default:
        return 0;
    }
}

namespace {

// These values go back to their start with the rest of the program's state.
[[maybe_unused]] const bool kStateResetRegistered = RegisterStateReset([] {
    RefreshIdle = 1;
    FetchStatus.clear();
});

} // namespace
