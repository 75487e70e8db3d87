// SPDX-License-Identifier: LGPL-2.1-or-later
// Library load and unload on Windows.  At the process attach the driver
// state is created, the exchange trace reads its setting and the INI file's
// folder is made so that INI writes can succeed.  At the process detach the
// channel is closed (the state's destructor, run after this by the C++
// runtime, closes the rest).
#include "driver_state.h"
#include "paths.h"
#include "trace.h"

#include <windows.h>

namespace {

// Windows attaches a process once per load; a second process attach
// without a detach between means the load went wrong and is refused.
bool g_attached = false;

std::string iniFolder() {
  const std::string ini = termina::paths::iniPath();
  return ini.substr(0, ini.find_last_of('\\'));
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      if (g_attached) return FALSE;
      g_attached = true;
      try {
        termina::link::state();
        termina::link::trace::configure();
        termina::paths::makeDirs(iniFolder());
      } catch (...) { return FALSE; }
      break;
    case DLL_PROCESS_DETACH:
      g_attached = false;
      // Unloaded by the program (not at its exit): close the port and the
      // socket whatever threads are still running, or the port would stay
      // taken until the process ends.  At process exit the system closes
      // every handle itself.
      if (reserved == nullptr) termina::link::state().channel.closeAll();
      break;
    default: break;
  }
  return TRUE;
}
