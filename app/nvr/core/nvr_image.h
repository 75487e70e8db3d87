// SPDX-License-Identifier: GPL-3.0-or-later
// The shift totals of the register's non-volatile memory (NVR) as the
// recovery works with them: the recovery record (money in roubles, as the
// engineer sees it), and the image the register keeps in memory area 3 at
// 0xF000 in one of three variants chosen by the firmware version.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace termina::app {

inline constexpr uint16_t kNvrArea = 3;
inline constexpr uint16_t kNvrAddress = 0xF000;

// short: below 125, and 202 or higher except 301; middle: 125 to 200;
// long: exactly 201 or 301.
enum class NvrVariant { Short, Middle, Long };

NvrVariant NvrVariantFor(uint16_t version);
std::size_t NvrImageLength(NvrVariant variant);  // 425, 563, 659
inline std::size_t NvrImageLength(uint16_t version) { return NvrImageLength(NvrVariantFor(version)); }

// A date and time as the image's 7-byte blocks hold it (full year).
struct NvrDateTime {
  uint8_t day = 0, month = 0;
  uint16_t year = 0;
  uint8_t hour = 0, minute = 0, second = 0;
  bool operator==(const NvrDateTime&) const = default;
};

// True when day, month and year make a calendar date (years 100 to 9999);
// the time is not looked at.
bool IsValidNvrDate(const NvrDateTime& d);
// The computer's local date and time now.
NvrDateTime NvrNow();
// What a date picker shows for the value, and stores back on the next
// transfer: the current date and time for an invalid date, midnight for a
// valid date with a time out of range, else the value itself.
NvrDateTime NvrDateAsShown(const NvrDateTime& d);

// Everything the recovery shows and writes.  Money values are roubles.
struct NvrRecord {
  uint16_t version = 0;
  uint32_t shift = 0, document = 0, report = 0, receipt = 0;
  NvrDateTime opened;  // shift opening
  double cash = 0, carried = 0;
  std::array<double, 16> sales{}, returns{};  // by payment type, cash first
  double annulled = 0, paidIn = 0, paidOut = 0;
  double deferred = 0;                                                        // middle and long
  double discSales = 0, markupSales = 0, discReturns = 0, markupReturns = 0;  // middle and long
  std::array<double, 6> taxSales{}, taxReturns{};                             // middle and long
  std::array<double, 6> deptSales{}, deptReturns{};                           // long only
  double salesTotal = 0, returnsTotal = 0;  // sums of sales and returns (controls 1062, 1063)
  bool operator==(const NvrRecord&) const = default;
};

// A record for the version with every value zero and the shift opening date
// set to the current date and time.
NvrRecord NewNvrRecord(uint16_t version);

// Sets salesTotal and returnsTotal to the sums of the 16 payment values.
void RecomputeNvrTotals(NvrRecord& r);

// Money in the image: signed ten-thousandths of a rouble.  The conversion
// to the image takes the nearest ten-thousandth, halves away from zero; a
// value the image cannot hold is taken to its nearest end (NaN to 0).
int64_t MoneyToUnits(double roubles);
inline double UnitsToMoney(int64_t units) { return static_cast<double>(units) * 0.0001; }
// True for a finite value whose ten-thousandths fit the image's 64 bits.
bool IsStorableMoney(double roubles);

// Fills the record from an image of the record's variant: numbers, money
// values, the shift opening date and time from block B.  Fields that lie
// beyond the bytes given, or that the variant does not hold, keep their
// values.  Neither marker nor checksum is checked.
void FillNvrRecord(NvrRecord& r, std::span<const uint8_t> image);

// A new image of the record's variant built from the record alone: zeros,
// the written fields, both date blocks (time 00:00:00; 255/255/65535 for an
// invalid date), the flag byte and flag words, the 0x55 marker and the
// checksum.
std::vector<uint8_t> BuildNvrImage(const NvrRecord& r);

// The 8-bit sum of 0x35 and every byte before the last.
uint8_t NvrChecksum(std::span<const uint8_t> image);

}  // namespace termina::app
