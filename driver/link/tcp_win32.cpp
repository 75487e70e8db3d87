// SPDX-License-Identifier: LGPL-2.1-or-later
// Socket primitives on Windows, over Winsock 2.2.  The library is started
// for each connection and released when it closes.
#include "tcp_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace termina::link::sock {

namespace {

SOCKET socketOf(std::intptr_t s) { return static_cast<SOCKET>(s); }

bool setBlocking(SOCKET s, bool blocking) {
  u_long nonBlocking = blocking ? 0 : 1;
  return ::ioctlsocket(s, FIONBIO, &nonBlocking) == 0;
}

}  // namespace

bool startLibrary() {
  WSADATA data{};
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
  if (data.wVersion != MAKEWORD(2, 2)) {
    ::WSACleanup();
    return false;
  }
  return true;
}

void releaseLibrary() { ::WSACleanup(); }

bool resolve(const std::string& host, uint32_t& address) {
  if (!host.empty() && host[0] >= '0' && host[0] <= '9') {
    const unsigned long a = ::inet_addr(host.c_str());
    if (a == INADDR_NONE && host != "255.255.255.255") return false;
    address = static_cast<uint32_t>(a);
    return true;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || !res) return false;
  address = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr.s_addr;
  ::freeaddrinfo(res);
  return true;
}

std::intptr_t open(int& error) {
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  error = s == INVALID_SOCKET ? ::WSAGetLastError() : 0;
  return s == INVALID_SOCKET ? kNone : static_cast<std::intptr_t>(s);
}

void close(std::intptr_t s) { ::closesocket(socketOf(s)); }

bool setReceiveTimeout(std::intptr_t s, int ms) {
  const DWORD timeout = static_cast<DWORD>(ms);
  return ::setsockopt(socketOf(s), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout) ==
         0;
}

bool connectWithin(std::intptr_t sock, uint32_t address, uint16_t port, int ms) {
  const SOCKET s = socketOf(sock);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = address;
  addr.sin_port = htons(port);
  if (!setBlocking(s, false)) return false;
  if (::connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return false;
    // Writable means connected; a refused connect shows in the
    // exception set instead.
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    if (::select(0, nullptr, &writable, &failed, &tv) <= 0 || !FD_ISSET(s, &writable)) return false;
  }
  return setBlocking(s, true);
}

std::size_t send(std::intptr_t s, const uint8_t* data, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    const int w = ::send(socketOf(s), reinterpret_cast<const char*>(data + done), static_cast<int>(n - done), 0);
    if (w <= 0) break;
    done += static_cast<std::size_t>(w);
  }
  return done;
}

std::size_t receive(std::intptr_t s, uint8_t* buf, std::size_t max, int ms) {
  // Nothing readable within ms: a silent wait.  The receive time-out still
  // ends a wait that select let through with an error: nothing came.
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socketOf(s), &readable);
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  if (::select(0, &readable, nullptr, nullptr, &tv) <= 0) return 0;
  const int r = ::recv(socketOf(s), reinterpret_cast<char*>(buf), static_cast<int>(max), 0);
  return r > 0 ? static_cast<std::size_t>(r) : 0;
}

}  // namespace termina::link::sock
