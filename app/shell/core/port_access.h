// SPDX-License-Identifier: GPL-3.0-or-later
// The hint shown when the serial port cannot be opened because the user may
// not open it: the driver reports only "Порт недоступен" (18); the program
// and trma add which group to join and the command that does it.  On
// Windows (port_access_win32.cpp) there is no such hint.
#pragma once

#include <optional>
#include <string>

namespace termina::app {

// The group whose members may open `device`: its owning group when that
// group may read and write it and is not root's, otherwise "dialout" (the
// serial ports' group on Debian).
std::string SerialPortGroup(const std::string& device);

// The sentence for a device that cannot be opened for lack of permission,
// naming the group and the command, UTF-8.
std::string PortPermissionText(const std::string& device);

// The hint for an open of `device` that failed with `error` (an errno):
// the sentence above for EACCES and EPERM, nothing for other errors.
std::optional<std::string> PortOpenHint(const std::string& device, int error);

// After TRMA_CheckPort failed with 18: opens the serial device the INI file
// names (as the driver does, then closes it) and returns the hint when the
// open is refused for lack of permission.  Nothing in TCP mode or for any
// other cause.
std::optional<std::string> ConfiguredPortHint();

}  // namespace termina::app
