// SPDX-License-Identifier: LGPL-2.1-or-later
// INI files on a POSIX file system: read whole, changed in memory by the
// rules of ini.cpp, written to a temporary file that replaces the old one.
#include "ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace termina::ini {
namespace {

std::optional<std::string> readFile(const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string data;
  char buf[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      data.append(buf, static_cast<std::size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      ::close(fd);
      return std::nullopt;
    }
  }
  ::close(fd);
  return data;
}

std::optional<std::string> lookup(const std::string& file, std::string_view section, std::string_view key) {
  const auto data = readFile(file);
  if (!data) return std::nullopt;
  return findValue(*data, section, key);
}

bool writeAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Threads of one process must not interleave their read-modify-write cycles.
std::mutex& writeMutex() {
  static std::mutex m;
  return m;
}

}  // namespace

unsigned readInt(const std::string& file, std::string_view section, std::string_view key, unsigned def) {
  const auto value = lookup(file, section, key);
  return value ? leadingInt(*value) : def;
}

std::string readString(const std::string& file, std::string_view section, std::string_view key, std::string_view def,
                       std::size_t bufferSize) {
  const std::size_t limit = bufferSize == 0 ? 0 : bufferSize - 1;
  const auto value = lookup(file, section, key);
  std::string result = value ? *value : std::string(def);
  if (result.size() > limit) result.resize(limit);
  return result;
}

bool writeString(const std::string& file, std::string_view section, std::string_view key, std::string_view value) {
  std::lock_guard<std::mutex> lock(writeMutex());

  // Write through a symbolic link to the file it names, so the link stays.
  std::string target = file;
  if (char* real = ::realpath(file.c_str(), nullptr)) {
    target = real;
    std::free(real);
  }

  struct stat st {};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  std::string data;
  if (exists) {
    auto old = readFile(target);
    if (!old) return false;
    data = std::move(*old);
  }
  const auto content = withValue(data, section, key, value);
  if (!content) return false;

  const std::size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temp = dir + (slash == std::string::npos ? "/." : ".") + base + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, exists ? (st.st_mode & 07777) : 0600) == 0;
  if (ok && exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid())) {
    // Keep the owner where permitted (as root); an unprivileged writer
    // cannot change it, which is not an error.
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
      // left to the writer's own account
    }
  }
  ok = ok && writeAll(fd, *content) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace termina::ini
