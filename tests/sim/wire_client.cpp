// SPDX-License-Identifier: GPL-3.0-or-later
#include "wire_client.h"

#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "codec.h"

namespace termina::sim::test {

using Clock = std::chrono::steady_clock;

WireClient WireClient::pty(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  termios t{};
  ::tcgetattr(fd, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(fd, TCSANOW, &t);
  ::tcflush(fd, TCIFLUSH);
  return WireClient(fd, false);
}

WireClient WireClient::tcp(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket");
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    throw std::runtime_error("connect");
  }
  ::fcntl(fd, F_SETFL, O_NONBLOCK);
  return WireClient(fd, true);
}

WireClient::WireClient(WireClient&& o) noexcept : fd_(o.fd_), tcp_(o.tcp_) { o.fd_ = -1; }
WireClient::~WireClient() {
  if (fd_ >= 0) ::close(fd_);
}

bool WireClient::write(const Bytes& b) {
  size_t done = 0;
  auto deadline = Clock::now() + std::chrono::seconds(3);
  while (done < b.size()) {
    ssize_t w = tcp_ ? ::send(fd_, b.data() + done, b.size() - done, MSG_NOSIGNAL)
                     : ::write(fd_, b.data() + done, b.size() - done);
    if (w > 0) {
      done += static_cast<size_t>(w);
    } else if (w < 0 && (errno == EAGAIN || errno == EINTR) && Clock::now() < deadline) {
      pollfd p{fd_, POLLOUT, 0};
      ::poll(&p, 1, 20);
    } else {
      return false;
    }
  }
  return true;
}

int WireClient::readSome(uint8_t* buf, size_t n, int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  int r = ::poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs);
  if (r <= 0) return 0;
  ssize_t got = ::read(fd_, buf, n);
  if (got == 0 && tcp_) return -1;
  return got > 0 ? static_cast<int>(got) : 0;
}

static int left(Clock::time_point deadline) {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
}

Bytes WireClient::readReply(std::chrono::milliseconds timeout) {
  Bytes out;
  auto deadline = Clock::now() + timeout;
  while (left(deadline) > 0) {
    // Complete when an STX is followed somewhere by ETX and two more bytes.
    size_t stx = 0;
    while (stx < out.size() && out[stx] != kStx) ++stx;
    for (size_t i = stx; i < out.size(); ++i)
      if (out[i] == kEtx && i + 2 < out.size()) return Bytes(out.begin(), out.begin() + static_cast<long>(i + 3));
    uint8_t buf[512];
    int n = readSome(buf, sizeof buf, left(deadline));
    if (n < 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

Bytes WireClient::readN(size_t n, std::chrono::milliseconds timeout) {
  Bytes out;
  auto deadline = Clock::now() + timeout;
  while (out.size() < n && left(deadline) > 0) {
    uint8_t buf[512];
    int got = readSome(buf, std::min(sizeof buf, n - out.size()), left(deadline));
    if (got < 0) break;
    out.insert(out.end(), buf, buf + got);
  }
  return out;
}

Bytes WireClient::readFor(std::chrono::milliseconds time) {
  Bytes out;
  auto deadline = Clock::now() + time;
  while (left(deadline) > 0) {
    uint8_t buf[512];
    int got = readSome(buf, sizeof buf, left(deadline));
    if (got < 0) break;
    out.insert(out.end(), buf, buf + got);
  }
  return out;
}

bool WireClient::waitClosed(std::chrono::milliseconds timeout) {
  auto deadline = Clock::now() + timeout;
  while (left(deadline) > 0) {
    uint8_t buf[64];
    if (readSome(buf, sizeof buf, left(deadline)) < 0) return true;
  }
  return false;
}

Bytes fromStx(const Bytes& b) {
  for (size_t i = 0; i < b.size(); ++i)
    if (b[i] == kStx) return Bytes(b.begin() + static_cast<long>(i), b.end());
  return {};
}

Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

int resultOf(const Bytes& reply) {
  Bytes f = fromStx(reply);
  if (f.size() < 9) return -1;
  auto v = parseHexByte(f[4], f[5]);
  return v ? *v : -1;
}

std::vector<std::string> fieldsOf(const Bytes& reply) {
  Bytes f = fromStx(reply);
  std::vector<std::string> out;
  if (f.size() < 9) return out;
  std::string cur;
  for (size_t i = 6; i + 3 < f.size() + 0 && f[i] != kEtx; ++i) {
    if (f[i] == kFs) {
      out.push_back(cp866ToUtf8(cur));
      cur.clear();
    } else {
      cur.push_back(static_cast<char>(f[i]));
    }
  }
  return out;
}

Bytes request(const std::string& bodyUtf8, const std::string& password, uint8_t id) {
  return buildRequest(utf8ToCp866(password), id, utf8ToCp866(bodyUtf8));
}

std::string linkPath(const std::string& tag) {
  return ::testing::TempDir() + "termina-sim-" + tag + "-" + std::to_string(::getpid());
}

}  // namespace termina::sim::test
