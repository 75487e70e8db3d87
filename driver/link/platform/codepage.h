// SPDX-License-Identifier: LGPL-2.1-or-later
// Conversion between the Windows Cyrillic code page 1251 (text at the
// library boundary), the DOS Cyrillic code page 866 (text on the wire) and
// UTF-8 (text shown to a Linux user).  Static tables only; nothing is looked
// up at run time.
//
// Both code pages keep 0x00..0x7F as ASCII.  Of the upper halves, the two
// share the Cyrillic letters, Ё ё Є є Ї ї Ў ў and the signs ° · № ¤ and the
// no-break space; those convert both ways and round-trip exactly.  A byte
// whose character the other code page lacks becomes '?' (0x3F): from 866
// the box-drawing and block characters and ∙ √ ■; from 1251 the letters
// Ђ Ѓ Љ Њ Ќ Ћ Џ Ј Ґ І Ѕ with their small forms, the signs
// ‚ „ … † ‡ € ‰ ‹ › ‘ ’ “ ” • – — ™ ¦ § © « » ¬ ® ± µ ¶, the soft hyphen
// and the unassigned 0x98.
//
// To UTF-8 every byte of 866 has a character.  In 1251 only 0x98 is
// unassigned; it becomes U+FFFD (the replacement character).  From UTF-8,
// a character 1251 lacks and every malformed byte become '?'.
#pragma once

#include <string>
#include <string_view>

namespace termina::cp {

// The byte that stands in for a character the target code page lacks.
inline constexpr unsigned char kSubstitute = '?';

unsigned char ansiToOem(unsigned char c);  // 1251 -> 866
unsigned char oemToAnsi(unsigned char c);  // 866 -> 1251
std::string ansiToOem(std::string_view s);
std::string oemToAnsi(std::string_view s);

std::string ansiToUtf8(std::string_view s);  // 1251 -> UTF-8
std::string utf8ToAnsi(std::string_view s);  // UTF-8 -> 1251, missing characters -> '?'
std::string oemToUtf8(std::string_view s);   // 866 -> UTF-8

// Unicode code point of one byte (0xFFFD for 1251's unassigned 0x98).
char32_t ansiToUnicode(unsigned char c);
char32_t oemToUnicode(unsigned char c);

}  // namespace termina::cp
