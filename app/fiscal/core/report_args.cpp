// SPDX-License-Identifier: GPL-3.0-or-later
#include "report_args.h"

#include <ctime>
#include <limits>

namespace termina::app {

ReportDay Today() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  if (::localtime_r(&now, &tm) == nullptr) return {};
  return {true, tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

TRMADT ReportDate(const ReportDay& d) {
  if (!d.valid || d.month < 1 || d.month > 12 || d.day < 1 || d.day > 31 || d.year < 0 || d.year > 65534)
    return TRMADT{255, 255, 65535};
  return TRMADT{static_cast<uint8_t>(d.day), static_cast<uint8_t>(d.month), static_cast<uint16_t>(d.year)};
}

int32_t EditNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  // Held in 64 bits and stopped at the 32-bit limit, so that any length of
  // digits ends there instead of overflowing.
  const int64_t limit =
      negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min()) : std::numeric_limits<int32_t>::max();
  int64_t n = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    n = n * 10 + (text[i] - '0');
    if (n > limit) n = limit;
  }
  return static_cast<int32_t>(negative ? -n : n);
}

std::optional<TRMADT> ParseDdmmyy(std::string_view text) {
  if (text.size() != 6) return std::nullopt;
  for (char c : text)
    if (c < '0' || c > '9') return std::nullopt;
  const int day = (text[0] - '0') * 10 + (text[1] - '0');
  const int month = (text[2] - '0') * 10 + (text[3] - '0');
  const int year = 2000 + (text[4] - '0') * 10 + (text[5] - '0');
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1) return std::nullopt;
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  if (day > kDays[month - 1] + (month == 2 && leap ? 1 : 0)) return std::nullopt;
  return TRMADT{static_cast<uint8_t>(day), static_cast<uint8_t>(month), static_cast<uint16_t>(year)};
}

}  // namespace termina::app
