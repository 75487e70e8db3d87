// SPDX-License-Identifier: GPL-3.0-or-later
// trma settings: the register's programmable settings by name, and the
// .frc settings file saved from one register and loaded into another, with
// the same sequences as the program's pages and buttons.
#pragma once

#include <string>
#include <vector>

#include "cli.h"

namespace termina::cli {

// settings show | settings save FILE | settings load [--yes] FILE
int cmdSettings(Context& ctx, const std::vector<std::string>& args);

}  // namespace termina::cli
