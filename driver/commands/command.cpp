// SPDX-License-Identifier: LGPL-2.1-or-later
#include "command.h"

#include <charconv>
#include <cstdio>

namespace termina::cmd {

void copyOut(char* dst, std::size_t size, std::string_view value) {
  if (!dst || size == 0) return;
  std::size_t n = std::min(value.size(), size - 1);
  std::memcpy(dst, value.data(), n);
  dst[n] = '\0';
}

Body::Body(uint8_t code) {
  static const char digits[] = "0123456789ABCDEF";
  s_ = {digits[code >> 4], digits[code & 15]};
}

Body& Body::field(std::string_view text) {
  s_.append(text);
  s_.push_back('\x1C');
  return *this;
}

Body& Body::num(long long value) { return field(std::to_string(value)); }

Body& Body::fixed(double value, int decimals) {
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  return field(r.ec == std::errc() ? std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)) : "0");
}

static std::string twoDigits(unsigned a, unsigned b, unsigned c) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02u%02u%02u", a, b, c);
  return buf;
}

Body& Body::date(const TRMADT* d) {
  if (!d) return field("000000");
  int year = static_cast<int>(d->year) - 2000;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02u%02u%02d", d->day, d->month, year);
  return field(buf);
}

Body& Body::time(const TRMATM* t) { return field(t ? twoDigits(t->hour, t->minute, t->second) : "000000"); }

double toDouble(std::string_view f) {
  std::size_t i = 0;
  while (i < f.size() && (f[i] == ' ' || f[i] == '\t' || f[i] == '\n' || f[i] == '\r' || f[i] == '\v' || f[i] == '\f'))
    ++i;
  if (i < f.size() && f[i] == '+') ++i;
  double v = 0;
  auto r = std::from_chars(f.data() + i, f.data() + f.size(), v, std::chars_format::general);
  return r.ec == std::errc() ? v : 0.0;
}

long long toLong(std::string_view f) {
  std::size_t i = 0;
  while (i < f.size() && (f[i] == ' ' || f[i] == '\t')) ++i;
  bool neg = false;
  if (i < f.size() && (f[i] == '+' || f[i] == '-')) neg = f[i++] == '-';
  long long v = 0;
  for (; i < f.size() && f[i] >= '0' && f[i] <= '9'; ++i)
    if (v < 100000000000LL) v = v * 10 + (f[i] - '0');
  return neg ? -v : v;
}

uint16_t run(Body& body) {
  uint16_t code = link::Exchange(body.str());
  link::raiseIfError(code);
  return code;
}

uint16_t runLong(Body& body) {
  uint16_t code = link::ExchangeLong(body.str());
  link::raiseIfError(code);
  return code;
}

uint16_t runNumeric(Body& body, double* result) {
  uint16_t code = run(body);
  double v = 0;
  if (code == 0) v = toDouble(link::NextField(body.str()));
  if (result) *result = v;
  return code;
}

}  // namespace termina::cmd
