// SPDX-License-Identifier: LGPL-2.1-or-later
// Private-profile (Windows INI) files: "[section]" lines, "key=value" lines,
// ';' comment lines.  Section and key names match without regard to ASCII
// case; blanks around names and values are ignored.  CRLF and LF line ends
// are both read, and a rewritten file keeps the style it had.  Values are
// bytes (code page 1251 text) and are never converted.
//
// The rules on a file's content live in ini.cpp.  The functions that touch
// files are per platform: ini_posix.cpp reads and rewrites the file itself,
// ini_win32.cpp uses the system's private-profile functions.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace termina::ini {

// The leading decimal digits of the value (a value without digits gives 0;
// a value too large for unsigned gives the largest unsigned); a missing
// file, section or key gives def.
unsigned readInt(const std::string& file, std::string_view section, std::string_view key, unsigned def);

// The value, at most bufferSize-1 characters (longer values are cut); a
// missing file, section or key gives def, cut the same way; a key present
// with an empty value gives "".
std::string readString(const std::string& file, std::string_view section, std::string_view key, std::string_view def,
                       std::size_t bufferSize);

// Sets key=value in section, creating file, section and key as needed.  The
// value replaces the old one in place; every other line (comments, blank
// lines, other keys, order) stays as it was.  The new content is written to
// a temporary file in the same folder, which then replaces the file in one
// rename, so a reader sees either the old or the new file.  A new file gets
// mode 0600 (it holds the exchange password); an existing file keeps its
// mode.  Returns false, leaving the old file untouched, when the folder is
// missing or not writable, or when a name or the value would break the line
// structure (a line break in any of them, ']' in the section, '=' in the
// key, an empty key).
bool writeString(const std::string& file, std::string_view section, std::string_view key, std::string_view value);

// The same rules on a file's whole content in memory, without any file
// access; the functions above read and write files through these.

// The value of key in section, or nothing when the section or key is absent.
std::optional<std::string> findValue(std::string_view content, std::string_view section, std::string_view key);

// False when a name or the value would break the line structure (see
// writeString); names are taken without their surrounding blanks.
bool validEntry(std::string_view section, std::string_view key, std::string_view value);

// The leading decimal digits of a value as readInt takes them.
unsigned leadingInt(std::string_view value);

// The content with key=value set in section, as writeString would write it;
// nothing when a name or the value would break the line structure.
std::optional<std::string> withValue(std::string_view content, std::string_view section, std::string_view key,
                                     std::string_view value);

}  // namespace termina::ini
