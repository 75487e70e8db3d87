// SPDX-License-Identifier: GPL-3.0-or-later
// Clock synchronization: the register's clock set to the computer's local
// date and time, and the texts the page shows of that time.
#pragma once

#include <ctime>
#include <string>

namespace termina::app {

// The computer's local time; false when it cannot be had.
bool LocalNow(std::tm& tm);
// "MM/DD/YY" (13 July 2007 is "07/13/07") and "HH:MM:SS" (24 hours).
std::string SynchroDateText(const std::tm& tm);
std::string SynchroTimeText(const std::tm& tm);

// TRMA_SetDate with the local date and time (date 0 and time 255 when the
// local time cannot be had).  A refusal propagates as uint16_t.
void RunSynchro();

}  // namespace termina::app
