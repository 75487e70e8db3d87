// SPDX-License-Identifier: GPL-3.0-or-later
#include "logo_file.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "paths.h"

namespace termina::app {

const char* const kLogoOpenError = "Ошибка открытия файла";
const char* const kLogoTooLarge = "Размер файла превышает 64 Кб";
const char* const kLogoNotMonochrome = "Изображение должно быть монохромным";

namespace {

uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

LogoCheck broken(LogoRule rule, const char* message) {
  LogoCheck c;
  c.rule = rule;
  c.message = message;
  return c;
}

}  // namespace

LogoLimits LogoLimitsFor(uint16_t version) {
  if (version == 201) return {576, 170, false, "Размер изображения превышает"};
  if (version == 301) return {515, 90, true, "Размер изображения должен быть"};
  return {288, 126, false, "Размер изображения превышает"};
}

LogoCheck CheckBitmapHeaders(const uint8_t* data, std::size_t size, uint64_t fileSize, uint16_t version) {
  // 1: both headers there, and the file header's mark "BM" in any case.
  if (data == nullptr || size < kBitmapHeadersSize || (data[0] != 'B' && data[0] != 'b') ||
      (data[1] != 'M' && data[1] != 'm'))
    return broken(LogoRule::Unreadable, kLogoOpenError);
  // 2: the size the header records, and the file's own.
  if (le32(data + 2) > kMaxLogoFileSize || fileSize > kMaxLogoFileSize)
    return broken(LogoRule::TooLarge, kLogoTooLarge);
  const uint8_t* info = data + 14;
  // 3: one bit per pixel.
  if (le16(info + 14) != 1) return broken(LogoRule::NotMonochrome, kLogoNotMonochrome);
  // 4: the size.  A negative height is a picture stored top row first; its
  // size is the magnitude.  A picture without width or height fits nothing.
  LogoCheck c;
  c.width = static_cast<int32_t>(le32(info + 4));
  c.height = static_cast<int32_t>(le32(info + 8));
  const int64_t w = c.width;
  const int64_t h = c.height < 0 ? -static_cast<int64_t>(c.height) : c.height;
  const LogoLimits lim = LogoLimitsFor(version);
  const bool fits =
      w > 0 && h > 0 && (lim.exact ? (w == lim.width && h == lim.height) : (w <= lim.width && h <= lim.height));
  if (!fits) {
    char text[128];
    std::snprintf(text, sizeof text, "%s %dx%d", lim.text, lim.width, lim.height);
    c.rule = LogoRule::BadSize;
    c.message = text;
  }
  return c;
}

LogoCheck CheckLogoFile(const std::string& path, uint16_t version) {
  if (path.empty()) return broken(LogoRule::Unreadable, kLogoOpenError);
  // A UTF-8 path made the system's own (wide on Windows), so that a
  // Cyrillic name opens there too.
  const std::string host = paths::hostPath(path);
  std::ifstream file(std::filesystem::path(std::u8string(host.begin(), host.end())), std::ios::binary);
  if (!file) return broken(LogoRule::Unreadable, kLogoOpenError);
  uint8_t headers[kBitmapHeadersSize] = {};
  file.read(reinterpret_cast<char*>(headers), sizeof headers);
  const auto got = static_cast<std::size_t>(file.gcount());
  // The file's own length: what the driver would send.
  file.clear();
  file.seekg(0, std::ios::end);
  const std::streamoff end = file.tellg();
  const uint64_t fileSize = end < 0 ? 0 : static_cast<uint64_t>(end);
  return CheckBitmapHeaders(headers, got, fileSize, version);
}

}  // namespace termina::app
