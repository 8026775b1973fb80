// The quote server's log: one line per event, prefixed with the program's
// name, written whole even when several threads log at once; to standard
// error, or to a file of bounded size.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace server {

void LogLine(std::string_view line);

// Logs to `path` from now on (empty: standard error again). When a line
// would take the file past `capBytes` (0: no cap), the file is renamed to
// `path` + ".1", replacing the old one, and a new file is started: the log
// never takes more than about twice the cap. False, with a reason, when the
// file cannot be written.
bool SetLogFile(const std::string& path, std::uintmax_t capBytes, std::string* error);

} // namespace server
