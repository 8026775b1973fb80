// Length-framed messages with passed descriptors (see FdFrame.h).
#include "platform/FdFrame.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>

namespace platform::fdframe {

namespace {

// At most this many descriptors are taken from one message.
constexpr std::size_t kMaxFds = 4;

} // namespace

std::string Frame(std::string_view payload) {
    std::string out;
    auto n = static_cast<std::uint32_t>(payload.size());
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
    }
    out += payload;
    return out;
}

std::optional<std::uint32_t> FrameLength(std::string_view buffer) {
    if (buffer.size() < 4) {
        return std::nullopt;
    }
    std::uint32_t n = 0;
    for (int i = 0; i < 4; ++i) {
        n |= std::uint32_t(static_cast<unsigned char>(buffer[i])) << (8 * i);
    }
    return n;
}

ssize_t SendWithFd(int fd, const char* data, std::size_t size, int passFd, int flags) {
    msghdr msg{};
    iovec iov{const_cast<char*>(data), size};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    if (passFd >= 0) {
        std::memset(control, 0, sizeof control);
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &passFd, sizeof(int));
    }
    ssize_t n;
    do {
        n = sendmsg(fd, &msg, flags);
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t ReceiveWithFds(int fd, std::string& buffer, std::size_t room, std::vector<int>& fds,
                       int flags) {
    char data[4096];
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMaxFds)];
    msghdr msg{};
    iovec iov{data, room < sizeof data ? room : sizeof data};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t n;
    do {
        n = recvmsg(fd, &msg, flags | MSG_CMSG_CLOEXEC);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        return n;
    }
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) {
            std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (std::size_t i = 0; i < count; ++i) {
                int passed;
                std::memcpy(&passed, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
                fds.push_back(passed);
            }
        }
    }
    buffer.append(data, static_cast<std::size_t>(n));
    return n;
}

} // namespace platform::fdframe
