// The terminal front-end of the device: the screen drawn with ncursesw, the
// keys and the mouse, the terminal's size, and the way the program goes to
// the background and comes back.
//
// Drawing. The platform composes the whole screen into a cell canvas and
// hands it to Present whenever it changed. Only the cells that differ from
// what the terminal already shows are written, and ncurses sends only what
// the terminal lacks; nothing is drawn on a timer, so an idle program draws
// nothing and wakes only for its own timer. Colours go out in direct colour
// where the terminal has it, else as the nearest of its 256 or 8 colours
// (Colors.h); wide characters take two cells, and a character whose width
// the terminal's locale sees otherwise is padded or replaced so that no row
// ever shifts.
//
// Background and foreground. On the phone the title bar's X hides the
// program, which goes on running (refreshing, raising alerts), and starting
// the program again brings the running copy back. Here:
//  - The first copy draws on the terminal it was started from. On X (or
//    when that terminal closes) it ends curses, forks, and the original
//    process exits with code 0, so the shell gets its terminal back; the
//    child leaves the terminal's session (setsid), points its standard
//    descriptors at /dev/null and carries on in the background with its
//    windows, timers, lock file and instance socket (descriptors and flock
//    locks survive a fork; threads would not, and the platform keeps none:
//    the instance socket and the terminal are served from the message
//    loop's descriptor watches, desktop bubbles open a fresh bus connection
//    each time).
//  - Every copy started on a terminal prepares a hand-over of that terminal
//    (Handover.h) and names it as the descriptor of its foreground request.
//    When it finds a running copy (the single-instance road: mutex,
//    FindWindow, SetForegroundWindow), that copy's foreground handler takes
//    the terminal, opens a curses screen on it (newterm on the passed
//    descriptor, with the asking terminal's TERM) and shows its screen
//    there, while the asking copy waits. X on that terminal, or the
//    terminal closing, gives it back: the running copy ends curses there
//    and answers the request, and the asking copy exits with code 0. A
//    request that comes while the screen is shown elsewhere moves the screen
//    to the new terminal.
//  - The program's exit command ends it with its files saved. SIGTERM or
//    SIGINT (a service stop, a logout, a shutdown) end the session: they
//    reach the message loop through the signal pipe, the program's windows
//    receive WM_ENDSESSION, which saves as the exit command does, and the
//    program ends with code 0. A copy that has not shown its screen yet (or
//    only waits for a running one) ends at once, as the signal's default.
//  - Started with --background, the program has no terminal of its own from
//    the start, as if its terminal had just closed (InstallBackground); a
//    later copy on a terminal takes it over the same way.
//
// Size. The screen needs at least kMinScreenCols x kMinScreenRows cells. On
// a smaller terminal the program runs on as before (its timers, refreshes
// and alerts), but the screen shows one centred line saying that the
// terminal is too small and how large it must be; the whole screen comes
// back as soon as the terminal is large enough again. A terminal that cannot
// place the cursor (TERM=dumb) cannot show the screen at all: the program
// says so in one line and ends with exit code 1 before it starts.
#pragma once

#include "platform/Canvas.h"
#include "platform/frontend.h"
#include "platform/instance.h"
#include "term/Colors.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <termios.h>

namespace term {

// The smallest screen on which every window of the program shows its values
// whole. Across: the full-screen dialogs lay their 160 dialog units over the
// screen's width (platform/Dialog.cpp), and at 60 columns the market index
// lines get 23 cells, room for a five-digit index with its change and
// percentage ("10234.56 -123.45 -1.19%"); every other value needs less.
// Down: the stock detail dialog has fourteen rows of fields under the title
// row and above the soft-key row.
constexpr int kMinScreenCols = 60;
constexpr int kMinScreenRows = 16;

// What a terminal of `cols` x `rows` shows instead of the screen when it is
// smaller than that: one line, centred. Nothing for a terminal large enough.
struct TooSmallNotice {
    std::wstring text;
    int col = 0;
    int row = 0;
};
std::optional<TooSmallNotice> TooSmallNoticeFor(int cols, int rows);

// Whether terminfo's entry `name` can place the cursor (has "cup"). A name
// terminfo does not know counts as able: the front-end then draws as the
// common xterm-256color.
bool TerminalCanPlaceCursor(const std::string& name);

// What to draw in a cell that holds `ch`, which the canvas gives
// `canvasWidth` cells and the terminal's locale `termWidth` (wcwidth).
struct Glyph {
    wchar_t ch = L' ';
    bool padRight = false; // draw a blank in the next cell as well
    bool operator==(const Glyph&) const = default;
};
Glyph ChooseGlyph(char32_t ch, int canvasWidth, int termWidth);

class Terminal : public platform::FrontEnd {
  public:
    Terminal();
    ~Terminal() override;
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // Prepares everything before the program starts: the screen size, the
    // signals, the hand-over of this terminal and the foreground handler;
    // installs itself as the platform's front-end. On failure it changes
    // nothing and returns the reason, one line for the user: standard input
    // and output are not a terminal, or the terminal cannot place the cursor
    // (a screen drawn on it would be garbage).
    std::optional<std::string> Install();
    // The same for a program that starts in the background, without a
    // terminal: the signals and the foreground handler, nothing of its own
    // to hand over or draw on. The program counts as running at once, so
    // that SIGTERM saves.
    void InstallBackground();
    // Told on the UI thread whenever the program's screen comes to a
    // terminal (true) or leaves it (false); after leaving its own terminal
    // the program goes on in a new process, which is told once more.
    void SetSessionObserver(std::function<void(bool shown)> observer);
    // Told once, on the UI thread, when the program composes its first
    // screen: it runs (a copy that only hands its terminal to a running one
    // never gets there). Told before that screen opens on a terminal.
    void SetFirstScreenObserver(std::function<void()> observer);
    // After the program has ended: gives back whatever terminal it shows.
    void Finish();

    // FrontEnd.
    void Present(const platform::Canvas& screen) override;
    void GoToBackground() override;

  private:
    struct Session;

    bool OpenSession(int ttyFd, bool own, const std::string& termName, int sideFd,
                     platform::instance::ForegroundCompletion done);
    void CloseSession();
    void Detach();
    void Draw(bool full);
    bool DrawTooSmall(bool full);
    void DrawCell(int col, int row, int cols);
    int PairFor(COLORREF fg, COLORREF bg);
    void OnInput();
    void OnSide();
    void OnSignal();
    void Resized();
    void HangUp();
    void Attach(int passedFd, platform::instance::ForegroundCompletion done);
    void DropHandover();
    void WatchSignals();

    std::unique_ptr<Session> session_;
    platform::Canvas current_; // the screen as last composed
    platform::Canvas shown_;   // what the terminal shows
    bool ownAvailable_ = false;
    bool started_ = false;
    bool detached_ = false;
    bool ending_ = false; // the session's end has been asked for
    std::function<void(bool)> sessionObserver_;
    std::function<void()> firstScreenObserver_;
    bool fullRedraw_ = true;
    bool noticeShown_ = false; // the too-small line stands in for the screen
    int signalWatch_ = -1;
    int handoverKeep_ = -1; // our end of the hand-over socket pair
    int handoverPass_ = -1; // the end a foreground request passes
    termios savedModes_{};
    bool haveSavedModes_ = false;
    std::map<std::uint64_t, int> pairs_;
};

} // namespace term
