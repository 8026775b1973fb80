// The add-stock dialog (resource 140): the code entry with its preset list,
// the two index buttons, the lookup into the scratch record, the preview in
// the detail dialog, and the save step that makes the scratch record part of
// the watch list.
#include "watchlist/AddStockDialog.h"

#include "common/DialogSupport.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "net/HttpFetch.h"
#include "net/QuotePageParser.h"
#include "res/ResourceIds.h"
#include "watchlist/StockDetailDialog.h"

#include <string>

// Two names are padded with inner blanks to four character widths, and the
// "Ａ" of the first two is the full-width letter.
const char16_t* const PresetStocks[kPresetStockCount] = {
    u"000001   深发展Ａ", u"000002   万  科Ａ", u"601398   工商银行", u"600104   上海汽车",
    u"002024   苏宁电器", u"600036   招商银行", u"601088   中国神华", u"000538   云南白药",
    u"600028   中国石化", u"000024   招商地产", u"600050   中国联通", u"600519   贵州茅台",
    u"601318   中国平安", u"600005   武钢股份", u"000898   鞍钢股份", u"601919   中国远洋",
    u"601939   建设银行", u"601857   中国石油", u"600019   宝钢股份", u"601988   中国银行",
    u"000933   神火股份", u"000651   格力电器", u"600058   五矿发展", u"600030   中信证券",
    u"600837   海通证券", u"601666   平煤股份", u"600588   用友软件", u"600309   烟台万华",
    u"601898   中煤能源", u"000800   一汽轿车", u"600550   天威保变", u"600895   张江高科",
    u"600428   中远航运", u"600690   青岛海尔", u"600600   青岛啤酒", u"000858   五 粮 液",
    u"000157   中联重科", u"601186   中国铁建", u"601628   中国人寿", u"000951   中国重汽",
    u"600026   中海发展", u"600016   民生银行", u"601006   大秦铁路", u"600875   东方电气",
    u"601808   中海油服", u"600054   黄山旅游", u"600276   恒瑞医药", u"000063   中兴通讯",
};

