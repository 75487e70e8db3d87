// SPDX-License-Identifier: GPL-3.0-or-later
// Filling the NVR recovery record from an image read from the register.
// The input's first two bytes are the register version (little-endian), the
// rest the bytes read.  Filling must read only the bytes given and leave
// every field beyond them as it was; the image built from the record must
// be whole (length, flag byte, marker, checksum) and, for a complete input,
// carry the numbers, the dates and every money value of the engineering
// range exactly as they were read.
#include "fuzz_check.h"
#include "nvr_image.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

using namespace termina;

namespace {

int64_t money(std::span<const uint8_t> b, std::size_t at) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(b[at + i]) << (8 * i);
  return static_cast<int64_t>(v);
}

// Money of up to 2^50 ten-thousandths survives the trip through roubles.
bool engineering(int64_t units) { return units > -(int64_t{1} << 50) && units < (int64_t{1} << 50); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const uint16_t version = static_cast<uint16_t>(data[0] | data[1] << 8);
  // Exactly the bytes read, on the heap, so a read past them is caught.
  const std::vector<uint8_t> read(data + 2, data + size);
  const std::size_t length = app::NvrImageLength(version);

  app::NvrRecord r;
  r.version = version;
  r.deptReturns[5] = 0.5;  // the last field of the long image
  r.receipt = 0xDEADBEEF;
  app::FillNvrRecord(r, read);
  const bool longImage = app::NvrVariantFor(version) == app::NvrVariant::Long;
  if (!longImage || read.size() < length - 2) FUZZ_CHECK(r.deptReturns[5] == 0.5);
  if (read.size() < 33) FUZZ_CHECK(r.receipt == 0xDEADBEEF);

  const std::vector<uint8_t> built = app::BuildNvrImage(r);
  FUZZ_CHECK(built.size() == length);
  FUZZ_CHECK(built[64] == 0x80);
  FUZZ_CHECK(built[length - 2] == 0x55);
  FUZZ_CHECK(built[length - 1] == app::NvrChecksum(built));
  if (read.size() < length) return 0;

  // The shift number's low 16 bits and the three other numbers.
  FUZZ_CHECK(std::memcmp(built.data() + 19, read.data() + 19, 14) == 0);
  // Both date blocks carry block B's date at midnight, or all ones.
  const bool valid = app::IsValidNvrDate(r.opened);
  for (std::size_t at : {41u, 48u}) {
    if (valid)
      FUZZ_CHECK(std::memcmp(built.data() + at, read.data() + 48, 4) == 0);
    else
      FUZZ_CHECK(built[at] == 255 && built[at + 1] == 255 && built[at + 2] == 255 && built[at + 3] == 255);
    FUZZ_CHECK(built[at + 4] == 0 && built[at + 5] == 0 && built[at + 6] == 0);
  }
  // Cash, carry-over and the 32 payment values.
  std::vector<std::size_t> moneyAt = {33, 55};
  const std::size_t payments = app::NvrVariantFor(version) == app::NvrVariant::Short ? 143 : 145;
  for (std::size_t i = 0; i < 32; ++i) moneyAt.push_back(payments + 8 * i);
  for (std::size_t at : moneyAt)
    if (engineering(money(read, at))) FUZZ_CHECK(money(built, at) == money(read, at));
  return 0;
}
