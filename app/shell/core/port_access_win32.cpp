// SPDX-License-Identifier: GPL-3.0-or-later
// On Windows a serial port is refused to a program only while another one
// holds it: there is no group to join, so the driver's own text ("Порт
// недоступен") says all there is.
#include "port_access.h"

namespace termina::app {

std::string SerialPortGroup(const std::string& /*device*/) { return {}; }

std::string PortPermissionText(const std::string& device) { return "Нет доступа к " + device + "."; }

std::optional<std::string> PortOpenHint(const std::string& /*device*/, int /*error*/) { return std::nullopt; }

std::optional<std::string> ConfiguredPortHint() { return std::nullopt; }

}  // namespace termina::app
