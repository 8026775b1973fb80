// POSIX sockets and the system resolver behind the Winsock stand-in.
#include "platform/WinsockPosix.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace platform::posixnet {

int OpenTcpSocket(int* error) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = errno;
    }
    return fd;
}

void CloseSocket(int fd) {
    ::close(fd);
}

int Connect(int fd, std::uint32_t address, std::uint16_t port, int* error) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = port;
    peer.sin_addr.s_addr = address;
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        *error = errno;
        return -1;
    }
    return 0;
}

long Send(int fd, const char* buffer, std::size_t length, int* error) {
    ssize_t n;
    do {
        n = ::send(fd, buffer, length, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        *error = errno;
    }
    return n;
}

long Receive(int fd, char* buffer, std::size_t length, int* error) {
    ssize_t n;
    do {
        n = ::recv(fd, buffer, length, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        *error = errno;
    }
    return n;
}

int SetTimeout(int fd, bool receive, std::uint32_t ms, int* error) {
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(ms / 1000);
    tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
    if (::setsockopt(fd, SOL_SOCKET, receive ? SO_RCVTIMEO : SO_SNDTIMEO, &tv, sizeof tv) != 0) {
        *error = errno;
        return -1;
    }
    return 0;
}

bool Resolve(const char* name, std::vector<std::uint32_t>* addresses, std::string* canonical,
             int* error) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* found = nullptr;
    int rc = ::getaddrinfo(name, nullptr, &hints, &found);
    if (rc != 0 || found == nullptr) {
        *error = rc == EAI_NONAME ? 1 : 2;
        return false;
    }
    *canonical = found->ai_canonname ? found->ai_canonname : name;
    addresses->clear();
    for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
        if (a->ai_family != AF_INET || a->ai_addrlen < sizeof(sockaddr_in)) {
            continue;
        }
        std::uint32_t address = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
        bool seen = false;
        for (std::uint32_t known : *addresses) {
            seen = seen || known == address;
        }
        if (!seen) {
            addresses->push_back(address);
        }
    }
    ::freeaddrinfo(found);
    if (addresses->empty()) {
        *error = 2;
        return false;
    }
    return true;
}

bool ParseDottedQuad(const char* text, std::uint32_t* address) {
    in_addr a{};
    if (::inet_pton(AF_INET, text, &a) != 1) {
        return false;
    }
    *address = a.s_addr;
    return true;
}

std::string FormatDottedQuad(std::uint32_t address) {
    in_addr a{};
    a.s_addr = address;
    char text[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, &a, text, sizeof text) == nullptr) {
        return std::string();
    }
    return text;
}

} // namespace platform::posixnet
