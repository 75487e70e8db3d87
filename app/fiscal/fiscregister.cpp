// SPDX-License-Identifier: GPL-3.0-or-later
#include "fiscregister.h"

#include "fiscalization.h"

namespace {

using termina::app::FiscalizationInput;
using termina::app::FiscField;

// Control of each field, in the order of FiscField.
constexpr int kFieldIds[termina::app::kFiscFieldCount] = {1029, 1030, 1035, 1031, 1034, 1032, 1033};

int IdOf(FiscField f) { return kFieldIds[static_cast<int>(f)]; }

}  // namespace

CFiscRegister::CFiscRegister(PageHost& host) : CFRFunction(host) {}

bool CFiscRegister::OnInitDialog() {
  CFRFunction::OnInitDialog();
  for (int i = 0; i < termina::app::kFiscFieldCount; ++i) {
    SetTextLimit(kFieldIds[i], termina::app::kFiscFieldLimits[i]);
    SetTextPattern(kFieldIds[i], "[0-9]*");
  }
  for (FiscField f : {FiscField::CurrentPassword, FiscField::NewPassword, FiscField::NewPasswordRepeat})
    SetPasswordEntry(IdOf(f));
  return true;
}

void CFiscRegister::SetInitialFocus() { FocusItemNow(IdOf(FiscField::CurrentPassword)); }

namespace {

FiscalizationInput ReadFields(const tk::Dialog& page) {
  FiscalizationInput in;
  for (int i = 0; i < termina::app::kFiscFieldCount; ++i) in.fields[i] = page.ItemText(kFieldIds[i]);
  return in;
}

}  // namespace

bool CFiscRegister::ValidateInput() {
  const auto problem = termina::app::FirstEmptyField(ReadFields(*this));
  if (!problem) return true;
  tk::ThePrompts().ShowMessage({problem->message, tk::kProgramName, tk::Icon::None, tk::Buttons::Ok, tk::IDOK, this});
  FocusItemNow(IdOf(problem->field));
  return false;
}

CFRFunction::Command CFiscRegister::MakeCommand() {
  return [in = ReadFields(*this)](CommandJob& job) {
    // Neither the main window nor the navigation is locked for this command.
    if (termina::app::RunFiscalization(in, job.Ui()) == termina::app::FiscalizationOutcome::Mismatch)
      job.OnPage<CFiscRegister>([](CFiscRegister& page) { page.FocusItemNow(IdOf(FiscField::NewPassword)); });
  };
}
