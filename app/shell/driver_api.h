// SPDX-License-Identifier: GPL-3.0-or-later
// The program's Qt side of the driver boundary: text crosses it in code
// page 1251, and these are the only conversions between it and Qt strings.
// The driver calls themselves are made by the register sequences (core/).
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

#include "driver_text.h"
#include "termina1.h"

QString FromAnsi(const char* text);
// Zero-fills the buffer and copies the text in, cut to size - 1 bytes.
void ToAnsi(const QString& text, char* buffer, std::size_t size);
template <std::size_t N>
void ToAnsi(const QString& text, char (&buffer)[N]) {
  ToAnsi(text, buffer, N);
}

// The driver's text for a result code; false (and an empty text) when the
// driver has none.
bool ErrorText(uint16_t code, QString* text);

using termina::app::LocalDateTime;
