// The process-wide values that several subsystems share besides the watch
// list and settings (common/QuoteRecord.h) and the shell's state
// (common/ShellState.h), and the one reset of all of the program's state.
#pragma once

#include <string>

// The last reply that reached the end of its receive loop: status line,
// headers and body as one 8-bit GBK text, cut at the first NUL byte. A failed
// fetch leaves it unchanged.
extern std::string LastReply;
// Megabytes (1 MB = 1,048,576 bytes) received since the program started. The
// month's counter is Settings.MonthTraffic.
extern double RunTraffic;

// Puts every process-wide value of the program back to its start value, as
// if the program started anew: the 21 records, stockCount, previewMode, the
// settings, the shell state, the last reply and the traffic counter, and the
// state of every subsystem that is linked into the program (each registers
// the reset of its own values with RegisterStateReset). For tests that run
// the program more than once in one process.
void ResetProgramState();

// Adds the reset of one subsystem's own values to ResetProgramState. The file
// that defines the values calls it while the program's statics are
// initialised, so whatever is linked in is also reset; returns true.
bool RegisterStateReset(void (*reset)());
