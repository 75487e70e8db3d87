// SPDX-License-Identifier: LGPL-2.1-or-later
// Socket primitives on POSIX systems.
#include "tcp_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace termina::link::sock {

namespace {
int fdOf(std::intptr_t s) { return static_cast<int>(s); }
}  // namespace

bool startLibrary() { return true; }
void releaseLibrary() {}

bool resolve(const std::string& host, uint32_t& address) {
  in_addr a{};
  if (!host.empty() && host[0] >= '0' && host[0] <= '9') {
    if (::inet_aton(host.c_str(), &a) == 0) return false;
  } else {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || !res) return false;
    a = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr;
    ::freeaddrinfo(res);
  }
  address = a.s_addr;
  return true;
}

std::intptr_t open(int& error) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  error = fd < 0 ? errno : 0;
  return fd < 0 ? kNone : fd;
}

void close(std::intptr_t s) { ::close(fdOf(s)); }

bool setReceiveTimeout(std::intptr_t s, int ms) {
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  return ::setsockopt(fdOf(s), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0;
}

bool connectWithin(std::intptr_t s, uint32_t address, uint16_t port, int ms) {
  const int fd = fdOf(s);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = address;
  addr.sin_port = htons(port);
  const int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return false;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    if (errno != EINPROGRESS) return false;
    pollfd p{fd, POLLOUT, 0};
    int r;
    do { r = ::poll(&p, 1, ms); } while (r < 0 && errno == EINTR);
    int soErr = 0;
    socklen_t len = sizeof soErr;
    if (r <= 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soErr, &len) != 0 || soErr != 0) return false;
  }
  return ::fcntl(fd, F_SETFL, flags) == 0;
}

std::size_t send(std::intptr_t s, const uint8_t* data, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    const ssize_t w = ::send(fdOf(s), data + done, n - done, MSG_NOSIGNAL);
    if (w > 0)
      done += static_cast<std::size_t>(w);
    else if (w < 0 && errno == EINTR)
      continue;
    else
      break;
  }
  return done;
}

std::size_t receive(std::intptr_t s, uint8_t* buf, std::size_t max, int ms) {
  pollfd p{fdOf(s), POLLIN, 0};
  int ready;
  do { ready = ::poll(&p, 1, ms); } while (ready < 0 && errno == EINTR);
  if (ready <= 0) return 0;
  for (;;) {
    const ssize_t r = ::recv(fdOf(s), buf, max, 0);
    if (r > 0) return static_cast<std::size_t>(r);
    if (r < 0 && errno == EINTR) continue;
    return 0;
  }
}

}  // namespace termina::link::sock
