// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <pthread.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform.h"

namespace termina::agent::platform {

namespace {
sigset_t stopSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}
}  // namespace

void prepareStopSignals() {
  const sigset_t set = stopSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // A client that goes away while an answer is written must not end the
  // process.
  std::signal(SIGPIPE, SIG_IGN);
}

int waitForStop() {
  const sigset_t set = stopSet();
  int sig = 0;
  while (sigwait(&set, &sig) != 0) {}
  return sig;
}

std::optional<std::string> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return s.str();
}

bool makeParentFolder(const std::string& path, std::string& errorText) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (parent.empty()) return true;
  std::error_code ec;
  std::filesystem::create_directories(parent, ec);
  if (ec) {
    errorText = parent.string() + ": " + ec.message();
    return false;
  }
  return true;
}

bool writePrivateFile(const std::string& path, const std::string& content, std::string& errorText) {
  if (!makeParentFolder(path, errorText)) return false;
  const std::string tmp = path + ".tmp";
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    errorText = tmp + ": " + std::strerror(errno);
    return false;
  }
  ::fchmod(fd, 0600);
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      errorText = tmp + ": " + std::strerror(errno);
      ::close(fd);
      ::unlink(tmp.c_str());
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    errorText = tmp + ": " + std::strerror(errno);
    ::unlink(tmp.c_str());
    return false;
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    errorText = path + ": " + std::strerror(errno);
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

bool randomBytes(void* out, std::size_t count) {
  auto* p = static_cast<unsigned char*>(out);
  while (count > 0) {
    const ssize_t n = ::getrandom(p, count, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

std::tm localTime(std::time_t t) {
  std::tm tm{};
  ::localtime_r(&t, &tm);
  return tm;
}

}  // namespace termina::agent::platform
