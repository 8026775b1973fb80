// The market index view (resource 150): the two market-index lines and the
// time of the quotes as the parser last left them, coloured by direction,
// and a refresh on demand from the stock page of code 000001, which carries
// both lines.
//
// A successful refresh replaces the open view by a fresh one that shows the
// new texts with an empty status box, so that one "返回" always returns to
// the main window. The first view opened from the menu runs the fresh views
// one after another, each in its own modal call; a fresh view that refreshes
// again ends itself and asks for the next. That keeps at most two views open
// at a time, however often the user refreshes, where opening each new view
// from inside the previous one would nest one more modal loop per refresh.
#include "net/MarketIndexView.h"

#include "common/DialogSupport.h"
#include "common/ProgramState.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "net/HttpFetch.h"
#include "net/QuotePageParser.h"
#include "res/ResourceIds.h"

#include <string>

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kDarkGreen = RGB(0, 80, 0);
// A line with neither sign after its first byte: black, readable on the
// white background.
constexpr COLORREF kUnsignedLine = RGB(0, 0, 0);

// Result of a fresh view that refreshed and wants to be replaced in turn.
constexpr INT_PTR kReplaceView = 2;

const char16_t kRefreshingText[] = u"正在刷新，请稍候...";

// True while the first view runs the fresh views that replace it.
bool replacing = false;

void SetStatus(HWND dlg, const char16_t* text) {
    SetDlgItemText(dlg, IDC_INDEX_STATUS, text);
}

// A text found after its first byte.
bool FoundAfterStart(const std::string& text, const char* what) {
    size_t at = text.find(what);
    return at != std::string::npos && at > 0;
}

COLORREF LineColour(const std::string& line) {
    if (FoundAfterStart(line, "+")) {
        return kRed;
    }
    if (FoundAfterStart(line, "-")) {
        return kDarkGreen;
    }
    return kUnsignedLine;
}

void OnInitDialog(HWND dlg) {
    // The white brush of the two lines belongs to this view; it goes with
    // the view's window.
    SetWindowLongPtr(dlg, GWL_USERDATA, reinterpret_cast<std::intptr_t>(CreateSolidBrush(kWhite)));

    if (!InitFullScreenDialog(dlg, IDR_INDEXBAR)) {
        return;
    }
    SetDlgItemAnsi(dlg, IDC_INDEX_SH, ShIndexText);
    SetDlgItemAnsi(dlg, IDC_INDEX_SZ, SzIndexText);
    SetDlgItemAnsi(dlg, IDC_INDEX_TIME, LastUpdateTime);
}

void ShowConnectionFailure(HWND dlg) {
    SetStatus(dlg, u"");
    if (const char16_t* text = ConnectionFailureShortText(Settings.ConnectionMethod)) {
        SetStatus(dlg, text);
    }
}

void Refresh(HWND dlg) {
    SetStatus(dlg, kRefreshingText);
    std::string request = BuildMarketIndexRequest();
    if (EstablishConnection() == -1 || HttpFetch(request) == -1) {
        ShowConnectionFailure(dlg);
        return;
    }
    if (!ReplyIsQuotePage(nullptr)) {
        SetStatus(dlg, u"");
        SetStatus(dlg, kIndexViewServerBusyText);
        return;
    }
    ShIndexText = IndexLineText(LastReply, kShIndexLabel);
    SzIndexText = IndexLineText(LastReply, kSzIndexLabel);
    LastUpdateTime = StockPageUpdateTime(LastReply).value_or(std::string());

    if (replacing) {
        // A fresh view: the first view opens the next one.
        EndDialog(dlg, kReplaceView);
        return;
    }
    // The first view: it ends now, and leaves when the last fresh view does.
    EndDialog(dlg, 0);
    replacing = true;
    while (RunDialog(IDD_MARKETINDEX, MarketIndexDlgProc) == kReplaceView) {
    }
    replacing = false;
}

} // namespace

INT_PTR MarketIndexDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        OnInitDialog(dlg);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDC_INDEX_REFRESH:
            Refresh(dlg);
            return TRUE;
        case IDC_INDEX_BACK:
            EndDialog(dlg, 0);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_CTLCOLORSTATIC: {
        int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
        if (id != IDC_INDEX_SH && id != IDC_INDEX_SZ) {
            return FALSE;
        }
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, LineColour(id == IDC_INDEX_SH ? ShIndexText : SzIndexText));
        SetBkColor(dc, kWhite);
        return static_cast<INT_PTR>(GetWindowLongPtr(dlg, GWL_USERDATA));
    }
    case WM_DESTROY: {
        auto brush = reinterpret_cast<HBRUSH>(GetWindowLongPtr(dlg, GWL_USERDATA));
        if (brush != nullptr) {
            SetWindowLongPtr(dlg, GWL_USERDATA, 0);
            DeleteObject(brush);
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

namespace {

// These values go back to their start with the rest of the program's state.
[[maybe_unused]] const bool kStateResetRegistered = RegisterStateReset([] { replacing = false; });

} // namespace
