// SPDX-License-Identifier: LGPL-2.1-or-later
// Library load: the driver state is created, the INI file's folder is made
// so that INI writes can succeed, and the exchange trace reads its setting.
// At unload the state's destructor closes the TCP link, the serial port and
// the event.
#include "driver_state.h"
#include "paths.h"
#include "trace.h"

#include <filesystem>

namespace {

__attribute__((constructor)) void onLoad() {
  termina::link::state();
  termina::link::trace::configure();
  try {
    termina::paths::makeDirs(std::filesystem::path(termina::paths::iniPath()).parent_path().string());
  } catch (...) {}
}

}  // namespace
