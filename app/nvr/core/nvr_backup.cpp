// SPDX-License-Identifier: GPL-3.0-or-later
#include "nvr_backup.h"

#include "backups.h"
#include "nvr_file.h"
#include "nvr_recovery.h"

namespace termina::app {

bool BackupNvrRecord(const NvrRecord& opened, std::string* path, std::string* why, const std::string& folder) {
  const std::string prefix = RegisterBackupPrefix(opened.version);
  return WriteBackup(folder.empty() ? BackupFolder() : folder, prefix, kNvrBackupExtension, EncodeNvrFile(opened), path,
                     why);
}

bool CommitNvrRecovery(const NvrRecord& r, const NvrRecord& opened, Interaction& ask) {
  std::string why;
  if (!BackupNvrRecord(opened, nullptr, &why)) {
    const Answer a =
        ask.Ask(Question{std::string(kNvrBackupFailedText) + ": " + why + ".\n" + kNvrWithoutBackupQuestion,
                         kNvrDialogTitle, Icon::Exclamation, Buttons::YesNo, Answer::No});
    if (a != Answer::Yes) return false;
  }
  return CommitNvrRecovery(r, ask);
}

}  // namespace termina::app
