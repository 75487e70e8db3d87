// SPDX-License-Identifier: GPL-3.0-or-later
#include "fiscregister.h"

#include <QLineEdit>
#include <QRegularExpressionValidator>

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
  const QRegularExpression digits(QStringLiteral("[0-9]*"));
  for (int i = 0; i < termina::app::kFiscFieldCount; ++i) {
    auto* edit = Item<QLineEdit>(kFieldIds[i]);
    if (!edit) continue;
    edit->setMaxLength(termina::app::kFiscFieldLimits[i]);
    edit->setValidator(new QRegularExpressionValidator(digits, edit));
  }
  for (FiscField f : {FiscField::CurrentPassword, FiscField::NewPassword, FiscField::NewPasswordRepeat})
    if (auto* edit = Item<QLineEdit>(IdOf(f))) edit->setEchoMode(QLineEdit::Password);
  return true;
}

void CFiscRegister::SetInitialFocus() {
  if (QWidget* w = Item(IdOf(FiscField::CurrentPassword))) w->setFocus();
}

namespace {

FiscalizationInput ReadFields(const tk::CDialog& page) {
  FiscalizationInput in;
  for (int i = 0; i < termina::app::kFiscFieldCount; ++i) in.fields[i] = page.ItemText(kFieldIds[i]);
  return in;
}

}  // namespace

bool CFiscRegister::ValidateInput() {
  const auto problem = termina::app::FirstEmptyField(ReadFields(*this));
  if (!problem) return true;
  tk::ThePrompts().ShowMessage({problem->message, tk::kProgramName, tk::Icon::None, tk::Buttons::Ok, tk::IDOK, this});
  if (QWidget* w = Item(IdOf(problem->field))) w->setFocus();
  return false;
}

void CFiscRegister::Execute() {
  const FiscalizationInput in = OnUi([&] { return ReadFields(*this); });
  // Neither the main window nor the navigation is locked for this command.
  if (termina::app::RunFiscalization(in, Ui()) == termina::app::FiscalizationOutcome::Mismatch)
    FocusItem(IdOf(FiscField::NewPassword));
}
