// SPDX-License-Identifier: GPL-3.0-or-later
// The test sale's amount text, as typed on the page or given to trma.
// The result is always a finite number; only the first 24 characters
// count; text of plain digits gives exactly the decimal value of its first
// 24 digits, in kopecks, as roubles; no minus sign, no negative amount.
#include "fuzz_check.h"
#include "test_sale.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

std::size_t chars(const std::string& s) {
  std::size_t n = 0;
  for (char c : s)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const double roubles = termina::app::TestSaleRoubles(text);
  FUZZ_CHECK(std::isfinite(roubles));
  if (text.find('-') == std::string::npos) FUZZ_CHECK(roubles >= 0);
  if (chars(text) >= 24) FUZZ_CHECK(termina::app::TestSaleRoubles(text + "9") == roubles);

  bool digits = !text.empty();
  for (char c : text) digits = digits && c >= '0' && c <= '9';
  if (digits) {
    const std::string first = text.substr(0, 24);
    FUZZ_CHECK(roubles == std::strtod(first.c_str(), nullptr) * 0.01);
  }
  return 0;
}
