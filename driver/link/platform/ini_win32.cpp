// SPDX-License-Identifier: LGPL-2.1-or-later
// INI files on Windows, through the system's private-profile functions, so
// that the driver and every other program reading the file agree on it.
#include "ini.h"

#include <windows.h>

#include <vector>

namespace termina::ini {

unsigned readInt(const std::string& file, std::string_view section, std::string_view key, unsigned def) {
  return ::GetPrivateProfileIntA(std::string(section).c_str(), std::string(key).c_str(), static_cast<INT>(def),
                                 file.c_str());
}

std::string readString(const std::string& file, std::string_view section, std::string_view key, std::string_view def,
                       std::size_t bufferSize) {
  if (bufferSize == 0) return {};
  // The system cuts the value (or the default) to the buffer, NUL included.
  std::vector<char> buf(bufferSize, '\0');
  const DWORD n =
      ::GetPrivateProfileStringA(std::string(section).c_str(), std::string(key).c_str(), std::string(def).c_str(),
                                 buf.data(), static_cast<DWORD>(buf.size()), file.c_str());
  return std::string(buf.data(), n < buf.size() ? n : buf.size() - 1);
}

bool writeString(const std::string& file, std::string_view section, std::string_view key, std::string_view value) {
  // The system would write a line break into the file as it is, making
  // lines of it; such names and values are refused as on every platform.
  if (!validEntry(section, key, value)) return false;
  return ::WritePrivateProfileStringA(std::string(section).c_str(), std::string(key).c_str(),
                                      std::string(value).c_str(), file.c_str()) != 0;
}

}  // namespace termina::ini
