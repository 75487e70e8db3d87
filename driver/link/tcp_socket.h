// SPDX-License-Identifier: LGPL-2.1-or-later
// Socket primitives of one platform, under the connection rules of tcp.cpp:
// tcp_posix.cpp (BSD sockets) or tcp_win32.cpp (Winsock).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace termina::link::sock {

// A socket descriptor or a Winsock SOCKET, held as an integer.
constexpr std::intptr_t kNone = -1;

// Starts the socket library asking for version 2.2 (nothing to start on
// POSIX systems); false when it cannot start or gives another version.
bool startLibrary();
void releaseLibrary();

// host as a dotted IPv4 address when it begins with a digit, else the first
// IPv4 address a name look-up gives; network byte order.
bool resolve(const std::string& host, uint32_t& address);

// A TCP stream socket, or kNone with the system's error number in error.
std::intptr_t open(int& error);
void close(std::intptr_t s);

bool setReceiveTimeout(std::intptr_t s, int ms);

// Connects without blocking for longer than ms, and leaves the socket
// blocking again; false for a refused, failed or unfinished connect.
bool connectWithin(std::intptr_t s, uint32_t address, uint16_t port, int ms);

// All bytes, or as many as the socket took.
std::size_t send(std::intptr_t s, const uint8_t* data, std::size_t n);

// What one receive brings, waiting at most ms for the first byte (0: only
// what has already arrived) and never longer than the socket's receive
// time-out; retried when a signal interrupts it.  0 on time-out, error or a
// closed connection.
std::size_t receive(std::intptr_t s, uint8_t* buf, std::size_t max, int ms);

}  // namespace termina::link::sock
