// SPDX-License-Identifier: GPL-3.0-or-later
#include "fiscalization.h"

#include <cstring>

#include "driver_text.h"
#include "termina1.h"

namespace termina::app {
namespace {

const char* const kEmptyMessages[kFiscFieldCount] = {
    "Поле \"ТЕКУЩИЙ ПАРОЛЬ\" должно быть заполнено",      "Поле \"РЕГИСТРАЦИОННЫЙ №\" должно быть заполнено",
    "Поле \"ПОВТ.РЕГ. №\" должно быть заполнено",         "Поле \"ИНН ВЛАДЕЛЬЦА\" должно быть заполнено",
    "Поле \"ПОВТ. ИНН ВЛАДЕЛЬЦА\" должно быть заполнено", "Поле \"НОВЫЙ ПАРОЛЬ\" должно быть заполнено",
    "Поле \"ПОВТ. НОВЫЙ ПАРОЛЬ\" должно быть заполнено",
};

// A field as the driver receives it: zero-filled, cut to the field's limit.
template <std::size_t N>
void Record(const FiscalizationInput& in, FiscField f, char (&record)[N]) {
  const auto limit = static_cast<std::size_t>(kFiscFieldLimits[static_cast<int>(f)]);
  static_assert(N >= 11);
  ToAnsi(in[f], record);
  if (limit < N) record[limit] = 0;
}

template <std::size_t N>
bool Same(const char (&a)[N], const char (&b)[N]) {
  return std::strcmp(a, b) == 0;
}

}  // namespace

std::optional<FieldProblem> FirstEmptyField(const FiscalizationInput& in) {
  for (int i = 0; i < kFiscFieldCount; ++i)
    if (in.fields[i].empty()) return FieldProblem{static_cast<FiscField>(i), kEmptyMessages[i]};
  return std::nullopt;
}

std::optional<FieldProblem> FirstMismatch(const FiscalizationInput& in) {
  TRMA_PASSWORD pw{}, pwRepeat{};
  TRMA_REGISTRATION_NUMBER reg{}, regRepeat{};
  TRMA_INN inn{}, innRepeat{};
  Record(in, FiscField::NewPassword, pw);
  Record(in, FiscField::NewPasswordRepeat, pwRepeat);
  Record(in, FiscField::RegNumber, reg);
  Record(in, FiscField::RegNumberRepeat, regRepeat);
  Record(in, FiscField::Inn, inn);
  Record(in, FiscField::InnRepeat, innRepeat);
  if (!Same(pw, pwRepeat)) return FieldProblem{FiscField::NewPassword, "Несовпадение паролей! Введите пароль ещё раз."};
  if (!Same(reg, regRepeat))
    return FieldProblem{FiscField::NewPassword,
                        "Несовпадение регистрационных номеров! Введите регистрационный номер ещё раз."};
  if (!Same(inn, innRepeat)) return FieldProblem{FiscField::NewPassword, "Несовпадение ИНН! Введите ИНН ещё раз."};
  return std::nullopt;
}

FiscalizationOutcome RunFiscalization(const FiscalizationInput& in, Interaction& ui) {
  if (const auto problem = FirstMismatch(in)) {
    ui.Tell(problem->message);
    return FiscalizationOutcome::Mismatch;
  }
  TRMA_PASSWORD current{}, fresh{};
  TRMA_REGISTRATION_NUMBER reg{};
  TRMA_INN inn{};
  Record(in, FiscField::CurrentPassword, current);
  Record(in, FiscField::RegNumber, reg);
  Record(in, FiscField::Inn, inn);
  Record(in, FiscField::NewPassword, fresh);
  TRMA_Register(&current, &reg, &inn, &fresh);
  TRMADT date;
  TRMATM time;
  LocalDateTime(&date, &time);
  TRMA_Init(&date, &time);
  return FiscalizationOutcome::Registered;
}

}  // namespace termina::app
