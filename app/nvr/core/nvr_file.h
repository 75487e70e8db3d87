// SPDX-License-Identifier: GPL-3.0-or-later
// The .nvr file: the recovery record's numbers and money values as a flat
// run of 544 little-endian bytes without header, the same for every
// register version (the date and the version are not kept).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "nvr_image.h"

namespace termina::app {

inline constexpr std::size_t kNvrFileSize = 544;

// The file's bytes for the record.
std::vector<uint8_t> EncodeNvrFile(const NvrRecord& r);

// Takes a whole file's bytes into the record and recomputes the payment
// totals; the version and the shift opening date stay.  Refused (false, the
// record unchanged) unless the data is exactly 544 bytes and every money
// value is a number the image can hold.
bool DecodeNvrFile(std::span<const uint8_t> data, NvrRecord& r);

// Writes the record to path through a temporary file beside it that is then
// renamed over it, so that a failure leaves an earlier file as it was.  A
// symbolic link is followed: the file it points to is replaced.  On failure
// returns false and, when why is given, the reason.
bool SaveNvrFile(const std::string& path, const NvrRecord& r, std::string* why = nullptr);

// Reads path into the record as DecodeNvrFile does.  On failure (cannot be
// opened, not a regular file, wrong size, a value out of range) returns
// false with the record unchanged and, when why is given, the reason.
bool LoadNvrFile(const std::string& path, NvrRecord& r, std::string* why = nullptr);

}  // namespace termina::app
