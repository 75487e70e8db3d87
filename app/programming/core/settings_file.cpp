// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings_file.h"

#include "file_replace.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "backups.h"
#include "config_map.h"
#include "driver_text.h"
#include "programming_pages.h"
#include "settings_diff.h"
#include "termina1.h"

namespace termina::app {
namespace {

// A record read from the register: the first bytes of a zero-filled
// TRMA_STRING.
// The whole value goes to held, when given.
template <std::size_t N>
void readRecord(uint16_t table, uint16_t field, std::array<char, N>& record, RegisterValues* held) {
  TRMA_STRING value{};
  TRMA_ReadConfig(table, field, &value);
  value[sizeof value - 1] = 0;
  std::memcpy(record.data(), value, N);
  if (held) (*held)[{table, field}] = value;
}

void pause() { Pause(kTablePauseMs); }

SettingsResult failure(SettingsOutcome outcome, const char* text) {
  SettingsResult r;
  r.outcome = outcome;
  r.message = text;
  r.title = kErrorTitle;
  r.icon = Icon::Error;
  return r;
}

SettingsResult driverFailure(uint16_t code) {
  SettingsResult r;
  r.outcome = SettingsOutcome::DriverFailure;
  r.code = code;
  r.message = ErrorText(code).value_or(std::string());
  r.title = kErrorTitle;
  r.icon = Icon::Error;
  return r;
}

SettingsResult information(SettingsOutcome outcome, const char* text) {
  SettingsResult r;
  r.outcome = outcome;
  r.message = text;
  r.title = kInformationTitle;
  r.icon = Icon::Information;
  return r;
}

}  // namespace

SettingsRecords ReadRegisterSettings(RegisterValues* held) {
  SettingsRecords r;
  r.version = RegisterVersion();
  // Tables 1 to 13: a register that lacks one leaves its record empty.
  for (uint16_t n = 0; n < r.tables.size(); ++n) {
    try {
      readRecord(static_cast<uint16_t>(kTableCashDesk + n), 0, r.tables[n], held);
    } catch (uint16_t) {}
    pause();
  }
  for (uint16_t f = 0; f < r.header.size(); ++f) {
    readRecord(kTableHeader, f, r.header[f], held);
    pause();
  }
  for (uint16_t f = 0; f < r.footer.size(); ++f) {
    readRecord(kTableFooter, f, r.footer[f], held);
    pause();
  }
  for (uint16_t f = 0; f < r.payments.size(); ++f) {
    readRecord(kTablePaymentNames, f, r.payments[f], held);
    pause();
  }
  if (r.version >= kVersionTaxOptions) {
    try {
      readRecord(kTableTaxLine, 0, r.taxLine, held);
      pause();
      for (uint16_t i = 0; i < r.taxNames.size(); ++i) {
        readRecord(kTableTaxNames, i, r.taxNames[i], held);
        pause();
        readRecord(kTableTaxRates, i, r.taxRates[i], held);
        pause();
      }
    } catch (uint16_t) {}
    try {
      readRecord(kTableAutoPayment, 0, r.autoPayment, held);
      pause();
    } catch (uint16_t) {}
  }
  return r;
}

SettingsResult SaveSettings(const std::string& path) {
  SettingsRecords records;
  try {
    records = ReadRegisterSettings();
  } catch (uint16_t code) { return driverFailure(code); }
  const std::vector<uint8_t> bytes = BuildSettingsFile(records);
  if (!ReplaceFile(path, bytes)) return failure(SettingsOutcome::OpenFailed, kOpenFailedText);
  return information(SettingsOutcome::Saved, kSavedText);
}

void WriteRegisterSettings(const SettingsRecords& r, uint16_t version) { RunLoadPlan(LoadPlan(r, version)); }

namespace {

// The file checked before the register is touched: its records, or the
// refusal to return.
std::optional<SettingsRecords> checkedFile(const std::string& path, uint16_t knownVersion, SettingsResult* refusal) {
  const auto bytes = ReadPlainFile(path, kSettingsFileSize);
  if (!bytes) {
    *refusal = failure(SettingsOutcome::OpenFailed, kOpenFailedText);
    return std::nullopt;
  }
  auto records = ParseSettingsFile(*bytes);
  if (!records) {
    *refusal = failure(SettingsOutcome::BadFormat, kBadFormatText);
    return std::nullopt;
  }
  if (knownVersion < records->version) {
    *refusal = failure(SettingsOutcome::FileNewer, kFileNewerText);
    return std::nullopt;
  }
  return records;
}

SettingsResult declined() {
  SettingsResult r;
  r.outcome = SettingsOutcome::Declined;
  return r;
}

// What the register held before the load, and where it is kept.
struct Backup {
  bool read = false;  // the reads went through: records and held are the register's
  SettingsRecords records;
  RegisterValues held;
  std::string path;  // empty when no file could be written
  std::string why;   // UTF-8: why there is no backup
};

void readBackup(Backup& b) {
  try {
    b.records = ReadRegisterSettings(&b.held);
    b.read = true;
  } catch (uint16_t code) { b.why = ErrorText(code).value_or("ошибка " + std::to_string(code)); }
}

void writeBackup(Backup& b, const LoadOptions& options) {
  const std::string folder = options.backupFolder.empty() ? BackupFolder() : options.backupFolder;
  const std::string prefix = RegisterBackupPrefix(b.records.version);
  WriteBackup(folder, prefix, kSettingsBackupExtension, BuildSettingsFile(b.records), &b.path, &b.why);
}

// The message of a load that stopped part-way.
std::string partWayText(const SettingsResult& r) {
  std::string text = r.message;
  if (!text.empty()) text += "\n";
  text += std::string(kFailedSettingText) + ": " + r.failedSetting + ".";
  if (!r.backupPath.empty()) text += "\n" + std::string(kBackupAtText) + ": " + r.backupPath;
  return text;
}

}  // namespace

SettingsResult LoadSettings(const std::string& path, uint16_t knownVersion, Interaction& ask,
                            const LoadOptions& options) {
  SettingsResult refusal;
  const auto records = checkedFile(path, knownVersion, &refusal);
  if (!records) return refusal;
  if (knownVersion > records->version) {
    const Answer a = ask.Ask(Question{kFileOlderQuestion, kConfirmTitle, Icon::Question, Buttons::YesNo, Answer::No});
    if (a != Answer::Yes) return declined();
  }

  Backup backup;
  if (options.backup != BackupPolicy::None) {
    readBackup(backup);
    if (backup.read) {
      const auto changes = DiffSettings(backup.held, LoadPlan(*records, backup.records.version));
      const Answer a =
          ask.Ask(Question{DiffQuestionText(changes), kConfirmTitle, Icon::Question, Buttons::OkCancel, Answer::Ok});
      if (a != Answer::Ok) return declined();
      writeBackup(backup, options);
    }
    if (backup.path.empty()) {
      const std::string why = std::string(kBackupFailedText) + ": " + backup.why + ".";
      if (options.backup == BackupPolicy::Required) {
        SettingsResult r = failure(SettingsOutcome::BackupFailed, "");
        r.message = why;
        return r;
      }
      const Answer a = ask.Ask(
          Question{why + "\n" + kWithoutBackupQuestion, kConfirmTitle, Icon::Exclamation, Buttons::YesNo, Answer::No});
      if (a != Answer::Yes) return declined();
    }
  }

  const uint16_t version = RegisterVersion();
  // The plan outlives the failure, which points into it.
  const std::vector<PlannedWrite> plan = LoadPlan(*records, version);
  const PlannedWrite* failed = nullptr;
  try {
    RunLoadPlan(plan, &failed);
  } catch (uint16_t code) {
    SettingsResult r = driverFailure(code);
    r.version = version;
    r.backupPath = backup.path;
    if (failed) r.failedSetting = SettingName(failed->table, failed->field);
    r.message = partWayText(r);
    if (!options.offerRestore || !backup.read) return r;
    const Answer a = ask.Ask(
        Question{r.message + "\n\n" + kRestoreQuestion, kErrorTitle, Icon::Question, Buttons::YesNo, Answer::Yes});
    if (a != Answer::Yes) return r;
    try {
      RunLoadPlan(RestorePlan(backup.records, backup.held, version));
      r.restored = true;
      r.message += "\n" + std::string(kRestoredText);
    } catch (uint16_t again) {
      r.message += "\n" + std::string(kRestoreFailedText) + ": " +
                   ErrorText(again).value_or("ошибка " + std::to_string(again)) + ".";
    }
    return r;
  }
  SettingsResult r = information(SettingsOutcome::Loaded, kLoadedText);
  r.version = version;
  r.backupPath = backup.path;
  return r;
}

SettingsResult DiffSettingsFile(const std::string& path, uint16_t knownVersion, std::vector<SettingChange>* changes) {
  SettingsResult refusal;
  const auto records = checkedFile(path, knownVersion, &refusal);
  if (!records) return refusal;
  RegisterValues held;
  SettingsRecords current;
  try {
    current = ReadRegisterSettings(&held);
  } catch (uint16_t code) { return driverFailure(code); }
  if (changes) *changes = DiffSettings(held, LoadPlan(*records, current.version));
  SettingsResult r;
  r.outcome = SettingsOutcome::Compared;
  r.version = current.version;
  return r;
}

}  // namespace termina::app
