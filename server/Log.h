// The quote server's log: one line per event, prefixed with the program's
// name, written whole even when several threads log at once.
#pragma once

#include <string_view>

namespace server {

void LogLine(std::string_view line);

} // namespace server
