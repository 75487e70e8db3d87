// SPDX-License-Identifier: GPL-3.0-or-later
#include "file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace termina::app {
namespace {

bool WriteAll(int fd, const uint8_t* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

}  // namespace

bool ReplaceFile(const std::string& path, std::span<const uint8_t> bytes, ReplaceError* error, int* errorNumber) {
  ReplaceError unusedError;
  int unusedNumber;
  ReplaceError& why = error ? *error : unusedError;
  int& number = errorNumber ? *errorNumber : unusedNumber;
  why = ReplaceError::None;
  number = 0;
  const auto fail = [&](ReplaceError e) {
    why = e;
    number = e == ReplaceError::System ? errno : 0;
    return false;
  };

  std::string target = path;
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    target = real;
    std::free(real);
  }
  struct stat st {};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return fail(ReplaceError::NotRegularFile);
  const std::size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temp = dir + "." + base + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return fail(ReplaceError::System);
  bool ok = ::fchmod(fd, exists ? (st.st_mode & 07777) : 0644) == 0;
  ok = ok && WriteAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
  int saved = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    saved = errno;
  }
  if (ok) return true;
  ::unlink(temp.c_str());
  errno = saved;
  return fail(ReplaceError::System);
}

std::optional<std::vector<uint8_t>> ReadPlainFile(const std::string& path, std::size_t limit, int* errorNumber) {
  int unused;
  int& number = errorNumber ? *errorNumber : unused;
  number = 0;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    number = errno;
    return std::nullopt;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::vector<uint8_t> data(limit);
  std::size_t got = 0;
  while (got < limit) {
    const ssize_t n = ::read(fd, data.data() + got, limit - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      number = errno;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  data.resize(got);
  return data;
}

std::optional<std::string> DriverFilePath(const std::string& path) { return path; }

}  // namespace termina::app
