// SPDX-License-Identifier: GPL-3.0-or-later
// Windows only: the program's UTF-8 texts and paths as the UTF-16 the
// system's W functions take, and back.
#pragma once

#include <windows.h>

#include <string>

namespace termina::app {

inline std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
  return w;
}

inline std::string Utf8(const wchar_t* wide, int length) {
  if (length <= 0) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, length, s.data(), n, nullptr, nullptr);
  return s;
}

inline std::string Utf8(const std::wstring& wide) { return Utf8(wide.data(), static_cast<int>(wide.size())); }

}  // namespace termina::app
