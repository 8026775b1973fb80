// The terminal front-end's sessions: opening and closing a curses screen on a
// terminal, going to the background, and taking a terminal handed over by
// another copy (see Terminal.h).
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

// ---- Sessions ------------------------------------------------------------------

bool Terminal::OpenSession(int ttyFd, bool own, const std::string& termName, int sideFd,
                           platform::instance::ForegroundCompletion done) {
    auto s = std::make_unique<Session>();
    s->ttyFd = ttyFd;
    s->own = own;
    s->sideFd = sideFd;
    s->done = std::move(done);
    int inFd = fcntl(own ? STDIN_FILENO : ttyFd, F_DUPFD_CLOEXEC, 3);
    int outFd = fcntl(own ? STDOUT_FILENO : ttyFd, F_DUPFD_CLOEXEC, 3);
    s->in = inFd >= 0 ? fdopen(inFd, "r") : nullptr;
    s->out = outFd >= 0 ? fdopen(outFd, "w") : nullptr;
    if (s->in != nullptr && s->out != nullptr) {
        s->screen = newterm(termName.empty() ? nullptr : termName.c_str(), s->out, s->in);
        if (s->screen == nullptr) {
            // A terminal type this machine does not know: the common one.
            s->screen = newterm("xterm-256color", s->out, s->in);
        }
    }
    if (s->screen == nullptr) {
        if (s->in != nullptr) {
            fclose(s->in);
        } else if (inFd >= 0) {
            close(inFd);
        }
        if (s->out != nullptr) {
            fclose(s->out);
        } else if (outFd >= 0) {
            close(outFd);
        }
        if (!own) {
            close(ttyFd);
        }
        if (sideFd >= 0) {
            close(sideFd);
        }
        if (s->done) {
            s->done(false);
        }
        return false;
    }
    set_term(s->screen);
    raw();
    noecho();
    nonl();
    intrflush(stdscr, FALSE);
    keypad(stdscr, TRUE);
    nodelay(stdscr, TRUE);
    meta(stdscr, TRUE);
    set_escdelay(25);
    curs_set(0);
    if (has_colors()) {
        start_color();
        s->mode = ModeFor(COLORS, tigetflag("RGB") > 0);
    }
    mousemask(BUTTON1_PRESSED | BUTTON1_CLICKED, nullptr);
    mouseinterval(0);
    getmaxyx(stdscr, s->rows, s->cols);
    pairs_.clear();
    s->inputWatch = platform::AddFdWatch(fileno(s->in), [this] { OnInput(); });
    if (sideFd >= 0) {
        s->sideWatch = platform::AddFdWatch(sideFd, [this] { OnSide(); });
    }
    session_ = std::move(s);
    if (sessionObserver_) {
        sessionObserver_(true);
    }
    fullRedraw_ = true;
    platform::InjectResize(session_->cols, session_->rows);
    if (current_.Cols() > 0) {
        Draw(true);
    }
    return true;
}

void Terminal::CloseSession() {
    std::unique_ptr<Session> s = std::move(session_);
    if (!s) {
        return;
    }
    if (s->inputWatch >= 0) {
        platform::RemoveFdWatch(s->inputWatch);
    }
    if (s->sideWatch >= 0) {
        platform::RemoveFdWatch(s->sideWatch);
    }
    set_term(s->screen);
    curs_set(1);
    endwin(); // gives the terminal its modes back (fails quietly on a closed one)
    delscreen(s->screen);
    fclose(s->in);
    fclose(s->out);
    if (!s->own) {
        close(s->ttyFd);
    }
    if (s->sideFd >= 0) {
        close(s->sideFd);
    }
    shown_ = platform::Canvas();
    if (sessionObserver_) {
        sessionObserver_(false);
    }
    if (s->done) {
        s->done(true); // the waiting copy exits now
    }
}

void Terminal::Detach() {
    if (detached_) {
        return;
    }
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        return; // cannot leave: the program stays on, with nothing shown
    }
    if (pid > 0) {
        _exit(0); // the shell has its terminal back
    }
    setsid();
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        if (null > STDERR_FILENO) {
            close(null);
        }
    }
    detached_ = true;
    ownAvailable_ = false;
    if (sessionObserver_) {
        sessionObserver_(false); // once more, from the process that goes on
    }
}

void Terminal::Attach(int passedFd, platform::instance::ForegroundCompletion done) {
    if (passedFd < 0) {
        done(false); // nothing to show the screen on
        return;
    }
    int tty = -1, side = -1;
    std::string termName;
    if (isatty(passedFd)) {
        tty = passedFd;
        if (const char* name = std::getenv("TERM")) {
            termName = name;
        }
    } else if (std::optional<Hello> hello = ReceiveHello(passedFd, 2000)) {
        tty = hello->ttyFd;
        side = passedFd;
        auto it = hello->values.find("TERM");
        termName = it != hello->values.end() ? it->second : "";
        if (!isatty(tty)) {
            close(tty);
            tty = -1;
        }
    }
    if (tty < 0) {
        close(passedFd);
        done(false);
        return;
    }
    if (session_) {
        // The screen moves to the new terminal.
        bool own = session_->own;
        CloseSession();
        if (own) {
            Detach();
        }
    }
    started_ = true;
    running = 1;
    OpenSession(tty, false, termName, side, std::move(done));
}

} // namespace term
