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
constexpr int IDM_NOTIFICATION = 102;  // "Ok" / "Cancel" of a bubble
constexpr int IDR_MAINBAR = 104;       // main window: "退出" / "菜单"
constexpr int IDR_DETAILBAR = 139;     // stock detail, watch-list mode
constexpr int IDR_BACKBAR = 142;       // information dialogs: "返回"
constexpr int IDR_PREVIEWBAR = 143;    // stock detail, preview mode
constexpr int IDR_INDEXBAR = 152;      // market index view
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

// Strings of the settings dialogs' soft-key bar (menu-bar resource 32786).
constexpr int IDS_CANCEL = 450; // "取消"
constexpr int IDS_SAVE = 451;   // "保存"

// Controls of the information dialogs.
constexpr int IDC_MESSAGE_TEXT = 1047;  // message dialog: the read-only text
constexpr int IDC_ABOUT_ICON = 1034;    // about box: icon 137
constexpr int IDC_ABOUT_NAME = 1036;    // about box: full name and version
constexpr int IDC_TRAFFIC_RUN = 1018;   // traffic of this run, "%.4f" MB
constexpr int IDC_TRAFFIC_MONTH = 1019; // traffic of this month, "%.4f" MB

// Controls of the target price dialog.
constexpr int IDC_TARGET_ICON = 1034;
constexpr int IDC_TARGET_NAME = 1006;
constexpr int IDC_TARGET_CODE = 1014;
constexpr int IDC_TARGET_SELL = 1007;
constexpr int IDC_TARGET_SELL_SPIN = 1009;
constexpr int IDC_TARGET_SELL_PERCENT = 1010;
constexpr int IDC_TARGET_SELL_PERCENT_SPIN = 1012;
constexpr int IDC_TARGET_BUY = 1008;
constexpr int IDC_TARGET_BUY_SPIN = 1011;
constexpr int IDC_TARGET_BUY_PERCENT = 1015;
constexpr int IDC_TARGET_BUY_PERCENT_SPIN = 1016;
constexpr int IDC_TARGET_LATEST = 1018;
constexpr int IDC_TARGET_CHANGE = 1026;
constexpr int IDC_TARGET_LIMITUP = 1019;
constexpr int IDC_TARGET_LIMITDOWN = 1020;
constexpr int IDC_TARGET_NOTE = 1035;

// Controls of the notification method dialog.
constexpr int IDC_NOTIFY_BUBBLE = 1099;
constexpr int IDC_NOTIFY_SMS = 1100;
constexpr int IDC_NOTIFY_PHONE = 1101;

// Controls of the refresh frequency dialog.
constexpr int IDC_FREQ_20 = 1071;
constexpr int IDC_FREQ_30 = 1055;
constexpr int IDC_FREQ_40 = 1056;
constexpr int IDC_FREQ_50 = 1057;
constexpr int IDC_FREQ_CUSTOM = 1069;
constexpr int IDC_FREQ_MINUTES = 1059;
constexpr int IDC_FREQ_SPIN = 1063;
constexpr int IDC_FREQ_OFF = 1064;

// Controls of the background colour dialog.
constexpr int IDC_BACKGROUND_DEFAULT = 1088;
constexpr int IDC_BACKGROUND_BLACK = 1089;

// Controls of the connection method dialog.
constexpr int IDC_CONNECTION_LIST = 1102;
constexpr int IDC_CONNECTION_REFUSAL = 1103;

// Strings of the lookup, detail and index dialogs' soft-key bars.
constexpr int IDS_LOOKUP_BACK = 550;    // "返回"
constexpr int IDS_LOOKUP_ALERTS = 551;  // "提醒设置"
constexpr int IDS_LOOKUP_CANCEL = 552;  // "取消"
constexpr int IDS_LOOKUP_SAVE = 553;    // "保存"
constexpr int IDS_LOOKUP_REFRESH = 554; // "手动刷新"
constexpr int IDS_LOOKUP_QUERY = 555;   // "查询"

// Soft-key commands of the add-stock dialog ("返回" and "查询").
constexpr int IDC_ADDSTOCK_BACK = 32778;
constexpr int IDC_ADDSTOCK_QUERY = 32807;

// Controls of the stock detail dialog.
constexpr int IDC_DETAIL_NAME = 1006;
constexpr int IDC_DETAIL_CODE = 1014;
constexpr int IDC_DETAIL_SELL = 1020;
constexpr int IDC_DETAIL_BUY = 1021;
constexpr int IDC_DETAIL_LATEST = 1018;
constexpr int IDC_DETAIL_CHANGE = 1019;
constexpr int IDC_DETAIL_PERCENT = 1026;
constexpr int IDC_DETAIL_PREVCLOSE = 1027;
constexpr int IDC_DETAIL_OPEN = 1028;
constexpr int IDC_DETAIL_HIGH = 1029;
constexpr int IDC_DETAIL_LOW = 1030;
constexpr int IDC_DETAIL_VOLUME = 1031;
constexpr int IDC_DETAIL_TURNOVER = 1032;
constexpr int IDC_DETAIL_UPDATE = 1033;

// Controls of the add-stock dialog.
constexpr int IDC_ADDSTOCK_CODE = 1095;
constexpr int IDC_ADDSTOCK_RESULT = 1048;
constexpr int IDC_ADDSTOCK_SH = 1098;
constexpr int IDC_ADDSTOCK_SZ = 1102;

// Controls of the market index view.
constexpr int IDC_INDEX_SH = 1018;
constexpr int IDC_INDEX_SZ = 1019;
constexpr int IDC_INDEX_TIME = 1020;
constexpr int IDC_INDEX_STATUS = 1073;

// The refresh progress pop-up's one static control.
constexpr int IDC_REFRESHPROGRESS_TEXT = 1019;
