// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file (.frc): a register's programmable settings in a flat
// 1749-byte layout, saved from one register and loaded into another.
//
// Layout (offsets in bytes; text records are zero-filled code page 1251):
//     0    2       mark "fr"
//     2    2       version of the register saved from, little-endian
//     4    13 x 41 tables 1 to 13, field 0
//   537    4 x 41  table 20 fields 0 to 3
//   701    2 x 41  table 21 fields 0 and 1
//   783   16 x 41  table 22 fields 0 to 15
//  1439    41      table 25 field 0
//  1480    6 x 38  tax i: table 23 field i in 19 bytes, table 24 field i in 19 bytes
//  1708    41      table 30 field 0
//
// The window (and trma) asks kSaveQuestion / kLoadQuestion first (title
// kConfirmTitle, Yes and No, question icon, No the default), shows the file
// dialog (kFileFilter, kFileExtension, no overwrite prompt), then under the
// wait cursor calls SaveSettings / LoadSettings and shows the returned
// message, when there is one, with its title and icon; a DriverFailure's
// text also goes on the status line.  After Loaded the window takes
// `version` as its register version and shows its current page again.
//
// A load never writes without a way back: before its first write it reads
// the register with a save's reads into a backup file (backups.h), shows
// what the file would change (settings_diff.h) and asks before writing;
// when a write fails part-way it names the setting and the backup and
// offers to put the backup back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "interaction.h"

