// SPDX-License-Identifier: GPL-3.0-or-later
// The memory-block decoder.  The input's first byte is the block size
// asked for (0..32 as the driver asks, larger values too); the rest is the
// reply text after the result code.  The decoder must never write past the
// bytes asked for, must decode min(count, digits / 2) bytes, and what the
// encoder writes, in either case, must decode back to the same bytes.
#include "frame.h"
#include "fuzz_check.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

using namespace termina;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t count = data[0];
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  // Exactly count bytes on the heap, so a write past them is caught.
  std::unique_ptr<uint8_t[]> out(new uint8_t[count ? count : 1]);
  // The digits stop at the first FS, as in the reply fields.
  std::string_view digits = text.substr(0, text.find('\x1C'));
  std::size_t n = link::decodeHexPairs(digits, out.get(), count);
  FUZZ_CHECK(n == std::min(count, digits.size() / 2));

  // Pairs of real hexadecimal digits decode to their value.
  for (std::size_t i = 0; i < n; ++i) {
    int hi = link::hexDigit(digits[2 * i]);
    int lo = link::hexDigit(digits[2 * i + 1]);
    if (hi >= 0 && lo >= 0) FUZZ_CHECK(out[i] == hi * 16 + lo);
  }

  // Round trip of the input bytes through the encoder, upper and lower case.
  const auto* bytes = data + 1;
  const std::size_t nb = size - 1;
  std::string hex = link::encodeHex(bytes, nb);
  FUZZ_CHECK(hex.size() == 2 * nb);
  for (char c : hex) FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
  std::vector<uint8_t> back(nb ? nb : 1);
  FUZZ_CHECK(link::decodeHexPairs(hex, back.data(), nb) == nb);
  FUZZ_CHECK(std::equal(bytes, bytes + nb, back.begin()));
  for (char& c : hex) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::vector<uint8_t> lower(nb ? nb : 1);
  FUZZ_CHECK(link::decodeHexPairs(hex, lower.data(), nb) == nb);
  FUZZ_CHECK(std::equal(bytes, bytes + nb, lower.begin()));
  return 0;
}
