// SPDX-License-Identifier: GPL-3.0-or-later
#include "codepage.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <optional>
#include <string>

namespace {

using namespace termina;

// The system's conversion of one byte, or nothing when it has no
// counterpart in the target code page.
std::optional<std::string> systemConvert(const char* to, const char* from, unsigned char byte) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    ADD_FAILURE() << "iconv_open(" << to << ", " << from << ") failed";
    return std::nullopt;
  }
  char in[1] = {static_cast<char>(byte)};
  char out[8];
  char* ip = in;
  char* op = out;
  size_t il = 1, ol = sizeof out;
  const size_t r = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return std::nullopt;
  return std::string(out, static_cast<size_t>(op - out));
}

std::string byteString(unsigned char b) { return std::string(1, static_cast<char>(b)); }

TEST(CodePage, EveryByteAgreesWithTheSystemOrGetsTheSubstitute) {
  for (int b = 0; b < 256; ++b) {
    const auto c = static_cast<unsigned char>(b);
    SCOPED_TRACE(b);
    const auto oem = systemConvert("CP866", "CP1251", c);
    EXPECT_EQ(cp::ansiToOem(c), oem ? static_cast<unsigned char>((*oem)[0]) : cp::kSubstitute);
    const auto ansi = systemConvert("CP1251", "CP866", c);
    EXPECT_EQ(cp::oemToAnsi(c), ansi ? static_cast<unsigned char>((*ansi)[0]) : cp::kSubstitute);

    const auto fromOem = systemConvert("UTF-8", "CP866", c);
    ASSERT_TRUE(fromOem) << "code page 866 assigns every byte";
    EXPECT_EQ(cp::oemToUtf8(byteString(c)), *fromOem);
    const auto fromAnsi = systemConvert("UTF-8", "CP1251", c);
    EXPECT_EQ(cp::ansiToUtf8(byteString(c)), fromAnsi ? *fromAnsi : std::string("\xEF\xBF\xBD"));
  }
}

TEST(CodePage, SharedCharactersRoundTripAndOthersDoNot) {
  // Upper-half characters present in both: 64 letters, ЁёЄєЇїЎў, ° · № ¤
  // and the no-break space.
  int shared = 0;
  for (int b = 0x80; b < 256; ++b) {
    const auto c = static_cast<unsigned char>(b);
    const unsigned char oem = cp::ansiToOem(c);
    if (oem != cp::kSubstitute) {
      ++shared;
      EXPECT_EQ(cp::oemToAnsi(oem), c) << "1251 byte " << b;
    }
    const unsigned char ansi = cp::oemToAnsi(c);
    if (ansi != cp::kSubstitute) { EXPECT_EQ(cp::ansiToOem(ansi), c) << "866 byte " << b; }
  }
  EXPECT_EQ(shared, 77);
  for (int b = 0; b < 0x80; ++b) {
    EXPECT_EQ(cp::ansiToOem(static_cast<unsigned char>(b)), b);
    EXPECT_EQ(cp::oemToAnsi(static_cast<unsigned char>(b)), b);
  }
}

TEST(CodePage, StringsConvertBytewiseIncludingNul) {
  const std::string ansi("\xD5\xEB\xE5\xE1\0\xB9 1", 8);  // "Хлеб", NUL, "№ 1"
  const std::string oem("\x95\xAB\xA5\xA1\0\xFC 1", 8);
  EXPECT_EQ(cp::ansiToOem(ansi), oem);
  EXPECT_EQ(cp::oemToAnsi(oem), ansi);
  EXPECT_EQ(cp::ansiToUtf8(ansi), std::string("Хлеб\0№ 1", 14));
  EXPECT_EQ(cp::utf8ToAnsi(std::string("Хлеб\0№ 1", 14)), ansi);
  EXPECT_EQ(cp::oemToUtf8("\xC9\xCD\xBB"), "╔═╗");
  EXPECT_EQ(cp::oemToAnsi("\xC9\xCD\xBB"), "???");
}

TEST(CodePage, Utf8ToAnsiInvertsAnsiToUtf8AndReplacesTheRest) {
  for (int b = 0; b < 256; ++b) {
    if (b == 0x98) continue;  // unassigned in 1251
    const std::string s = byteString(static_cast<unsigned char>(b));
    EXPECT_EQ(cp::utf8ToAnsi(cp::ansiToUtf8(s)), s) << b;
  }
  EXPECT_EQ(cp::utf8ToAnsi("€–√日😀"), "\x88\x96???");
  // Malformed input: a lone lead byte, a stray continuation byte, an
  // overlong '/', an encoded surrogate, a sequence cut at the end.
  EXPECT_EQ(cp::utf8ToAnsi("a\xD0z"), "a?z");
  EXPECT_EQ(cp::utf8ToAnsi("\x80"), "?");
  EXPECT_EQ(cp::utf8ToAnsi("\xC0\xAF"), "??");
  EXPECT_EQ(cp::utf8ToAnsi("\xED\xA0\x80"), "???");
  EXPECT_EQ(cp::utf8ToAnsi("Я\xE2\x84"), "\xDF??");
}

}  // namespace
