// Tests of the edit and static controls, driven through the headless
// driver: EN_CHANGE for every change (SetWindowText included), caret
// editing, the text limit, scrolling of a read-only multi-line edit, wide
// characters and the colours the parent chooses.
#include "tests/platform/controls_host.h"

#include <gtest/gtest.h>

namespace {

using ctltest::Log;
using platform::headless::Driver;

// Screen row of host row r (the title row is above the host).
int ScreenRow(int r) {
    return r + 1;
}

TEST(EditControl, EveryChangeSendsEnChangeIncludingSetWindowText) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    HWND edit = ctltest::MakeControl(d, host, WC_EDIT, u"", ES_RIGHT, 1007, 2, 2, 10, 1);
    ASSERT_NE(nullptr, edit);
    d.Run([&] { SetWindowText(edit, u"10.00"); });
    EXPECT_EQ(1, Log().CountCommands(1007, EN_CHANGE));
    EXPECT_EQ(u"10.00", d.TextOf(edit));
    // Setting the same text again still reports a change, as the dialogs
    // that keep fields in step expect.
    d.Run([&] { SetWindowText(edit, u"10.00"); });
    EXPECT_EQ(2, Log().CountCommands(1007, EN_CHANGE));

    d.Run([&] { SetFocus(edit); });
    EXPECT_EQ(1, Log().CountCommands(1007, EN_SETFOCUS));
    d.Key(VK_BACK);
    d.Key(VK_BACK);
    d.Type(u"5");
    EXPECT_EQ(u"10.5", d.TextOf(edit));
    EXPECT_EQ(5, Log().CountCommands(1007, EN_CHANGE));
    // Moving the caret is no change.
    d.Key(VK_HOME);
    d.Key(VK_RIGHT);
    EXPECT_EQ(5, Log().CountCommands(1007, EN_CHANGE));
    d.Key(VK_DELETE);
    d.Type(u"2");
    EXPECT_EQ(u"12.5", d.TextOf(edit));
    d.Key(VK_END);
    d.Key(VK_LEFT);
    d.Key(VK_BACK);
    EXPECT_EQ(u"125", d.TextOf(edit));
    // Backspace at the start changes nothing and says nothing.
    int before = Log().CountCommands(1007, EN_CHANGE);
    d.Key(VK_HOME);
    d.Key(VK_BACK);
    EXPECT_EQ(before, Log().CountCommands(1007, EN_CHANGE));
    // Right-aligned in its ten cells at host columns 2..11.
    EXPECT_EQ("       125", d.ScreenRows()[static_cast<std::size_t>(ScreenRow(2))].substr(2, 10));
}

TEST(EditControl, GwlUserDataStaysTheProgramsOwn) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    HWND edit = ctltest::MakeControl(d, host, WC_EDIT, u"ab", 0, 1007, 2, 2, 10, 1);
    d.Run([&] {
        SetWindowLongPtr(edit, GWL_USERDATA, 1234);
        SetFocus(edit);
    });
    d.Type(u"c");
    EXPECT_EQ(u"abc", d.TextOf(edit));
    EXPECT_EQ(1234, d.OnDevice([&] { return GetWindowLongPtr(edit, GWL_USERDATA); }));
}

TEST(EditControl, TextLimitRefusesTypingButNotSetWindowText) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    HWND edit = ctltest::MakeControl(d, host, WC_EDIT, u"", 0, 1101, 0, 0, 30, 1);
    d.Run([&] {
        SendMessage(edit, EM_LIMITTEXT, 4, 0);
        SetFocus(edit);
    });
    d.Type(u"123456");
    EXPECT_EQ(u"1234", d.TextOf(edit));
    EXPECT_EQ(2, Log().CountCommands(1101, EN_MAXTEXT));
    d.Run([&] { SetWindowText(edit, u"1234567890"); });
    EXPECT_EQ(u"1234567890", d.TextOf(edit));
}

TEST(EditControl, ReadOnlyRefusesTypingAndWideCharactersTakeTwoCells) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    HWND edit = ctltest::MakeControl(d, host, WC_EDIT, u"瞰市Ａ1", ES_READONLY, 1048, 0, 3, 12, 1);
    d.Run([&] { SetFocus(edit); });
    d.Type(u"x");
    d.Key(VK_BACK);
    EXPECT_EQ(u"瞰市Ａ1", d.TextOf(edit));
    EXPECT_EQ(0, Log().CountCommands(1048, EN_CHANGE));
    int row = ScreenRow(3);
    EXPECT_EQ("瞰市Ａ1", d.ScreenRows()[static_cast<std::size_t>(row)].substr(0, 10));
    EXPECT_TRUE(d.At(1, row).wideRight);
    EXPECT_EQ(U'1', d.At(6, row).ch);
}

TEST(EditControl, TypedChineseAndCaretMoveOverWholeCharacters) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    HWND edit = ctltest::MakeControl(d, host, WC_EDIT, u"", 0, 1, 0, 0, 20, 1);
    d.Run([&] { SetFocus(edit); });
    d.Type(u"上证a");
    d.Key(VK_LEFT);
    d.Key(VK_LEFT);
    d.Key(VK_BACK);
    EXPECT_EQ(u"证a", d.TextOf(edit));
}

