// SPDX-License-Identifier: GPL-3.0-or-later
// The fiscal-memory reports and the EEJ operations: the inputs of their
// pages turned into the driver's arguments, and one driver call each.
// Shared by TerminaTool's report pages and trma.
#pragma once

#include <cstdint>
#include <string>

#include "interaction.h"
#include "report_args.h"
#include "termina1.h"

namespace termina::app {

// Report types the pages offer.
inline constexpr uint16_t kShortReport = 0;
inline constexpr uint16_t kFullReport = 1;

inline constexpr const char* kPasswordEmpty = "Поле \"ПАРОЛЬ\" должно быть заполнено";
inline constexpr const char* kCloseArchiveQuestion = "Закрыть архив?";

// The tax inspector's password record: zero-filled, then the first 10
// characters of the text.
TRMA_PASSWORD* PasswordRecord(const std::string& utf8, TRMA_PASSWORD& record);

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
