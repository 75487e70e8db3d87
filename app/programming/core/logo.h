// The logo page's register sequences: the print switch (table 5), the
// check of a bitmap file before it is uploaded, the upload and the removal
// of the logo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "interaction.h"

namespace termina::app {

extern const char* const kLogoOpenError;       // "Ошибка открытия файла"
extern const char* const kLogoTooLarge;        // "Размер файла превышает 64 Кб"
extern const char* const kLogoNotMonochrome;   // "Изображение должно быть монохромным"
extern const char* const kLogoNoFile;          // "Не выбран файл, содержащий логотип"

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

// The same, asking the register its version (a failed query gives 120)
// and showing the message of a broken rule ("Ошибка", error icon).
bool CheckLogoFileAndTell(const std::string& path, Interaction& ui);

// Table 5: whether the register prints the logo.
bool ReadLogoSwitch();
// Writes table 5 ("1" or "0"), then re-initialises the register with the
// computer's date and time.
void StoreLogoSwitch(bool print);

// Uploads the logo file: an empty path or a file that breaks a rule is
// refused with its message and nothing is sent; otherwise TRMA_LoadLogo,
// then re-initialisation.  True when the logo was sent.
bool UploadLogo(const std::string& path, Interaction& ui);

// Removes the logo: table 5 to "0" (so the register stops printing it),
// then TRMA_ClearLogo, whose failure is raised like any other.
void RemoveLogo();

}  // namespace termina::app
