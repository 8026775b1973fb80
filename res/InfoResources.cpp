// Resources of the three information dialogs: the message dialog (141), the
// about box (163), the data-traffic dialog (148), and their one-key soft-key
// bar "返回" (142). Positions and sizes are dialog units.
#include "res/DialogTemplates.h"
#include "res/ResourceIds.h"
#include "res/Resources.h"

using namespace dialogtemplates;

void AddInfoResources(ResourceModule& module) {
    // The message dialog: one scrolling, read-only text.
    DLGTEMPLATE message = FullScreenDialog(u"瞰市", 141, 157);
    message.items.push_back(Item(
        WC_EDIT, u"", IDC_MESSAGE_TEXT,
        ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP, 3, 2, 131, 148));
    module.dialogs[IDD_MESSAGE] = message;

    // The about box: the icon and the program's full name with its version.
    DLGTEMPLATE about = FullScreenDialog(u"关于瞰市", 156, 150);
    about.items.push_back(Item(WC_STATIC, u"#137", IDC_ABOUT_ICON, SS_ICON, 5, 7, 12, 16));
    about.items.push_back(
        Item(WC_STATIC, u"瞰市股票提醒 V2.0", IDC_ABOUT_NAME, SS_LEFT, 23, 11, 128, 8));
    module.dialogs[IDD_ABOUT] = about;

    // The data-traffic dialog: this run's and this month's megabytes, and
    // advice on keeping the traffic low.
    DLGTEMPLATE traffic = FullScreenDialog(u"瞰市[流量]", 170, 157);
    traffic.items.push_back(Item(WC_STATIC, u"自最近一次登录:", -1, SS_LEFT, 8, 8, 60, 8));
    traffic.items.push_back(Item(WC_STATIC, u"", IDC_TRAFFIC_RUN, SS_RIGHT, 71, 8, 44, 8));
    traffic.items.push_back(Item(WC_STATIC, u"MB", -1, SS_LEFT, 117, 8, 12, 8));
    traffic.items.push_back(Item(WC_STATIC, u"本月流量:", -1, SS_LEFT, 8, 19, 60, 8));
    traffic.items.push_back(Item(WC_STATIC, u"", IDC_TRAFFIC_MONTH, SS_RIGHT, 71, 19, 44, 8));
    traffic.items.push_back(Item(WC_STATIC, u"MB", -1, SS_LEFT, 117, 19, 12, 8));
    traffic.items.push_back(Item(
        WC_STATIC,
        u"1、请根据流量选择适当的刷新频率和自选股个数。\r\n2、为节省上网费用，建议您申请CMWAP套"
        u"餐，大部分地区提供10元包月MO套餐。详情请咨询中国移动【10086】服务热线。",
        -1, SS_LEFT, 8, 45, 117, 76));
    module.dialogs[IDD_TRAFFIC] = traffic;

    // One key, "返回", sending 32778 to the dialog.
    module.menuBars[IDR_BACKBAR] = OneKeyBar(IDS_BACK, 32778);
}
