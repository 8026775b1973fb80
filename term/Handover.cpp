// The terminal hand-over between two copies of the program (see Handover.h).
#include "term/Handover.h"

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
    std::string frame;
    auto n = static_cast<std::uint32_t>(payload.size());
    for (int i = 0; i < 4; ++i) {
        frame.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
    }
    return frame + payload;
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
    msghdr msg{};
    iovec iov{frame.data(), frame.size()};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    std::memset(control, 0, sizeof control);
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &ttyFd, sizeof(int));
    ssize_t n;
    do {
        n = sendmsg(socketFd, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
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
        if (buffer.size() >= 4) {
            std::uint32_t n = 0;
            for (int i = 0; i < 4; ++i) {
                n |= std::uint32_t(static_cast<unsigned char>(buffer[i])) << (8 * i);
            }
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
        if (buffer.size() >= 4) {
            std::uint32_t n = 0;
            for (int i = 0; i < 4; ++i) {
                n |= std::uint32_t(static_cast<unsigned char>(buffer[i])) << (8 * i);
            }
            want = 4 + n;
        }
        char data[512];
        size_t room = std::min(sizeof data, want - buffer.size());
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
        msghdr msg{};
        iovec iov{data, room};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        ssize_t got;
        do {
            got = recvmsg(socketFd, &msg, MSG_CMSG_CLOEXEC | MSG_DONTWAIT);
        } while (got < 0 && errno == EINTR);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); got >= 0 && c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) {
                size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
                for (size_t i = 0; i < count; ++i) {
                    int passed;
                    std::memcpy(&passed, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
                    fds.push_back(passed);
                }
            }
        }
        if (got <= 0) {
            closeAll(); // the other copy went away, or the socket failed
            return std::nullopt;
        }
        buffer.append(data, static_cast<size_t>(got));
    }
}

} // namespace term
