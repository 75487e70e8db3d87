// SPDX-License-Identifier: GPL-3.0-or-later
// Why a serial device cannot be opened, as far as this process can see.
#pragma once

#include <string>
#include <vector>

namespace termina::cli {

enum class PortProblem {
  Missing,       // no such device
  NoPermission,  // the user may not open it
  Busy,          // another program holds it
  NotTerminal,   // it exists but is no serial line
  Other,         // another error (see the errno)
  None,          // it opens now: the cause has gone
};

struct PortDiagnosis {
  PortProblem problem;
  int error;  // errno of the failing step, 0 for None
};

// Opens the device the way the driver does (read/write, no controlling
// terminal, non-blocking) and tries its exclusive lock, then closes it.
PortDiagnosis diagnosePort(const std::string& device);

// A sentence for the user, UTF-8.
std::string explainPort(const std::string& device, const PortDiagnosis& d);

// A process that has a device open.
struct PortHolder {
  int pid;
  std::string program;  // the process's command name, "" when /proc hides it
};

// The other processes that have the device (or what its link points to)
// open, as far as /proc lets this user see; the own process is left out.
std::vector<PortHolder> findHolders(const std::string& device);

// " Порт открыт программой: NAME (pid N), ..." for the end of a busy
// port's sentence; "" when no holder is known.
std::string holdersText(const std::vector<PortHolder>& holders);

}  // namespace termina::cli
