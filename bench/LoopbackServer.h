// What the network benchmarks share: the bundled quote server running on a
// loopback port for the whole benchmark process, and a bare POSIX exchange
// with it (connect, send the request, receive until the server closes) that
// the program's own fetch is measured against.
#pragma once

#include "server/QuoteServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string_view>

namespace benchsupport {

// The quote server, started on first use with its clock standing still at
// `epochMs` (a moment of trading, so that every page carries a full quote).
// Later calls return the same server whatever moment they name.
inline server::QuoteServer& RunningQuoteServer(std::int64_t epochMs) {
    static std::unique_ptr<server::QuoteServer> quoted;
    static std::once_flag once;
    std::call_once(once, [epochMs] {
        server::ServerOptions options;
        options.port = 0;
        quoted =
            std::make_unique<server::QuoteServer>(options, platform::DeviceClock::Manual(epochMs));
        std::string error;
        if (!quoted->Start(&error)) {
            std::abort();
        }
    });
    return *quoted;
}

// A new connection to 127.0.0.1:port with `request` sent on it: its
// descriptor, or -1 when the connection or the send failed.
inline int SendOverLoopback(int port, std::string_view request) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<std::uint16_t>(port));
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0 ||
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) <= 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    return fd;
}

// One exchange with 127.0.0.1:port: the number of reply bytes received (at
// most `limit`), or -1 when the connection or the send failed.
inline long BareExchange(int port, std::string_view request, std::size_t limit) {
    int fd = SendOverLoopback(port, request);
    if (fd < 0) {
        return -1;
    }
    char buffer[50000];
    std::size_t total = 0;
    while (total < limit) {
        std::size_t room = limit - total < sizeof buffer ? limit - total : sizeof buffer;
        ssize_t n = ::recv(fd, buffer, room, 0);
        if (n <= 0) {
            break;
        }
        total += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return static_cast<long>(total);
}

} // namespace benchsupport
