// SPDX-License-Identifier: GPL-3.0-or-later
// The line rates the program offers for the serial port, in the order of
// its list: 19200 (the driver's default) first.  trma find tries them in
// this order.
#pragma once

namespace termina::app {

inline constexpr unsigned kProgramSpeeds[] = {19200, 4800, 9600, 38400, 57600, 115200};

}  // namespace termina::app
