// Handing a terminal from one copy of the program to another.
//
// Every `stockat` started on a terminal prepares, before the program runs, a
// pair of connected Unix sockets. Into one end it writes a hello: the
// terminal itself (a descriptor, passed with SCM_RIGHTS) and the few
// environment values that say how to draw on it (TERM, COLORTERM). The other
// end is the descriptor that the single-instance request carries when this
// copy finds a running one and asks it to come to the front. The running
// copy reads the hello from it, draws on the terminal, and keeps the socket:
// the asking copy, which now only waits, writes one byte 'W' into it
// whenever its terminal changes size (it is the terminal's foreground
// process, so only it hears SIGWINCH), and its end closing means that it
// has gone.
//
// The hello is a frame: a 32-bit little-endian length, then "NAME=value"
// texts each ended by a NUL byte.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace term {

using EnvValues = std::map<std::string, std::string>;

std::string EncodeHello(const EnvValues& values);
// The values of a whole frame's payload; nothing for a malformed one.
std::optional<EnvValues> DecodeHello(std::string_view payload);

// Writes the hello, with `ttyFd` attached, into `socketFd`. False when the
// socket refused it.
bool SendHello(int socketFd, int ttyFd, const EnvValues& values);

struct Hello {
    int ttyFd = -1; // owned by the caller
    EnvValues values;
};
// Reads one hello from `socketFd`, waiting at most `timeoutMs` for it.
// Nothing when it does not come, is malformed or carries no descriptor.
std::optional<Hello> ReceiveHello(int socketFd, int timeoutMs);

} // namespace term
