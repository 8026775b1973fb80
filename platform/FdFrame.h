// Length-framed messages over a Unix socket, with descriptors passed beside
// them (SCM_RIGHTS): what the single-instance requests (Instance.cpp) and the
// terminal hand-over (term/Handover.cpp) both send. A frame is a 32-bit
// little-endian length, then that many bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace platform::fdframe {

// `payload` as one frame.
std::string Frame(std::string_view payload);

// The length that the frame at the front of `buffer` announces, once its
// four length bytes are there.
std::optional<std::uint32_t> FrameLength(std::string_view buffer);

// One sendmsg of `size` bytes from `data` with `flags` (MSG_NOSIGNAL and the
// like), with descriptor `passFd` attached when it is 0 or more; retried on
// EINTR. Returns what sendmsg returns (bytes sent, or -1 with errno).
ssize_t SendWithFd(int fd, const char* data, std::size_t size, int passFd, int flags);

// One recvmsg of at most `room` bytes with `flags` (MSG_CLOEXEC for passed
// descriptors is always asked for), retried on EINTR. The bytes are
// appended to `buffer` and the descriptors that came with them to `fds` (the
// caller owns them). Returns what recvmsg returns (bytes, 0 at the end, -1
// with errno).
ssize_t ReceiveWithFds(int fd, std::string& buffer, std::size_t room, std::vector<int>& fds,
                       int flags);

} // namespace platform::fdframe
