// The terminal front-end's drawing: the canvas's cells written where they
// differ from what the terminal shows (see Terminal.h).
#include "term/TerminalInternal.h"

#include "platform/loop.h"
#include "term/Curses.h"
#include "term/Handover.h"
#include "term/Keys.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ncursesw/termcap.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace term {

using namespace internal;

// ---- Drawing -----------------------------------------------------------------------

int Terminal::PairFor(COLORREF fg, COLORREF bg) {
    if (session_->mode == ColorMode::None) {
        return 0;
    }
    std::uint64_t key = (std::uint64_t(fg) << 32) | bg;
    auto it = pairs_.find(key);
    if (it != pairs_.end()) {
        return it->second;
    }
    TermColors c = MapColors(fg, bg, session_->mode);
    int pair = alloc_pair(c.fg, c.bg);
    if (pair < 0) {
        pair = 0;
    }
    pairs_[key] = pair;
    return pair;
}

void Terminal::DrawCell(int col, int row, int cols) {
    const platform::Cell& cell = current_.At(col, row);
    if (cell.wideRight) {
        bool leftIsWide = col > 0 && !current_.At(col - 1, row).wideRight &&
                          platform::CharWidth(current_.At(col - 1, row).ch) == 2;
        if (leftIsWide) {
            return; // drawn with its left half
        }
    }
    int canvasWidth = cell.wideRight ? 1 : platform::CharWidth(cell.ch);
    int termWidth = cell.wideRight ? 1 : wcwidth(static_cast<wchar_t>(cell.ch));
    Glyph glyph =
        cell.wideRight ? Glyph{L' ', false} : ChooseGlyph(cell.ch, canvasWidth, termWidth);
    bool wide = !glyph.padRight && canvasWidth == 2 && glyph.ch != L' ';
    if (wide && col + 1 >= cols) {
        glyph = Glyph{L' ', false}; // half a character would not fit
    }
    attr_t attrs = (cell.bold ? A_BOLD : 0) | (cell.underline ? A_UNDERLINE : 0);
    int pair = PairFor(cell.fg, cell.bg);
    wchar_t text[2] = {glyph.ch, 0};
    cchar_t cc;
    setcchar(&cc, text, attrs, 0, &pair);
    mvwadd_wch(stdscr, row, col, &cc);
    if (glyph.padRight && col + 1 < cols) {
        wchar_t blank[2] = {L' ', 0};
        setcchar(&cc, blank, attrs, 0, &pair);
        mvwadd_wch(stdscr, row, col + 1, &cc);
    }
}

bool Terminal::DrawTooSmall(bool full) {
    Session& s = *session_;
    std::optional<TooSmallNotice> notice = TooSmallNoticeFor(s.cols, s.rows);
    if (!notice) {
        noticeShown_ = false;
        return false;
    }
    if (noticeShown_ && !full) {
        return true; // the line is there already, whatever the program drew
    }
    noticeShown_ = true;
    werase(stdscr);
    // Clipped to the row: the terminal may be narrower than the line.
    mvwaddnwstr(stdscr, notice->row, notice->col, notice->text.c_str(),
                static_cast<int>(notice->text.size()));
    clearok(curscr, TRUE);
    wnoutrefresh(stdscr);
    doupdate();
    // The screen comes back whole once the terminal is large enough.
    shown_ = platform::Canvas();
    return true;
}

void Terminal::Draw(bool full) {
    Session& s = *session_;
    set_term(s.screen);
    if (DrawTooSmall(full)) {
        return;
    }
    int cols = std::min(current_.Cols(), s.cols);
    int rows = std::min(current_.Rows(), s.rows);
    bool sameSize = shown_.Cols() == current_.Cols() && shown_.Rows() == current_.Rows();
    if (full || !sameSize) {
        werase(stdscr);
    }
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            if (full || !sameSize || !(current_.At(c, r) == shown_.At(c, r))) {
                DrawCell(c, r, cols);
            }
        }
    }
    if (full) {
        clearok(curscr, TRUE);
    }
    wnoutrefresh(stdscr);
    doupdate();
    shown_ = current_;
    fullRedraw_ = false;
}

} // namespace term
