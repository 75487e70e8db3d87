// The fiscal-memory reports and the EEJ operations: the inputs of their
// pages turned into the driver's arguments, and one driver call each.
// Shared by TerminaTool's report pages and trma.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "interaction.h"
#include "termina1.h"

namespace termina::app {

// Report types the pages offer.
inline constexpr uint16_t kShortReport = 0;
inline constexpr uint16_t kFullReport = 1;

inline constexpr const char* kPasswordEmpty = "Поле \"ПАРОЛЬ\" должно быть заполнено";
inline constexpr const char* kCloseArchiveQuestion = "Закрыть архив?";

// A calendar day as a page keeps it: invalid when the user never had a
// date or the picker gave none.
struct ReportDay {
  bool valid = false;
  int year = 0, month = 0, day = 0;
};

// The computer's local date today (invalid when it cannot be had).
ReportDay Today();

// The driver's date record; a day that is invalid or has no calendar parts
// that fit the record (month 1..12, day 1..31, year 0..65534) is passed as
// 255/255/65535, which the register refuses.
TRMADT ReportDate(const ReportDay& d);

// The text of a number edit as the register gets it: decimal digits after
// optional blanks and sign, up to the first other character (empty: 0),
// held to the range of a 32-bit int, then cut to the argument's width.
int32_t EditNumber(std::string_view text);
inline uint16_t ShiftNumber(std::string_view text) { return static_cast<uint16_t>(EditNumber(text)); }
inline uint32_t KpkNumber(std::string_view text) { return static_cast<uint32_t>(EditNumber(text)); }

// The tax inspector's password record: zero-filled, then the first 10
// characters of the text.
TRMA_PASSWORD* PasswordRecord(const std::string& utf8, TRMA_PASSWORD& record);

// DDMMYY as a date record (years 2000..2099); nothing when it is not a
// day of the calendar.
std::optional<TRMADT> ParseDdmmyy(std::string_view text);

// Fiscal-memory reports.  An empty password is told to the user (with
// kPasswordEmpty) and nothing is sent; returns whether the report was sent.
bool CheckInspectorPassword(const std::string& password, Interaction& ui);
void RunFiscShiftReport(uint16_t type, uint16_t first, uint16_t last, const std::string& password);
void RunFiscDateReport(uint16_t type, const TRMADT& first, const TRMADT& last, const std::string& password);

// The EEJ.
void RunEejShiftRangeReport(uint16_t type, uint16_t first, uint16_t last);
void RunEejDateRangeReport(uint16_t type, const TRMADT& first, const TRMADT& last);
void RunEejJournal(uint16_t shift);
void RunEejShiftReport(uint16_t shift);
void RunEejDocument(uint32_t kpk);
void RunEejActivationReport();
void RunEejActivate();
// "Закрыть архив?" with Yes and No and the warning icon, No the default
// (closing cannot be undone): true for Yes.
bool ConfirmCloseArchive(Interaction& ui);
void RunCloseArchive();

}  // namespace termina::app
