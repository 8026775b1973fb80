// The controls inside a real modal dialog made from a template: the dialog
// procedure hears their notifications, Tab moves the focus between them and
// the keys reach the focused one, and the statics take the colours the
// dialog procedure gives them.
#include "platform/headless/Driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using platform::headless::Driver;

struct DialogLog {
    std::vector<std::pair<int, int>> commands; // id, notification
    std::vector<int> deltas;
    HWND dialog = nullptr;
};
DialogLog* log = nullptr;

INT_PTR TestDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        log->dialog = dlg;
        SendMessage(GetDlgItem(dlg, 1089), BM_SETCHECK, BST_CHECKED, 0);
        SetDlgItemText(dlg, 1007, u"10.00");
        return TRUE;
    case WM_COMMAND:
        log->commands.emplace_back(LOWORD(wParam), HIWORD(wParam));
        if (LOWORD(wParam) == IDOK) {
            EndDialog(dlg, 7);
        }
        return TRUE;
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lParam);
        if (hdr->code == UDN_DELTAPOS) {
            log->deltas.push_back(reinterpret_cast<NMUPDOWN*>(lParam)->iDelta);
        }
        return TRUE;
    }
    case WM_CTLCOLORSTATIC:
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == 1019) {
            auto dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, RGB(255, 0, 0));
            SetBkColor(dc, RGB(10, 10, 10));
            return reinterpret_cast<INT_PTR>(platform::MakeStockBrush(RGB(10, 10, 10)));
        }
        return FALSE;
    default:
        return FALSE;
    }
}

DLGTEMPLATE MakeTemplate() {
    DLGTEMPLATE t{};
    t.style = DS_MODALFRAME;
    t.x = 0;
    t.y = 0;
    t.cx = 160;
    t.cy = 120;
    t.title = u"瞰市[背景]";
    auto item = [](const char16_t* cls, const char16_t* text, int id, DWORD style, short x, short y,
                   short cx, short cy) {
        DLGITEMTEMPLATE i{};
        i.className = cls;
        i.text = text;
        i.id = id;
        i.style = style;
        i.x = x;
        i.y = y;
        i.cx = cx;
        i.cy = cy;
        return i;
    };
    // Positions in dialog units: 4 across and 8 down make one cell.
    t.items.push_back(item(WC_STATIC, u"请选择背景颜色:", -1, SS_LEFT, 0, 0, 80, 8));
    t.items.push_back(item(WC_BUTTON, u"Windows缺省颜色", 1088, BS_AUTORADIOBUTTON, 0, 8, 100, 8));
    t.items.push_back(
        item(WC_BUTTON, u"黑色背景(股市传统色)", 1089, BS_AUTORADIOBUTTON, 0, 16, 100, 8));
    t.items.push_back(item(WC_EDIT, u"", 1007, ES_RIGHT, 0, 24, 40, 8));
    t.items.push_back(item(UPDOWN_CLASS, u"", 1009, 0, 40, 24, 8, 8));
    t.items.push_back(item(WC_STATIC, u"10.99", 1019, SS_RIGHT, 0, 32, 40, 8));
    return t;
}

TEST(ControlsInADialog, NotificationsReachTheDialogProcedureAndTabMovesTheFocus) {
    Driver d;
    DialogLog dl;
    log = &dl;
    DLGTEMPLATE tmpl = MakeTemplate();
    INT_PTR result = -1;
    d.Run([&] { result = DialogBoxIndirectParam(nullptr, &tmpl, nullptr, TestDlgProc, 0); });
    ASSERT_NE(nullptr, dl.dialog);
    HWND windows = d.OnDevice([&] { return GetDlgItem(dl.dialog, 1088); });
    HWND black = d.OnDevice([&] { return GetDlgItem(dl.dialog, 1089); });
    HWND edit = d.OnDevice([&] { return GetDlgItem(dl.dialog, 1007); });
    HWND spin = d.OnDevice([&] { return GetDlgItem(dl.dialog, 1009); });
    // SetDlgItemText during WM_INITDIALOG already told the dialog.
    EXPECT_NE(std::find(dl.commands.begin(), dl.commands.end(), std::make_pair(1007, 0x0300)),
              dl.commands.end());
    EXPECT_EQ(BST_CHECKED, d.CheckState(dl.dialog, 1089));

    // The first focusable control has the focus; Enter clicks it.
    EXPECT_EQ(windows, d.Focus());
    d.Enter();
    EXPECT_EQ(BST_CHECKED, d.CheckState(dl.dialog, 1088));
    EXPECT_EQ(BST_UNCHECKED, d.CheckState(dl.dialog, 1089));
    EXPECT_EQ(std::make_pair(1088, static_cast<int>(BN_CLICKED)), dl.commands.back());

    d.Tab();
    EXPECT_EQ(black, d.Focus());
    d.Tab();
    EXPECT_EQ(edit, d.Focus());
    d.Key(VK_BACK);
    d.Type(u"5");
    EXPECT_EQ(u"10.05", d.ItemText(dl.dialog, 1007));
    d.Tab();
    EXPECT_EQ(spin, d.Focus());
    d.Up();
    d.Advance(1000);
    d.Down();
    EXPECT_EQ((std::vector<int>{-1, 1}), dl.deltas);
    d.Tab(true);
    EXPECT_EQ(edit, d.Focus());

    // The coloured static: red text on the near-black brush, right-aligned
    // in its ten cells on the dialog's fifth row.
    std::vector<std::string> rows = d.ScreenRows();
    int row = -1;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (rows[r].find("10.99") != std::string::npos) {
            row = static_cast<int>(r);
        }
    }
    ASSERT_GE(row, 0);
    int col = static_cast<int>(rows[static_cast<std::size_t>(row)].find("10.99"));
    EXPECT_EQ(RGB(255, 0, 0), d.At(col, row).fg);
    EXPECT_EQ(RGB(10, 10, 10), d.At(col - 1, row).bg);

    d.Run([&] { EndDialog(dl.dialog, 7); });
    EXPECT_EQ(7, result);
    log = nullptr;
}

} // namespace