namespace termina::app {

inline constexpr std::size_t kSettingsFileSize = 1749;
inline constexpr std::size_t kRecordSize = 41;
inline constexpr std::size_t kTaxRecordSize = 19;
enum : std::size_t {
  kOffsetVersion = 2,
  kOffsetTables = 4,
  kOffsetHeader = 537,
  kOffsetFooter = 701,
  kOffsetPayments = 783,
  kOffsetTaxLine = 1439,
  kOffsetTaxes = 1480,
  kOffsetAutoPayment = 1708,
};

// Texts of the window's buttons "&Save..." and "&Load..." and of the sequences.
inline constexpr const char* kSaveQuestion = "Сохранить текущие настройки регистратора в файл?";
inline constexpr const char* kLoadQuestion = "Загрузить настройки из файла в регистратор?";
inline constexpr const char* kConfirmTitle = "Подтверждение";
inline constexpr const char* kInformationTitle = "Информация";
inline constexpr const char* kFileFilter = "FRC Files (*.frc)|*.frc|All Files (*.*)|*.*||";
inline constexpr const char* kFileExtension = ".frc";
inline constexpr const char* kOpenFailedText = "Ошибка открытия файла";
inline constexpr const char* kBadFormatText = "Неверный формат файла.";
inline constexpr const char* kFileNewerText =
    "Версия файла конфигурации не соответствует типу ФР. \nЗагрузка невозможна.";
inline constexpr const char* kFileOlderQuestion =
    "Версия файла конфигурации не соответствует типу ФР. \nДля отсутствующих параметров будут установлены "
    "значения по умолчанию. \nПродолжить загрузку?";
inline constexpr const char* kSavedText = "Настройки сохранены";
inline constexpr const char* kLoadedText = "Настройки загружены в регистратор";
// The load's own questions and messages around its backup.
inline constexpr const char* kChangesHeading = "Загрузка изменит настройки регистратора, всего ";
inline constexpr const char* kChangesQuestion = "Записать эти настройки в регистратор?";
inline constexpr const char* kNoChangesQuestion =
    "Файл не меняет ни одной настройки регистратора.\nЗаписать его в регистратор?";
inline constexpr const char* kBackupFailedText = "Не удалось сделать резервную копию настроек регистратора";
inline constexpr const char* kWithoutBackupQuestion = "Загрузить настройки без резервной копии?";
inline constexpr const char* kFailedSettingText = "Не записана настройка";
inline constexpr const char* kBackupAtText = "Резервная копия прежних настроек";
inline constexpr const char* kRestoreQuestion = "Вернуть прежние настройки?";
inline constexpr const char* kRestoredText = "Прежние настройки возвращены в регистратор.";
inline constexpr const char* kRestoreFailedText = "Прежние настройки вернуть не удалось";

using Record = std::array<char, kRecordSize>;
using TaxRecord = std::array<char, kTaxRecordSize>;

// The records of one file, as bytes (code page 1251).
struct SettingsRecords {
  uint16_t version = 0;
  std::array<Record, 13> tables{};  // tables[n] holds table n + 1
  std::array<Record, 4> header{};
  std::array<Record, 2> footer{};
  std::array<Record, 16> payments{};
  Record taxLine{};
  std::array<TaxRecord, 6> taxNames{};
  std::array<TaxRecord, 6> taxRates{};
  Record autoPayment{};
};

// The file's bytes, exactly kSettingsFileSize of them.
std::vector<uint8_t> BuildSettingsFile(const SettingsRecords& records);
// The records of a file; nullopt when the mark is not "fr" or the file is
// shorter than the layout.  Bytes after the layout are ignored.
std::optional<SettingsRecords> ParseSettingsFile(std::span<const uint8_t> bytes);

enum class SettingsOutcome {
  Saved,          // kSavedText
  Loaded,         // kLoadedText; the page shown must be shown again
  Declined,       // the user answered No to the version question: nothing said
  OpenFailed,     // kOpenFailedText
  BadFormat,      // kBadFormatText
  FileNewer,      // kFileNewerText: the register's version is lower than the file's
  DriverFailure,  // the driver's text for `code` (a load adds the failed setting and the backup)
  BackupFailed,   // no backup could be made and the load was not to go on without one: nothing written
  Compared,       // DiffSettingsFile: the changes are in its list
};

struct SettingsResult {
  SettingsOutcome outcome = SettingsOutcome::Saved;
  std::string message;  // UTF-8, empty when nothing is to be shown
  std::string title;    // "Информация" or "Ошибка"
  Icon icon = Icon::None;
  uint16_t code = 0;          // DriverFailure: the driver's code
  uint16_t version = 0;       // Loaded / DriverFailure during a load: the register's version read
                              // by the load, for m_wVersion
  std::string backupPath;     // the load's backup, empty when none was made
  std::string failedSetting;  // DriverFailure part-way through a load: its name
  bool restored = false;      // the backup was put back after that failure
  bool ok() const { return outcome == SettingsOutcome::Saved || outcome == SettingsOutcome::Loaded; }
};

// The values a read delivered (code page 1251, whole, up to 40 bytes), by
// table and field; a setting the register refused is absent.
using RegisterValues = std::map<std::pair<uint16_t, uint16_t>, std::string>;

// Reads the register's settings into records: GetVersion; tables 1 to 13
// (failures ignored, 50 ms after each); tables 20, 21, 22 (a failure is
// thrown); from 125 on table 25 and the taxes (a failure ends the group) and
// table 30 (failure ignored).  held, when given, gets the whole values.
SettingsRecords ReadRegisterSettings(RegisterValues* held = nullptr);

// The save: the reads above, then the file.  A failed read or write
// leaves any existing file at path untouched and creates none.
SettingsResult SaveSettings(const std::string& path);

// What a load does when its backup cannot be made: ask whether to go on
// without one (the program; No the default), stop (trma), or make none at
// all (trma --no-backup: no reads, no backup, no list of changes).
enum class BackupPolicy { AskWhenImpossible, Required, None };

struct LoadOptions {
  BackupPolicy backup = BackupPolicy::AskWhenImpossible;
  std::string backupFolder;  // empty: BackupFolder()
  // After a part-way failure: ask kRestoreQuestion (Yes the default) and on
  // Yes put the backup back.  trma says how instead.
  bool offerRestore = true;
};

// The load.  knownVersion is the version the window holds (m_wVersion);
// the version question goes to ask with No as the default answer.  The
// file is checked whole (mark and size) before the register is touched.
// Then, unless options say otherwise: the backup's reads (a save's), the
// list of changes with OK and Cancel (OK the default; Cancel writes
// nothing: Declined), the registration number and the backup file, and the
// load's own GetVersion and writes.
SettingsResult LoadSettings(const std::string& path, uint16_t knownVersion, Interaction& ask,
                            const LoadOptions& options = {});

struct SettingChange;
// The changes a load of the file would make, without writing: the file's
// checks as for a load (no question: a register newer than the file is
// compared as the load would write), the register's settings read as a
// save reads them.  Compared with the list in *changes, or a failure.
SettingsResult DiffSettingsFile(const std::string& path, uint16_t knownVersion, std::vector<SettingChange>* changes);

// The writes of a load, for records already checked: tables 2 to 13
// (failures ignored), 20, 21, 22 fields 1 to 15 (a failure is thrown), from
// 125 on (the version given) 25, the taxes and 30 (a failure ends the group).
// The plan itself is LoadPlan (settings_diff.h).
void WriteRegisterSettings(const SettingsRecords& records, uint16_t version);

}  // namespace termina::app
