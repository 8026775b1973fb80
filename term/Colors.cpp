// Colour mapping for the terminal (see Colors.h).
#include "term/Colors.h"

#include <array>
#include <cstdint>
#include <limits>

namespace term {

namespace {

struct Rgb {
    int r, g, b;
};

Rgb Split(COLORREF c) {
    return {GetRValue(c), GetGValue(c), GetBValue(c)};
}

// Squared distance with the usual weights for how the eye sees red, green
// and blue, so that a mid grey does not turn into a saturated colour.
long Distance(Rgb a, Rgb b) {
    long dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
    return 3 * dr * dr + 4 * dg * dg + 2 * db * db;
}

constexpr std::array<int, 6> kCubeLevels = {0, 95, 135, 175, 215, 255};

Rgb Palette256(int index) {
    if (index >= 232) {
        int v = 8 + 10 * (index - 232);
        return {v, v, v};
    }
    int i = index - 16;
    return {kCubeLevels[i / 36], kCubeLevels[(i / 6) % 6], kCubeLevels[i % 6]};
}

// The ANSI colours as xterm shows them by default.
constexpr std::array<Rgb, 8> kAnsi = {{{0, 0, 0},
                                       {205, 0, 0},
                                       {0, 205, 0},
                                       {205, 205, 0},
                                       {0, 0, 238},
                                       {205, 0, 205},
                                       {0, 205, 205},
                                       {229, 229, 229}}};

// The nearest palette entry to `c`, leaving out `avoid` (-1: none).
int NearestIn(ColorMode mode, Rgb c, int avoid) {
    int best = -1;
    long bestDistance = std::numeric_limits<long>::max();
    int first = mode == ColorMode::Palette256 ? 16 : 0;
    int last = mode == ColorMode::Palette256 ? 255 : 7;
    for (int i = first; i <= last; ++i) {
        if (i == avoid) {
            continue;
        }
        Rgb p = mode == ColorMode::Palette256 ? Palette256(i) : kAnsi[static_cast<size_t>(i)];
        long d = Distance(c, p);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

} // namespace

ColorMode ModeFor(int colors, bool hasRgb) {
    if (colors > 256 || (hasRgb && colors >= 8)) {
        return ColorMode::Direct;
    }
    if (colors >= 256) {
        return ColorMode::Palette256;
    }
    if (colors >= 8) {
        return ColorMode::Palette8;
    }
    return ColorMode::None;
}

int Nearest256(COLORREF color) {
    return NearestIn(ColorMode::Palette256, Split(color), -1);
}

int Nearest8(COLORREF color) {
    return NearestIn(ColorMode::Palette8, Split(color), -1);
}

TermColors MapColors(COLORREF fg, COLORREF bg, ColorMode mode) {
    switch (mode) {
    case ColorMode::None:
        return {};
    case ColorMode::Direct: {
        // ncurses' direct-colour numbering: the colour number is 0xRRGGBB,
        // except that numbers 1-7 name the terminal's ANSI colours; the
        // near-blacks that would land there take the next blue, 8.
        auto direct = [](COLORREF c) {
            Rgb v = Split(c);
            int n = (v.r << 16) | (v.g << 8) | v.b;
            return n >= 1 && n <= 7 ? 8 : n;
        };
        return {direct(fg), direct(bg)};
    }
    case ColorMode::Palette256:
    case ColorMode::Palette8: {
        int b = NearestIn(mode, Split(bg), -1);
        int f = NearestIn(mode, Split(fg), -1);
        if (f == b && fg != bg) {
            f = NearestIn(mode, Split(fg), b); // keep the text readable
        }
        return {f, b};
    }
    }
    return {};
}

} // namespace term
