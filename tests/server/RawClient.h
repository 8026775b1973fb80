// A tiny loopback HTTP client for the server tests, on plain sockets, so that
// tests can send exactly the bytes a phone sends, stop half-way, or never
// read.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>

namespace servertest {

// A connected socket to 127.0.0.1:port, or -1.
inline int Connect(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline bool SendAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Reads until the peer closes; gives up after `limit` (a safety bound
// against a hung server, never reached when the server behaves).
struct ReadResult {
    std::string data;
    bool closed = false; // the peer closed (or reset) the connection
};
inline ReadResult ReadUntilClose(int fd,
                                 std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    ReadResult result;
    auto deadline = std::chrono::steady_clock::now() + limit;
    char buffer[4096];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return result;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return result;
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            result.closed = true;
            return result;
        }
        result.data.append(buffer, static_cast<size_t>(n));
    }
}

// The request a phone sends for a path (with its query).
inline std::string PhoneRequest(std::string_view pathAndQuery) {
    return "GET " + std::string(pathAndQuery) +
           " HTTP/1.1\r\nHost: wap.stockat.test\r\nConnection: Close\r\n"
           "User-agent:Mozilla/4.0\r\nAccept-language:zh-cn\r\n\r\n";
}

// One whole exchange; the reply, or "" when the connection failed.
inline std::string Fetch(int port, std::string_view request) {
    int fd = Connect(port);
    if (fd < 0)
        return "";
    ReadResult r;
    if (SendAll(fd, request))
        r = ReadUntilClose(fd);
    ::close(fd);
    return r.closed ? r.data : "";
}

inline std::string BodyOf(const std::string& reply) {
    size_t end = reply.find("\r\n\r\n");
    return end == std::string::npos ? "" : reply.substr(end + 4);
}

} // namespace servertest
