// SPDX-License-Identifier: GPL-3.0-or-later
#include "editex_rules.h"

namespace editex {

bool AcceptsChar(const std::string& current, char32_t c, bool numeric) {
  if (c <= 16) return true;
  // Characters, not bytes: a UTF-8 continuation byte starts none.
  std::size_t chars = 0;
  for (unsigned char b : current) chars += (b & 0xC0) != 0x80;
  if (chars >= kMaxChars) return false;
  if (!numeric) return true;
  if (c != U'.' && (c < U'0' || c > U'9')) return false;
  int points = c == U'.';
  for (unsigned char b : current) {
    if (b == '.') {
      if (++points > 1) return false;
    } else if (b < '0' || b > '9') {
      return false;
    }
  }
  return true;
}

}  // namespace editex
