// SPDX-License-Identifier: GPL-3.0-or-later
#include "port_check.h"

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "port_access.h"

namespace termina::cli {

PortDiagnosis diagnosePort(const std::string& device) {
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int e = errno;
    switch (e) {
      case ENOENT:
      case ENXIO:
      case ENODEV:
      case ENOTDIR: return {PortProblem::Missing, e};
      case EACCES:
      case EPERM: return {PortProblem::NoPermission, e};
      case EBUSY:  // the terminal is in exclusive mode (TIOCEXCL) for another program
        return {PortProblem::Busy, e};
      default: return {PortProblem::Other, e};
    }
  }
  PortDiagnosis d{PortProblem::None, 0};
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) {
    d = {PortProblem::NotTerminal, errno};
  } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    d = {errno == EWOULDBLOCK ? PortProblem::Busy : PortProblem::Other, errno};
  }
  ::close(fd);  // releases the lock too
  return d;
}

std::string explainPort(const std::string& device, const PortDiagnosis& d) {
  switch (d.problem) {
    case PortProblem::Missing:
      return "Устройство " + device + " не существует: проверьте номер порта (--port) и подключение регистратора.";
    case PortProblem::NoPermission: return app::PortPermissionText(device);
    case PortProblem::Busy: return "Устройство " + device + " занято другой программой.";
    case PortProblem::NotTerminal: return device + " не является последовательным портом.";
    case PortProblem::Other: return "Устройство " + device + " не открывается: " + std::strerror(d.error) + ".";
    case PortProblem::None: break;
  }
  return "Устройство " + device + " сейчас открывается; вероятно, оно было временно занято.";
}

std::vector<PortHolder> findHolders(const std::string& device) {
  std::vector<PortHolder> holders;
  char real[PATH_MAX];
  if (::realpath(device.c_str(), real) == nullptr) return holders;
  const std::string target = real;
  const int self = static_cast<int>(::getpid());
  DIR* proc = ::opendir("/proc");
  if (!proc) return holders;
  while (const dirent* e = ::readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(e->d_name, &end, 10);
    if (end == e->d_name || *end != '\0' || pid <= 0 || pid == self) continue;
    const std::string fdDir = std::string("/proc/") + e->d_name + "/fd";
    DIR* fds = ::opendir(fdDir.c_str());
    if (!fds) continue;  // another user's process, or gone
    bool holds = false;
    while (const dirent* f = ::readdir(fds)) {
      if (f->d_name[0] == '.') continue;
      char link[PATH_MAX];
      const ssize_t n = ::readlink((fdDir + "/" + f->d_name).c_str(), link, sizeof link - 1);
      if (n <= 0) continue;
      if (std::string(link, static_cast<std::size_t>(n)) == target) {
        holds = true;
        break;
      }
    }
    ::closedir(fds);
    if (!holds) continue;
    std::string name;
    std::ifstream comm(std::string("/proc/") + e->d_name + "/comm");
    std::getline(comm, name);
    holders.push_back({static_cast<int>(pid), name});
  }
  ::closedir(proc);
  std::sort(holders.begin(), holders.end(), [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
  return holders;
}

std::string holdersText(const std::vector<PortHolder>& holders) {
  if (holders.empty()) return "";
  std::string s = " Порт открыт программой: ";
  for (std::size_t i = 0; i < holders.size(); ++i) {
    if (i) s += ", ";
    s += (holders[i].program.empty() ? "?" : holders[i].program) + " (pid " + std::to_string(holders[i].pid) + ")";
  }
  return s + ".";
}

}  // namespace termina::cli
