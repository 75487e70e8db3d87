// SPDX-License-Identifier: GPL-3.0-or-later
// The machine-readable output of `trma --json`: one JSON object per run,
// English keys that do not change between versions.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace termina::cli::json {

// The commands that answer in JSON.
bool supported(std::string_view command);

// The object to print for a failed command: {"code": N, "text": "..."}.
nlohmann::json failure(uint16_t code, const std::string& text);

// "DDMMYY" -> "20YY-MM-DD", "HHMMSS" -> "HH:MM:SS"; null for other text.
nlohmann::json isoDate(const std::string& ddmmyy);
nlohmann::json isoTime(const std::string& hhmmss);

// Prints the object on one line.
void print(std::ostream& out, const nlohmann::json& j);

}  // namespace termina::cli::json
