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
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
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
  DriverFailure,  // the driver's text for `code`
};

struct SettingsResult {
  SettingsOutcome outcome = SettingsOutcome::Saved;
  std::string message;  // UTF-8, empty when nothing is to be shown
  std::string title;    // "Информация" or "Ошибка"
  Icon icon = Icon::None;
  uint16_t code = 0;     // DriverFailure: the driver's code
  uint16_t version = 0;  // Loaded / DriverFailure during a load: the register's version read
                         // by the load, for m_wVersion
  bool ok() const { return outcome == SettingsOutcome::Saved || outcome == SettingsOutcome::Loaded; }
};

// Reads the register's settings into records: GetVersion; tables 1 to 13
// (failures ignored, 50 ms after each); tables 20, 21, 22 (a failure is
// thrown); from 125 on table 25 and the taxes (a failure ends the group) and
// table 30 (failure ignored).
SettingsRecords ReadRegisterSettings();

// The save: the reads above, then the file.  A failed read or write
// leaves any existing file at path untouched and creates none.
SettingsResult SaveSettings(const std::string& path);

// The load.  knownVersion is the version the window holds (m_wVersion);
// the version question goes to ask with No as the default answer.  The
// file is checked whole (mark and size) before the register is touched.
SettingsResult LoadSettings(const std::string& path, uint16_t knownVersion, Interaction& ask);

// The writes of a load, for records already checked: tables 2 to 13
// (failures ignored), 20, 21, 22 fields 1 to 15 (a failure is thrown), from
// 125 on (the version given) 25, the taxes and 30 (a failure ends the group).
void WriteRegisterSettings(const SettingsRecords& records, uint16_t version);

}  // namespace termina::app
