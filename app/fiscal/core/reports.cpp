// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports.h"

#include "driver_text.h"

namespace termina::app {

TRMA_PASSWORD* PasswordRecord(const std::string& utf8, TRMA_PASSWORD& record) {
  ToAnsi(utf8, record);  // zero-fills, then at most sizeof record - 1 = 10 characters
  return &record;
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
