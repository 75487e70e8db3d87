// SPDX-License-Identifier: GPL-3.0-or-later
// The logo file check on the first bytes of a file.  The input is one byte
// choosing the register model, four bytes of the file's length (little-
// endian), then the file's first bytes.  The check must read nothing past
// what it is given, and its verdict must follow the four rules in their
// order, recomputed here from the raw bytes.
#include "fuzz_check.h"
#include "logo_file.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

using namespace termina::app;

namespace {

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  static const uint16_t kVersions[] = {120, 128, 201, 301, 125};
  const uint16_t version = kVersions[data[0] % 5];
  const uint64_t fileSize = le32(data + 1);
  const uint8_t* file = data + 5;
  const std::size_t n = size - 5;

  const LogoCheck c = CheckBitmapHeaders(n ? file : nullptr, n, fileSize, version);

  LogoRule expected = LogoRule::Accepted;
  if (n < kBitmapHeadersSize || (file[0] | 0x20) != 'b' || (file[1] | 0x20) != 'm')
    expected = LogoRule::Unreadable;
  else if (le32(file + 2) > 65536 || fileSize > 65536)
    expected = LogoRule::TooLarge;
  else if ((file[28] | file[29] << 8) != 1)
    expected = LogoRule::NotMonochrome;
  else {
    const int64_t w = static_cast<int32_t>(le32(file + 18));
    int64_t h = static_cast<int32_t>(le32(file + 22));
    if (h < 0) h = -h;
    bool fits;
    if (version == 301)
      fits = w == 515 && h == 90;
    else if (version == 201)
      fits = w >= 1 && h >= 1 && w <= 576 && h <= 170;
    else
      fits = w >= 1 && h >= 1 && w <= 288 && h <= 126;
    if (!fits) expected = LogoRule::BadSize;
  }
  FUZZ_CHECK(c.rule == expected);
  FUZZ_CHECK(c.accepted() == c.message.empty());
  if (c.rule == LogoRule::BadSize) {
    const std::string limits = version == 201 ? " 576x170" : version == 301 ? " 515x90" : " 288x126";
    FUZZ_CHECK(c.message.size() > limits.size() &&
               c.message.compare(c.message.size() - limits.size(), limits.size(), limits) == 0);
  }
  return 0;
}
