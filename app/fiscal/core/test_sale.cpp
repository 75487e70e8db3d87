// SPDX-License-Identifier: GPL-3.0-or-later
#include "test_sale.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "driver_text.h"
#include "termina1.h"

namespace termina::app {

const char* const kDisplayNotReadyText =
    "Дисплей покупателя не готов. Отключите \"Автоматический вывод на дисплей\" или подключите дисплей "
    "покупателя.";
const char* const kTestArticleName = "ТЕСТ-ТОВАР1";
const char* const kTestArticleCode = "123456789012";

namespace {

constexpr unsigned kPauseMs = 50;
constexpr std::size_t kAmountChars = 24;

// The first `n` characters of UTF-8 text.
std::string FirstChars(const std::string& s, std::size_t n) {
  std::size_t i = 0, chars = 0;
  while (i < s.size() && chars < n) {
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
    ++chars;
  }
  return s.substr(0, i);
}

// Writes table 8 field 0, ignoring a refusal.
void WriteTable8(TRMA_STRING* value) {
  try {
    TRMA_WriteConfig(8, 0, value);
  } catch (uint16_t) {}
}

}  // namespace

double TestSaleRoubles(const std::string& amountText) {
  const std::string text = FirstChars(amountText, kAmountChars);
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  double kopecks = 0;
  const auto result = std::from_chars(text.data() + i, text.data() + text.size(), kopecks);
  if (result.ec != std::errc() || !std::isfinite(kopecks)) return 0;  // not a number, or out of range
  return (negative ? -kopecks : kopecks) * 0.01;
}

TestSaleResult RunTestSale(const TestSaleInput& in, Interaction& ui) {
  const double amount = TestSaleRoubles(in.amount);

  uint16_t version = 120;
  TRMA_GetVersion(&version);  // reports 120 by itself when the register does not answer
  if (version >= 121) {
    TRMA_STRING display{};
    TRMA_ReadConfig(10, 0, &display);
    if (std::strtol(display, nullptr, 10) > 0) {
      TRMA_CLIENTDISPLAYTEXT first, second;
      ToAnsi("Тестовая", first);
      ToAnsi("Продажа", second);
      uint16_t rc;
      try {
        rc = TRMA_ShowClientDisplayText(&first, &second);
      } catch (uint16_t code) { rc = code != 0 ? code : 1; }
      if (rc != 0) {
        ui.Tell(kDisplayNotReadyText, "Ошибка", Icon::Error);
        return TestSaleResult{TestSaleOutcome::DisplayNotReady, rc};
      }
    }
  }

  // Table 8 is set to "1" only when its value could be read, so that it can
  // always be put back.
  TRMA_STRING saved{};
  bool haveSaved = false;
  if (in.closeShift) {
    try {
      haveSaved = TRMA_ReadConfig(8, 0, &saved) == 0;
    } catch (uint16_t) {}
    Pause(kPauseMs);
    if (haveSaved) {
      TRMA_STRING one{};
      ToAnsi("1", one);
      WriteTable8(&one);
    }
  }
  Pause(kPauseMs);
  const auto restore = [&] {
    if (haveSaved) WriteTable8(&saved);
  };

  try {
    TRMA_OPERATOR_NAME op;
    ToAnsi(in.operatorName, op);
    TRMA_OpenReceipt(2, 1, &op, 1);
    Pause(kPauseMs);
    TRMA_ARTICLE_NAME name;
    TRMA_ARTICLE_CODE code;
    ToAnsi(kTestArticleName, name);
    ToAnsi(kTestArticleCode, code);
    double figure = 0.0;
    TRMA_AddArticle(&name, &code, 1.0, amount, 1, &figure);
    Pause(kPauseMs);
    TRMA_SubTotal(&figure);
    Pause(kPauseMs);
    TRMA_Payment(0, amount, &figure);
    Pause(kPauseMs);
    TRMA_CloseReceipt();
    Pause(kPauseMs);
    if (in.closeShift) {
      TRMA_ZReport(&op);
      Pause(kPauseMs);
      restore();
      Pause(kPauseMs);
    }
  } catch (...) {
    restore();
    throw;
  }
  return TestSaleResult{};
}

}  // namespace termina::app
