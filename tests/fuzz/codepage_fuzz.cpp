// SPDX-License-Identifier: GPL-3.0-or-later
// Code page conversion.  866 -> 1251 -> 866 gives back every byte that 1251
// has a character for, and the substitute for the others; the same the
// other way round; lengths never change; UTF-8 output is well formed and
// reads back to the bytes it came from.
#include "codepage.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace termina;

namespace {

// Decodes well-formed UTF-8 into code points; false on a malformed sequence.
bool wellFormed(std::string_view s, std::u32string* out) {
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n;
    char32_t cp;
    if (c < 0x80) {
      n = 0;
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      n = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      n = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      n = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + n >= s.size() && n > 0) return false;
    for (std::size_t k = 1; k <= n; ++k) {
      const unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    out->push_back(cp);
    i += n + 1;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view s(reinterpret_cast<const char*>(data), size);

  const std::string ansi = cp::oemToAnsi(s);
  const std::string oem = cp::ansiToOem(ansi);
  FUZZ_CHECK(ansi.size() == size && oem.size() == size);
  for (std::size_t i = 0; i < size; ++i) {
    unsigned char o = static_cast<unsigned char>(s[i]);
    unsigned char a = static_cast<unsigned char>(ansi[i]);
    if (o < 0x80) FUZZ_CHECK(a == o);
    if (a != cp::kSubstitute)
      FUZZ_CHECK(static_cast<unsigned char>(oem[i]) == o);  // a mapped byte comes back
    else
      FUZZ_CHECK(o == cp::kSubstitute || o >= 0x80);
    // Both tables agree with the single-byte forms and with Unicode.
    FUZZ_CHECK(cp::oemToAnsi(o) == a);
    if (a != cp::kSubstitute) FUZZ_CHECK(cp::ansiToUnicode(a) == cp::oemToUnicode(o));
  }

  // The other way: 1251 -> 866 -> 1251.
  const std::string o2 = cp::ansiToOem(s);
  const std::string a2 = cp::oemToAnsi(o2);
  FUZZ_CHECK(o2.size() == size && a2.size() == size);
  for (std::size_t i = 0; i < size; ++i) {
    unsigned char a = static_cast<unsigned char>(s[i]);
    if (static_cast<unsigned char>(o2[i]) != cp::kSubstitute) FUZZ_CHECK(static_cast<unsigned char>(a2[i]) == a);
  }

  // UTF-8: well formed, one character per byte, and back to 1251.
  std::u32string cps;
  const std::string u8 = cp::ansiToUtf8(s);
  FUZZ_CHECK(wellFormed(u8, &cps) && cps.size() == size);
  for (std::size_t i = 0; i < size; ++i) FUZZ_CHECK(cps[i] == cp::ansiToUnicode(static_cast<unsigned char>(s[i])));
  const std::string back = cp::utf8ToAnsi(u8);
  FUZZ_CHECK(back.size() == size);
  for (std::size_t i = 0; i < size; ++i) {
    unsigned char a = static_cast<unsigned char>(s[i]);
    FUZZ_CHECK(static_cast<unsigned char>(back[i]) == (a == 0x98 ? cp::kSubstitute : a));
  }
  cps.clear();
  const std::string o8 = cp::oemToUtf8(s);
  FUZZ_CHECK(wellFormed(o8, &cps) && cps.size() == size);

  // Arbitrary bytes read as UTF-8 give at most one byte per input byte.
  FUZZ_CHECK(cp::utf8ToAnsi(s).size() <= size);
  return 0;
}
