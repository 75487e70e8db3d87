// SPDX-License-Identifier: GPL-3.0-or-later
// The date/time and data-password page's register sequences: the register's
// clock beside the computer's, the last fiscal operation, setting the
// register's clock from the computer's (with a question when the computer
// is a day or more ahead), and the change of the data-exchange password.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "interaction.h"
#include "termina1.h"

namespace termina::app {

extern const char* const kDateBeforeFiscalText;  // the register's refusal 12, in the page's words
extern const char* const kPasswordLengthText;    // "Пароль должен быть длинной 4 символа"
extern const char* const kPasswordCharsText;     // a character the register's code page lacks

// The password the driver keeps in its INI file (default "WKRD").
std::string StoredExchangePassword();

// "DDMMYY" as "DD/MM/YY" and "HHMMSS" as "HH:MM:SS"; any other text
// (empty when the register had no data) is shown as it came.
std::string DateText(const std::string& ddmmyy);
std::string TimeText(const std::string& hhmmss);
// The computer's date as DD/MM/YY and time as HH:MM:SS.
std::string DateText(const TRMADT& d);
std::string TimeText(const TRMATM& t);

// The register's clock as it answers it: DDMMYY and HHMMSS (both empty
// when it has no data).
struct RegisterClock {
  std::string date, time;
};
RegisterClock ReadRegisterClock();

// What the page shows when it is created.
struct ClockPageData {
  bool statusRead = false;
  bool nonFiscal = false;          // status bit 1: no last fiscal operation to show
  std::string lastDate, lastTime;  // DDMMYY, HHMMSS of the last fiscal operation
  bool clockRead = false;
  RegisterClock clock;
  // The driver failure that ended the register reads; the rest was not read.
  std::optional<uint16_t> failure;
  std::string password;  // from the INI file, read in every case
};
ClockPageData ReadClockPage();

// Minutes by which the computer's clock is ahead of the register's (negative
// when behind): the difference of the two, half a second added away from
// zero, cut to whole minutes.  Computed from the fields, whatever the
// locale.  None when either side is not a valid date and time.
std::optional<long long> ClockDifferenceMinutes(const TRMADT& date, const TRMATM& time, const RegisterClock& reg);

// The one-day question's text for the computer's date and time.
std::string OneDayQuestion(const TRMADT& date, const TRMATM& time);

struct ClockSetting {
  std::optional<long long> difference;  // minutes, as compared
  bool asked = false;                   // the one-day question was asked
  bool set = false;                     // TRMA_SetDate ran (and so TRMA_Init)
  RegisterClock after;                  // the register's clock read afterwards
};
// Sets the register's clock to the given computer date and time: asks the
// one-day question when the computer is 1440 minutes or more ahead (No:
// the clock is left alone), reads the register's clock again, and re-
// initialises the register when its clock was set.  Driver failures are
// raised; ClockFailureText gives their message.
ClockSetting SetRegisterClock(const TRMADT& date, const TRMATM& time, Interaction& ui);

// The message for a failure of SetRegisterClock: the register's refusal 12
// (a date before the last fiscal operation) in the page's own words, any
// other code as the driver's text (none when the driver has none).
std::optional<std::string> ClockFailureText(uint16_t code);

// Why a typed password cannot be sent (its message), or none when it can:
// exactly 4 characters, each one the register's code page has.
std::optional<std::string> ExchangePasswordProblem(const std::string& utf8);

// Changes the data-exchange password in the register, the driver and its
// INI file, then re-initialises the register.  A password of other than 4
// characters (or with a character the register's code page lacks) is
// refused with its message ("Ошибка", error icon) and nothing is sent;
// false then.
bool ChangeExchangePassword(const std::string& utf8, Interaction& ui);

}  // namespace termina::app
