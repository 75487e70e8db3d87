// SPDX-License-Identifier: GPL-3.0-or-later
#include "eejpages.h"

#include "rangereports.h"
#include "reports.h"

namespace {

namespace app = termina::app;
}  // namespace

CFRFunction::Command CEEJActivate::MakeCommand() {
  return [](CommandJob& job) {
    MainWindowDisabled window(job);
    app::RunEejActivate();
  };
}

CFRFunction::Command CEEJCloseArchive::MakeCommand() {
  return [](CommandJob& job) {
    if (!app::ConfirmCloseArchive(job.Ui())) return;
    MainWindowDisabled window(job);
    app::RunCloseArchive();
  };
}

CFRFunction::Command CEEJActivateReport::MakeCommand() {
  return [](CommandJob& job) {
    MainWindowDisabled window(job);
    app::RunEejActivationReport();
  };
}

bool CEEJReport::OnInitDialog() {
  CFRFunction::OnInitDialog();
  SetItemTextNow(kShiftId, "1");
  BindUpDown(*this, kShiftId, kUpDownId);
  return true;
}

CFRFunction::Command CEEJReport::MakeCommand() {
  return [print = Print(), shift = app::ShiftNumber(ItemText(kShiftId))](CommandJob& job) {
    NavigationDisabled navigation(job);
    print(shift);
  };
}

CEEJReport::ShiftPrint CEEJReport::Print() const { return &app::RunEejJournal; }

CEEJReport::ShiftPrint CEEJGetShift::Print() const { return &app::RunEejShiftReport; }

bool CEEJReceipt::OnInitDialog() {
  CFRFunction::OnInitDialog();
  SetItemTextNow(kKpkId, "1");
  BindUpDown(*this, kKpkId, kUpDownId);
  return true;
}

CFRFunction::Command CEEJReceipt::MakeCommand() {
  return [kpk = app::KpkNumber(ItemText(kKpkId))](CommandJob& job) {
    MainWindowDisabled window(job);
    app::RunEejDocument(kpk);
  };
}
