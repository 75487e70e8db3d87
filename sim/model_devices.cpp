// SPDX-License-Identifier: GPL-3.0-or-later
// Devices: the cash drawer and the customer display.
#include "model.h"
#include "model_support.h"

namespace termina::sim {

using namespace detail;

Outcome RegisterModel::cmdDrawer(const std::vector<std::string>&) {
  ++st_.drawerOpenCount;
  return reply(kOk);
}

Outcome RegisterModel::cmdDisplay(const std::vector<std::string>& f) {
  if (!st_.displayAttached) return reply(kNoDisplay);
  std::vector<std::string> lines;
  for (size_t i = 0; i < 2; ++i) lines.push_back(i < f.size() ? f[i] : "");
  for (auto& l : lines)
    if (utf8Length(l) > 20) return reply(kBadParam);
  st_.displayLines = lines;
  return reply(kOk);
}

}  // namespace termina::sim
