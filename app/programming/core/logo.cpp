// SPDX-License-Identifier: GPL-3.0-or-later
#include "logo.h"

#include <cstdlib>
#include <optional>

#include "driver_text.h"
#include "file_replace.h"
#include "termina1.h"

namespace termina::app {

const char* const kLogoNoFile = "Не выбран файл, содержащий логотип";

namespace {

constexpr const char* kErrorTitle = "Ошибка";

}  // namespace

bool CheckLogoFileAndTell(const std::string& path, Interaction& ui) {
  uint16_t version = 120;
  TRMA_GetVersion(&version);  // reports 120 itself when the register does not answer
  const LogoCheck c = CheckLogoFile(path, version);
  if (!c.accepted()) ui.Tell(c.message, kErrorTitle, Icon::Error);
  return c.accepted();
}

bool ReadLogoSwitch() {
  TRMA_STRING value{};
  TRMA_ReadConfig(5, 0, &value);
  value[sizeof value - 1] = 0;
  return std::atoi(value) != 0;
}

void StoreLogoSwitch(bool print) {
  TRMA_STRING value{};
  ToAnsi(print ? "1" : "0", value);
  TRMA_WriteConfig(5, 0, &value);
  Pause(50);
  TRMADT date;
  TRMATM time;
  LocalDateTime(&date, &time);
  TRMA_Init(&date, &time);
}

bool UploadLogo(const std::string& path, Interaction& ui) {
  if (path.empty()) {
    ui.Tell(kLogoNoFile, kErrorTitle, Icon::Error);
    return false;
  }
  TRMA_LOGO_NAME name{};
  // The driver opens the file by a name of the system's code page.  A name
  // its buffer cannot hold whole would name another file.
  const std::optional<std::string> driverPath = DriverFilePath(path);
  if (!driverPath || driverPath->size() >= sizeof name) {
    ui.Tell(kLogoOpenError, kErrorTitle, Icon::Error);
    return false;
  }
  if (!CheckLogoFileAndTell(path, ui)) return false;
  driverPath->copy(name, driverPath->size());
  TRMA_LoadLogo(&name);
  TRMADT date;
  TRMATM time;
  LocalDateTime(&date, &time);
  TRMA_Init(&date, &time);
  return true;
}

void RemoveLogo() {
  TRMA_STRING value{};
  ToAnsi("0", value);
  TRMA_WriteConfig(5, 0, &value);
  Pause(50);
  Check(TRMA_ClearLogo());
}

}  // namespace termina::app
