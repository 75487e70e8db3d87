// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a file the user keeps (a settings file, an NVR backup) so that a
// failure never leaves a half-written file where a good one stood: the
// bytes go to a temporary file beside the target, which is then renamed
// over it.  Through a symbolic link the file it names is replaced, not the
// link; an existing file keeps its permissions.  One implementation per
// platform (file_replace_posix.cpp, file_replace_win32.cpp); paths are UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace termina::app {

enum class ReplaceError { None, NotRegularFile, System };

// True when the whole file was written and renamed into place.  On failure
// nothing is left behind and `error` (when given) tells why; for System,
// `errorNumber` holds errno.
bool ReplaceFile(const std::string& path, std::span<const uint8_t> bytes, ReplaceError* error = nullptr,
                 int* errorNumber = nullptr);

// Up to `limit` bytes of a plain file, read without waiting on it (a named
// pipe or a device could hold the caller up or never end); nullopt when it
// cannot be opened or read or is no plain file.  `errorNumber` (when
// given) holds errno for a failure the system reported, 0 for a file that
// is no plain file.
std::optional<std::vector<uint8_t>> ReadPlainFile(const std::string& path, std::size_t limit,
                                                  int* errorNumber = nullptr);

// The name under which a driver call that opens a file by a narrow name
// (the logo upload) finds the file at `path`: on Windows the path in the
// system's ANSI code page, or its short form where the long one has
// characters that code page lacks (a user's folder named in Cyrillic on a
// system of another code page); elsewhere the path itself.  nullopt when
// there is no such name.
std::optional<std::string> DriverFilePath(const std::string& path);

}  // namespace termina::app
