// SPDX-License-Identifier: GPL-3.0-or-later
// trma find: looks for registers on the serial ports.
#pragma once

#include <string>
#include <vector>

#include "cli.h"

namespace termina::cli {

int cmdFind(Context& ctx, const std::vector<std::string>& args);

}  // namespace termina::cli
