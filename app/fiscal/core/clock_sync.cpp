// SPDX-License-Identifier: GPL-3.0-or-later
#include "clock_sync.h"

#include <cstdio>

#include "driver_text.h"
#include "termina1.h"

namespace termina::app {

bool LocalNow(std::tm& tm) {
  const std::time_t now = std::time(nullptr);
  return now != static_cast<std::time_t>(-1) && ::localtime_r(&now, &tm) != nullptr;
}

std::string SynchroDateText(const std::tm& tm) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d/%02d/%02d", (tm.tm_mon + 1) % 100, tm.tm_mday % 100,
                (tm.tm_year + 1900) % 100);
  return text;
}

std::string SynchroTimeText(const std::tm& tm) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", tm.tm_hour % 100, tm.tm_min % 100, tm.tm_sec % 100);
  return text;
}

void RunSynchro() {
  TRMADT date;
  TRMATM time;
  LocalDateTime(&date, &time);
  TRMA_SetDate(&date, &time);
}

}  // namespace termina::app
