// How the device's colours (COLORREF, 24-bit RGB) become terminal colours.
//
// A terminal offers one of three palettes: direct colour (ncurses reports
// more than 256 colours, or the terminal has the RGB capability), the xterm
// palette of 256 colours, or the 8 ANSI colours. Direct colour passes the
// RGB value through; the others take the nearest entry. Because a small
// palette can make two different colours the same (grey text on a white
// background), a text colour that would vanish into its background takes
// the next-nearest entry instead.
#pragma once

#include "platform/win.h"

namespace term {

enum class ColorMode { Direct, Palette256, Palette8, None };

// The palette a terminal with `colors` colours (ncurses COLORS) offers;
// `hasRgb`: its terminfo entry has the RGB flag.
ColorMode ModeFor(int colors, bool hasRgb);

// Nearest entry of the xterm 256-colour palette: the 6x6x6 cube (16-231) or
// the grey ramp (232-255); the 16 system colours are skipped because every
// terminal theme paints them differently.
int Nearest256(COLORREF color);
// Nearest of the 8 ANSI colours (COLOR_BLACK .. COLOR_WHITE numbering).
int Nearest8(COLORREF color);

// The terminal colour numbers for one cell's text and background.
struct TermColors {
    int fg = -1;
    int bg = -1;
    bool operator==(const TermColors&) const = default;
};
TermColors MapColors(COLORREF fg, COLORREF bg, ColorMode mode);

} // namespace term
