// The shared reply text and traffic counter, and the reset of all of the
// program's state.
#include "common/ProgramState.h"

#include "common/QuoteRecord.h"
#include "common/ShellState.h"

#include <vector>

std::string LastReply;
double RunTraffic = 0;

namespace {

// Constructed on first use, so that registrations from other files'
// static initialisation find it whatever the order of files.
std::vector<void (*)()>& SubsystemResets() {
    static std::vector<void (*)()> resets;
    return resets;
}

} // namespace

bool RegisterStateReset(void (*reset)()) {
    SubsystemResets().push_back(reset);
    return true;
}

void ResetProgramState() {
    for (QuoteRecord& r : WatchList) {
        r = QuoteRecord{};
    }
    stockCount = 0;
    previewMode.clear();
    Settings = SettingsRecord{};
    Shell = ShellState{};
    LastReply.clear();
    RunTraffic = 0;
    for (void (*reset)() : SubsystemResets()) {
        reset();
    }
}
