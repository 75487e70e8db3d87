// SPDX-License-Identifier: GPL-3.0-or-later
#include "config_map.h"

#include <array>
#include <stdexcept>

namespace termina::app {
namespace {

constexpr uint16_t kAll = 0;

constexpr std::array<ConfigEntry, 23> kMap{{
    {kTableCashDesk, 0, 0, "НОМЕР КАССЫ", 40, kAll, "CFRParams"},
    {kTableCompactPrint, 0, 0, "Компактный режим печати", 1, kAll, "CFRParams"},
    {kTableExternalNumbering, 0, 0, "Нумерация документов внешней программой", 1, kAll, "CFRParams"},
    {kTableAutoDrawer, 0, 0, "Автоматическое открытие ящика", 1, kAll, "CFRParams"},
    {kTablePrintLogo, 0, 0, "Печатать логотип предприятия", 1, kAll, "CFRLogo"},
    {kTableNoCashControl, 0, 0, "Отключить контроль наличных в Д/Я", 1, kAll, "CFRParams"},
    {kTableZReportOptions, 0, 0, "Параметры Z-отчета", 3, kVersionZReport, "CFRParams"},
    {kTableCollectToZero, 0, 0, "Инкассация под ноль", 1, kVersionZReport, "CFRParams"},
    {kTableDisplayType, 0, 0, "Тип дисплея", 1, kVersionZReport, "CFRParams"},
    {kTableAutoDisplay, 0, 0, "Автоматический вывод на дисплей", 1, kVersionZReport, "CFRParams"},
    {kTablePartialCut, 0, 0, "Частичная отрезка чека", 1, kVersionZReport, "CFRParams"},
    // Read from kVersionTaxOptions on, but written on every version (fields 0 to 5, one mask).
    {kTableTaxOptions, 0, 5, "Параметры налогов", 3, kVersionTaxOptions, "CFRTaxes"},
    {kTableReceiptDesign, 0, 0, "Дизайн чеков:", 1, kVersionTaxOptions, "CFRParams"},
    {kTableHeader, 0, 3, "Клише", 40, kAll, "CFRCliche"},
    {kTableFooter, 0, 1, "Рекламный текст", 40, kAll, "CFRFooter"},
    {kTablePaymentNames, 0, 15, "Вид оплаты", 18, kAll, "CFRPayment"},
    {kTableTaxNames, 0, 5, "Имя ставки налога", 40, kAll, "CFRTaxes"},
    {kTableTaxRates, 0, 5, "Ставка налога", 40, kAll, "CFRTaxes"},
    {kTableTaxLine, 0, 0, "Предварительная строка налогов:", 40, kVersionTaxOptions, "CFRTaxes"},
    {kTableDepartments, 0, 5, "Имя товарной группы", 40, kAll, "CFRGroups"},
    {kTableZSection, 0, 0, "Заголовок раздела для Z-отчета:", 40, kAll, "CFRGroups"},
    {kTableAutoPayment, 0, 0, "Автоматическая оплата при закрытии", 1, kVersionTaxOptions, "CFRParams"},
    {kTablePassword, 0, 0, "Пароль обмена данными", 4, kAll, "CFRConnectParams"},
}};

constexpr std::array<BitEntry, 8> kZBits{{
    {0, "Отключить нарастающий итог в Z-отчете", 1085, kVersionZReport},
    {1, "Отложенные чеки в Z-отчете", 1090, kVersionTaxOptions},
    {2, "Скидки/наценки в Z-отчете", 1092, kVersionTaxOptions},
    {3, "Отключить операции с Д/Я в Z-отчете", 1089, kVersionTaxOptions},
    {4, "Отключить печать неисп. плат. средств в Z-отчете", 1125, kVersionZReportMore},
    {5, "Не учитывать аннулир. при вкл. питания чеки в Z-отчете", 1126, kVersionZReportMore},
    {6, "Дата и время начала смены в Z-отчете", 11153, kVersionSecondModel},
    {7, "Нарастающий итог на начало смены в Z-отчете", 11154, kVersionSecondModel},
}};

constexpr std::array<BitEntry, 4> kTaxBits{{
    {kTaxBitPrintZ, "Печать налогов в Z-отчете", 1085, kVersionTaxOptions},
    {kTaxBitPrintReceipt, "Печать налогов на чеке", 1119, kVersionTaxOptions},
    {kTaxBitNoZeroSums, "Отключить печать нулевых налоговых сумм в Z-отчете", 1127, kVersionZReportMore},
    {kTaxBitPerPosition, "Расчет налогов:", 1117, kVersionTaxOptions},
}};

constexpr std::array<const char*, 2> kDisplays{"BA-63", "LD-202"};
constexpr std::array<const char*, 3> kDesigns{"Обычный (0)", "С ценой (1)", "Короткий (2)"};
constexpr std::array<const char*, 2> kCalculations{"Округление для каждой позиции (0)",
                                                   "Округление после подитога (1)"};

}  // namespace

std::span<const ConfigEntry> ConfigMap() { return kMap; }

const ConfigEntry& MapEntry(uint16_t table) {
  for (const ConfigEntry& e : kMap)
    if (e.table == table) return e;
  throw std::out_of_range("configuration table " + std::to_string(table) + " is not in the map");
}

std::span<const BitEntry> ZReportBits() { return kZBits; }
std::span<const BitEntry> TaxOptionBits() { return kTaxBits; }
std::span<const char* const> DisplayTypeNames() { return kDisplays; }
std::span<const char* const> ReceiptDesignNames() { return kDesigns; }
std::span<const char* const> TaxCalculationNames() { return kCalculations; }

uint16_t DepartmentOffset(uint16_t version) { return version >= kVersionSecondModel ? 1 : 0; }

bool HidesDisplayRows(uint16_t version) { return version == kVersionSecondModel || version == kVersionThirdModel; }

bool UsedOn(const ConfigEntry& e, uint16_t version) { return version >= e.fromVersion; }

unsigned DecimalValue(const std::string& text) {
  // Leading blanks and a plus sign as the C library's conversion takes
  // them; the value stops at the first non-digit and saturates.
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  unsigned long long v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = v * 10 + static_cast<unsigned>(text[i] - '0');
    if (v > 0xFFFFFFFFull) v = 0xFFFFFFFFull;
  }
  return static_cast<unsigned>(v);
}

std::string CutToChars(const std::string& utf8, std::size_t limit) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    // A character starts at every byte that is not a continuation byte.
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) {
      if (chars == limit) return utf8.substr(0, i);
      ++chars;
    }
  }
  return utf8;
}

}  // namespace termina::app
