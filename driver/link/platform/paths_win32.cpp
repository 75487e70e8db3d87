// SPDX-License-Identifier: LGPL-2.1-or-later
// Paths on Windows: the register tools' paths are real paths, nothing is
// mapped.
#include "paths.h"

#include <windows.h>

namespace termina::paths {

std::string root() { return {}; }

std::string hostPath(std::string_view windowsPath) { return std::string(windowsPath); }

std::string iniPath() { return "C:\\Program Files\\Orvelsoft\\TERMINA.INI"; }

// The device name form reaches every port number, COM10 and above included.
std::string comDevice(int n) { return "\\\\.\\COM" + std::to_string(n); }

bool makeDirs(const std::string& dir) {
  // Every folder on the way, then the folder itself; the drive ("C:") and a
  // UNC server's share are not folders to create.
  std::size_t from = 0;
  if (dir.size() >= 2 && dir[1] == ':') {
    from = 2;
  } else if (dir.rfind("\\\\", 0) == 0 || dir.rfind("//", 0) == 0) {
    const std::size_t server = dir.find_first_of("\\/", 2);
    from = server == std::string::npos ? std::string::npos : dir.find_first_of("\\/", server + 1);
  }
  if (from != std::string::npos) {
    for (std::size_t sep = dir.find_first_of("\\/", from + 1); sep != std::string::npos;
         sep = dir.find_first_of("\\/", sep + 1))
      ::CreateDirectoryA(dir.substr(0, sep).c_str(), nullptr);
    ::CreateDirectoryA(dir.c_str(), nullptr);
  }
  const DWORD attr = ::GetFileAttributesA(dir.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace termina::paths
