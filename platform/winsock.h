// The Winsock 2 stand-in: the socket calls the program makes, with their
// Windows names, types and error conventions, carried out over POSIX
// sockets. Name resolution goes through the system resolver.
//
// The calls live in namespace platform::winsock and are brought into the
// global namespace for the program. The POSIX socket headers define macros
// with the same names (AF_INET, SOL_SOCKET, htons, ...), so no file includes
// both: the POSIX side is platform/WinsockPosix.cpp.
//
// Differences from Winsock that callers may notice:
//  - send never raises SIGPIPE when the peer has gone; it fails instead.
//  - WSACleanup of the last WSAStartup closes every socket still open, as
//    Winsock does, so a caller that stops Winsock without closing its socket
//    leaks nothing.
//  - Names under the reserved top-level domain "invalid" fail at once,
//    without a query (they can never resolve).
#pragma once

#include "platform/win.h"

#include <cstdint>

namespace platform::winsock {

using SOCKET = std::uintptr_t;
using u_short = unsigned short;
using u_long = unsigned long;
constexpr SOCKET INVALID_SOCKET = ~SOCKET{0};
constexpr int SOCKET_ERROR = -1;

constexpr int AF_INET = 2;
constexpr int SOCK_STREAM = 1;
constexpr int IPPROTO_TCP = 6;
constexpr int SOL_SOCKET = 0xffff;
constexpr int SO_SNDTIMEO = 0x1005; // DWORD milliseconds; 0 = no limit
constexpr int SO_RCVTIMEO = 0x1006; // DWORD milliseconds; 0 = no limit
constexpr std::uint32_t INADDR_NONE = 0xffffffff;

constexpr int WSAEINTR = 10004;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSANO_DATA = 11004;

constexpr int WSADESCRIPTION_LEN = 256;
constexpr int WSASYS_STATUS_LEN = 128;
struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
};

// Addresses are in network byte order, as on the platform.
struct in_addr {
    std::uint32_t s_addr;
};
struct sockaddr {
    u_short sa_family;
    char sa_data[14];
};
struct sockaddr_in {
    short sin_family;
    u_short sin_port;
    struct in_addr sin_addr;
    char sin_zero[8];
};
static_assert(sizeof(sockaddr_in) == 16);

struct hostent {
    char* h_name;
    char** h_aliases;
    short h_addrtype;
    short h_length;
    char** h_addr_list; // null-terminated list of h_length-byte addresses
};

// Starts Winsock; only version 2.x (and 1.1 to 2.2) is offered. Returns 0 or
// an error code (not through WSAGetLastError).
int WSAStartup(WORD versionRequested, WSADATA* data);
// Stops one WSAStartup; the last one closes every socket still open.
int WSACleanup();
int WSAGetLastError();

SOCKET socket(int af, int type, int protocol);
int closesocket(SOCKET s);
int connect(SOCKET s, const sockaddr* name, int nameLength);
int send(SOCKET s, const char* buffer, int length, int flags);
int recv(SOCKET s, char* buffer, int length, int flags);
int setsockopt(SOCKET s, int level, int name, const char* value, int valueLength);

// Resolves a host name to its IPv4 addresses. The result belongs to the
// calling thread and lives until its next call. Null on failure.
hostent* gethostbyname(const char* name);
// Dotted quad to an address in network order; INADDR_NONE when it is not one.
std::uint32_t inet_addr(const char* text);
// Address to dotted quad, in a buffer of the calling thread.
char* inet_ntoa(in_addr address);
u_short htons(u_short value);
u_short ntohs(u_short value);
u_long htonl(u_long value);

// Tests only: how many names gethostbyname has been asked to resolve.
int NameLookupCountForTesting();

} // namespace platform::winsock

using platform::winsock::AF_INET;
using platform::winsock::closesocket;
using platform::winsock::connect;
using platform::winsock::gethostbyname;
using platform::winsock::hostent;
using platform::winsock::htonl;
using platform::winsock::htons;
using platform::winsock::in_addr;
using platform::winsock::INADDR_NONE;
using platform::winsock::inet_addr;
using platform::winsock::inet_ntoa;
using platform::winsock::INVALID_SOCKET;
using platform::winsock::IPPROTO_TCP;
using platform::winsock::ntohs;
using platform::winsock::recv;
using platform::winsock::send;
using platform::winsock::setsockopt;
using platform::winsock::SO_RCVTIMEO;
using platform::winsock::SO_SNDTIMEO;
using platform::winsock::SOCK_STREAM;
using platform::winsock::sockaddr;
using platform::winsock::sockaddr_in;
using platform::winsock::SOCKET;
using platform::winsock::socket;
using platform::winsock::SOCKET_ERROR;
using platform::winsock::SOL_SOCKET;
using platform::winsock::WSACleanup;
using platform::winsock::WSADATA;
using platform::winsock::WSAGetLastError;
using platform::winsock::WSAStartup;
