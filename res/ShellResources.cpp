// The shell's resources: the main window's soft-key bar and its menu, the
// strings of the title and the soft keys, the menu of a notification
// bubble's soft keys, the program's icon, and the refresh progress pop-up.
#include "res/ResourceIds.h"
#include "res/Resources.h"

namespace {

MENUITEMTEMPLATE Command(const char16_t* text, UINT id) {
    return MENUITEMTEMPLATE{text, id, false, {}};
}
MENUITEMTEMPLATE Rule() {
    return MENUITEMTEMPLATE{u"", 0, true, {}};
}
MENUITEMTEMPLATE Popup(const char16_t* text, std::vector<MENUITEMTEMPLATE> items) {
    return MENUITEMTEMPLATE{text, 0, false, std::move(items)};
}

} // namespace

void AddShellResources(ResourceModule& module) {
    module.strings[IDS_EXIT] = u"退出";
    module.strings[IDS_MENU] = u"菜单";
    module.strings[IDS_TITLE] = u"瞰市";
    module.strings[IDS_BACK] = u"返回";

    // Menu 104: the left soft key's command, then the popup that the right
    // soft key opens.
    MENUTEMPLATE main;
    main.items.push_back(Command(u"退出", IDC_EXIT));
    main.items.push_back(Popup(u"菜单", {
                                            Command(u"提醒设置", IDC_ALERTSETTINGS),
                                            Command(u"增加自选股", IDC_ADDSTOCK),
                                            Command(u"删除自选股", IDC_DELETESTOCK),
                                            Command(u"个股明细", IDC_STOCKDETAILS),
                                            Command(u"大盘指数", IDC_MARKETINDEX),
                                            Rule(),
                                            Popup(u"服务",
                                                  {
                                                      Command(u"瞰市荐股", IDC_RECOMMEND),
                                                      Command(u"版本更新", IDC_VERSIONUPDATE),
                                                      Command(u"注意事项", IDC_NOTES),
                                                      Command(u"关于瞰市", IDC_ABOUT),
                                                  }),
                                            Rule(),
                                            Command(u"上网流量", IDC_TRAFFIC),
                                            Popup(u"系统设置",
                                                  {
                                                      Command(u"刷新频率", IDC_REFRESHFREQ),
                                                      Command(u"背景颜色", IDC_BACKGROUND),
                                                      Command(u"连接方式", IDC_CONNECTIONMETHOD),
                                                  }),
                                            Command(u"手动刷新", IDC_MANUALREFRESH),
                                        }));
    module.menus[IDR_MAINBAR] = std::move(main);

    MENUBARTEMPLATE bar;
    bar.menuId = IDR_MAINBAR;
    bar.keyCount = 2;
    bar.left = SOFTKEYTEMPLATE{IDS_EXIT, static_cast<UINT>(IDC_EXIT), -1};
    bar.right = SOFTKEYTEMPLATE{IDS_MENU, 0, 1};
    module.menuBars[IDR_MAINBAR] = bar;

    // The soft keys of a notification bubble.
    MENUTEMPLATE notification;
    notification.items.push_back(Command(u"Ok", 10));
    notification.items.push_back(Command(u"Cancel", IDCANCEL));
    module.menus[IDM_NOTIFICATION] = std::move(notification);

    ICONTEMPLATE icon;
    icon.rows = {u"瞰"};
    icon.color = RGB(255, 0, 0);
    module.icons[IDI_STOCKAT] = icon;

    // The refresh progress pop-up: borderless, centred, one line of text.
    DLGTEMPLATE progress;
    progress.style = WS_POPUP | DS_SETFONT | DS_CENTER;
    progress.exStyle = 0;
    progress.x = 0;
    progress.y = 0;
    progress.cx = 112;
    progress.cy = 24;
    progress.title = u"";
    progress.fontName = u"System";
    progress.pointSize = 8;
    progress.items.push_back(
        DLGITEMTEMPLATE{WC_STATIC, u"", IDC_REFRESHPROGRESS_TEXT, SS_CENTER, 0, 4, 8, 104, 8});
    module.dialogs[IDD_REFRESHPROGRESS] = std::move(progress);
}
