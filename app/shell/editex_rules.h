// SPDX-License-Identifier: GPL-3.0-or-later
// The typing rules of CEditEx, the program's own edit box: at most 40
// characters, and, for a numeric box, decimal digits with one point.
#pragma once

#include <string>

namespace editex {

inline constexpr std::size_t kMaxChars = 40;

// Whether the typed character `c` is passed on to a box that holds
// `current` (UTF-8).  Codes 0-16 always pass; the test looks at the text
// with the character appended at its end, wherever the caret is.
bool AcceptsChar(const std::string& current, char32_t c, bool numeric);

}  // namespace editex
