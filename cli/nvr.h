// SPDX-License-Identifier: GPL-3.0-or-later
// trma nvr: the NVR emergency recovery from the command line, doing what
// the recovery dialog does: read the shift totals from the register's NVR
// image into a .nvr file, write a file's totals back as a rebuilt image,
// and show the totals as the dialog would.
#pragma once

#include <string>
#include <vector>

#include "cli.h"
#include "nvr_image.h"

namespace termina::cli {

int cmdNvr(Context& ctx, const std::vector<std::string>& args);

// The record as the dialog shows it, one field a line, money with two
// decimals; the rows the version's dialog hides are left out.
std::string formatNvrRecord(const app::NvrRecord& r);

}  // namespace termina::cli
