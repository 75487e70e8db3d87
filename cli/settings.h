// trma settings: the register's programmable settings by name, and the
// .frc settings file saved from one register and loaded into another, with
// the same sequences as the program's pages and buttons.
#pragma once

#include <string>
#include <vector>

#include "cli.h"

namespace termina::cli {

// Exit status of a settings file that is refused (cannot be opened, wrong
// format, wrong version) or a load that was not confirmed; nothing was
// written to the register.
inline constexpr int kExitRefused = 101;

// settings show | settings save FILE | settings load [--yes] FILE
int cmdSettings(Context& ctx, const std::vector<std::string>& args);

}  // namespace termina::cli
