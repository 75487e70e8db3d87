// SPDX-License-Identifier: GPL-3.0-or-later
#include "backups.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "driver_text.h"
#include "file_replace.h"
#include "paths.h"
#include "termina1.h"
#include "versions.h"

namespace termina::app {
namespace {

namespace fs = std::filesystem;

struct Found {
  std::string name;
  ParsedBackupName parsed;
};

// The backups among the folder's regular files (a link or a folder that
// happens to carry such a name is left alone).
std::vector<Found> backupsIn(const std::string& folder) {
  std::vector<Found> out;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_regular_file(typeError) || it->is_symlink(typeError)) continue;
    const std::string name = it->path().filename().string();
    if (auto parsed = ParseBackupName(name)) out.push_back({name, std::move(*parsed)});
  }
  std::sort(out.begin(), out.end(),
            [](const Found& a, const Found& b) { return NewerBackup(a.parsed, a.name, b.parsed, b.name); });
  return out;
}

BackupStamp now() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace

std::string BackupFolder() {
  const std::string root = paths::root();
  if (!root.empty()) return root + "/backups";
  // The system's own paths: beside the driver's configuration file.
  const std::string ini = paths::iniPath();
  const std::size_t cut = ini.find_last_of("\\/");
  return (cut == std::string::npos ? std::string(".") : ini.substr(0, cut)) + "\\backups";
}

std::string RegisterBackupPrefix(uint16_t version) {
  TRMA_REGISTRATION_NUMBER reg{};
  std::string raw;
  try {
    if (TRMA_GetRegNumber(&reg) == 0) {
      reg[sizeof reg - 1] = 0;
      raw = reg;
    }
  } catch (uint16_t) {}
  return BackupPrefix(SafeModelPart(ModelName(version), version), SafeRegistrationPart(raw));
}

bool WriteBackup(const std::string& folder, const std::string& prefix, const char* ext, std::span<const uint8_t> bytes,
                 std::string* path, std::string* why) {
  if (!paths::makeDirs(folder)) {
    if (why) *why = "не удалось создать папку " + folder + ": " + std::strerror(errno);
    return false;
  }
  const BackupStamp at = now();
  std::string target;
  for (unsigned seq = 1;; ++seq) {
    target = folder + "/" + BackupFileName(prefix, at, seq, ext);
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(target, ec))) break;
    if (seq > 9999) {
      if (why) *why = "слишком много резервных копий за одну секунду";
      return false;
    }
  }
  int number = 0;
  ReplaceError error = ReplaceError::None;
  if (!ReplaceFile(target, bytes, &error, &number)) {
    if (why)
      *why = "не удалось записать " + target + ": " +
             (error == ReplaceError::System ? std::strerror(number) : "это не обычный файл");
    return false;
  }
  if (path) *path = target;
  PruneBackups(folder);
  return true;
}

std::vector<std::string> ListBackups(const std::string& folder, const std::string& prefix, const char* ext) {
  std::vector<std::string> out;
  for (const Found& f : backupsIn(folder))
    if (f.parsed.prefix == prefix && f.parsed.ext == ext) out.push_back(folder + "/" + f.name);
  return out;
}

void PruneBackups(const std::string& folder, std::size_t keep) {
  const std::vector<Found> all = backupsIn(folder);
  for (std::size_t i = keep; i < all.size(); ++i) {
    std::error_code ec;
    fs::remove(folder + "/" + all[i].name, ec);
  }
}

}  // namespace termina::app
