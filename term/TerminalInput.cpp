// The terminal front-end's input: keys, the mouse, the hand-over socket,
// signals and resizes (see Terminal.h).
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

// ---- Input -------------------------------------------------------------------------

void Terminal::OnInput() {
    if (!session_) {
        return;
    }
    set_term(session_->screen);
    int got = 0;
    for (int i = 0; i < 1024 && session_; ++i) {
        wint_t code = 0;
        int rc = wget_wch(stdscr, &code);
        if (rc == ERR) {
            break;
        }
        ++got;
        Translated t = TranslateInput(rc == KEY_CODE_YES, code);
        switch (t.kind) {
        case InputKind::Keys:
            for (const platform::KeyInput& key : t.keys) {
                platform::InjectKey(key);
            }
            break;
        case InputKind::Mouse: {
            MEVENT ev{};
            if (getmouse(&ev) == OK && (ev.bstate & (BUTTON1_PRESSED | BUTTON1_CLICKED)) != 0) {
                POINT p = CellCentre(ev.x, ev.y);
                platform::InjectTap(p.x, p.y);
            }
            break;
        }
        case InputKind::Resize:
            Resized();
            break;
        case InputKind::Redraw:
            Draw(true);
            break;
        case InputKind::None:
            break;
        }
    }
    if (!session_) {
        return;
    }
    pollfd p{fileno(session_->in), POLLIN, 0};
    poll(&p, 1, 0);
    if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        HangUp();
        return;
    }
    // Readable but nothing to read, again and again: the end of the input.
    session_->emptyWakes = got > 0 ? 0 : session_->emptyWakes + 1;
    int pending = 0;
    if (session_->emptyWakes >= 3 && ioctl(fileno(session_->in), FIONREAD, &pending) == 0 &&
        pending == 0) {
        HangUp();
    }
}

void Terminal::OnSide() {
    if (!session_ || session_->sideFd < 0) {
        return;
    }
    char buf[64];
    ssize_t n = recv(session_->sideFd, buf, sizeof buf, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        HangUp(); // the waiting copy has gone
        return;
    }
    if (n > 0 && std::memchr(buf, 'W', static_cast<size_t>(n)) != nullptr) {
        Resized();
    }
}

void Terminal::OnSignal() {
    char buf[64];
    ssize_t n;
    bool resize = false, hangup = false, stop = false;
    while ((n = read(signalPipe[0], buf, sizeof buf)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            resize = resize || buf[i] == 'W';
            hangup = hangup || buf[i] == 'H';
            stop = stop || buf[i] == 'T';
        }
    }
    if (stop) {
        // Ended from outside (a service stop, a logout, a shutdown): the
        // session ends, the program writes its files as its exit command
        // does and stops. A second signal during the save only adds a byte
        // to the pipe, which nobody reads any more.
        if (!ending_) {
            ending_ = true;
            platform::InjectEndSession();
        }
    }
    if (hangup && session_ && session_->own) {
        HangUp();
    } else if (resize && session_ && session_->own) {
        Resized();
    }
}

void Terminal::Resized() {
    Session& s = *session_;
    int cols = s.cols, rows = s.rows;
    if (!TerminalSize(s.own ? STDOUT_FILENO : s.ttyFd, cols, rows)) {
        return;
    }
    set_term(s.screen);
    resize_term(rows, cols);
    s.cols = cols;
    s.rows = rows;
    platform::InjectResize(cols, rows);
    Draw(true); // at once, clipped; the recomposed screen follows
    fullRedraw_ = true;
}

void Terminal::HangUp() {
    // A closed terminal is the same as X: the program goes on in the
    // background.
    GoToBackground();
}

} // namespace term
