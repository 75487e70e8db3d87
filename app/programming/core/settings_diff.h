// SPDX-License-Identifier: GPL-3.0-or-later
// What a settings load writes, as a list: the plan the load runs, the
// names of its settings (as `trma settings show` names them), and the
// difference between what the register holds and what a file would write.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "settings_file.h"

namespace termina::app {

// How a failure of a write is taken: ignored and the next written, thrown
// (the load stops there), or the end of the tax group.
enum class WriteGroup { Ignored, Required, Taxes };

struct PlannedWrite {
  uint16_t table = 0, field = 0;
  std::string value;  // code page 1251, at most 40 bytes
  WriteGroup group = WriteGroup::Required;
  bool pauseAfter = true;
};

// The writes of a load of the records into a register of the version, in
// their order: tables 2 to 13 (Ignored, a pause after each success), 20,
// 21 and 22 fields 1 to 15 (Required), from 125 on 25, the taxes and 30
// (Taxes, no pause after 30).
std::vector<PlannedWrite> LoadPlan(const SettingsRecords& records, uint16_t version);

// The plan of a load of the backup, with the whole values the register
// held where they were read (a tax name of more than 19 characters comes
// back whole).
std::vector<PlannedWrite> RestorePlan(const SettingsRecords& backup, const RegisterValues& held, uint16_t version);

// Runs the plan.  A failure of a Required write is thrown as its code with
// *failed set to that write; an Ignored failure skips its pause; a Taxes
// failure ends the group.
void RunLoadPlan(const std::vector<PlannedWrite>& plan, const PlannedWrite** failed = nullptr);

// "Клише предприятия 1", "Типы платежей 3", "Налоги 2 (ставка)", a
// table's caption for tables 2 to 13, 25 and 30.
std::string SettingName(uint16_t table, uint16_t field);

struct SettingChange {
  uint16_t table = 0, field = 0;
  std::string name, oldValue, newValue;  // UTF-8
};

// The planned writes that would change what the register holds.  A table
// of 2 to 13 the register did not deliver is left out (such a register
// refuses its write too); any other setting not read counts as changed,
// with an empty old value.
std::vector<SettingChange> DiffSettings(const RegisterValues& held, const std::vector<PlannedWrite>& plan);

// `name: "old" -> "new"`
std::string FormatChange(const SettingChange& change);

// The question of the load before it writes: how many settings and which.
std::string DiffQuestionText(const std::vector<SettingChange>& changes);

}  // namespace termina::app
