// SPDX-License-Identifier: GPL-3.0-or-later
// trma's logo and clock commands: the logo page's and the date/time page's
// register sequences from the command line.
#pragma once

#include <string>
#include <vector>

#include "cli.h"

namespace termina::cli {

// logo check FILE | logo load FILE | logo clear
int cmdLogo(Context& ctx, const std::vector<std::string>& args);
// clock | clock set [--yes]
int cmdClock(Context& ctx, const std::vector<std::string>& args);

}  // namespace termina::cli
