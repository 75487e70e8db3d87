// SPDX-License-Identifier: LGPL-2.1-or-later
#include "codepage.h"

#include <array>
#include <cstdint>

namespace termina::cp {
namespace {

constexpr char32_t kNone = 0xFFFD;

// Upper halves (0x80..0xFF) as Unicode code points.
constexpr std::array<char16_t, 128> kOemHigh = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // 80
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // 90
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // A0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // E0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,
};

constexpr std::array<char16_t, 128> kAnsiHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

// Byte of `high` (offset by 0x80) holding code point u, or -1.
constexpr int findHigh(const std::array<char16_t, 128>& high, char32_t u) {
  if (u == kNone) return -1;
  for (int i = 0; i < 128; ++i)
    if (high[static_cast<std::size_t>(i)] == u) return 0x80 + i;
  return -1;
}

// Byte-to-byte table from one code page to the other, built at compile time
// from the two Unicode tables so that both directions agree by construction.
constexpr std::array<unsigned char, 256> crossTable(const std::array<char16_t, 128>& from,
                                                    const std::array<char16_t, 128>& to) {
  std::array<unsigned char, 256> t{};
  for (int b = 0; b < 0x80; ++b) t[static_cast<std::size_t>(b)] = static_cast<unsigned char>(b);
  for (int i = 0; i < 128; ++i) {
    const int hit = findHigh(to, from[static_cast<std::size_t>(i)]);
    t[static_cast<std::size_t>(0x80 + i)] = hit < 0 ? kSubstitute : static_cast<unsigned char>(hit);
  }
  return t;
}

constexpr auto kAnsiToOem = crossTable(kAnsiHigh, kOemHigh);
constexpr auto kOemToAnsi = crossTable(kOemHigh, kAnsiHigh);

static_assert(kAnsiToOem[0xC0] == 0x80 && kAnsiToOem[0xFF] == 0xEF && kAnsiToOem[0xA8] == 0xF0);
static_assert(kOemToAnsi[0x80] == 0xC0 && kOemToAnsi[0xEF] == 0xFF && kOemToAnsi[0xB0] == kSubstitute);

void appendUtf8(std::string& out, char32_t u) {
  if (u < 0x80) {
    out += static_cast<char>(u);
  } else if (u < 0x800) {
    out += static_cast<char>(0xC0 | (u >> 6));
    out += static_cast<char>(0x80 | (u & 0x3F));
  } else {  // every code point of both tables lies in the basic plane
    out += static_cast<char>(0xE0 | (u >> 12));
    out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (u & 0x3F));
  }
}

template <typename ToUnicode>
std::string toUtf8(std::string_view s, ToUnicode toUnicode) {
  std::string out;
  out.reserve(s.size() * 2);
  for (char c : s) appendUtf8(out, toUnicode(static_cast<unsigned char>(c)));
  return out;
}

// Decodes one UTF-8 sequence at s[i]; advances i.  Returns kNone for a
// malformed sequence (which then consumes one byte), an overlong form or a
// surrogate.
char32_t decodeUtf8(std::string_view s, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b0 = byte(i);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  std::size_t len;
  char32_t u;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, u = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, u = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, u = b0 & 0x07, min = 0x10000;
  } else {
    ++i;
    return kNone;
  }
  if (s.size() - i < len) {
    ++i;
    return kNone;
  }
  for (std::size_t k = 1; k < len; ++k) {
    const unsigned char b = byte(i + k);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return kNone;
    }
    u = (u << 6) | (b & 0x3F);
  }
  if (u < min || u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) {
    ++i;
    return kNone;
  }
  i += len;
  return u;
}

template <std::size_t N>
std::string mapBytes(std::string_view s, const std::array<unsigned char, N>& table) {
  std::string out(s.size(), '\0');
  for (std::size_t i = 0; i < s.size(); ++i) out[i] = static_cast<char>(table[static_cast<unsigned char>(s[i])]);
  return out;
}

}  // namespace

unsigned char ansiToOem(unsigned char c) { return kAnsiToOem[c]; }
unsigned char oemToAnsi(unsigned char c) { return kOemToAnsi[c]; }
std::string ansiToOem(std::string_view s) { return mapBytes(s, kAnsiToOem); }
std::string oemToAnsi(std::string_view s) { return mapBytes(s, kOemToAnsi); }

char32_t ansiToUnicode(unsigned char c) { return c < 0x80 ? c : kAnsiHigh[c - 0x80u]; }
char32_t oemToUnicode(unsigned char c) { return c < 0x80 ? c : kOemHigh[c - 0x80u]; }

std::string ansiToUtf8(std::string_view s) { return toUtf8(s, ansiToUnicode); }
std::string oemToUtf8(std::string_view s) { return toUtf8(s, oemToUnicode); }

std::string utf8ToAnsi(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    const char32_t u = decodeUtf8(s, i);
    if (u < 0x80) {
      out += static_cast<char>(u);
      continue;
    }
    const int hit = findHigh(kAnsiHigh, u);
    out += static_cast<char>(hit < 0 ? kSubstitute : hit);
  }
  return out;
}

}  // namespace termina::cp
