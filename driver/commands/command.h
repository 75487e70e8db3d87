// SPDX-License-Identifier: LGPL-2.1-or-later
// Shared shape of the command functions: building a request body from the
// caller's values, and taking typed results out of the reply fields.
// Numbers are formatted and parsed independently of the process locale
// (the program may run under a locale whose decimal separator is a comma).
#pragma once

#include "errors.h"
#include "exchange.h"
#include "termina1.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace termina::cmd {

// Text of a caller's fixed-size buffer, up to its NUL but never past the
// buffer's declared size; a null pointer reads as empty text.
template <std::size_t N>
std::string_view text(const char (*buf)[N]) {
  return buf ? std::string_view(*buf, ::strnlen(*buf, N)) : std::string_view();
}
template <std::size_t N>
std::string_view text(const char (&buf)[N]) {
  return std::string_view(buf, ::strnlen(buf, N));
}

// Copies a reply field into a caller's buffer, cut to fit with its NUL.
void copyOut(char* dst, std::size_t size, std::string_view value);
template <std::size_t N>
void copyOut(char (*dst)[N], std::string_view value) {
  if (dst) copyOut(*dst, N, value);
}
template <std::size_t N>
void copyOut(char (&dst)[N], std::string_view value) {
  copyOut(dst, N, value);
}

// Request body: the command code as two uppercase hexadecimal digits, then
// fields, each followed by FS.
class Body {
 public:
  explicit Body(uint8_t code);
  Body& field(std::string_view text);
  Body& num(long long value);               // "%d"
  Body& fixed(double value, int decimals);  // "%.Nf" with a point
  Body& date(const TRMADT* d);              // DDMMYY
  Body& time(const TRMATM* t);              // HHMMSS
  std::string& str() { return s_; }

 private:
  std::string s_;
};

// Decimal number with a point as separator: leading blanks skipped, stops at
// the first character that does not belong to the number; empty gives 0.
double toDouble(std::string_view field);

// Decimal integer as atoi reads it: leading blanks, an optional sign, digits.
long long toLong(std::string_view field);

// Exchange a body and apply the raise rule; the body then holds the reply
// fields.  Returns 0 or 64.
uint16_t run(Body& body);
uint16_t runLong(Body& body);

// Common shape of the commands with one numeric result: on 0 the first
// reply field, on 64 zero.
uint16_t runNumeric(Body& body, double* result);

// The logo upload from a file of this host: the clear, then the header and
// the stream; 3 when the file cannot be opened.
uint16_t loadLogo(const std::string& hostFile);

}  // namespace termina::cmd
