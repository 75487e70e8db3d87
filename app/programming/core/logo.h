// SPDX-License-Identifier: GPL-3.0-or-later
// The logo page's register sequences: the print switch (table 5), the
// upload of a checked bitmap file and the removal of the logo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "interaction.h"
#include "logo_file.h"

namespace termina::app {

extern const char* const kLogoNoFile;  // "Не выбран файл, содержащий логотип"

// The same, asking the register its version (a failed query gives 120)
// and showing the message of a broken rule ("Ошибка", error icon).
bool CheckLogoFileAndTell(const std::string& path, Interaction& ui);

// Table 5: whether the register prints the logo.
bool ReadLogoSwitch();
// Writes table 5 ("1" or "0"), then re-initialises the register with the
// computer's date and time.
void StoreLogoSwitch(bool print);

// Uploads the logo file: an empty path or a file that breaks a rule is
// refused with its message and nothing is sent; otherwise TRMA_LoadLogo,
// then re-initialisation.  True when the logo was sent.
bool UploadLogo(const std::string& path, Interaction& ui);

// Removes the logo: table 5 to "0" (so the register stops printing it),
// then TRMA_ClearLogo, whose failure is raised like any other.
void RemoveLogo();

}  // namespace termina::app
