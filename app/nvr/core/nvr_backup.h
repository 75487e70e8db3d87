// SPDX-License-Identifier: GPL-3.0-or-later
// The backup of the NVR recovery: before a rebuilt image is written, the
// record read when the recovery opened is kept as an .nvr file in the
// backups folder (backups.h), so that the shift totals the register held
// can be loaded and written back.
#pragma once

#include <string>

#include "interaction.h"
#include "nvr_image.h"

namespace termina::app {

inline constexpr const char* kNvrBackupFailedText = "Не удалось сохранить резервную копию образа NVR";
inline constexpr const char* kNvrWithoutBackupQuestion = "Записать образ без резервной копии?";

// Writes the record as a new .nvr backup of the register connected now
// (one exchange: its registration number) in folder (empty:
// BackupFolder()).  True with the path; false with the reason (UTF-8).
bool BackupNvrRecord(const NvrRecord& opened, std::string* path, std::string* why, const std::string& folder = {});

// "OK" of the recovery with its backup: the record read at opening is
// backed up, then r is written as CommitNvrRecovery(r, ask) writes it.  A
// backup that cannot be made is said with kNvrWithoutBackupQuestion (Yes
// and No, No the default); No writes nothing and returns false.
bool CommitNvrRecovery(const NvrRecord& r, const NvrRecord& opened, Interaction& ask);

}  // namespace termina::app