TEST(EditControl, ReadOnlyMultiLineScrollsWithTheArrowsAndPages) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    std::u16string text;
    for (int i = 0; i < 12; ++i) {
        text += u"line" + std::u16string(1, static_cast<char16_t>(u'A' + i)) + u"\r\n";
    }
    HWND edit = ctltest::MakeControl(d, host, WC_EDIT, u"",
                                     ES_MULTILINE | ES_READONLY | WS_VSCROLL | ES_AUTOVSCROLL, 1047,
                                     0, 0, 20, 4);
    d.Run([&] {
        SetWindowText(edit, text.c_str());
        SetFocus(edit);
    });
    auto line = [&](int r) {
        return d.ScreenRows()[static_cast<std::size_t>(ScreenRow(r))].substr(0, 5);
    };
    EXPECT_EQ("lineA", line(0));
    EXPECT_EQ("lineD", line(3));
    d.Down();
    EXPECT_EQ("lineB", line(0));
    d.Key(VK_NEXT);
    EXPECT_EQ("lineE", line(0));
    d.Key(VK_END);
    // Thirteen lines (the last is the empty one after the final line break)
    // in four rows.
    EXPECT_EQ("lineJ", line(0));
    EXPECT_EQ("lineL", line(2));
    d.Up();
    EXPECT_EQ("lineI", line(0));
    d.Key(VK_HOME);
    EXPECT_EQ("lineA", line(0));
    // The scroll bar takes the last column.
    EXPECT_EQ(U'#', d.At(19, ScreenRow(0)).ch);
    EXPECT_EQ(text, d.TextOf(edit));
}

TEST(EditControl, MultiLineWrapsLongLinesAtBlanksAndBetweenChineseCharacters) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    ctltest::MakeControl(d, host, WC_EDIT, u"aaa bbb ccc 正在刷新请稍候",
                         ES_MULTILINE | ES_READONLY, 1073, 0, 0, 8, 4);
    std::vector<std::string> rows = d.ScreenRows();
    EXPECT_EQ("aaa bbb ", rows[static_cast<std::size_t>(ScreenRow(0))].substr(0, 8));
    EXPECT_EQ("ccc 正在", rows[static_cast<std::size_t>(ScreenRow(1))].substr(0, 10));
    EXPECT_EQ("刷新请稍", rows[static_cast<std::size_t>(ScreenRow(2))].substr(0, 12));
    EXPECT_EQ("候", rows[static_cast<std::size_t>(ScreenRow(3))].substr(0, 3));
}

TEST(EditControl, ColoursComeFromWmCtlColorEditForReadOnlyEditsToo) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    Log().colourControls = true;
    ctltest::MakeControl(d, host, WC_EDIT, u"err", ES_MULTILINE | ES_READONLY, 1048, 0, 0, 10, 2);
    int row = ScreenRow(0);
    EXPECT_EQ(RGB(255, 0, 0), d.At(0, row).fg);
    EXPECT_EQ(RGB(10, 10, 10), d.At(0, row).bg);
    // The rest of the control takes the brush's colour.
    EXPECT_EQ(RGB(10, 10, 10), d.At(9, row + 1).bg);
}

TEST(StaticControl, AlignsWrapsAndTakesTheParentsColours) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    ctltest::MakeControl(d, host, WC_STATIC, u"12.34", SS_RIGHT, 1018, 0, 0, 10, 1);
    ctltest::MakeControl(d, host, WC_STATIC, u"ab", SS_CENTER, 1019, 0, 1, 10, 1);
    HWND label = ctltest::MakeControl(d, host, WC_STATIC, u"1、请根据流量\r\n2、为节省", SS_LEFT,
                                      -1, 0, 2, 10, 3);
    std::vector<std::string> rows = d.ScreenRows();
    EXPECT_EQ("     12.34", rows[static_cast<std::size_t>(ScreenRow(0))].substr(0, 10));
    EXPECT_EQ("    ab    ", rows[static_cast<std::size_t>(ScreenRow(1))].substr(0, 10));
    EXPECT_EQ("1、请根据", rows[static_cast<std::size_t>(ScreenRow(2))].substr(0, 13));
    EXPECT_EQ("流量", rows[static_cast<std::size_t>(ScreenRow(3))].substr(0, 6));
    EXPECT_EQ("2、为节省", rows[static_cast<std::size_t>(ScreenRow(4))].substr(0, 13));
    // Default look: window text on the background the parent's default
    // handling gives.
    EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), d.At(9, ScreenRow(0)).fg);

    Log().colourControls = true;
    d.Run([&] { SetWindowText(label, u"x"); });
    EXPECT_EQ(RGB(255, 0, 0), d.At(0, ScreenRow(2)).fg);
    EXPECT_EQ(RGB(10, 10, 10), d.At(5, ScreenRow(3)).bg);
    EXPECT_EQ(u"x", d.TextOf(label));
}

TEST(StaticControl, IconStaticDrawsTheIconItWasGiven) {
    Driver d;
    HWND host = ctltest::MakeHost(d);
    HWND icon = ctltest::MakeControl(d, host, WC_STATIC, u"", SS_ICON, 1034, 1, 1, 4, 2);
    ICONTEMPLATE tmpl;
    tmpl.rows = {u"/\\", u"\\/"};
    tmpl.color = RGB(200, 0, 0);
    d.Run([&] {
        SendMessage(icon, STM_SETICON,
                    reinterpret_cast<WPARAM>(platform::CreateIconFromTemplate(tmpl)), 0);
    });
    EXPECT_EQ("/\\", d.ScreenRows()[static_cast<std::size_t>(ScreenRow(1))].substr(1, 2));
    EXPECT_EQ(RGB(200, 0, 0), d.At(1, ScreenRow(2)).fg);
}

} // namespace
