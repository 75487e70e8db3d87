// SPDX-License-Identifier: GPL-3.0-or-later
#include "startup.h"

#include <algorithm>
#include <cctype>

#include "driver_text.h"
#include "port_access.h"

namespace termina::app {

const char* const kNvrFaultText = "ФАТАЛЬНАЯ ОШИБКА NVR.\nПереходим в режим аварийного\nвосстановления данных.";
const char* const kPowerCycleText = "Выключите и заново включите регистратор. Нажмите ОК";
const char* const kNotInstalledText = "ККМ не инсталлирована.\nПереходим в режим \nинсталляции ККМ.";
const char* const kReadyText = "Готов";

bool HasNvrSwitch(const std::string& commandLine) {
  std::string upper = commandLine;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return upper.find("/NVR") != std::string::npos;
}

StartupResult RunStartup(bool nvrSwitch, Interaction& ui, StartupDialogs& dialogs) {
  StartupResult r;
  for (;;) {
    try {
      TRMA_CheckPort(false);
      TRMA_GetVersion(&r.version);
      const StatusBytes s = ReadStatusBytes();
      if ((s.fatal.byte & 0x01) || nvrSwitch) {
        ui.Tell(kNvrFaultText);
        if (dialogs.RunRecovery(r.version)) ui.Tell(kPowerCycleText);
      }
      if (s.fatal.byte & 0x20) {
        ui.Tell(kNotInstalledText);
        dialogs.RunInstall();
      }
      TRMADT date;
      TRMATM time;
      LocalDateTime(&date, &time);
      TRMA_Init(&date, &time);
      r.connected = true;
      return r;
    } catch (uint16_t code) {
      if (code == 6) {
        if (dialogs.AskExchangePassword()) continue;
        r.proceed = false;
        return r;
      }
      r.failure = code;
      r.failureText = ErrorText(code);
      if (code == TRMA_E_PORT) r.failureHint = ConfiguredPortHint();
      return r;
    }
  }
}

DeviceCheck CheckSameDevice() {
  DeviceCheck d;
  try {
    uint16_t active = 0;
    TRMA_CheckActive(&active);
    if (active == 0) throw static_cast<uint16_t>(19);
    TRMA_GetVersion(&d.version);
  } catch (uint16_t code) {
    d.version = 120;
    if (ErrorText(code)) d.failure = code;
  }
  return d;
}

StatusBytes ReadStatusBytes() {
  StatusBytes s;
  s.noData = TRMA_GetStatus(&s.fatal, &s.status, &s.doc) == 64;
  return s;
}

bool IsShiftOpen() { return (ReadStatusBytes().status.byte & 0x04) != 0; }

StatusReport ReadStatusReport() {
  StatusReport r;
  r.bytes = ReadStatusBytes();
  r.versionResult = TRMA_GetVersion(&r.version);
  if (r.version == 201) {
    TRMA_GetPrinterStatus(&r.printer);
    r.printerAvailable = true;
  }
  return r;
}

}  // namespace termina::app
