// SPDX-License-Identifier: GPL-3.0-or-later
// What the register model's command families share: result codes, status
// bits, the reply builder and the parsers and formatters of field text.
// Internal to the model (model*.cpp); the simulator and tests use model.h.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "model.h"

namespace termina::sim::detail {

// Result codes.
inline constexpr uint8_t kOk = 0x00, kBadStatus = 0x01, kBadFunction = 0x02, kBadParam = 0x03, kStalled = 0x05,
                         kBadPassword = 0x06, kShiftOver24h = 0x0A, kDateBeforeFiscal = 0x0C, kNegative = 0x0E,
                         kNoDisplay = 0x0F, kNoData = 0x40, kEejState = 0x42, kEejNoData = 0x48;

// Status bits.
inline constexpr uint8_t kNoInit = 0x01, kNonFiscal = 0x02, kShiftOpen = 0x04, kShiftLong = 0x08, kArchiveClosed = 0x10,
                         kEejNotActive = 0x20,
                         kBadFmPassword = 0x80;  // the last tax inspector password given was wrong
// Fatal bits.
inline constexpr uint8_t kFatalNvr = 0x01, kFatalNotInstalled = 0x20;

// Where the NVR image lives.
inline constexpr uint32_t kNvrAddress = 0xF000;
inline constexpr uint16_t kNvrArea = 3;

Outcome reply(uint8_t result, std::vector<std::string> fields = {});

std::string dec(long long v);

bool allDigits(const std::string& s);
// Decimal integer with an optional minus sign; false when anything else.
bool parseInt(const std::string& s, long long& out);
// Fixed-point decimal text ("12.5000", "-3", "1.000") in units of 10^-scale,
// rounded half away from zero when it has more decimals.
bool parseFixed(const std::string& s, int scale, long long& out);
long long roundDiv(long long a, long long b);  // half away from zero, b > 0
// Money in ten-thousandths, shown in roubles with two decimals.
std::string money(int64_t units);

size_t utf8Length(const std::string& s);  // characters, not bytes
bool hasControl(const std::string& s);    // any byte below 0x20

// DDMMYY and HHMMSS to a civil time in seconds (UTC arithmetic, no zone).
bool parseDateTime(const std::string& d, const std::string& t, int64_t& out);
bool parseDate(const std::string& d, int64_t& out);
void splitCivil(int64_t secs, std::tm& tm);
std::string fmtDate(int64_t secs);  // DDMMYY
std::string fmtTime(int64_t secs);  // HHMMSS
// Host local civil time in seconds.
int64_t hostCivilNow();

// Hex digits (either case) to bytes; empty when a pair is not hex.
std::vector<uint8_t> unhex(const std::string& s);

}  // namespace termina::sim::detail
