// The POSIX half of the Winsock stand-in. It lives in its own file because
// the POSIX socket headers define macros (AF_INET, SOL_SOCKET, SO_RCVTIMEO,
// htons, ...) that share names with the Winsock declarations; Winsock.cpp
// uses only these plain functions. Failures return -1 (or false) with the
// errno value in *error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::posixnet {

int OpenTcpSocket(int* error);
void CloseSocket(int fd);
// Address and port in network byte order.
int Connect(int fd, std::uint32_t address, std::uint16_t port, int* error);
// Sends without raising SIGPIPE when the peer has gone.
long Send(int fd, const char* buffer, std::size_t length, int* error);
long Receive(int fd, char* buffer, std::size_t length, int* error);
// Sets the send (receive false) or receive timeout; 0 ms means none.
int SetTimeout(int fd, bool receive, std::uint32_t ms, int* error);
// The IPv4 addresses of a name through the system resolver. *error gets 1
// when the name is unknown, 2 for any other failure.
bool Resolve(const char* name, std::vector<std::uint32_t>* addresses, std::string* canonical,
             int* error);
// Dotted quad to network-order address; false when it is not one.
bool ParseDottedQuad(const char* text, std::uint32_t* address);
std::string FormatDottedQuad(std::uint32_t address);

} // namespace platform::posixnet
