// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up sequence of the program and the checks made before a
// command: what the register says decides what the program shows, opens
// and allows.  The dialogs that start-up may open (NVR recovery, fiscal
// module installation, the data-exchange password) are reached through
// StartupDialogs, so that the program, trma and tests answer them in
// their own way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "interaction.h"
#include "termina1.h"

namespace termina::app {

extern const char* const kNvrFaultText;
extern const char* const kPowerCycleText;
extern const char* const kNotInstalledText;
extern const char* const kReadyText;  // "Готов"

class StartupDialogs {
 public:
  virtual ~StartupDialogs() = default;
  // The NVR recovery dialog for a register of this version; true when it
  // ended with OK.
  virtual bool RunRecovery(uint16_t version) = 0;
  // The fiscal module installation dialog; its result is not examined.
  virtual void RunInstall() = 0;
  // Asks for the data-exchange password after the register refused it and
  // hands the new one to the driver.  True: try the connection again.
  virtual bool AskExchangePassword() = 0;
};

struct StartupResult {
  // False when the user declined to give the data-exchange password (or
  // the new one was refused): the program closes.
  bool proceed = true;
  // True when the register answered the whole sequence; the tabs and the
  // tree are enabled only then.
  bool connected = false;
  // 120 when the register did not answer the version query.
  uint16_t version = 120;
  // The driver's failure that ended the sequence, and its text (none when
  // the driver has no text for it; such a failure is not shown).
  std::optional<uint16_t> failure;
  std::optional<std::string> failureText;
  // For "Порт недоступен": what the user can do about it (join the serial
  // ports' group), when the port is refused for lack of permission.
  std::optional<std::string> failureHint;
};

// Connects and checks the register: TRMA_CheckPort, TRMA_GetVersion, the
// "/NVR" switch (`nvrSwitch`), TRMA_GetStatus, the recovery and
// installation dialogs as the fatal status asks, TRMA_Init with the local
// date and time.  A wrong data-exchange password (6) asks for a new one and
// starts again.
StartupResult RunStartup(bool nvrSwitch, Interaction& ui, StartupDialogs& dialogs);

// True when `commandLine` holds "/NVR" anywhere, in any case.
bool HasNvrSwitch(const std::string& commandLine);

// Before a command or a navigation: is the same register still there?
struct DeviceCheck {
  // A failure the driver has a text for: the caller re-initialises.
  std::optional<uint16_t> failure;
  // The version read (120 when the query failed or the failure has no text).
  uint16_t version = 120;
};
DeviceCheck CheckSameDevice();

// The register's three status bytes.
struct StatusBytes {
  TRMA_FATAL_STATUS fatal{};
  TRMA_STATUS status{};
  TRMA_REC_STATUS doc{};
  bool noData = false;  // the register answered 64: the bytes are zeros
};
StatusBytes ReadStatusBytes();

// Nonzero status bit 2: a shift is open.  Throws the driver's code.
bool IsShiftOpen();

// The status command: the status bytes, the version, and the printer status
// on a register of version 201 (the only one that reports it).
struct StatusReport {
  StatusBytes bytes;
  uint16_t version = 120;
  uint16_t versionResult = 0;  // what TRMA_GetVersion returned (120 above when not 0)
  bool printerAvailable = false;
  TRMA_PRINTER_STATUS printer{};
};
StatusReport ReadStatusReport();

}  // namespace termina::app
