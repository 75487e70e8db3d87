// SPDX-License-Identifier: GPL-3.0-or-later
// The register sequences of the NVR recovery: reading the image into the
// recovery record when the dialog opens, writing a rebuilt image on OK, and
// saving and loading the record as a .nvr file, with the messages the
// program shows.  The dialog and trma both use them.
#pragma once

#include <cstdint>
#include <string>

#include "interaction.h"
#include "nvr_file.h"
#include "nvr_form.h"
#include "nvr_image.h"

namespace termina::app {

// Texts of the recovery (UTF-8).  Start-up's texts before and after the
// dialog are kNvrFaultText and kPowerCycleText (startup.h).
inline constexpr const char* kNvrDialogTitle = "Аварийное восстановление NVR";
// Save and load failures: title "Ошибка", buttons OK and Cancel.
inline constexpr const char* kNvrFileWriteError = "Ошибка записи конфигурации.";
inline constexpr const char* kNvrFileReadError = "Ошибка чтения конфигурации.";
inline constexpr const char* kNvrErrorTitle = "Ошибка";
// The file dialogs of "Save..." and "Load...".
inline constexpr const char* kNvrFileExtension = "nvr";
inline constexpr const char* kNvrFileFilter = "NVR Files (*.nvr)|*.nvr|All Files (*.*)|*.*||";

// The version the recovery works for: the register's, or 121 when the
// query fails.
uint16_t NvrRecoveryVersion();

// Reads the image of r.version's variant into r (zeros where nothing was
// read).  Returns 0, or the code of the failure; after a failure r holds the
// values of the blocks read before it.  A block the register answered
// without data counts as a failure (64): the record is then incomplete.
uint16_t ReadNvrRecord(NvrRecord& r);

// Builds a new image from r and writes it into the register.  Returns 0 or
// the code of the failure (blocks before the failing one stay written).
uint16_t WriteNvrRecord(const NvrRecord& r);

// What the dialog does when it opens: a new record for the recovery
// version, the image read into it, the payment totals computed.  A failed
// read shows the driver's text in a plain message and the record keeps
// what was read.
struct NvrOpening {
  NvrRecord record;
  uint16_t failure = 0;  // 0 when the image was read whole
};
NvrOpening OpenNvrRecovery(Interaction& ask);

// The write of "OK": true when the image was written; else the driver's
// text was shown in a plain message and the dialog stays open.
bool CommitNvrRecovery(const NvrRecord& r, Interaction& ask);

// "Save..." after the file dialog and the transfer of the controls: true
// when saved, else kNvrFileWriteError was shown.
bool SaveNvrRecord(const std::string& path, const NvrRecord& r, Interaction& ask);

// "Load..." after the file dialog: true when the file replaced the record's
// values and the totals were recomputed (the caller then refreshes its
// controls); else kNvrFileReadError was shown and the record is unchanged.
bool LoadNvrRecord(const std::string& path, NvrRecord& r, Interaction& ask);

}  // namespace termina::app
