// The terminal front-end: installing it, ending it, and the calls of the
// platform (see Terminal.h for the design; the sessions, the drawing and the
// input are in TerminalSession.cpp, TerminalDraw.cpp and TerminalInput.cpp).
#include "term/Terminal.h"
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

namespace internal {

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

} // namespace internal

using namespace internal;

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

Terminal::Terminal() = default;

Terminal::~Terminal() {
    Finish();
}

std::optional<std::string> Terminal::Install() {
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
        return "needs a terminal (standard input and output)";
    }
    const char* termName = std::getenv("TERM");
    if (termName != nullptr && !TerminalCanPlaceCursor(termName)) {
        return std::string("this terminal cannot place the cursor (TERM=") + termName + ")";
    }
    ownAvailable_ = true;
    int cols = 80, rows = 24;
    TerminalSize(STDOUT_FILENO, cols, rows);
    platform::SetScreenSize(cols, rows);
    haveSavedModes_ = tcgetattr(STDIN_FILENO, &savedModes_) == 0;
    WatchSignals();

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
    return std::nullopt;
}

void Terminal::WatchSignals() {
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
}

void Terminal::InstallBackground() {
    WatchSignals();
    // Nothing of its own to show: the screen waits for a terminal that a
    // later copy hands over.
    started_ = true;
    detached_ = true;
    running = 1;
    platform::instance::SetForegroundRequestHandlerAsync(
        [this](HWND, int passedFd, platform::instance::ForegroundCompletion done) {
            Attach(passedFd, std::move(done));
        });
    platform::SetFrontEnd(this);
}

void Terminal::SetSessionObserver(std::function<void(bool shown)> observer) {
    sessionObserver_ = std::move(observer);
}

void Terminal::SetFirstScreenObserver(std::function<void()> observer) {
    firstScreenObserver_ = std::move(observer);
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

// ---- The platform's calls --------------------------------------------------------

void Terminal::Present(const platform::Canvas& screen) {
    current_ = screen;
    if (firstScreenObserver_) {
        std::function<void()> observer = std::move(firstScreenObserver_);
        firstScreenObserver_ = nullptr;
        observer();
    }
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

} // namespace term
