// SPDX-License-Identifier: GPL-3.0-or-later
#include "port_access.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "ini.h"
#include "paths.h"

namespace termina::app {

std::string SerialPortGroup(const std::string& device) {
  struct stat st {};
  if (::stat(device.c_str(), &st) != 0 || st.st_gid == 0 || (st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
    return "dialout";
  std::vector<char> buffer(16384);
  group g{};
  group* found = nullptr;
  if (::getgrgid_r(st.st_gid, &g, buffer.data(), buffer.size(), &found) != 0 || !found || !found->gr_name ||
      !*found->gr_name)
    return "dialout";
  return found->gr_name;
}

std::string PortPermissionText(const std::string& device) {
  const std::string group = SerialPortGroup(device);
  return "Нет прав на доступ к " + device + ": добавьте пользователя в группу " + group + " (sudo usermod -aG " +
         group + " $USER) и войдите в систему заново.";
}

std::optional<std::string> PortOpenHint(const std::string& device, int error) {
  if (error == EACCES || error == EPERM) return PortPermissionText(device);
  return std::nullopt;
}

std::optional<std::string> ConfiguredPortHint() {
  const std::string ini = paths::iniPath();
  if (ini::readInt(ini, "TCP", "Mode", 0) != 0) return std::nullopt;
  unsigned port = ini::readInt(ini, "General", "Port", 0);
  if (port == 0) port = 1;
  if (port > 10000) port = 10000;
  const std::string device = paths::comDevice(static_cast<int>(port));
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    ::close(fd);
    return std::nullopt;
  }
  return PortOpenHint(device, errno);
}

}  // namespace termina::app
