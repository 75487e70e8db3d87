// SPDX-License-Identifier: GPL-3.0-or-later
// trma test-sale: the program's test sale from the command line.
#pragma once

#include <string>
#include <vector>

#include "cli.h"

namespace termina::cli {

// Arguments: [--amount KOPECKS] [--operator NAME] [--keep-shift], each
// option also as --name=value.
int cmdTestSale(Context& ctx, const std::vector<std::string>& args);

}  // namespace termina::cli
