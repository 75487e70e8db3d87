// SPDX-License-Identifier: GPL-3.0-or-later
// A driver root of its own ($TERMINA_ROOT) in the temporary directory, with
// the folder of the driver's INI file and the folder of the COM<n> links,
// removed again with everything in it at the end; and the INI settings that
// point the driver at a simulated register.  Shared by the tests and the
// benchmarks.
#pragma once

#include "ini.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace termina::test {

enum class Transport { Pty, Tcp };

class DriverRoot {
 public:
  DriverRoot() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "termina-drv-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
    ::setenv("TERMINA_ROOT", path_.c_str(), 1);
    std::filesystem::create_directories(iniDir());
    std::filesystem::create_directories(path_ + "/dev");
  }
  ~DriverRoot() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  DriverRoot(const DriverRoot&) = delete;
  DriverRoot& operator=(const DriverRoot&) = delete;

  const std::string& path() const { return path_; }
  std::string iniDir() const { return path_ + "/c/Program Files/Orvelsoft"; }
  std::string ini() const { return iniDir() + "/TERMINA.INI"; }
  std::string com(int n) const { return path_ + "/dev/com" + std::to_string(n); }

 private:
  std::string path_;
};

// Points the INI file at COM1 (a pseudo-terminal linked at com(1)) or at a
// loopback TCP port, with the data-exchange password; the next
// TRMA_CheckPort uses it.
inline void pointDriverAt(const DriverRoot& root, Transport t, uint16_t tcpPort, const std::string& password) {
  ini::writeString(root.ini(), "General", "Port", "1");
  ini::writeString(root.ini(), "General", "pswd", password);
  ini::writeString(root.ini(), "TCP", "Mode", t == Transport::Tcp ? "1" : "0");
  if (t == Transport::Tcp) {
    ini::writeString(root.ini(), "TCP", "HostName", "127.0.0.1");
    ini::writeString(root.ini(), "TCP", "HostPort", std::to_string(tcpPort));
  }
}

}  // namespace termina::test
