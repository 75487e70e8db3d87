// SPDX-License-Identifier: GPL-3.0-or-later
#include "clock.h"

#include <cstdio>

#include "codepage.h"
#include "driver_text.h"
#include "ini.h"
#include "paths.h"

namespace termina::app {

const char* const kDateBeforeFiscalText = "Не возможно установить дату меньше даты последней фискальной операции";
const char* const kPasswordLengthText = "Пароль должен быть длинной 4 символа";
const char* const kPasswordCharsText = "Пароль содержит символы, которые нельзя передать в ККМ";

namespace {

constexpr const char* kErrorTitle = "Ошибка";
constexpr const char* kWarningTitle = "Предупреждение";
// The register refuses a date before its last fiscal operation with 12.
constexpr uint16_t kDateBeforeFiscal = 12;
// The password read from the INI file is held in a 50-byte buffer.
constexpr std::size_t kPasswordBuffer = 50;

bool sixDigits(const std::string& s) {
  if (s.size() != 6) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

int pair(const std::string& s, std::size_t at) { return (s[at] - '0') * 10 + (s[at + 1] - '0'); }

std::string pairs(const std::string& s, char sep) {
  if (!sixDigits(s)) return s;
  return s.substr(0, 2) + sep + s.substr(2, 2) + sep + s.substr(4, 2);
}

std::string twoDigits(int a, int b, int c, char sep) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2d%c%.2d%c%.2d", a, sep, b, sep, c);
  return text;
}

// Days since 1 January 1970 of a proleptic Gregorian date.
long long daysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

bool validDate(long long y, int m, int d) {
  static const int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12 || d < 1 || d > kDays[m - 1]) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return !(m == 2 && d == 29 && !leap);
}

// Seconds since the epoch of a civil date and time; none when invalid.
std::optional<long long> civilSeconds(long long y, int m, int d, int hh, int mm, int ss) {
  if (!validDate(y, m, d) || hh < 0 || hh > 23 || mm < 0 || mm > 59 || ss < 0 || ss > 59) return std::nullopt;
  return daysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) * 86400LL + hh * 3600LL + mm * 60LL + ss;
}

}  // namespace

std::string StoredExchangePassword() {
  return ToUtf8(ini::readString(paths::iniPath(), "General", "pswd", "WKRD", kPasswordBuffer).c_str());
}

std::string DateText(const std::string& ddmmyy) { return pairs(ddmmyy, '/'); }
std::string TimeText(const std::string& hhmmss) { return pairs(hhmmss, ':'); }
std::string DateText(const TRMADT& d) { return twoDigits(d.day, d.month, d.year % 100, '/'); }
std::string TimeText(const TRMATM& t) { return twoDigits(t.hour, t.minute, t.second, ':'); }

RegisterClock ReadRegisterClock() {
  TRMA_STRING date{}, time{};
  TRMA_GetKKMDataTime(date, time);
  date[sizeof date - 1] = 0;
  time[sizeof time - 1] = 0;
  return {ToUtf8(date), ToUtf8(time)};
}

ClockPageData ReadClockPage() {
  ClockPageData p;
  try {
    TRMA_FATAL_STATUS fatal{};
    TRMA_STATUS status{};
    TRMA_REC_STATUS doc{};
    TRMA_GetStatus(&fatal, &status, &doc);
    p.statusRead = true;
    p.nonFiscal = (status.byte & 0x02) != 0;
    if (!p.nonFiscal) {
      TRMA_STRING date{}, time{};
      TRMA_GetFMLastData(date, time);
      date[sizeof date - 1] = 0;
      time[sizeof time - 1] = 0;
      p.lastDate = ToUtf8(date);
      p.lastTime = ToUtf8(time);
    }
    p.clock = ReadRegisterClock();
    p.clockRead = true;
  } catch (uint16_t code) { p.failure = code; }
  p.password = StoredExchangePassword();
  return p;
}

std::optional<long long> ClockDifferenceMinutes(const TRMADT& date, const TRMATM& time, const RegisterClock& reg) {
  if (!sixDigits(reg.date) || !sixDigits(reg.time)) return std::nullopt;
  const auto computer = civilSeconds(date.year, date.month, date.day, time.hour, time.minute, time.second);
  const auto regis = civilSeconds(2000 + pair(reg.date, 4), pair(reg.date, 2), pair(reg.date, 0), pair(reg.time, 0),
                                  pair(reg.time, 2), pair(reg.time, 4));
  if (!computer || !regis) return std::nullopt;
  const long long d = *computer - *regis;
  // Half a second away from zero, then cut towards zero: in half seconds,
  // (2d ± 1) / 120.
  return d >= 0 ? (2 * d + 1) / 120 : -((-2 * d + 1) / 120);
}

std::string OneDayQuestion(const TRMADT& date, const TRMATM& time) {
  char when[64];
  std::snprintf(when, sizeof when, "%.2d/%.2d/%.2d %.2d:%.2d:%.2d", date.day, date.month, date.year, time.hour,
                time.minute, time.second);
  return std::string("Вводимые дата и время ") + when +
         " отличаются от текущей даты и времени ККМ более чем на сутки.Продолжить изменение даты и времени?";
}

ClockSetting SetRegisterClock(const TRMADT& date, const TRMATM& time, Interaction& ui) {
  ClockSetting s;
  TRMADT d = date;
  TRMATM t = time;
  s.difference = ClockDifferenceMinutes(date, time, ReadRegisterClock());
  // A register clock that cannot be compared is treated like one a day
  // behind: the user decides.
  bool setIt = true;
  if (!s.difference || *s.difference >= 1440) {
    s.asked = true;
    setIt = ui.Ask(Question{OneDayQuestion(date, time), kWarningTitle, Icon::Exclamation, Buttons::YesNo,
                            Answer::No}) == Answer::Yes;
  }
  if (setIt) {
    TRMA_SetDate(&d, &t);
    s.set = true;
  }
  s.after = ReadRegisterClock();
  if (s.set) TRMA_Init(&d, &t);
  return s;
}

std::optional<std::string> ClockFailureText(uint16_t code) {
  if (code == kDateBeforeFiscal) return std::string(kDateBeforeFiscalText);
  return ErrorText(code);
}

std::optional<std::string> ExchangePasswordProblem(const std::string& utf8) {
  std::size_t chars = 0;
  for (unsigned char c : utf8)
    if ((c & 0xC0) != 0x80) ++chars;
  if (chars != 4) return std::string(kPasswordLengthText);
  const std::string ansi = cp::utf8ToAnsi(utf8);
  bool sendable = cp::ansiToUtf8(ansi) == utf8;
  for (unsigned char c : ansi)
    if (c < 0x20) sendable = false;
  if (!sendable) return std::string(kPasswordCharsText);
  return std::nullopt;
}

bool ChangeExchangePassword(const std::string& utf8, Interaction& ui) {
  if (const auto problem = ExchangePasswordProblem(utf8)) {
    ui.Tell(*problem, kErrorTitle, Icon::Error);
    return false;
  }
  TRMA_STRING password{};
  ToAnsi(utf8, password);
  TRMA_ChangePwd(&password, true);
  TRMADT date;
  TRMATM time;
  LocalDateTime(&date, &time);
  TRMA_Init(&date, &time);
  return true;
}

}  // namespace termina::app
