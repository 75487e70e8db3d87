// SPDX-License-Identifier: GPL-3.0-or-later
#include "driver_text.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "codepage.h"
#include "event.h"

namespace termina::app {

std::optional<std::string> ErrorText(uint16_t code) {
  TRMA_ERROR_MESSAGE message{};
  if (TRMA_GetErrorMessage(code, &message) == 0) return std::nullopt;
  message[sizeof message - 1] = 0;
  return cp::ansiToUtf8(message);
}

void LocalDateTime(TRMADT* date, TRMATM* time) {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  if (now == static_cast<std::time_t>(-1) || ::localtime_r(&now, &tm) == nullptr) {
    *date = TRMADT{0, 0, 0};
    *time = TRMATM{255, 255, 255};
    return;
  }
  date->day = static_cast<uint8_t>(tm.tm_mday);
  date->month = static_cast<uint8_t>(tm.tm_mon + 1);
  date->year = static_cast<uint16_t>(tm.tm_year + 1900);
  time->hour = static_cast<uint8_t>(tm.tm_hour);
  time->minute = static_cast<uint8_t>(tm.tm_min);
  time->second = static_cast<uint8_t>(tm.tm_sec);
}

void Pause(unsigned ms) { sys::sleepMs(ms); }

std::string ToUtf8(const char* ansi) { return cp::ansiToUtf8(ansi ? ansi : ""); }

void ToAnsi(const std::string& utf8, char* buffer, std::size_t size) {
  if (size == 0) return;
  std::memset(buffer, 0, size);
  const std::string ansi = cp::utf8ToAnsi(utf8);
  std::memcpy(buffer, ansi.data(), std::min(ansi.size(), size - 1));
}

}  // namespace termina::app
