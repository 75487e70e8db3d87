// SPDX-License-Identifier: GPL-3.0-or-later
#include "eejpages.h"

#include "rangereports.h"
#include "reports.h"

namespace {

namespace app = termina::app;
}  // namespace

void CEEJActivate::Execute() {
  MainWindowDisabled window(*this);
  app::RunEejActivate();
}

void CEEJCloseArchive::Execute() {
  if (!app::ConfirmCloseArchive(Ui())) return;
  MainWindowDisabled window(*this);
  app::RunCloseArchive();
}

void CEEJActivateReport::Execute() {
  MainWindowDisabled window(*this);
  app::RunEejActivationReport();
}

bool CEEJReport::OnInitDialog() {
  CFRFunction::OnInitDialog();
  SetItemTextNow(kShiftId, "1");
  BindUpDown(*this, kShiftId, kUpDownId);
  return true;
}

void CEEJReport::Execute() {
  NavigationDisabled navigation(*this);
  const uint16_t shift = OnUi([&] { return app::ShiftNumber(ItemText(kShiftId)); });
  Print(shift);
}

void CEEJReport::Print(uint16_t shift) { app::RunEejJournal(shift); }

void CEEJGetShift::Print(uint16_t shift) { app::RunEejShiftReport(shift); }

bool CEEJReceipt::OnInitDialog() {
  CFRFunction::OnInitDialog();
  SetItemTextNow(kKpkId, "1");
  BindUpDown(*this, kKpkId, kUpDownId);
  return true;
}

void CEEJReceipt::Execute() {
  MainWindowDisabled window(*this);
  const uint32_t kpk = OnUi([&] { return app::KpkNumber(ItemText(kKpkId)); });
  app::RunEejDocument(kpk);
}
