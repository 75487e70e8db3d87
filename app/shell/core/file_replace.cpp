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

}  // namespace termina::app