namespace {

constexpr COLORREF kRed = 0x0000FF;

// The code entry holds at most 99 units; only the first six bytes of its GBK
// form are the code.
constexpr int kEntryUnits = 100;
constexpr size_t kCodeBytes = 6;

const char16_t kCodeTooShortText[] = u"股票代码必须为6位数字！";
const char16_t kLookingUpText[] = u"正在查询，请稍候...";
const char16_t kAlreadySavedText[] = u"已经存在，不能重复保存！";
const char16_t kTooManyText[] = u"对不起，股票保存个数不能大于16个！";

// "200 OK" in a reply, found after its first byte.
bool ReplyHasOk() {
    size_t at = LastReply.find("200 OK");
    return at != std::string::npos && at > 0;
}

void SetResult(HWND dlg, const char16_t* text) {
    SetDlgItemText(dlg, IDC_ADDSTOCK_RESULT, text);
}

// The entry's text in GBK. The whole entry is converted (a Chinese text of 99
// units needs up to 198 bytes), so nothing is cut in the middle.
std::string EntryText(HWND dlg) {
    return WideToAnsi(DlgItemText(dlg, IDC_ADDSTOCK_CODE, kEntryUnits));
}

// Shows the scratch record in the detail dialog's preview mode, then closes
// this dialog: after the preview the add flow is over, saved or not.
void OpenPreview(HWND dlg) {
    Shell.selectedRow = stockCount;
    QuoteRecord& scratch = WatchList[stockCount];
    // g++ 12 at -O3 takes these inlined assignments of a literal to a std::string for an
    // overlapping copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
    scratch.sellTarget = "--";
    scratch.sellAlerted = "P";
    scratch.buyTarget = "--";
    scratch.buyAlerted = "P";
    previewMode = "Y";
    RunDialog(IDD_STOCKDETAIL, StockDetailDialog);
    previewMode = "N";
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    EndDialog(dlg, 0);
}

// Fetches `request` for `code` into the scratch record. Returns false, with
// the failure text in the result box, when the connection or the fetch
// failed; the reply is then not looked at.
bool FetchForScratch(HWND dlg, const std::string& code, const std::string& request) {
    WatchList[stockCount].code = code;
    SetResult(dlg, kLookingUpText);
    if (EstablishConnection() == -1 || HttpFetch(request) == -1) {
        // With no connection method chosen there is no text, and the box
        // keeps the waiting text.
        if (const char16_t* text = ConnectionFailureLongText(Settings.ConnectionMethod)) {
            SetResult(dlg, text);
        }
        return false;
    }
    return true;
}

void LookUpTypedCode(HWND dlg) {
    std::string entry = EntryText(dlg);
    if (entry.size() < kCodeBytes) {
        SetResult(dlg, kCodeTooShortText);
        return;
    }
    std::string code = entry.substr(0, kCodeBytes);
    if (!FetchForScratch(dlg, code, BuildStockRequest(code))) {
        return;
    }
    if (!ReplyIsQuotePage(kStockPageMarker)) {
        SetResult(dlg, kStockNotFoundText);
        return;
    }
    ParseQuotePage(stockCount);
    OpenPreview(dlg);
}

void LookUpIndex(HWND dlg, const char* code, const std::string& request) {
    if (!FetchForScratch(dlg, code, request)) {
        return;
    }
    if (!ReplyIsQuotePage(kChangeAmountMarker)) {
        SetResult(dlg,
                  ReplyHasOk() ? kLookupServerBusyNoContentText : kLookupServerBusyNoReplyText);
        return;
    }
    ParseQuotePage(stockCount);
    OpenPreview(dlg);
}

void OnInitDialog(HWND dlg) {
    if (!InitFullScreenDialog(dlg, IDR_ADDSTOCKBAR)) {
        return;
    }
    HWND entry = GetDlgItem(dlg, IDC_ADDSTOCK_CODE);
    SetFocus(entry);
    // The combo box sorts them, so the user sees them in code order.
    for (const char16_t* preset : PresetStocks) {
        SendMessage(entry, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(preset));
    }
}

} // namespace

void SavePreviewedStock() {
    int row = Shell.selectedRow;
    if (row < 0 || row >= kWatchListSize) {
        return;
    }
    const std::string& code = WatchList[row].code;
    for (int i = 0; i < stockCount; ++i) {
        if (WatchList[i].code == code) {
            ShowMessageText(kAlreadySavedText);
            return;
        }
    }
    // Only the scratch record just past the watch list can join it.
    if (stockCount < kMaxStocks && row == stockCount) {
        ++stockCount;
    } else if (stockCount >= kMaxStocks) {
        ShowMessageText(kTooManyText);
    }
}

INT_PTR AddStockDialog(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        OnInitDialog(dlg);
        // The focus is on the code entry already.
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDC_ADDSTOCK_QUERY:
            LookUpTypedCode(dlg);
            break;
        case IDC_ADDSTOCK_SH:
            if (HIWORD(wParam) == BN_CLICKED) {
                LookUpIndex(dlg, "999998", BuildShIndexRequest());
            }
            break;
        case IDC_ADDSTOCK_SZ:
            if (HIWORD(wParam) == BN_CLICKED) {
                LookUpIndex(dlg, "999999", BuildSzIndexRequest());
            }
            break;
        case IDC_ADDSTOCK_BACK:
            // The scratch record keeps what a lookup left in it; it is not
            // part of the watch list.
            Shell.selectedRow = -1;
            EndDialog(dlg, 0);
            break;
        default:
            break;
        }
        return 0;
    case WM_CTLCOLOREDIT:
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_ADDSTOCK_RESULT) {
            static HBRUSH menuBrush = CreateSolidBrush(GetSysColor(COLOR_MENU));
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, kRed);
            SetBkColor(dc, GetSysColor(COLOR_MENU));
            return reinterpret_cast<INT_PTR>(menuBrush);
        }
        return 0;
    default:
        return 0;
    }
}
