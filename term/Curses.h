// The one way term/ includes ncursesw: after the platform's win.h, whose
// TRUE and FALSE constants the curses header would otherwise turn into
// macros, and without curses' function-like macros (erase(), clear(),
// move() ...) that would rewrite ordinary member calls.
#pragma once

#include "platform/win.h"

#ifndef NCURSES_NOMACROS
#define NCURSES_NOMACROS
#endif
#ifndef NCURSES_WIDECHAR
#define NCURSES_WIDECHAR 1
#endif
#include <ncursesw/curses.h>
