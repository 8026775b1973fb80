// What the terminal front-end's files share inside term/ (Terminal.cpp, the
// sessions, the drawing and the input): the curses session of one terminal,
// the signal pipe and the flags that the signal handler reads.
#pragma once

#include "platform/instance.h"
#include "term/Colors.h"
#include "term/Curses.h"
#include "term/Terminal.h"

#include <csignal>
#include <cstdio>

namespace term {

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

namespace internal {

// Signals reach the message loop through a pipe: the handler writes one
// byte naming the signal, and a descriptor watch reads it on the UI thread.
extern int signalPipe[2];
// While this copy only waits for a running copy to use its terminal, a
// resize of the terminal is passed on through the hand-over socket.
extern volatile sig_atomic_t forwardFd;
// Set once this copy shows its screen.
extern volatile sig_atomic_t running;

// The size of terminal `fd`; false when it has none.
bool TerminalSize(int fd, int& cols, int& rows);

} // namespace internal

} // namespace term
