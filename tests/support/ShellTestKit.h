// What the tests of the shell, the alerts and the refresh cycle share: the
// process-wide run state put back to its start values (with the program's
// thread being the test's own, for tests that call the routines directly),
// and the screen read as one text, so that a message box's wrapped text can
// be searched for whole.
#pragma once

#include "platform/headless/Driver.h"

#include <string>

namespace testsupport {

// For tests in which the test's thread is the program's: the platform's
// records emptied, this thread bound as the UI thread, the watch list, the
// shell state and the run state at their start values, and the program's
// resources registered as its instance.
void ResetProgramOnThisThread();

// The screen's characters in one line, without blanks, '|' and the
// box-drawing characters of frames.
std::string FlatScreen(const platform::headless::Driver& driver);
// Whether the screen shows `utf8` (its blanks ignored), across line breaks.
bool ScreenShowsText(const platform::headless::Driver& driver, const std::string& utf8);
// Whether a message box is open.
bool MessageBoxOpen(const platform::headless::Driver& driver);

} // namespace testsupport
