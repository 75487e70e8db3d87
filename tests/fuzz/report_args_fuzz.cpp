// SPDX-License-Identifier: GPL-3.0-or-later
// The report arguments a user types: a DDMMYY date for trma and the text of
// a number edit.  A date is accepted only as a day of the calendar and
// formats back to the same six digits; an edit's number stays in the 32-bit
// range whatever the length of its digits, and the 16-bit shift argument is
// its low half.
#include "fuzz_check.h"
#include "report_args.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

using namespace termina::app;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto d = ParseDdmmyy(text)) {
    FUZZ_CHECK(d->day >= 1 && d->day <= 31 && d->month >= 1 && d->month <= 12);
    FUZZ_CHECK(d->year >= 2000 && d->year <= 2099);
    char back[16];
    std::snprintf(back, sizeof back, "%02d%02d%02d", d->day, d->month, d->year - 2000);
    FUZZ_CHECK(text == back);
    const TRMADT r = ReportDate(ReportDay{true, d->year, d->month, d->day});
    FUZZ_CHECK(r.day == d->day && r.month == d->month && r.year == d->year);
  }
  const int64_t n = EditNumber(text);
  FUZZ_CHECK(n >= INT32_MIN && n <= INT32_MAX);
  FUZZ_CHECK(ShiftNumber(text) == static_cast<uint16_t>(static_cast<uint32_t>(n) & 0xFFFF));
  FUZZ_CHECK(KpkNumber(text) == static_cast<uint32_t>(n));
  return 0;
}
