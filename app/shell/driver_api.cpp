// SPDX-License-Identifier: GPL-3.0-or-later
#include "driver_api.h"

#include <string>

#include "codepage.h"

QString FromAnsi(const char* text) { return QString::fromStdString(termina::app::ToUtf8(text)); }

void ToAnsi(const QString& text, char* buffer, std::size_t size) {
  termina::app::ToAnsi(text.toStdString(), buffer, size);
}

bool ErrorText(uint16_t code, QString* text) {
  const auto t = termina::app::ErrorText(code);
  *text = t ? QString::fromStdString(*t) : QString();
  return t.has_value();
}
