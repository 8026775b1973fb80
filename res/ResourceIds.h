// Numeric ids of the program's resources and commands. Menu and control ids
// are the program's command numbers.
#pragma once

// Dialog templates.
constexpr int IDD_TARGETPRICE = 112;
constexpr int IDD_STOCKDETAIL = 138;
constexpr int IDD_ADDSTOCK = 140;
constexpr int IDD_MESSAGE = 141;
constexpr int IDD_TRAFFIC = 148;
constexpr int IDD_REFRESHFREQ = 149;
constexpr int IDD_MARKETINDEX = 150;
constexpr int IDD_REFRESHPROGRESS = 151;
constexpr int IDD_BACKGROUND = 159;
constexpr int IDD_ABOUT = 163;
constexpr int IDD_NOTIFYMETHOD = 164;
constexpr int IDD_CONNECTION = 165;

// Menus and soft-key bars (menu-bar resources).
constexpr int IDM_NOTIFICATION = 102; // "Ok" / "Cancel" of a bubble
constexpr int IDR_MAINBAR = 104;      // main window: "退出" / "菜单"
constexpr int IDR_DETAILBAR = 139;    // stock detail, watch-list mode
constexpr int IDR_BACKBAR = 142;      // information dialogs: "返回"
constexpr int IDR_PREVIEWBAR = 143;   // stock detail, preview mode
constexpr int IDR_INDEXBAR = 152;     // market index view
constexpr int IDR_SETTINGSBAR = 32786; // settings dialogs: "取消" / "保存"
constexpr int IDR_ADDSTOCKBAR = 32807; // add-stock dialog: "返回" / "查询"

// Icon.
constexpr int IDI_STOCKAT = 137;

// Strings. 400-449 belong to the shell, 450-549 to the settings dialogs,
// 550-649 to the lookup, detail and index dialogs.
constexpr int IDS_EXIT = 410;  // "退出"
constexpr int IDS_MENU = 412;  // "菜单"
constexpr int IDS_TITLE = 413; // "瞰市"
constexpr int IDS_BACK = 425;  // "返回"

// Commands of the main window.
constexpr int IDC_EXIT = 32778;
constexpr int IDC_ALERTSETTINGS = 32786;
constexpr int IDC_ADDSTOCK = 32807;
constexpr int IDC_DELETESTOCK = 32805;
constexpr int IDC_STOCKDETAILS = 32804;
constexpr int IDC_MARKETINDEX = 32822;
constexpr int IDC_RECOMMEND = 32823;
constexpr int IDC_VERSIONUPDATE = 32858;
constexpr int IDC_NOTES = 32803;
constexpr int IDC_ABOUT = 32859;
constexpr int IDC_TRAFFIC = 32810;
constexpr int IDC_REFRESHFREQ = 32809;
constexpr int IDC_BACKGROUND = 32826;
constexpr int IDC_MANUALREFRESH = 32788;
constexpr int IDC_CONNECTIONMETHOD = 32860;

// Soft-key commands of the dialogs.
constexpr int IDC_SETTINGS_SAVE = 32794;
constexpr int IDC_SETTINGS_CANCEL = 32795;
constexpr int IDC_DETAIL_BACK = 32797;
constexpr int IDC_DETAIL_ALERTS = 32800;
constexpr int IDC_PREVIEW_SAVE = 32836;
constexpr int IDC_PREVIEW_CANCEL = 32838;
constexpr int IDC_INDEX_BACK = 32847;
constexpr int IDC_INDEX_REFRESH = 32849;

// The quote list.
constexpr int IDC_QUOTELIST = 2000;
