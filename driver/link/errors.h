// SPDX-License-Identifier: LGPL-2.1-or-later
// Result codes: the raise rule and the texts.  Texts are kept here in UTF-8;
// TRMA_GetErrorMessage converts them to code page 1251 for the caller.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace termina::link {

// The session interface's code for a call whose deadline passed.
inline constexpr uint16_t kDeadlinePassed = 259;

// 0 and 64 pass (64: the command finishes as for an error and returns 64);
// any other code is thrown as the bare uint16_t.
void raiseIfError(uint16_t code);

// Throws the code (after noting it in the exchange trace).
[[noreturn]] void raiseCode(uint16_t code);

// The text for every code except 1 (which needs the register's status).
std::string messageText(uint16_t code);

// A short stable name of the code ("ok", "checksum", ...); null for a code
// without one.
const char* codeName(int code);

// The text for code 1, composed from the fatal status and status bytes;
// nullopt stands for a status query that failed.
struct StatusBytes {
  uint8_t fatal;
  uint8_t status;
};
std::string composeStatusMessage(std::optional<StatusBytes> status);

}  // namespace termina::link
