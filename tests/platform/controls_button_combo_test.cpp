// Tests of the button and combo box controls through the headless driver:
// clicks by key and tap, the one radio group per dialog, the sorted combo
// list and choosing from it.
#include "tests/platform/controls_host.h"

#include <gtest/gtest.h>

namespace {

using ctltest::Log;
using platform::headless::Driver;

int ScreenRow(int r) {
    return r + 1;
}

std::string Row(const Driver& d, int hostRow) {
    return d.ScreenRows()[static_cast<std::size_t>(ScreenRow(hostRow))];
}

TEST(PushButton, EnterSpaceAndTapClickIt) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    HWND button =
        ctltest::MakeControl(d, host, WC_BUTTON, u"上证指数", BS_PUSHBUTTON, 1098, 0, 2, 16, 1);
    EXPECT_EQ("  [ 上证指数 ]  ", Row(d, 2).substr(0, 20));
    d.Run([&] { SetFocus(button); });
    d.Enter();
    d.Char(u' ');
    EXPECT_EQ(2, Log().CountCommands(1098, BN_CLICKED));
    d.TapCell(3, ScreenRow(2));
    EXPECT_EQ(3, Log().CountCommands(1098, BN_CLICKED));
    // Other keys do nothing.
    d.Char(u'x');
    d.Down();
    EXPECT_EQ(3, Log().CountCommands(1098, BN_CLICKED));
}

TEST(RadioButton, CheckingOneUnchecksTheOthersOfTheSameDialogOnly) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    HWND r20 =
        ctltest::MakeControl(d, host, WC_BUTTON, u"20秒", BS_AUTORADIOBUTTON, 1071, 0, 0, 12, 1);
    HWND r30 =
        ctltest::MakeControl(d, host, WC_BUTTON, u"30秒", BS_AUTORADIOBUTTON, 1055, 0, 1, 12, 1);
    HWND custom =
        ctltest::MakeControl(d, host, WC_BUTTON, u"", BS_AUTORADIOBUTTON, 1069, 0, 2, 4, 1);
    // A radio button of another window is in another group.
    HWND other = d.OnDevice([&] {
        HWND popup = CreateWindowEx(0, u"CtlTestHost", u"", WS_POPUP, 0, 0, 80, 44, nullptr,
                                    nullptr, nullptr, nullptr);
        return CreateWindowEx(0, WC_BUTTON, u"x", WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON, 0, 0,
                              80, 22, popup, reinterpret_cast<HMENU>(1), nullptr, nullptr);
    });
    auto checks = [&] {
        return d.OnDevice([&] {
            return std::vector<LRESULT>{
                SendMessage(r20, BM_GETCHECK, 0, 0), SendMessage(r30, BM_GETCHECK, 0, 0),
                SendMessage(custom, BM_GETCHECK, 0, 0), SendMessage(other, BM_GETCHECK, 0, 0)};
        });
    };
    d.Run([&] {
        SendMessage(other, BM_SETCHECK, BST_CHECKED, 0);
        SendMessage(r30, BM_SETCHECK, BST_CHECKED, 0);
    });
    EXPECT_EQ((std::vector<LRESULT>{0, 1, 0, 1}), checks());
    // BM_SETCHECK sends no click.
    EXPECT_EQ(0, Log().CountCommands(1055, BN_CLICKED));
    EXPECT_EQ(0u, Row(d, 0).find("( ) 20秒"));
    EXPECT_EQ(0u, Row(d, 1).find("(*) 30秒"));

    d.TapCell(1, ScreenRow(0));
    EXPECT_EQ((std::vector<LRESULT>{1, 0, 0, 1}), checks());
    EXPECT_EQ(1, Log().CountCommands(1071, BN_CLICKED));
    d.Run([&] { SetFocus(custom); });
    d.Enter();
    EXPECT_EQ((std::vector<LRESULT>{0, 0, 1, 1}), checks());
    EXPECT_EQ(1, Log().CountCommands(1069, BN_CLICKED));
    EXPECT_EQ("(*)", Row(d, 2).substr(0, 3));
    // Clicking the checked one keeps it checked and still reports the click.
    d.Enter();
    EXPECT_EQ((std::vector<LRESULT>{0, 0, 1, 1}), checks());
    EXPECT_EQ(2, Log().CountCommands(1069, BN_CLICKED));
    // A destroyed button leaves the group behind it working.
    d.Run([&] { DestroyWindow(r30); });
    d.Run([&] { SendMessage(r20, BM_SETCHECK, BST_CHECKED, 0); });
    EXPECT_EQ(0, d.OnDevice([&] { return SendMessage(custom, BM_GETCHECK, 0, 0); }));
}

const char16_t* const kPresets[] = {u"601398   工商银行", u"000002   万  科Ａ",
                                    u"600036   招商银行", u"000001   深发展Ａ"};

HWND MakePresetCombo(Driver& d, HWND host) {
    // Created three rows high: one for the field and two for the list.
    HWND combo = ctltest::MakeControl(d, host, WC_COMBOBOX, u"",
                                      CBS_DROPDOWN | CBS_SORT | WS_VSCROLL, 1095, 1, 1, 20, 3);
    return combo;
}

