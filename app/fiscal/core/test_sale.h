// SPDX-License-Identifier: GPL-3.0-or-later
// The test sale: one cash receipt of a fixed test article for the amount
// typed, optionally followed by a Z report that closes the shift with the
// cash collected to zero.  Shared by the page "Тестовая продажа" and
// `trma test-sale`.
#pragma once

#include <cstdint>
#include <string>

#include "interaction.h"

namespace termina::app {

extern const char* const kDisplayNotReadyText;
extern const char* const kTestArticleName;  // "ТЕСТ-ТОВАР1"
extern const char* const kTestArticleCode;  // "123456789012"

struct TestSaleInput {
  std::string operatorName = "ЦТО";  // UTF-8; the first 20 characters are sent
  std::string amount = "111";        // kopecks as typed
  bool closeShift = true;            // Z report after the sale
};

// Roubles for the amount text: its first 24 characters read as a decimal
// number (leading blanks skipped, reading stops at the first character
// that does not belong to the number) times 0.01; text that is not a
// number gives 0.
double TestSaleRoubles(const std::string& amountText);

enum class TestSaleOutcome {
  Sold,             // the receipt is closed (and the Z report printed when asked)
  DisplayNotReady,  // the customer display failed its test: nothing was sold
};

struct TestSaleResult {
  TestSaleOutcome outcome = TestSaleOutcome::Sold;
  uint16_t displayCode = 0;  // DisplayNotReady: the display test's result code
};

// The whole sale, with a 50 ms pause after every register command from the
// first write of table 8 on:
//  1. TRMA_GetVersion; from version 121, table 10 ("Автоматический вывод на
//     дисплей"); when it is on, the display test: a refusal is told through
//     `ui` (kDisplayNotReadyText, "Ошибка", error icon) and nothing is sold.
//  2. With closeShift: table 8 ("Инкассация под ноль") is read and set to
//     "1" for the Z report.  When it cannot be read, it is left as it is.
//  3. Open a sale receipt (2, 1, operator, 1), the test article at the
//     amount, subtotal, cash payment of the amount, close.
//  4. With closeShift: the Z report, then table 8 back to what it was.
// A driver failure from the table 10 read on propagates as uint16_t; one
// in step 3 or 4 first puts table 8 back (a receipt already open stays
// open in the register).  Failures of the table 8 accesses are ignored.
TestSaleResult RunTestSale(const TestSaleInput& in, Interaction& ui);

}  // namespace termina::app
