// The terminal hand-over between two copies of the program (see Handover.h).
#include "term/Handover.h"

#include "platform/FdFrame.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace term {

namespace {

// A hello is a handful of short values; anything longer is not one.
constexpr std::uint32_t kMaxHello = 4096;

} // namespace

std::string EncodeHello(const EnvValues& values) {
    std::string payload;
    for (const auto& [name, value] : values) {
        if (name.empty() || name.find('=') != std::string::npos ||
            name.find('\0') != std::string::npos || value.find('\0') != std::string::npos) {
            continue; // cannot be carried; the receiver does without it
        }
        payload += name + "=" + value;
        payload.push_back('\0');
    }
    return platform::fdframe::Frame(payload);
}

std::optional<EnvValues> DecodeHello(std::string_view payload) {
    EnvValues values;
    while (!payload.empty()) {
        size_t end = payload.find('\0');
        if (end == std::string_view::npos) {
            return std::nullopt; // the last text is not ended
        }
        std::string_view item = payload.substr(0, end);
        size_t eq = item.find('=');
        if (eq == std::string_view::npos || eq == 0) {
            return std::nullopt;
        }
        values[std::string(item.substr(0, eq))] = std::string(item.substr(eq + 1));
        payload.remove_prefix(end + 1);
    }
    return values;
}

bool SendHello(int socketFd, int ttyFd, const EnvValues& values) {
    std::string frame = EncodeHello(values);
    ssize_t n = platform::fdframe::SendWithFd(socketFd, frame.data(), frame.size(), ttyFd,
                                              MSG_NOSIGNAL | MSG_DONTWAIT);
    // A fresh socket pair takes the whole small frame at once.
    return n == static_cast<ssize_t>(frame.size());
}

std::optional<Hello> ReceiveHello(int socketFd, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string buffer;
    std::vector<int> fds;
    auto closeAll = [&] {
        for (int fd : fds) {
            close(fd);
        }
    };
    for (;;) {
        if (std::optional<std::uint32_t> length = platform::fdframe::FrameLength(buffer)) {
            std::uint32_t n = *length;
            if (n > kMaxHello) {
                closeAll();
                return std::nullopt;
            }
            if (buffer.size() >= 4 + n) {
                std::optional<EnvValues> values =
                    DecodeHello(std::string_view(buffer).substr(4, n));
                if (!values || fds.empty()) {
                    closeAll();
                    return std::nullopt;
                }
                Hello hello;
                hello.ttyFd = fds.front();
                for (size_t i = 1; i < fds.size(); ++i) {
                    close(fds[i]); // one terminal is all a hello carries
                }
                hello.values = std::move(*values);
                return hello;
            }
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            closeAll();
            return std::nullopt;
        }
        pollfd p{socketFd, POLLIN, 0};
        int rc = poll(&p, 1, static_cast<int>(left.count()));
        if (rc < 0 && errno == EINTR) {
            continue;
        }
        if (rc <= 0) {
            closeAll();
            return std::nullopt;
        }
        // Read no further than the frame, so that later resize bytes stay in
        // the socket for the watch that follows.
        size_t want = 4;
        if (std::optional<std::uint32_t> length = platform::fdframe::FrameLength(buffer)) {
            want = 4 + *length;
        }
        ssize_t got = platform::fdframe::ReceiveWithFds(socketFd, buffer, want - buffer.size(), fds,
                                                        MSG_DONTWAIT);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        if (got <= 0) {
            closeAll(); // the other copy went away, or the socket failed
            return std::nullopt;
        }
    }
}

} // namespace term
