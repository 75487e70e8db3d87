// SPDX-License-Identifier: GPL-3.0-or-later
// Fiscalization and re-registration: the seven fields of the page, their
// checks, and the registration followed by function 0 with the computer's
// date and time.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "interaction.h"

namespace termina::app {

// The fields in the order the page checks them; the values index
// FiscalizationInput::fields.
enum class FiscField {
  CurrentPassword,
  RegNumber,
  RegNumberRepeat,
  Inn,
  InnRepeat,
  NewPassword,
  NewPasswordRepeat,
};
inline constexpr int kFiscFieldCount = 7;

// Most characters each field takes, in FiscField order.
inline constexpr std::array<int, kFiscFieldCount> kFiscFieldLimits = {10, 12, 12, 12, 12, 10, 10};

struct FiscalizationInput {
  std::array<std::string, kFiscFieldCount> fields;  // UTF-8, digits as typed
  std::string& operator[](FiscField f) { return fields[static_cast<int>(f)]; }
  const std::string& operator[](FiscField f) const { return fields[static_cast<int>(f)]; }
};

struct FieldProblem {
  FiscField field;
  std::string message;
};

// The first empty field with its message, or nothing when all are filled.
std::optional<FieldProblem> FirstEmptyField(const FiscalizationInput& in);

// The repeated fields compared in order (new password, registration
// number, taxpayer number) after each is cut to its limit: the first
// mismatch with its message (the page puts the focus on the new password
// for every one of them), or nothing.
std::optional<FieldProblem> FirstMismatch(const FiscalizationInput& in);

enum class FiscalizationOutcome { Registered, Mismatch };

// Shows the first mismatch, if any, and stops; else TRMA_Register with the
// current password, the registration number, the taxpayer number and the
// new password, then TRMA_Init with the local date and time (not called
// when the registration fails).  Driver failures propagate as uint16_t.
FiscalizationOutcome RunFiscalization(const FiscalizationInput& in, Interaction& ui);

}  // namespace termina::app
