#include "reports.h"

#include <cstring>
#include <ctime>
#include <limits>

#include "driver_text.h"

namespace termina::app {

ReportDay Today() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  if (::localtime_r(&now, &tm) == nullptr) return {};
  return {true, tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

TRMADT ReportDate(const ReportDay& d) {
  if (!d.valid || d.month < 1 || d.month > 12 || d.day < 1 || d.day > 31 || d.year < 0 || d.year > 65534)
    return TRMADT{255, 255, 65535};
  return TRMADT{static_cast<uint8_t>(d.day), static_cast<uint8_t>(d.month), static_cast<uint16_t>(d.year)};
}

int32_t EditNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  // Held in 64 bits and stopped at the 32-bit limit, so that any length of
  // digits ends there instead of overflowing.
  const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                 : std::numeric_limits<int32_t>::max();
  int64_t n = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    n = n * 10 + (text[i] - '0');
    if (n > limit) n = limit;
  }
  return static_cast<int32_t>(negative ? -n : n);
}

TRMA_PASSWORD* PasswordRecord(const std::string& utf8, TRMA_PASSWORD& record) {
  ToAnsi(utf8, record);  // zero-fills, then at most sizeof record - 1 = 10 characters
  return &record;
}

std::optional<TRMADT> ParseDdmmyy(std::string_view text) {
  if (text.size() != 6) return std::nullopt;
  for (char c : text)
    if (c < '0' || c > '9') return std::nullopt;
  const int day = (text[0] - '0') * 10 + (text[1] - '0');
  const int month = (text[2] - '0') * 10 + (text[3] - '0');
  const int year = 2000 + (text[4] - '0') * 10 + (text[5] - '0');
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1) return std::nullopt;
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  if (day > kDays[month - 1] + (month == 2 && leap ? 1 : 0)) return std::nullopt;
  return TRMADT{static_cast<uint8_t>(day), static_cast<uint8_t>(month), static_cast<uint16_t>(year)};
}

bool CheckInspectorPassword(const std::string& password, Interaction& ui) {
  if (!password.empty()) return true;
  ui.Tell(kPasswordEmpty, "Ошибка", Icon::Error);
  return false;
}

void RunFiscShiftReport(uint16_t type, uint16_t first, uint16_t last, const std::string& password) {
  TRMA_PASSWORD pw;
  TRMA_FiscShiftReport(type, first, last, PasswordRecord(password, pw));
}

void RunFiscDateReport(uint16_t type, const TRMADT& first, const TRMADT& last, const std::string& password) {
  TRMA_PASSWORD pw;
  TRMADT a = first, b = last;
  TRMA_FiscDateReport(type, &a, &b, PasswordRecord(password, pw));
}

void RunEejShiftRangeReport(uint16_t type, uint16_t first, uint16_t last) { TRMA_EEJShiftReport(type, first, last); }

void RunEejDateRangeReport(uint16_t type, const TRMADT& first, const TRMADT& last) {
  TRMADT a = first, b = last;
  TRMA_EEJDateReport(type, &a, &b);
}

void RunEejJournal(uint16_t shift) { TRMA_EEJJournal(shift); }
void RunEejShiftReport(uint16_t shift) { TRMA_EEJReport(shift); }
void RunEejDocument(uint32_t kpk) { TRMA_GetReceipt(kpk); }
void RunEejActivationReport() { TRMA_EEJActivateReport(); }
void RunEejActivate() { TRMA_ActivateEEJ(); }

bool ConfirmCloseArchive(Interaction& ui) {
  return ui.Ask(Question{kCloseArchiveQuestion, kProgramTitle, Icon::Exclamation, Buttons::YesNo, Answer::No}) ==
         Answer::Yes;
}

void RunCloseArchive() { TRMA_CloseEEJArchive(); }

}  // namespace termina::app
