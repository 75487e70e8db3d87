// SPDX-License-Identifier: LGPL-2.1-or-later
#include "serial.h"

#include <cerrno>
#include <cstring>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace termina::link {

static speed_t speedConstant(unsigned baud) {
  switch (baud) {
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B19200;
  }
}

SerialPort::~SerialPort() { close(); }

std::string SerialPort::errorText() const { return std::strerror(error_); }

bool SerialPort::open(const std::string& path, unsigned baud) {
  close();
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error_ = errno;
    return false;
  }
  // No sharing: a second opener is refused, whether it honours advisory
  // locks (flock) or relies on the terminal's exclusive mode.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error_ = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    return false;
  }
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) {
    error_ = errno;
    ::close(fd);
    return false;
  }
  ::ioctl(fd, TIOCEXCL);
  speed_t sp = speedConstant(lineSpeed(baud));
  ::cfsetispeed(&tio, sp);
  ::cfsetospeed(&tio, sp);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD);
  tio.c_cflag |= CS8 | CREAD;
  tio.c_iflag &= ~static_cast<tcflag_t>(INPCK | PARMRK | ISTRIP | IGNBRK | BRKINT | INLCR | IGNCR | ICRNL | IXON);
  tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
    error_ = errno;
    ::close(fd);
    return false;
  }
  handle_ = fd;
  error_ = 0;
  return true;
}

void SerialPort::close() {
  if (handle_ != kNone) {
    ::ioctl(static_cast<int>(handle_), TIOCNXCL);
    ::close(static_cast<int>(handle_));
    handle_ = kNone;
  }
}

std::size_t SerialPort::read(uint8_t* buf, std::size_t max, int timeoutMs) {
  if (handle_ == kNone) return 0;
  const int fd = static_cast<int>(handle_);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    ssize_t n = ::read(fd, buf, max);
    if (n > 0) return static_cast<std::size_t>(n);
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      // A vanished device (EIO on a hung-up pty or an unplugged
      // adapter) reads as silence, but must not spin: wait it out.
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() > 0) ::poll(nullptr, 0, static_cast<int>(left.count()));
      return 0;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return 0;
    pollfd p{fd, POLLIN, 0};
    int r = ::poll(&p, 1, static_cast<int>(left.count()));
    if (r == 0) return 0;
    if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(p.revents & POLLIN)) {
      left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() > 0) ::poll(nullptr, 0, static_cast<int>(left.count()));
      return 0;
    }
  }
}

std::size_t SerialPort::write(const uint8_t* data, std::size_t n, int timeoutMs) {
  if (handle_ == kNone) return 0;
  const int fd = static_cast<int>(handle_);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::size_t done = 0;
  while (done < n) {
    ssize_t w = ::write(fd, data + done, n - done);
    if (w > 0) {
      done += static_cast<std::size_t>(w);
      continue;
    }
    if (w < 0 && errno != EAGAIN && errno != EINTR) break;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
  }
  return done;
}

void SerialPort::purgeInput() {
  if (handle_ == kNone) return;
  const int fd = static_cast<int>(handle_);
  // Flushing waits for the terminal's input buffer work; on a
  // pseudo-terminal that costs a third of a whole exchange.  Before almost
  // every request nothing is waiting, and then there is nothing to flush.
  int pending = 0;
  if (::ioctl(fd, FIONREAD, &pending) == 0 && pending == 0) return;
  ::tcflush(fd, TCIFLUSH);
}

}  // namespace termina::link
