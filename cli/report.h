// SPDX-License-Identifier: GPL-3.0-or-later
// Texts that trma prints, as plain functions of the register's answers, so
// that they can be checked without a register.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "termina1.h"

namespace termina::cli {

// The status report in UTF-8, one item a line: version, model, every set bit
// of the fatal status and the status byte with its label, the document type
// and state, and the printer status bits when printer is given.
std::string formatStatusReport(uint16_t version, TRMA_FATAL_STATUS fatal, TRMA_STATUS status, TRMA_REC_STATUS recStatus,
                               std::optional<TRMA_PRINTER_STATUS> printer);

// Exit status for a driver result: the code itself when it lies in 1..255,
// else 1 (0 stays 0).
int exitCodeFor(unsigned code);

// Driver text (code page 1251, CRLF or LF line breaks) as UTF-8 with LF.
std::string driverTextToUtf8(const char* ansi);

}  // namespace termina::cli
