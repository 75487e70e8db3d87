// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings_diff.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "config_map.h"
#include "driver_text.h"
#include "programming_pages.h"
#include "termina1.h"

namespace termina::app {
namespace {

// The text a record sends: at most 40 bytes of a 41-byte record, all 19
// of a tax record, up to the first zero byte.
template <std::size_t N>
std::string sent(const std::array<char, N>& record) {
  constexpr std::size_t n = N < kRecordSize ? N : kRecordSize - 1;
  return std::string(record.data(), strnlen(record.data(), n));
}

std::string trimColon(std::string s) {
  if (!s.empty() && s.back() == ':') s.pop_back();
  return s;
}

}  // namespace

std::vector<PlannedWrite> LoadPlan(const SettingsRecords& r, uint16_t version) {
  std::vector<PlannedWrite> plan;
  // Table 1, the cash-desk number, stays the target register's own.
  for (uint16_t n = 1; n < r.tables.size(); ++n)
    plan.push_back({static_cast<uint16_t>(kTableCashDesk + n), 0, sent(r.tables[n]), WriteGroup::Ignored});
  for (uint16_t f = 0; f < r.header.size(); ++f) plan.push_back({kTableHeader, f, sent(r.header[f])});
  for (uint16_t f = 0; f < r.footer.size(); ++f) plan.push_back({kTableFooter, f, sent(r.footer[f])});
  // Payment type 0 is fixed in the register.
  for (uint16_t f = 1; f < r.payments.size(); ++f) plan.push_back({kTablePaymentNames, f, sent(r.payments[f])});
  if (version >= kVersionTaxOptions) {
    plan.push_back({kTableTaxLine, 0, sent(r.taxLine), WriteGroup::Taxes});
    for (uint16_t i = 0; i < r.taxNames.size(); ++i) {
      plan.push_back({kTableTaxNames, i, sent(r.taxNames[i]), WriteGroup::Taxes});
      plan.push_back({kTableTaxRates, i, sent(r.taxRates[i]), WriteGroup::Taxes});
    }
    plan.push_back({kTableAutoPayment, 0, sent(r.autoPayment), WriteGroup::Taxes, false});
  }
  return plan;
}

std::vector<PlannedWrite> RestorePlan(const SettingsRecords& backup, const RegisterValues& held, uint16_t version) {
  std::vector<PlannedWrite> plan = LoadPlan(backup, version);
  for (PlannedWrite& w : plan)
    if (auto it = held.find({w.table, w.field}); it != held.end()) w.value = it->second;
  return plan;
}

void RunLoadPlan(const std::vector<PlannedWrite>& plan, const PlannedWrite** failed) {
  bool taxesFailed = false;
  for (const PlannedWrite& w : plan) {
    if (w.group == WriteGroup::Taxes && taxesFailed) continue;
    TRMA_STRING value{};
    std::memcpy(value, w.value.data(), std::min(w.value.size(), sizeof value - 1));
    try {
      TRMA_WriteConfig(w.table, w.field, &value);
    } catch (uint16_t) {
      if (w.group == WriteGroup::Ignored) continue;
      if (w.group == WriteGroup::Taxes) {
        taxesFailed = true;
        continue;
      }
      if (failed) *failed = &w;
      throw;
    }
    if (w.pauseAfter) Pause(kTablePauseMs);
  }
}

std::string SettingName(uint16_t table, uint16_t field) {
  const std::string n = std::to_string(field);
  const std::string line = std::to_string(field + 1);
  switch (table) {
    case kTableHeader: return "Клише предприятия " + line;
    case kTableFooter: return "Рекламный текст " + line;
    case kTablePaymentNames: return "Типы платежей " + n;
    case kTableTaxNames: return "Налоги " + n + " (имя)";
    case kTableTaxRates: return "Налоги " + n + " (ставка)";
    default: break;
  }
  try {
    return trimColon(MapEntry(table).caption);
  } catch (const std::out_of_range&) { return "Таблица " + std::to_string(table) + " поле " + n; }
}

std::vector<SettingChange> DiffSettings(const RegisterValues& held, const std::vector<PlannedWrite>& plan) {
  std::vector<SettingChange> out;
  for (const PlannedWrite& w : plan) {
    const auto it = held.find({w.table, w.field});
    if (it == held.end() && w.group == WriteGroup::Ignored) continue;
    const std::string old = it == held.end() ? std::string() : it->second;
    if (it != held.end() && old == w.value) continue;
    out.push_back({w.table, w.field, SettingName(w.table, w.field), ToUtf8(old.c_str()), ToUtf8(w.value.c_str())});
  }
  return out;
}

std::string FormatChange(const SettingChange& c) {
  return c.name + ": \"" + c.oldValue + "\" -> \"" + c.newValue + "\"";
}

std::string DiffQuestionText(const std::vector<SettingChange>& changes) {
  if (changes.empty()) return kNoChangesQuestion;
  std::string text = std::string(kChangesHeading) + std::to_string(changes.size()) + ":\n";
  for (const SettingChange& c : changes) text += FormatChange(c) + "\n";
  return text + kChangesQuestion;
}

}  // namespace termina::app
