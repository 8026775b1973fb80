// Resources of the lookup dialogs: the stock detail dialog (138) with its two
// soft-key bars (139 for a watch-list stock, 143 for a preview), the
// add-stock dialog (140) with its bar (32807), and the market index view
// (150) with its bar (152).
//
// Positions and sizes are dialog units: 4 across and 8 down make one
// character cell, and a Chinese character takes two cells (8 units across).
// Each line of the detail dialog sits on a row of its own, so that all
// fourteen fields fit on a screen of about 20 rows.
#include "res/DialogTemplates.h"
#include "res/ResourceIds.h"
#include "res/Resources.h"

namespace {

using namespace dialogtemplates;

// A value of the detail dialog: a right-aligned static on the row of its
// label.
DLGITEMTEMPLATE Value(int id, short y) {
    return Item(WC_STATIC, u"", id, SS_RIGHT, 56, y, 64, 8);
}

DLGTEMPLATE StockDetailDialogTemplate() {
    DLGTEMPLATE t = FullScreenDialog(u"瞰市[个股]", 160, 160);
    auto& c = t.items;
    // Name at the top left, the code centred between "[" and "]".
    c.push_back(Item(WC_STATIC, u"", IDC_DETAIL_NAME, SS_LEFT, 0, 0, 72, 8));
    c.push_back(Label(u"[", 84, 0, 4));
    c.push_back(Item(WC_STATIC, u"", IDC_DETAIL_CODE, SS_CENTER, 88, 0, 24, 8));
    c.push_back(Label(u"]", 112, 0, 4));
    struct Row {
        const char16_t* label;
        int id;
    };
    static const Row rows[] = {
        {u"目标价(卖出):", IDC_DETAIL_SELL}, {u"目标价(买入):", IDC_DETAIL_BUY},
        {u"当前价:", IDC_DETAIL_LATEST},     {u"涨跌额:", IDC_DETAIL_CHANGE},
        {u"涨跌幅:", IDC_DETAIL_PERCENT},    {u"昨收盘:", IDC_DETAIL_PREVCLOSE},
        {u"今开盘:", IDC_DETAIL_OPEN},       {u"最高价:", IDC_DETAIL_HIGH},
        {u"最低价:", IDC_DETAIL_LOW},        {u"成交量:", IDC_DETAIL_VOLUME},
        {u"成交额:", IDC_DETAIL_TURNOVER},   {u"更新时间:", IDC_DETAIL_UPDATE},
    };
    short y = 16;
    for (const Row& row : rows) {
        c.push_back(Label(row.label, 0, y, 56));
        c.push_back(Value(row.id, y));
        y += 8;
    }
    return t;
}

DLGTEMPLATE AddStockDialogTemplate() {
    DLGTEMPLATE t = FullScreenDialog(u"瞰市[增加]", 160, 160);
    auto& c = t.items;
    c.push_back(Label(u"请输入股票代码:", 0, 0, 72));
    // The code entry: an edit field over a sorted drop-down list, ten
    // entries high when it opens.
    c.push_back(Item(WC_COMBOBOX, u"", IDC_ADDSTOCK_CODE,
                     CBS_DROPDOWN | CBS_SORT | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 0, 8, 120,
                     88));
    c.push_back(
        Label(u"由于手机内存空间有限，不能将所有股票代码列出，仅给出部分代码供参考，其它股票"
              u"输入6位代码后均可查询。",
              0, 24, 160, 24));
    // The result box: progress and error texts of a lookup, in red.
    c.push_back(
        Item(WC_EDIT, u"", IDC_ADDSTOCK_RESULT, ES_MULTILINE | ES_AUTOVSCROLL, 0, 56, 160, 24));
    c.push_back(
        Item(WC_BUTTON, u"上证指数", IDC_ADDSTOCK_SH, BS_PUSHBUTTON | WS_TABSTOP, 0, 88, 48, 8));
    c.push_back(
        Item(WC_BUTTON, u"深证成指", IDC_ADDSTOCK_SZ, BS_PUSHBUTTON | WS_TABSTOP, 64, 88, 48, 8));
    return t;
}

DLGTEMPLATE MarketIndexDialogTemplate() {
    DLGTEMPLATE t = FullScreenDialog(u"瞰市[指数]", 156, 165);
    auto& c = t.items;
    c.push_back(Label(u"上证指数：", 7, 7, 43, 10));
    c.push_back(Item(WC_STATIC, u"", IDC_INDEX_SH, SS_RIGHT, 50, 7, 61, 10));
    c.push_back(Label(u"深证成指：", 7, 21, 43, 10));
    c.push_back(Item(WC_STATIC, u"", IDC_INDEX_SZ, SS_RIGHT, 50, 21, 61, 10));
    c.push_back(Label(u"更新时间：", 7, 35, 43, 10));
    c.push_back(Item(WC_STATIC, u"", IDC_INDEX_TIME, SS_RIGHT, 50, 35, 61, 10));
    c.push_back(Item(WC_EDIT, u"", IDC_INDEX_STATUS, ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY, 7,
                     51, 106, 65));
    return t;
}

} // namespace

void AddLookupResources(ResourceModule& module) {
    module.dialogs[IDD_STOCKDETAIL] = StockDetailDialogTemplate();
    module.dialogs[IDD_ADDSTOCK] = AddStockDialogTemplate();
    module.dialogs[IDD_MARKETINDEX] = MarketIndexDialogTemplate();

    module.strings[IDS_LOOKUP_BACK] = u"返回";
    module.strings[IDS_LOOKUP_ALERTS] = u"提醒设置";
    module.strings[IDS_LOOKUP_CANCEL] = u"取消";
    module.strings[IDS_LOOKUP_SAVE] = u"保存";
    module.strings[IDS_LOOKUP_REFRESH] = u"手动刷新";
    module.strings[IDS_LOOKUP_QUERY] = u"查询";

    module.menuBars[IDR_DETAILBAR] =
        TwoKeyBar(IDS_LOOKUP_BACK, IDC_DETAIL_BACK, IDS_LOOKUP_ALERTS, IDC_DETAIL_ALERTS);
    module.menuBars[IDR_PREVIEWBAR] =
        TwoKeyBar(IDS_LOOKUP_CANCEL, IDC_PREVIEW_CANCEL, IDS_LOOKUP_SAVE, IDC_PREVIEW_SAVE);
    module.menuBars[IDR_INDEXBAR] =
        TwoKeyBar(IDS_LOOKUP_BACK, IDC_INDEX_BACK, IDS_LOOKUP_REFRESH, IDC_INDEX_REFRESH);
    module.menuBars[IDR_ADDSTOCKBAR] =
        TwoKeyBar(IDS_LOOKUP_BACK, IDC_ADDSTOCK_BACK, IDS_LOOKUP_QUERY, IDC_ADDSTOCK_QUERY);
}
