// SPDX-License-Identifier: GPL-3.0-or-later
// Names of the backups kept before a load or an NVR write:
//     <model>_<registration>_<YYYYMMDD>-<HHMMSS>[-<n>].<frc|nvr>
// The registration number comes from the register, so only letters, digits
// and '-' of it are kept, at most 12 of them; a register without one (or
// with nothing usable in it) is "unregistered".  The -<n> suffix tells
// apart backups made in the same second.  Pure functions, no files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace termina::app {

inline constexpr const char* kUnregistered = "unregistered";
inline constexpr std::size_t kRegistrationPartMax = 12;
inline constexpr std::size_t kBackupsKept = 100;
inline constexpr const char* kSettingsBackupExtension = "frc";
inline constexpr const char* kNvrBackupExtension = "nvr";

// The registration part of a name: the usable characters of the raw text.
std::string SafeRegistrationPart(std::string_view raw);
// The model part: the model name's letters (UTF-8 letters kept), digits and
// '-'; "v<version>" when the model has no name.
std::string SafeModelPart(std::string_view modelName, uint16_t version);

// "<model>_<registration>": what every backup of one register begins with.
std::string BackupPrefix(std::string_view modelPart, std::string_view registrationPart);

struct BackupStamp {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// The file name; sequence 0 or 1 leaves the suffix out.
std::string BackupFileName(std::string_view prefix, const BackupStamp& at, unsigned sequence, std::string_view ext);

// A name of the form above, taken apart; nullopt for any other name
// (temporary files, files the user put there).
struct ParsedBackupName {
  std::string prefix;  // "<model>_<registration>"
  std::string stamp;   // "YYYYMMDD-HHMMSS": sorts as the time does
  unsigned sequence = 1;
  std::string ext;  // "frc" or "nvr"
};
std::optional<ParsedBackupName> ParseBackupName(std::string_view name);

// Whether a is a newer backup than b (later stamp, or the same stamp and a
// higher sequence; the name decides between equals so the order is total).
bool NewerBackup(const ParsedBackupName& a, std::string_view nameA, const ParsedBackupName& b, std::string_view nameB);

}  // namespace termina::app
