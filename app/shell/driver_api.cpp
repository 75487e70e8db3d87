#include "driver_api.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>

#include "codepage.h"

DriverApi& Trma() {
  static DriverApi api;
  return api;
}

QString FromAnsi(const char* text) {
  if (!text) return QString();
  return QString::fromStdString(termina::cp::ansiToUtf8(text));
}

void ToAnsi(const QString& text, char* buffer, std::size_t size) {
  if (size == 0) return;
  std::memset(buffer, 0, size);
  const std::string ansi = termina::cp::utf8ToAnsi(text.toStdString());
  std::memcpy(buffer, ansi.data(), std::min(ansi.size(), size - 1));
}

bool ErrorText(uint16_t code, QString* text) {
  TRMA_ERROR_MESSAGE message;
  std::memset(message, 0, sizeof message);
  const bool known = Trma().GetErrorMessage(code, &message) != 0;
  message[sizeof message - 1] = 0;
  *text = known ? FromAnsi(message) : QString();
  return known;
}

void LocalDateTime(TRMADT* date, TRMATM* time) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  if (now == static_cast<std::time_t>(-1) || !localtime_r(&now, &tm)) {
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
