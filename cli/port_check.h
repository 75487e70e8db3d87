// Why a serial device cannot be opened, as far as this process can see.
#pragma once

#include <string>

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

}  // namespace termina::cli
