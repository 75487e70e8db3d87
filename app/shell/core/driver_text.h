// SPDX-License-Identifier: GPL-3.0-or-later
// Small helpers every register sequence uses: the driver's text for a
// result code, the computer's local date and time in the driver's records,
// the short pauses between writes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "termina1.h"

namespace termina::app {

// The driver's text for a result code in UTF-8; empty when the driver has
// none (such a failure is not shown).
std::optional<std::string> ErrorText(uint16_t code);

// The computer's local date and time; when it cannot be had, the date
// fields are 0 and the time fields 255.
void LocalDateTime(TRMADT* date, TRMATM* time);

// Sleeps the given number of milliseconds (the pauses the register needs
// between some writes).
void Pause(unsigned ms);

// Calls a driver function that reports by value (0 and 64 are returned
// rather than raised): raises any other code as the driver would.
inline void Check(uint16_t rc) {
  if (rc != 0 && rc != 64) throw rc;
}

// UTF-8 <-> code page 1251 at the driver boundary.
std::string ToUtf8(const char* ansi);
// Zero-fills the buffer and copies the UTF-8 text in as 1251, cut to size - 1 bytes.
void ToAnsi(const std::string& utf8, char* buffer, std::size_t size);
template <std::size_t N>
void ToAnsi(const std::string& utf8, char (&buffer)[N]) {
  ToAnsi(utf8, buffer, N);
}

}  // namespace termina::app
