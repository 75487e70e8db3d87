// SPDX-License-Identifier: GPL-3.0-or-later
// Replacing and reading the user's files on Windows: UTF-8 paths through
// the W functions, the new file written beside the target and moved over
// it in one step.
#include "file_replace.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// The system's ReplaceFile (a macro for ReplaceFileW) is not this one.
#undef ReplaceFile

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "wide_text_win32.h"

namespace termina::app {
namespace {

// The errno that tells the same failure, for the callers' texts.
int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    default: return EIO;
  }
}

bool IsFolder(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool ReplaceFile(const std::string& path, std::span<const uint8_t> bytes, ReplaceError* error, int* errorNumber) {
  ReplaceError unusedError;
  int unusedNumber;
  ReplaceError& why = error ? *error : unusedError;
  int& number = errorNumber ? *errorNumber : unusedNumber;
  why = ReplaceError::None;
  number = 0;
  const auto fail = [&](ReplaceError e, DWORD system) {
    why = e;
    number = e == ReplaceError::System ? ErrnoOf(system) : 0;
    return false;
  };

  const std::wstring target = Wide(path);
  if (target.empty()) return fail(ReplaceError::System, ERROR_INVALID_NAME);
  const DWORD attributes = GetFileAttributesW(target.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
    return fail(ReplaceError::NotRegularFile, 0);
  const std::size_t slash = target.find_last_of(L"\\/");
  const std::wstring dir = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
  const std::wstring base = slash == std::wstring::npos ? target : target.substr(slash + 1);
  // A name of its own beside the target.
  static std::atomic<unsigned> serial{0};
  const std::wstring temp =
      dir + L"." + base + L"." + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(serial++) + L".tmp";
  HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return fail(ReplaceError::System, GetLastError());
  bool ok = true;
  DWORD failure = 0;
  std::size_t done = 0;
  while (ok && done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(h, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      ok = false;
      failure = GetLastError();
    }
    done += written;
  }
  if (ok && !FlushFileBuffers(h)) {
    ok = false;
    failure = GetLastError();
  }
  CloseHandle(h);
  // An existing file keeps its attributes (hidden, archive, read-only); a
  // read-only one is replaced as a rename replaces it on other systems.
  const bool readOnly = exists && (attributes & FILE_ATTRIBUTE_READONLY);
  if (ok && exists) SetFileAttributesW(temp.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (ok && readOnly) SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (ok && !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
    failure = GetLastError();
  }
  if (readOnly) SetFileAttributesW(target.c_str(), attributes);
  if (ok) return true;
  DeleteFileW(temp.c_str());
  return fail(ReplaceError::System, failure);
}

std::optional<std::vector<uint8_t>> ReadPlainFile(const std::string& path, std::size_t limit, int* errorNumber) {
  int unused;
  int& number = errorNumber ? *errorNumber : unused;
  number = 0;
  const std::wstring name = Wide(path);
  HANDLE h = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    // A folder is no plain file, as on other systems.
    if (!IsFolder(name)) number = ErrnoOf(GetLastError());
    return std::nullopt;
  }
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return std::nullopt;
  }
  std::vector<uint8_t> data(limit);
  std::size_t got = 0;
  while (got < limit) {
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(limit - got, 1u << 20));
    if (!ReadFile(h, data.data() + got, want, &n, nullptr)) {
      number = ErrnoOf(GetLastError());
      CloseHandle(h);
      return std::nullopt;
    }
    if (n == 0) break;
    got += n;
  }
  CloseHandle(h);
  data.resize(got);
  return data;
}

std::optional<std::string> DriverFilePath(const std::string& path) {
  if (GetACP() == CP_UTF8) return path;
  const std::wstring wide = Wide(path);
  // The name in the ANSI code page, when every character has its own there.
  const auto ansi = [](const std::wstring& w) -> std::optional<std::string> {
    if (w.empty()) return std::string();
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                      nullptr, &lossy);
    if (n <= 0 || lossy) return std::nullopt;
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                        nullptr);
    return s;
  };
  if (auto name = ansi(wide)) return name;
  const DWORD size = GetShortPathNameW(wide.c_str(), nullptr, 0);
  if (size == 0) return std::nullopt;
  std::wstring shortName(size, L'\0');
  const DWORD got = GetShortPathNameW(wide.c_str(), shortName.data(), size);
  if (got == 0 || got >= size) return std::nullopt;
  shortName.resize(got);
  return ansi(shortName);
}

}  // namespace termina::app
