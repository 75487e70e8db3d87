// SPDX-License-Identifier: GPL-3.0-or-later
#include "json_out.h"

#include <array>
#include <ostream>

namespace termina::cli::json {

bool supported(std::string_view command) {
  static constexpr std::array<std::string_view, 13> names{
      "nvr show",      "status",        "version",          "shift",      "registration", "eej", "clock",
      "settings show", "settings diff", "settings backups", "config get", "logo check",   "find"};
  for (std::string_view n : names)
    if (n == command) return true;
  return false;
}

nlohmann::json failure(uint16_t code, const std::string& text) { return {{"code", code}, {"text", text}}; }

namespace {
bool sixDigits(const std::string& s) {
  if (s.size() != 6) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}
}  // namespace

nlohmann::json isoDate(const std::string& d) {
  if (!sixDigits(d)) return nullptr;
  return "20" + d.substr(4, 2) + "-" + d.substr(2, 2) + "-" + d.substr(0, 2);
}

nlohmann::json isoTime(const std::string& t) {
  if (!sixDigits(t)) return nullptr;
  return t.substr(0, 2) + ":" + t.substr(2, 2) + ":" + t.substr(4, 2);
}

// Invalid UTF-8 from a register's text is replaced, never thrown.
void print(std::ostream& out, const nlohmann::json& j) {
  out << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

}  // namespace termina::cli::json
