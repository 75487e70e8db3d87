// SPDX-License-Identifier: GPL-3.0-or-later
// The report pages' inputs as the driver's arguments: days, number edits
// and the DDMMYY dates trma reads.  Pure functions, without the driver.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "termina1.h"

namespace termina::app {

// A calendar day as a page keeps it: invalid when the user never had a
// date or the picker gave none.
struct ReportDay {
  bool valid = false;
  int year = 0, month = 0, day = 0;
};

// The computer's local date today (invalid when it cannot be had).
ReportDay Today();

// The driver's date record; a day that is invalid or has no calendar parts
// that fit the record (month 1..12, day 1..31, year 0..65534) is passed as
// 255/255/65535, which the register refuses.
TRMADT ReportDate(const ReportDay& d);

// The text of a number edit as the register gets it: decimal digits after
// optional blanks and sign, up to the first other character (empty: 0),
// held to the range of a 32-bit int, then cut to the argument's width.
int32_t EditNumber(std::string_view text);
inline uint16_t ShiftNumber(std::string_view text) { return static_cast<uint16_t>(EditNumber(text)); }
inline uint32_t KpkNumber(std::string_view text) { return static_cast<uint32_t>(EditNumber(text)); }

// DDMMYY as a date record (years 2000..2099); nothing when it is not a
// day of the calendar.
std::optional<TRMADT> ParseDdmmyy(std::string_view text);

}  // namespace termina::app
