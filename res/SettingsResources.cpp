// Resources of the settings dialogs: target prices (112), notification method
// (164), refresh frequency (149), background colour (159) and connection
// method (165), and their common soft-key bar "取消" / "保存" (32786).
//
// Positions and sizes are dialog units: 4 across and 8 down make one
// character cell, and a Chinese character takes two cells (8 units across).
// The dialogs are laid out for a screen about 40 cells (160 units) wide;
// each line of controls sits on a row of its own, with a blank row between
// groups.
#include "res/DialogTemplates.h"
#include "res/ResourceIds.h"
#include "res/Resources.h"

#include <vector>

namespace {

using namespace dialogtemplates;

constexpr DWORD kRightEdit = ES_RIGHT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr DWORD kSpinner = UDS_ARROWKEYS | WS_TABSTOP;

// One target of the target price dialog on row `y`: the label, the price
// edit with its spinner and "元", the read-only percentage with its spinner
// and "%".
void AddTargetRow(std::vector<DLGITEMTEMPLATE>& c, const char16_t* label, short y, int priceId,
                  int priceSpinId, int percentId, int percentSpinId) {
    c.push_back(Label(label, 0, y, 20));
    c.push_back(Item(WC_EDIT, u"", priceId, kRightEdit, 20, y, 40, 8));
    c.push_back(Item(UPDOWN_CLASS, u"", priceSpinId, kSpinner, 60, y, 8, 8));
    c.push_back(Label(u"元", 68, y, 8));
    c.push_back(Item(WC_EDIT, u"", percentId, kRightEdit | ES_READONLY, 80, y, 36, 8));
    c.push_back(Item(UPDOWN_CLASS, u"", percentSpinId, kSpinner, 116, y, 8, 8));
    c.push_back(Label(u"%", 124, y, 4));
}

DLGTEMPLATE TargetPriceDialog() {
    DLGTEMPLATE t = FullScreenDialog(u"瞰市[提醒]", 160, 160);
    auto& c = t.items;
    // The stock: icon, name and [code].
    c.push_back(Item(WC_STATIC, u"#137", IDC_TARGET_ICON, SS_ICON, 0, 0, 12, 16));
    c.push_back(Item(WC_STATIC, u"", IDC_TARGET_NAME, SS_LEFT, 16, 0, 72, 8));
    c.push_back(Label(u"[", 92, 0, 4));
    c.push_back(Item(WC_STATIC, u"", IDC_TARGET_CODE, SS_LEFT, 96, 0, 28, 8));
    c.push_back(Label(u"]", 124, 0, 4));
    // Sell target, then buy target: each a price with its spinner, then the
    // percentage with its own.
    AddTargetRow(c, u"卖出:", 16, IDC_TARGET_SELL, IDC_TARGET_SELL_SPIN, IDC_TARGET_SELL_PERCENT,
                 IDC_TARGET_SELL_PERCENT_SPIN);
    AddTargetRow(c, u"买入:", 32, IDC_TARGET_BUY, IDC_TARGET_BUY_SPIN, IDC_TARGET_BUY_PERCENT,
                 IDC_TARGET_BUY_PERCENT_SPIN);
    // The latest quote: price and change, limit up and limit down.
    c.push_back(Label(u"现价:", 0, 48, 20));
    c.push_back(Item(WC_STATIC, u"", IDC_TARGET_LATEST, SS_LEFT, 20, 48, 48, 8));
    c.push_back(Label(u"涨幅:", 80, 48, 20));
    c.push_back(Item(WC_STATIC, u"", IDC_TARGET_CHANGE, SS_LEFT, 100, 48, 48, 8));
    c.push_back(Label(u"涨停:", 0, 64, 20));
    c.push_back(Item(WC_STATIC, u"", IDC_TARGET_LIMITUP, SS_LEFT, 20, 64, 48, 8));
    c.push_back(Label(u"跌停:", 80, 64, 20));
    c.push_back(Item(WC_STATIC, u"", IDC_TARGET_LIMITDOWN, SS_LEFT, 100, 64, 48, 8));
    c.push_back(Item(
        WC_STATIC,
        u"当股价到达设定目标价位时，系统自动弹出提醒信息，并伴随铃声或振动（和客户设定相关）。",
        IDC_TARGET_NOTE, SS_LEFT, 0, 80, 160, 32));
    return t;
}

DLGTEMPLATE NotifyMethodDialog() {
    DLGTEMPLATE t = FullScreenDialog(u"通知方式", 160, 160);
    auto& c = t.items;
    c.push_back(Label(u"请选择通知方式：", 0, 0, 160));
    c.push_back(Item(WC_BUTTON, u"托盘通知（多普达D600等）", IDC_NOTIFY_BUBBLE,
                     BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 0, 16, 160, 8));
    c.push_back(Item(WC_BUTTON, u"短信通知（所有机型）", IDC_NOTIFY_SMS, BS_AUTORADIOBUTTON, 0, 32,
                     160, 8));
    c.push_back(Item(WC_STATIC, u"手机号:", -1, SS_LEFT | WS_GROUP, 0, 48, 28, 8));
    c.push_back(Item(WC_EDIT, u"", IDC_NOTIFY_PHONE,
                     ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 28, 48, 104, 8));
    c.push_back(
        Label(u"自动通知前提条件：交易期间不能将手机置于休眠状态(但可锁定屏幕）", 0, 64, 160, 24));
    return t;
}

DLGTEMPLATE RefreshFrequencyDialog() {
    DLGTEMPLATE t = FullScreenDialog(u"瞰市[刷新频率]", 160, 160);
    auto& c = t.items;
    c.push_back(Label(u"请选择自动刷新频率：", 0, 0, 160));
    // The six choices form one group of radio buttons; the custom value's
    // edit and spinner follow them so that they do not split the group.
    c.push_back(Item(WC_BUTTON, u"20秒", IDC_FREQ_20, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 0,
                     16, 64, 8));
    c.push_back(Item(WC_BUTTON, u"30秒", IDC_FREQ_30, BS_AUTORADIOBUTTON, 80, 16, 64, 8));
    c.push_back(Item(WC_BUTTON, u"40秒", IDC_FREQ_40, BS_AUTORADIOBUTTON, 0, 32, 64, 8));
    c.push_back(Item(WC_BUTTON, u"50秒", IDC_FREQ_50, BS_AUTORADIOBUTTON, 80, 32, 64, 8));
    c.push_back(Item(WC_BUTTON, u"", IDC_FREQ_CUSTOM, BS_AUTORADIOBUTTON, 0, 48, 16, 8));
    c.push_back(Item(WC_BUTTON, u"停止自动刷新", IDC_FREQ_OFF, BS_AUTORADIOBUTTON, 0, 64, 80, 8));
    c.push_back(Item(WC_EDIT, u"", IDC_FREQ_MINUTES,
                     ES_RIGHT | ES_AUTOHSCROLL | WS_BORDER | WS_GROUP | WS_TABSTOP, 16, 48, 32, 8));
    c.push_back(Item(UPDOWN_CLASS, u"", IDC_FREQ_SPIN, kSpinner, 48, 48, 8, 8));
    c.push_back(Label(u"分", 60, 48, 8));
    c.push_back(Label(u"* 选中者为当前刷新频率。仅在交易期间自动刷新。非交易期间，可手动刷新。", 0,
                      80, 160, 32));
    return t;
}

DLGTEMPLATE BackgroundDialog() {
    DLGTEMPLATE t = FullScreenDialog(u"瞰市[背景]", 160, 160);
    auto& c = t.items;
    c.push_back(Label(u"请选择背景颜色:", 0, 0, 160));
    c.push_back(Item(WC_BUTTON, u"Windows缺省颜色", IDC_BACKGROUND_DEFAULT,
                     BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 0, 16, 160, 8));
    c.push_back(Item(WC_BUTTON, u"黑色背景(股市传统色)", IDC_BACKGROUND_BLACK, BS_AUTORADIOBUTTON,
                     0, 32, 160, 8));
    return t;
}

DLGTEMPLATE ConnectionDialog() {
    DLGTEMPLATE t = FullScreenDialog(u"瞰市[连接方式]", 160, 160);
    auto& c = t.items;
    c.push_back(Label(u"连接方式:", 0, 0, 40));
    // A drop-down list: the user picks one of the four entries and cannot
    // type. The list part opens below the box, four entries high.
    c.push_back(Item(WC_COMBOBOX, u"", IDC_CONNECTION_LIST,
                     CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, 16, 80, 48));
    // The refusal "请选择连接方式！" appears here, right of the list.
    c.push_back(Item(WC_STATIC, u"", IDC_CONNECTION_REFUSAL, SS_LEFT, 84, 16, 76, 8));
    return t;
}

} // namespace

void AddSettingsResources(ResourceModule& module) {
    module.dialogs[IDD_TARGETPRICE] = TargetPriceDialog();
    module.dialogs[IDD_NOTIFYMETHOD] = NotifyMethodDialog();
    module.dialogs[IDD_REFRESHFREQ] = RefreshFrequencyDialog();
    module.dialogs[IDD_BACKGROUND] = BackgroundDialog();
    module.dialogs[IDD_CONNECTION] = ConnectionDialog();

    // "取消" on the left sends 32795, "保存" on the right sends 32794.
    module.strings[IDS_CANCEL] = u"取消";
    module.strings[IDS_SAVE] = u"保存";
    module.menuBars[IDR_SETTINGSBAR] =
        TwoKeyBar(IDS_CANCEL, IDC_SETTINGS_CANCEL, IDS_SAVE, IDC_SETTINGS_SAVE);
}
