// SPDX-License-Identifier: GPL-3.0-or-later
// What the screenshot program needs of the system it runs on, beside the
// window-system seam: the register a picture is taken against, a place for
// files, a logo picture drawn as a user would, and the events waiting.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dialog.h"

namespace shots {

// The register of one picture, as it is when the program starts.
struct RegisterSetup {
  uint16_t version = 0;     // 0: the picture needs no register
  int64_t clockOffset = 0;  // seconds away from the computer's clock
  bool ready = false;       // in working order (function 0 done, fiscal, EEJ active)
  // Bytes at an address of a memory area (the NVR image), empty for none.
  uint16_t memoryArea = 0;
  uint32_t memoryAddress = 0;
  std::vector<uint8_t> memory;
};

// The simulator's command-line arguments for the register.
std::string SimulatorArguments(const RegisterSetup& setup);

// Before the application starts: the program's folders and its INI file
// where the system keeps them for this run.
void PrepareSystem();

// The register for one picture, there while the object lives.  On Linux a
// simulator inside this process on the program's COM1; on Windows the
// caller has started termina-sim with SimulatorArguments and named it in
// the INI file before this program started (the simulator runs on Linux).
class Register {
 public:
  explicit Register(const RegisterSetup& setup);
  ~Register();
  Register(const Register&) = delete;
  Register& operator=(const Register&) = delete;

 private:
  struct Impl;
  Impl* m_impl;
};

// A folder for the files this run makes (removed at its end on Linux).
std::string TemporaryFolder();

// A monochrome BMP with the shop's name, as a user would prepare one, in a
// sans-serif face (the dialog font in Qt, Arial on Windows); returns its
// path, empty when it could not be written.
std::string MakeLogoPicture(const std::string& path);

// Shows a window of its own as the program shows its dialogs: on Windows
// brought to the front and activated.
void Show(tk::CDialog& window);

// Handles the window-system events that are waiting now.
void ProcessWaitingEvents();

}  // namespace shots
