// The two read-only dialogs of the main menu: the about box (163) and the
// data-traffic dialog (148); and the notes text. The message dialog (141)
// that shows any longer text is in common/ShellState.cpp.
//
// These dialogs are full screen with the shell's OK in the title bar and
// the one-key soft-key bar "返回" (142). A dialog whose bar cannot be created
// stays empty, like every other dialog of the program.
#include "app/InfoDialogs.h"

#include "common/DialogSupport.h"
#include "common/QuoteRecord.h"
#include "common/ShellState.h"
#include "net/HttpFetch.h"
#include "res/ResourceIds.h"

#include <string>

namespace {

// The "返回" soft key's command.
constexpr int kBackCommand = 32778;

// The three dialogs close on "返回" and on the title-bar OK.
void CloseOnBack(HWND dlg, WPARAM wParam) {
    if (LOWORD(wParam) == kBackCommand || LOWORD(wParam) == IDOK) {
        EndDialog(dlg, 0);
    }
}

} // namespace

INT_PTR AboutDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        // The icon and the name come with the template; nothing to fill.
        InitFullScreenDialog(dlg, IDR_BACKBAR);
        return 0;
    case WM_COMMAND:
        CloseOnBack(dlg, wParam);
        return 0;
    default:
        return 0;
    }
}

INT_PTR TrafficDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        if (InitFullScreenDialog(dlg, IDR_BACKBAR)) {
            SetDlgItemAnsi(dlg, IDC_TRAFFIC_RUN, FormatDouble("%.4f", RunTraffic));
            SetDlgItemAnsi(dlg, IDC_TRAFFIC_MONTH, FormatDouble("%.4f", Settings.MonthTraffic));
        }
        return 0;
    case WM_COMMAND:
        CloseOnBack(dlg, wParam);
        return 0;
    default:
        return 0;
    }
}

std::u16string NotesText() {
    static const char16_t* const kItems[] = {
        u"本系统适用于Windows Mobile 5.0版本以上手机。",
        u"本系统适用于中国移动CMWAP代理上网。如何设置CMWAP，请用网络搜索引擎搜索【CMWAP设置】。",
        u"本系统所占空间仅130K左右，建议安装时选择【设备】。请不要对安装目录及目录下的文件做任何修"
        u"改或删除，否则，系统将不能正常工作。",
        u"自动刷新将产生较大的上网流量，建议您选择中国移动CMWAP套餐，大部分地区提供10元500MB包月套"
        u"餐，详情请咨询中国移动【10086】。",
        u"如果您不需要自动刷新，请选择【主菜单】【设置】【刷新频率】关掉自动刷新功能。",
        u"请根据电力消耗和上网流量情况设定合适的刷新频率和自选股个数，刷新频率不宜过高，否则，电源"
        u"消耗将突增。",
        u"设置好刷新频率后，按主画面右上角【X】号，系统将在后台继续运行，不必紧盯屏幕，不影响您正常"
        u"工作，真正做到工作炒股两不误。",
        u"股价到达设定价格后，系统自动弹出提醒，本功能类似短信，但不产生任何费用，请放心使用。",
    };
    std::u16string text = u"注意事项：\r\n";
    int number = 1;
    for (const char16_t* item : kItems) {
        text += static_cast<char16_t>(u'0' + number);
        text += u"、";
        text += item;
        text += u"\r\n";
        ++number;
    }
    return text;
}

void ShowNotes() {
    const std::u16string text = NotesText();
    ShowMessageText(text.c_str());
}
