// The terminal's key mapping, colour mapping and glyph choice: pure
// functions that decide what a key press means to the device and what a cell
// looks like on a terminal.
#include "term/Colors.h"
#include "term/Curses.h"
#include "term/Keys.h"
#include "term/Terminal.h"

#include <gtest/gtest.h>

namespace {

using term::InputKind;
using term::TranslateInput;

UINT OnlyVk(const term::Translated& t) {
    EXPECT_EQ(t.kind, InputKind::Keys);
    EXPECT_EQ(t.keys.size(), 1u);
    return t.keys.empty() ? 0 : t.keys[0].vk;
}

TEST(TermKeys, FunctionAndEditingKeysBecomeTheirVirtualKeys) {
    EXPECT_EQ(OnlyVk(TranslateInput(true, KEY_F(1))), VK_F1);
    EXPECT_EQ(OnlyVk(TranslateInput(true, KEY_F(2))), VK_F2);
    EXPECT_EQ(OnlyVk(TranslateInput(true, KEY_F(3))), VK_F3);
    EXPECT_EQ(OnlyVk(TranslateInput(true, KEY_UP)), VK_UP);
    EXPECT_EQ(OnlyVk(TranslateInput(true, KEY_DOWN)), VK_DOWN);
    EXPECT_EQ(OnlyVk(TranslateInput(true, KEY_LEFT)), VK_LEFT);
    EXPECT_EQ(OnlyVk(TranslateInput(true, KEY_RIGHT)), VK_RIGHT);
    EXPECT_EQ(OnlyVk(TranslateInput(true, KEY_HOME)), VK_HOME);
    EXPECT_EQ(OnlyVk(TranslateInput(true, KEY_END)), VK_END);
    EXPECT_EQ(OnlyVk(TranslateInput(true, KEY_PPAGE)), VK_PRIOR);
    EXPECT_EQ(OnlyVk(TranslateInput(true, KEY_NPAGE)), VK_NEXT);
    EXPECT_EQ(OnlyVk(TranslateInput(true, KEY_DC)), VK_DELETE);
    EXPECT_EQ(OnlyVk(TranslateInput(true, KEY_BACKSPACE)), VK_BACK);
    EXPECT_EQ(OnlyVk(TranslateInput(true, KEY_ENTER)), VK_RETURN);
    // The characters that terminals send for the same keys.
    EXPECT_EQ(OnlyVk(TranslateInput(false, L'\r')), VK_RETURN);
    EXPECT_EQ(OnlyVk(TranslateInput(false, L'\n')), VK_RETURN);
    EXPECT_EQ(OnlyVk(TranslateInput(false, 0x7F)), VK_BACK);
    EXPECT_EQ(OnlyVk(TranslateInput(false, 0x08)), VK_BACK);
    EXPECT_EQ(OnlyVk(TranslateInput(false, 0x1B)), VK_ESCAPE);
    term::Translated tab = TranslateInput(false, L'\t');
    EXPECT_EQ(OnlyVk(tab), VK_TAB);
    EXPECT_FALSE(tab.keys[0].shift);
    // Editing keys type nothing: they reach the window as WM_KEYDOWN only.
    EXPECT_EQ(TranslateInput(true, KEY_F(1)).keys[0].ch, 0);
    EXPECT_EQ(TranslateInput(false, 0x7F).keys[0].ch, 0);
}

TEST(TermKeys, ShiftTabIsTabWithShift) {
    term::Translated t = TranslateInput(true, KEY_BTAB);
    ASSERT_EQ(OnlyVk(t), VK_TAB);
    EXPECT_TRUE(t.keys[0].shift);
}

TEST(TermKeys, ResizeMouseAndRedrawAreNotKeys) {
    EXPECT_EQ(TranslateInput(true, KEY_RESIZE).kind, InputKind::Resize);
    EXPECT_EQ(TranslateInput(true, KEY_MOUSE).kind, InputKind::Mouse);
    EXPECT_EQ(TranslateInput(false, 0x0C).kind, InputKind::Redraw);
}

TEST(TermKeys, OddInputMeansNothing) {
    // Keys the device has no use for, control characters and values that
    // are no character at all are dropped, not passed on half-understood.
    EXPECT_EQ(TranslateInput(true, KEY_F(9)).kind, InputKind::None);
    EXPECT_EQ(TranslateInput(true, KEY_SUSPEND).kind, InputKind::None);
    EXPECT_EQ(TranslateInput(false, 0x01).kind, InputKind::None);
    EXPECT_EQ(TranslateInput(false, 0x00).kind, InputKind::None);
    EXPECT_EQ(TranslateInput(false, 0x9B).kind, InputKind::None);
    EXPECT_EQ(TranslateInput(false, 0xD800).kind, InputKind::None);
    EXPECT_EQ(TranslateInput(false, 0x110000).kind, InputKind::None);
}

TEST(TermKeys, TypedCharactersCarryTheirKeyAndUtf16Text) {
    auto one = [](wint_t c) {
        term::Translated t = TranslateInput(false, c);
        EXPECT_EQ(t.kind, InputKind::Keys);
        EXPECT_EQ(t.keys.size(), 1u);
        return t.keys.empty() ? platform::KeyInput{} : t.keys[0];
    };
    platform::KeyInput a = one(L'a');
    EXPECT_EQ(a.vk, UINT('A'));
    EXPECT_EQ(a.ch, u'a');
    EXPECT_FALSE(a.shift);
    platform::KeyInput capital = one(L'Q');
    EXPECT_EQ(capital.vk, UINT('Q'));
    EXPECT_TRUE(capital.shift);
    EXPECT_EQ(one(L'7').vk, UINT('7'));
    EXPECT_EQ(one(L' ').vk, 0x20u);
    platform::KeyInput dot = one(L'.');
    EXPECT_EQ(dot.vk, 0u); // typed text only
    EXPECT_EQ(dot.ch, u'.');
    platform::KeyInput han = one(0x80A1); // a Chinese character from an input method
    EXPECT_EQ(han.vk, 0u);
    EXPECT_EQ(han.ch, char16_t(0x80A1));
}

TEST(TermKeys, CharactersBeyondTheBmpAreTwoUtf16Units) {
    term::Translated t = TranslateInput(false, 0x20BB7);
    ASSERT_EQ(t.kind, InputKind::Keys);
    ASSERT_EQ(t.keys.size(), 2u);
    EXPECT_EQ(t.keys[0].ch, char16_t(0xD842));
    EXPECT_EQ(t.keys[1].ch, char16_t(0xDFB7));
    EXPECT_EQ(t.keys[0].vk, 0u);
    EXPECT_EQ(t.keys[1].vk, 0u);
}

TEST(TermKeys, AClickTapsTheCentreOfItsCell) {
    POINT p = term::CellCentre(0, 0);
    EXPECT_EQ(p.x, kCellWidth / 2);
    EXPECT_EQ(p.y, kCellHeight / 2);
    p = term::CellCentre(10, 3);
    EXPECT_EQ(p.x, 10 * kCellWidth + kCellWidth / 2);
    EXPECT_EQ(p.y, 3 * kCellHeight + kCellHeight / 2);
}

TEST(TermColors, ThePaletteFollowsWhatTheTerminalOffers) {
    EXPECT_EQ(term::ModeFor(0x1000000, false), term::ColorMode::Direct);
    EXPECT_EQ(term::ModeFor(256, true), term::ColorMode::Direct);
    EXPECT_EQ(term::ModeFor(256, false), term::ColorMode::Palette256);
    EXPECT_EQ(term::ModeFor(88, false), term::ColorMode::Palette8);
    EXPECT_EQ(term::ModeFor(8, false), term::ColorMode::Palette8);
    EXPECT_EQ(term::ModeFor(0, false), term::ColorMode::None);
    EXPECT_EQ(term::ModeFor(-1, true), term::ColorMode::None);
}

TEST(TermColors, DirectColourPassesTheRgbValueThrough) {
    term::TermColors c =
        term::MapColors(RGB(0x12, 0x34, 0x56), RGB(255, 0, 0), term::ColorMode::Direct);
    EXPECT_EQ(c.fg, 0x123456);
    EXPECT_EQ(c.bg, 0xFF0000);
    // Black stays black; the near-blacks that would be read as the
    // terminal's own ANSI colours 1-7 move off them.
    c = term::MapColors(RGB(0, 0, 0), RGB(0, 0, 5), term::ColorMode::Direct);
    EXPECT_EQ(c.fg, 0);
    EXPECT_EQ(c.bg, 8);
}

TEST(TermColors, NearestOf256UsesTheCubeAndTheGreyRamp) {
    EXPECT_EQ(term::Nearest256(RGB(0, 0, 0)), 16);
    EXPECT_EQ(term::Nearest256(RGB(255, 255, 255)), 231);
    EXPECT_EQ(term::Nearest256(RGB(255, 0, 0)), 196);
    EXPECT_EQ(term::Nearest256(RGB(0, 255, 0)), 46);
    EXPECT_EQ(term::Nearest256(RGB(0, 0, 255)), 21);
    EXPECT_EQ(term::Nearest256(RGB(128, 128, 128)), 244); // grey 128 on the ramp
    EXPECT_EQ(term::Nearest256(RGB(0, 128, 0)), 28);      // dark green: 0,135,0
}

TEST(TermColors, NearestOf8) {
    EXPECT_EQ(term::Nearest8(RGB(0, 0, 0)), COLOR_BLACK);
    EXPECT_EQ(term::Nearest8(RGB(255, 255, 255)), COLOR_WHITE);
    EXPECT_EQ(term::Nearest8(RGB(255, 0, 0)), COLOR_RED);
    EXPECT_EQ(term::Nearest8(RGB(0, 128, 0)), COLOR_GREEN);
    EXPECT_EQ(term::Nearest8(RGB(0, 0, 128)), COLOR_BLUE);
    EXPECT_EQ(term::Nearest8(RGB(255, 255, 0)), COLOR_YELLOW);
}

TEST(TermColors, TextNeverVanishesIntoItsBackground) {
    // Light grey text on white: both are "white" among 8 colours.
    term::TermColors c =
        term::MapColors(RGB(200, 200, 200), RGB(255, 255, 255), term::ColorMode::Palette8);
    EXPECT_EQ(c.bg, COLOR_WHITE);
    EXPECT_NE(c.fg, c.bg);
    // Two near blacks that the 256 palette cannot tell apart.
    c = term::MapColors(RGB(1, 1, 1), RGB(0, 0, 0), term::ColorMode::Palette256);
    EXPECT_NE(c.fg, c.bg);
    // The same colour on purpose (hidden text) stays the same.
    c = term::MapColors(RGB(0, 0, 0), RGB(0, 0, 0), term::ColorMode::Palette256);
    EXPECT_EQ(c.fg, c.bg);
    // Without colours nothing is chosen.
    EXPECT_EQ(term::MapColors(RGB(1, 2, 3), RGB(4, 5, 6), term::ColorMode::None),
              term::TermColors{});
}

TEST(TermGlyphs, RowsNeverShiftWhateverTheLocaleThinksOfAWidth) {
    // Widths agree: the character as it is.
    EXPECT_EQ(term::ChooseGlyph(U'中', 2, 2), (term::Glyph{L'中', false}));
    EXPECT_EQ(term::ChooseGlyph(U'A', 1, 1), (term::Glyph{L'A', false}));
    // The screen gave two cells, the terminal uses one: pad the second.
    EXPECT_EQ(term::ChooseGlyph(U'【', 2, 1), (term::Glyph{L'【', true}));
    // The terminal would use two cells where the screen has one, or cannot
    // show the character: a stand-in of one cell.
    EXPECT_EQ(term::ChooseGlyph(U'中', 1, 2), (term::Glyph{L'?', false}));
    EXPECT_EQ(term::ChooseGlyph(0xE000, 1, -1), (term::Glyph{L'?', false}));
    EXPECT_EQ(term::ChooseGlyph(0xE000, 2, -1), (term::Glyph{L'?', true}));
    // Control characters never reach the terminal.
    EXPECT_EQ(term::ChooseGlyph(0x1B, 1, -1), (term::Glyph{L' ', false}));
    EXPECT_EQ(term::ChooseGlyph(0x07, 0, -1), (term::Glyph{L' ', false}));
}

} // namespace
