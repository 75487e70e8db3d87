// SPDX-License-Identifier: GPL-3.0-or-later
#include "report.h"
#include "versions.h"

#include <cstdio>

#include "codepage.h"

namespace termina::cli {
namespace {

constexpr const char* kFatalLabels[8] = {
    "Неверная контрольная сумма NVR", "Неверная CRC в конфигурации",       "Ошибка SPI интерфейса",
    "Неверная CRC фискальной памяти", "Ошибка записи в фискальную память", "Фискальный модуль не инсталлирован",
    "Фатальная ошибка ЭКЛЗ",          "Расхождение данных ФР и ЭКЛЗ",
};

constexpr const char* kStatusLabels[8] = {
    "Не была вызвана функция 0",
    "Нефискальный режим",
    "Смена открыта",
    "Смена больше 24 часов",
    "Архив ЭКЛЗ закрыт",
    "ЭКЛЗ не активизирована",
    "Нет памяти для закрытия смены в ФП",
    "Неправильный пароль доступа к ФП",
};

// Bits 0, 6 and 7 of the printer status carry no label and are not shown.
constexpr const char* kPrinterLabels[8] = {
    nullptr,
    "В принтере нет бумаги",
    "Открыта крышка принтера",
    "Перегрев печатающей головки принтера",
    "Ошибка резчика принтера",
    "Напряжение в недопустимом диапазоне",
    nullptr,
    nullptr,
};

std::string hexByte(uint8_t b) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", b);
  return buf;
}

void appendBits(std::string& out, const char* title, uint8_t byte, const char* const (&labels)[8]) {
  out += title;
  out += ": " + hexByte(byte) + "\n";
  bool any = false;
  for (int bit = 0; bit < 8; ++bit) {
    if (!(byte & (1u << bit)) || labels[bit] == nullptr) continue;
    out += "  ";
    out += labels[bit];
    out += "\n";
    any = true;
  }
  if (!any) out += "  нет отмеченных признаков\n";
}

}  // namespace

std::string formatStatusReport(uint16_t version, TRMA_FATAL_STATUS fatal, TRMA_STATUS status, TRMA_REC_STATUS recStatus,
                               std::optional<TRMA_PRINTER_STATUS> printer) {
  std::string out = "Версия прошивки: " + std::to_string(version) + "\n";
  const std::string model = app::ModelName(version);
  out += "Модель: " + (model.empty() ? "неизвестна для версии " + std::to_string(version) : model) + "\n";
  appendBits(out, "Статус0", fatal.byte, kFatalLabels);
  appendBits(out, "Статус1", status.byte, kStatusLabels);
  out += "Тип документа: " + std::to_string(recStatus.byte & 0x0F) + "\n";
  out += "Состояние документа: " + std::to_string(recStatus.byte >> 4) + "\n";
  if (printer) appendBits(out, "Статус печатающего устройства", printer->byte, kPrinterLabels);
  return out;
}

int exitCodeFor(unsigned code) {
  if (code == 0) return 0;
  return code <= 255 ? static_cast<int>(code) : 1;
}

std::string driverTextToUtf8(const char* ansi) {
  std::string text = cp::ansiToUtf8(ansi);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

}  // namespace termina::cli
