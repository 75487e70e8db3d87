// SPDX-License-Identifier: GPL-3.0-or-later
// The backups folder: a copy of what the register held, written before a
// settings load or an NVR write changes it, so that the change can be
// undone.  The folder is "backups" in the driver's root ($TERMINA_ROOT, or
// the driver's own folder where the root is the system's), and keeps the
// kBackupsKept newest backups; files whose names are not backup names are
// never listed or removed.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "backup_names.h"

namespace termina::app {

std::string BackupFolder();

// "<model>_<registration>" of the register connected now: the model from
// the version, the registration number from TRMA_GetRegNumber (one
// exchange; no number, or a failed query, is "unregistered").
std::string RegisterBackupPrefix(uint16_t version);

// Writes bytes as a new backup "<prefix>_<now>.<ext>" in folder (created
// when missing), then removes all but the kBackupsKept newest backups of
// the folder.  True with the file's path in *path; false with the reason
// (UTF-8) in *why and nothing left behind.
bool WriteBackup(const std::string& folder, const std::string& prefix, const char* ext, std::span<const uint8_t> bytes,
                 std::string* path, std::string* why);

// The backups of one register with the extension, newest first (full paths).
std::vector<std::string> ListBackups(const std::string& folder, const std::string& prefix, const char* ext);

// Removes the oldest backups of the folder (every register, both kinds)
// until at most keep remain.
void PruneBackups(const std::string& folder, std::size_t keep = kBackupsKept);

}  // namespace termina::app
