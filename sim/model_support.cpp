// SPDX-License-Identifier: GPL-3.0-or-later
#include "model_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "codec.h"

namespace termina::sim::detail {

Outcome reply(uint8_t result, std::vector<std::string> fields) {
  Outcome o;
  o.result = result;
  o.fields = std::move(fields);
  return o;
}

std::string dec(long long v) { return std::to_string(v); }

bool allDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Decimal integer with an optional minus sign; false when anything else.
bool parseInt(const std::string& s, long long& out) {
  if (s.empty()) return false;
  size_t i = s[0] == '-' ? 1 : 0;
  if (!allDigits(s.substr(i)) || s.size() - i > 12) return false;
  out = std::strtoll(s.c_str(), nullptr, 10);
  return true;
}

// Fixed-point decimal text ("12.5000", "-3", "1.000") in units of 10^-scale,
// rounded half away from zero when it has more decimals.
bool parseFixed(const std::string& s, int scale, long long& out) {
  if (s.empty()) return false;
  size_t i = 0;
  bool neg = false;
  if (s[0] == '-' || s[0] == '+') {
    neg = s[0] == '-';
    i = 1;
  }
  std::string whole, frac;
  size_t dot = s.find('.', i);
  whole = s.substr(i, dot == std::string::npos ? std::string::npos : dot - i);
  if (dot != std::string::npos) frac = s.substr(dot + 1);
  if (whole.empty() && frac.empty()) return false;
  if (!whole.empty() && !allDigits(whole)) return false;
  if (!frac.empty() && !allDigits(frac)) return false;
  if (whole.size() > 12) return false;
  long long v = whole.empty() ? 0 : std::strtoll(whole.c_str(), nullptr, 10);
  for (int k = 0; k < scale; ++k) v = v * 10 + (k < static_cast<int>(frac.size()) ? frac[k] - '0' : 0);
  if (static_cast<int>(frac.size()) > scale && frac[scale] >= '5') ++v;
  out = neg ? -v : v;
  return true;
}

long long roundDiv(long long a, long long b) {  // half away from zero, b > 0
  return a >= 0 ? (a + b / 2) / b : -((-a + b / 2) / b);
}

// Money in ten-thousandths, shown in roubles with two decimals.
std::string money(int64_t units) {
  long long kop = roundDiv(units, 100);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%s%lld.%02lld", kop < 0 ? "-" : "", std::llabs(kop) / 100, std::llabs(kop) % 100);
  return buf;
}

size_t utf8Length(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

bool hasControl(const std::string& s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

// DDMMYY and HHMMSS to a civil time in seconds (UTC arithmetic, no zone).
bool parseDateTime(const std::string& d, const std::string& t, int64_t& out) {
  if (d.size() != 6 || t.size() != 6 || !allDigits(d) || !allDigits(t)) return false;
  std::tm tm{};
  tm.tm_mday = std::stoi(d.substr(0, 2));
  tm.tm_mon = std::stoi(d.substr(2, 2)) - 1;
  tm.tm_year = 100 + std::stoi(d.substr(4, 2));
  tm.tm_hour = std::stoi(t.substr(0, 2));
  tm.tm_min = std::stoi(t.substr(2, 2));
  tm.tm_sec = std::stoi(t.substr(4, 2));
  if (tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_hour > 23 || tm.tm_min > 59 ||
      tm.tm_sec > 59)
    return false;
  std::tm check = tm;
  time_t v = timegm(&check);
  if (check.tm_mday != tm.tm_mday || check.tm_mon != tm.tm_mon) return false;  // 31 April and the like
  out = static_cast<int64_t>(v);
  return true;
}

bool parseDate(const std::string& d, int64_t& out) { return parseDateTime(d, "000000", out); }

void splitCivil(int64_t secs, std::tm& tm) {
  time_t v = static_cast<time_t>(secs);
  gmtime_r(&v, &tm);
}

std::string fmtDate(int64_t secs) {
  std::tm tm{};
  splitCivil(secs, tm);
  char b[40];
  std::snprintf(b, sizeof b, "%02d%02d%02d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year % 100);
  return b;
}

std::string fmtTime(int64_t secs) {
  std::tm tm{};
  splitCivil(secs, tm);
  char b[40];
  std::snprintf(b, sizeof b, "%02d%02d%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  return b;
}

// Host local civil time in seconds.
int64_t hostCivilNow() {
  time_t now = time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return static_cast<int64_t>(timegm(&tm));
}

std::vector<uint8_t> unhex(const std::string& s) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < s.size(); i += 2) {
    auto b = parseHexByte(static_cast<uint8_t>(s[i]), static_cast<uint8_t>(s[i + 1]));
    if (!b) return {};
    out.push_back(*b);
  }
  return out;
}

}  // namespace termina::sim::detail