TEST(ComboBox, SortedAddStringReturnsTheSortedIndex) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    HWND combo = MakePresetCombo(d, host);
    std::vector<LRESULT> indexes = d.OnDevice([&] {
        std::vector<LRESULT> out;
        for (const char16_t* entry : kPresets) {
            out.push_back(SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry)));
        }
        return out;
    });
    EXPECT_EQ((std::vector<LRESULT>{0, 0, 1, 0}), indexes);
    EXPECT_EQ(4, d.OnDevice([&] { return SendMessage(combo, CB_GETCOUNT, 0, 0); }));
    std::u16string first = d.OnDevice([&] {
        char16_t buffer[64] = {};
        SendMessage(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(buffer));
        return std::u16string(buffer);
    });
    EXPECT_EQ(u"000001   深发展Ａ", first);
    EXPECT_EQ(CB_ERR, d.OnDevice([&] {
        char16_t buffer[64] = {};
        return SendMessage(combo, CB_GETLBTEXT, 9, reinterpret_cast<LPARAM>(buffer));
    }));
    // The control keeps one row for its field.
    RECT r = d.OnDevice([&] {
        RECT rc{};
        GetClientRect(combo, &rc);
        return rc;
    });
    EXPECT_EQ(kCellHeight, r.bottom);
}

TEST(ComboBox, DownOpensTheListAndEnterChoosesIntoTheField) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    HWND combo = MakePresetCombo(d, host);
    d.Run([&] {
        for (const char16_t* entry : kPresets) {
            SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
        }
        SetFocus(combo);
    });
    HWND top = d.Top();
    d.Down();
    EXPECT_EQ(TRUE, d.OnDevice([&] { return SendMessage(combo, CB_GETDROPPEDSTATE, 0, 0); }));
    EXPECT_EQ(combo, d.Focus());
    // The list shows two entries below the field, the first one marked.
    EXPECT_EQ(1u, Row(d, 2).find("000001   深发展Ａ"));
    EXPECT_EQ(1u, Row(d, 3).find("000002   万  科Ａ"));
    EXPECT_EQ(GetSysColor(COLOR_HIGHLIGHT), d.At(1, ScreenRow(2)).bg);
    d.Down();
    d.Down(); // scrolls
    EXPECT_EQ(1u, Row(d, 3).find("600036   招商银行"));
    d.Enter();
    EXPECT_EQ(FALSE, d.OnDevice([&] { return SendMessage(combo, CB_GETDROPPEDSTATE, 0, 0); }));
    EXPECT_EQ(u"600036   招商银行", d.TextOf(combo));
    EXPECT_EQ(2, d.OnDevice([&] { return SendMessage(combo, CB_GETCURSEL, 0, 0); }));
    EXPECT_EQ(1, Log().CountCommands(1095, CBN_SELCHANGE));
    EXPECT_EQ(0, Log().CountCommands(1095, CBN_EDITCHANGE));
    EXPECT_EQ(top, d.Top());
    EXPECT_EQ(combo, d.Focus());

    // Esc closes without a change.
    d.Down();
    d.Up();
    d.Escape();
    EXPECT_EQ(u"600036   招商银行", d.TextOf(combo));
    EXPECT_EQ(1, Log().CountCommands(1095, CBN_SELCHANGE));
    EXPECT_EQ(1u, Row(d, 1).find("600036   招商银行"));
}

TEST(ComboBox, TypingEditsTheFieldAndATapOnAnEntryChoosesIt) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    HWND combo = MakePresetCombo(d, host);
    d.Run([&] {
        for (const char16_t* entry : kPresets) {
            SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
        }
    });
    d.TapCell(3, ScreenRow(1)); // the field takes the focus
    EXPECT_EQ(combo, d.Focus());
    d.Type(u"60051");
    d.Key(VK_BACK);
    EXPECT_EQ(u"6005", d.TextOf(combo));
    EXPECT_EQ(6, Log().CountCommands(1095, CBN_EDITCHANGE));
    EXPECT_EQ(-1, d.OnDevice([&] { return SendMessage(combo, CB_GETCURSEL, 0, 0); }));
    // The arrow in the last cell of the field opens the list.
    d.TapCell(20, ScreenRow(1));
    EXPECT_EQ(TRUE, d.OnDevice([&] { return SendMessage(combo, CB_GETDROPPEDSTATE, 0, 0); }));
    d.TapCell(4, ScreenRow(3));
    EXPECT_EQ(u"000002   万  科Ａ", d.TextOf(combo));
    EXPECT_EQ(FALSE, d.OnDevice([&] { return SendMessage(combo, CB_GETDROPPEDSTATE, 0, 0); }));
    // CB_SETCURSEL fills the field too.
    d.Run([&] { SendMessage(combo, CB_SETCURSEL, 3, 0); });
    EXPECT_EQ(u"601398   工商银行", d.TextOf(combo));
}

TEST(ComboBox, ADropDownListTakesNoTypingAndOpensOnATapAnywhere) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    HWND combo = ctltest::MakeControl(d, host, WC_COMBOBOX, u"", CBS_DROPDOWNLIST, 7, 0, 0, 16, 5);
    d.Run([&] {
        for (const char16_t* entry : {u"CMWAP", u"CMNET", u"Wi-Fi"}) {
            SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
        }
        SendMessage(combo, CB_SETCURSEL, 0, 0);
        SetFocus(combo);
    });
    d.Type(u"x");
    d.Key(VK_BACK);
    EXPECT_EQ(u"CMWAP", d.TextOf(combo));
    EXPECT_EQ(0, Log().CountCommands(7, CBN_EDITCHANGE));
    d.TapCell(2, ScreenRow(0));
    EXPECT_EQ(TRUE, d.OnDevice([&] { return SendMessage(combo, CB_GETDROPPEDSTATE, 0, 0); }));
    d.Down();
    d.Down();
    d.Enter();
    EXPECT_EQ(u"Wi-Fi", d.TextOf(combo));
    EXPECT_EQ(2, d.OnDevice([&] { return SendMessage(combo, CB_GETCURSEL, 0, 0); }));
}

} // namespace
