// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup_names.h"

#include <cstdio>

namespace termina::app {
namespace {

bool asciiAlnum(unsigned char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool digit(char c) { return c >= '0' && c <= '9'; }

bool allDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!digit(c)) return false;
  return true;
}

}  // namespace

std::string SafeRegistrationPart(std::string_view raw) {
  std::string out;
  for (unsigned char c : raw) {
    if (out.size() == kRegistrationPartMax) break;
    if (asciiAlnum(c) || c == '-') out += static_cast<char>(c);
  }
  // A number made only of dashes says nothing about the register.
  if (out.find_first_not_of('-') == std::string::npos) return kUnregistered;
  return out;
}

std::string SafeModelPart(std::string_view modelName, uint16_t version) {
  std::string out;
  for (unsigned char c : modelName)
    if (asciiAlnum(c) || c == '-' || c >= 0x80) out += static_cast<char>(c);
  if (out.find_first_not_of('-') == std::string::npos) return "v" + std::to_string(version);
  return out;
}

std::string BackupPrefix(std::string_view modelPart, std::string_view registrationPart) {
  std::string out(modelPart);
  out += '_';
  out += registrationPart;
  return out;
}

std::string BackupFileName(std::string_view prefix, const BackupStamp& at, unsigned sequence, std::string_view ext) {
  char stamp[40];
  std::snprintf(stamp, sizeof stamp, "_%04d%02d%02d-%02d%02d%02d", at.year % 10000, at.month % 100, at.day % 100,
                at.hour % 100, at.minute % 100, at.second % 100);
  std::string out(prefix);
  out += stamp;
  if (sequence > 1) out += "-" + std::to_string(sequence);
  out += '.';
  out += ext;
  return out;
}

std::optional<ParsedBackupName> ParseBackupName(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return std::nullopt;
  ParsedBackupName p;
  p.ext = std::string(name.substr(dot + 1));
  if (p.ext != kSettingsBackupExtension && p.ext != kNvrBackupExtension) return std::nullopt;
  std::string_view rest = name.substr(0, dot);
  // An optional "-<n>" after the stamp's fifteen characters.
  const std::size_t stampAt = rest.find_last_of('_');
  if (stampAt == std::string_view::npos || stampAt == 0) return std::nullopt;
  std::string_view stamp = rest.substr(stampAt + 1);
  if (stamp.size() > 16 && stamp[15] == '-') {
    const std::string_view seq = stamp.substr(16);
    if (!allDigits(seq) || seq.size() > 6 || seq[0] == '0') return std::nullopt;
    p.sequence = static_cast<unsigned>(std::stoul(std::string(seq)));
    if (p.sequence < 2) return std::nullopt;
    stamp = stamp.substr(0, 15);
  }
  if (stamp.size() != 15 || stamp[8] != '-' || !allDigits(stamp.substr(0, 8)) || !allDigits(stamp.substr(9)))
    return std::nullopt;
  p.stamp = std::string(stamp);
  p.prefix = std::string(rest.substr(0, stampAt));
  // "<model>_<registration>", neither part empty, nothing that leaves the folder.
  const std::size_t sep = p.prefix.find_last_of('_');
  if (sep == std::string::npos || sep == 0 || sep + 1 == p.prefix.size()) return std::nullopt;
  if (p.prefix.find('/') != std::string::npos || p.prefix.find('\\') != std::string::npos || p.prefix[0] == '.')
    return std::nullopt;
  return p;
}

bool NewerBackup(const ParsedBackupName& a, std::string_view nameA, const ParsedBackupName& b, std::string_view nameB) {
  if (a.stamp != b.stamp) return a.stamp > b.stamp;
  if (a.sequence != b.sequence) return a.sequence > b.sequence;
  return nameA > nameB;
}

}  // namespace termina::app
