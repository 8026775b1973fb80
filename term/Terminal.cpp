// The terminal front-end (see Terminal.h for the design).
#include "term/Terminal.h"

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

namespace {

// Signals reach the message loop through a pipe: the handler writes one
// byte naming the signal, and a descriptor watch reads it on the UI thread.
int signalPipe[2] = {-1, -1};
// While this copy only waits for a running copy to use its terminal, a
// resize of the terminal is passed on through the hand-over socket.
volatile sig_atomic_t forwardFd = -1;
// Set once this copy shows its screen. Before that (while it starts, or while
// it waits as a second copy) a request to end it ends it at once, as the
// signal's default would.
volatile sig_atomic_t running = 0;

void OnSignalRaised(int sig) {
    if (!running && sig != SIGWINCH) {
        signal(sig, SIG_DFL);
        raise(sig);
        return;
    }
    int saved = errno;
    char byte = sig == SIGWINCH ? 'W' : sig == SIGHUP ? 'H' : 'T';
    if (signalPipe[1] >= 0) {
        [[maybe_unused]] ssize_t n = write(signalPipe[1], &byte, 1);
    }
    if (sig == SIGWINCH && forwardFd >= 0) {
        [[maybe_unused]] ssize_t n = send(forwardFd, "W", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    errno = saved;
}

void Catch(int sig) {
    struct sigaction sa {};
    sa.sa_handler = OnSignalRaised;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(sig, &sa, nullptr);
}

bool TerminalSize(int fd, int& cols, int& rows) {
    winsize ws{};
    if (ioctl(fd, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0 || ws.ws_row == 0) {
        return false;
    }
    cols = ws.ws_col;
    rows = ws.ws_row;
    return true;
}

// A descriptor of this process's terminal that reads and writes.
int OpenOwnTerminal() {
    if (const char* name = ttyname(STDIN_FILENO)) {
        int fd = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd >= 0) {
            return fd;
        }
    }
    return fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
}

} // namespace

std::optional<TooSmallNotice> TooSmallNoticeFor(int cols, int rows) {
    if (cols >= kMinScreenCols && rows >= kMinScreenRows) {
        return std::nullopt;
    }
    const std::wstring size =
        std::to_wstring(kMinScreenCols) + L"x" + std::to_wstring(kMinScreenRows);
    // The terminal is too small, and the size it needs; on a terminal
    // narrower than that line, the size alone.
    std::wstring text = L"终端窗口太小，至少需要" + size;
    int width = 0;
    for (wchar_t ch : text) {
        width += platform::CharWidth(static_cast<char32_t>(ch));
    }
    if (width > cols) {
        text = size;
        width = static_cast<int>(size.size());
    }
    TooSmallNotice notice;
    notice.col = std::max(0, (cols - width) / 2);
    notice.row = std::max(0, (rows - 1) / 2);
    notice.text = std::move(text);
    return notice;
}

bool TerminalCanPlaceCursor(const std::string& name) {
    // The termcap interface asks terminfo without opening a screen: "cm" is
    // terminfo's "cup". A name without an entry (or no database) is left to
    // the fallback of the session.
    if (tgetent(nullptr, name.c_str()) != 1) {
        return true;
    }
    char area[1024];
    char* at = area;
    return tgetstr("cm", &at) != nullptr;
}

Glyph ChooseGlyph(char32_t ch, int canvasWidth, int termWidth) {
    if (ch < 0x20 || ch == 0x7F || canvasWidth <= 0 || ch > 0x10FFFF) {
        return {L' ', canvasWidth == 2};
    }
    if (canvasWidth == termWidth) {
        return {static_cast<wchar_t>(ch), false};
    }
    if (canvasWidth == 2 && termWidth == 1) {
        return {static_cast<wchar_t>(ch), true}; // keep the row's later cells in place
    }
    // The terminal would take more room than the screen has for it, or
    // cannot show it at all.
    return {L'?', canvasWidth == 2};
}

struct Terminal::Session {
    SCREEN* screen = nullptr;
    FILE* in = nullptr;
    FILE* out = nullptr;
    int ttyFd = -1; // the terminal, for its size; owned unless `own`
    bool own = false;
    int sideFd = -1;
    platform::instance::ForegroundCompletion done;
    int inputWatch = -1;
    int sideWatch = -1;
    ColorMode mode = ColorMode::None;
    int emptyWakes = 0;
    int cols = 0, rows = 0;
};

Terminal::Terminal() = default;

Terminal::~Terminal() {
    Finish();
}

bool Terminal::Install() {
    ownAvailable_ = isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
    if (!ownAvailable_) {
        return false;
    }
    const char* termName = std::getenv("TERM");
    if (termName != nullptr && !TerminalCanPlaceCursor(termName)) {
        // A screen drawn on it would be garbage; nothing has started yet.
        std::fprintf(stderr, "stockat: this terminal cannot place the cursor (TERM=%s)\n",
                     termName);
        std::exit(1);
    }
    int cols = 80, rows = 24;
    TerminalSize(STDOUT_FILENO, cols, rows);
    platform::SetScreenSize(cols, rows);
    haveSavedModes_ = tcgetattr(STDIN_FILENO, &savedModes_) == 0;

    if (signalPipe[0] < 0 && pipe2(signalPipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        signalPipe[0] = signalPipe[1] = -1;
    }
    signal(SIGPIPE, SIG_IGN);
    for (int sig : {SIGWINCH, SIGHUP, SIGTERM, SIGINT}) {
        Catch(sig);
    }
    if (signalPipe[0] >= 0) {
        signalWatch_ = platform::AddFdWatch(signalPipe[0], [this] { OnSignal(); });
    }

    // The hand-over of this terminal, for the case that another copy runs.
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) == 0) {
        int tty = OpenOwnTerminal();
        EnvValues values;
        if (const char* name = std::getenv("TERM")) {
            values["TERM"] = name;
        }
        if (tty >= 0 && SendHello(pair[0], tty, values)) {
            handoverKeep_ = pair[0];
            handoverPass_ = pair[1];
            forwardFd = handoverKeep_;
            platform::instance::SetForegroundRequestFd(handoverPass_);
        } else {
            close(pair[0]);
            close(pair[1]);
        }
        if (tty >= 0) {
            close(tty); // the socket holds its own copy now
        }
    }
    platform::instance::SetForegroundRequestHandlerAsync(
        [this](HWND, int passedFd, platform::instance::ForegroundCompletion done) {
            Attach(passedFd, std::move(done));
        });
    platform::SetFrontEnd(this);
    return true;
}

void Terminal::DropHandover() {
    forwardFd = -1;
    platform::instance::SetForegroundRequestFd(-1);
    for (int* fd : {&handoverKeep_, &handoverPass_}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}

void Terminal::Finish() {
    if (session_) {
        CloseSession();
    }
    if (!started_ && haveSavedModes_) {
        // This copy never drew: another copy used its terminal and may have
        // ended without giving the modes back.
        tcsetattr(STDIN_FILENO, TCSANOW, &savedModes_);
        haveSavedModes_ = false;
    }
    DropHandover();
    if (signalWatch_ >= 0) {
        platform::RemoveFdWatch(signalWatch_);
        signalWatch_ = -1;
    }
    platform::instance::SetForegroundRequestHandlerAsync(nullptr);
    platform::SetFrontEnd(nullptr);
}

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

// ---- The platform's calls --------------------------------------------------------

void Terminal::Present(const platform::Canvas& screen) {
    current_ = screen;
    if (!session_ && !started_ && ownAvailable_) {
        // The first screen of the first copy: from here on this terminal is
        // ours, and no other copy will take over this one's hand-over.
        started_ = true;
        running = 1;
        DropHandover();
        if (!OpenSession(STDOUT_FILENO, true, "", -1, nullptr)) {
            // Nothing can be shown here: say so rather than run unseen.
            const char* name = std::getenv("TERM");
            std::fprintf(stderr, "stockat: cannot draw on this terminal (TERM=%s)\n",
                         name != nullptr ? name : "");
            PostQuitMessage(1);
        }
        return;
    }
    if (session_) {
        Draw(fullRedraw_);
    }
}

void Terminal::GoToBackground() {
    if (!session_) {
        return;
    }
    bool own = session_->own;
    CloseSession();
    if (own) {
        Detach();
    }
}

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
        // Ended from outside: like a window closed by a task manager, the
        // program stops without saving.
        PostQuitMessage(0);
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
