// SPDX-License-Identifier: GPL-3.0-or-later
// The check of a logo file before it is uploaded: the bitmap's two
// headers against four rules, tested in order, the first broken one giving
// its message.  Reads only the headers, never the picture; needs no
// register.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace termina::app {

extern const char* const kLogoOpenError;      // "Ошибка открытия файла"
extern const char* const kLogoTooLarge;       // "Размер файла превышает 64 Кб"
extern const char* const kLogoNotMonochrome;  // "Изображение должно быть монохромным"

// A bitmap file's header (14 bytes) and information header (the next 40)
// together.
inline constexpr std::size_t kBitmapHeadersSize = 54;
// The largest logo file the register takes.
inline constexpr uint32_t kMaxLogoFileSize = 65536;

// The rule a logo file breaks first; the rules are tested in this order.
enum class LogoRule {
  Accepted,
  Unreadable,     // not opened, too short, or not "BM"
  TooLarge,       // more than 64 KiB
  NotMonochrome,  // not 1 bit per pixel
  BadSize,        // the picture does not fit the register model
};

struct LogoCheck {
  LogoRule rule = LogoRule::Accepted;
  std::string message;  // the message of the broken rule (UTF-8); empty when accepted
  int32_t width = 0, height = 0;
  bool accepted() const { return rule == LogoRule::Accepted; }
};

// The picture sizes a register model takes, and the message when a picture
// does not fit: "%s %dx%d" of the text and the two limits.
struct LogoLimits {
  int32_t width, height;
  bool exact;  // the picture must have exactly this size (else: at most)
  const char* text;
};
LogoLimits LogoLimitsFor(uint16_t version);

// Applies the four rules to the first bytes of a bitmap file (`size` of
// them; fewer than kBitmapHeadersSize break the first rule).  `fileSize` is
// the length of the whole file: a file longer than 64 KiB is refused even
// when its header records less.
LogoCheck CheckBitmapHeaders(const uint8_t* data, std::size_t size, uint64_t fileSize, uint16_t version);

// Opens the file (a host path, as the driver takes it) and checks its
// headers.  Reads only the headers, never the picture.
LogoCheck CheckLogoFile(const std::string& path, uint16_t version);

}  // namespace termina::app
