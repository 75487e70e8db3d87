// SPDX-License-Identifier: LGPL-2.1-or-later
// Receipt commands: one exchange each, the first reply field as the result
// of the line, discount, subtotal, payment and cash commands.
#include "command.h"

using namespace termina::cmd;

namespace {

uint16_t adjust(uint8_t code, char kind, std::string_view name, double value, double* result) {
  Body body(code);
  body.field(std::string_view(&kind, 1)).field(name).fixed(value, kind == '%' ? 2 : 4);
  return runNumeric(body, result);
}

}  // namespace

extern "C" {

uint16_t TRMA_OpenReceipt(uint16_t a, uint16_t b, TRMA_OPERATOR_NAME* op, uint32_t c) {
  Body body(0x20);
  body.num(a).num(b).field(text(op)).num(static_cast<int32_t>(c));
  return run(body);
}

uint16_t TRMA_PrintString(TRMA_STRING* s) {
  Body body(0x21);
  body.field(text(s));
  return run(body);
}

uint16_t TRMA_CloseReceipt(void) {
  Body body(0x22);
  return run(body);
}

uint16_t TRMA_BreakReceipt(void) {
  Body body(0x23);
  return run(body);
}

uint16_t TRMA_BarCode(uint16_t n1, uint16_t n2, uint16_t n3, uint16_t n4, TRMA_STRING* s) {
  Body body(0x24);
  body.num(n1).num(n2).num(n3).num(n4).field(text(s));
  return run(body);
}

uint16_t TRMA_AddArticle(TRMA_ARTICLE_NAME* name, TRMA_ARTICLE_CODE* code, double quantity, double price, uint16_t n,
                         double* result) {
  Body body(0x30);
  body.field(text(name)).field(text(code)).fixed(quantity, 3).fixed(price, 4).num(n);
  return runNumeric(body, result);
}

uint16_t TRMA_StornoArticle(TRMA_ARTICLE_NAME* name, TRMA_ARTICLE_CODE* code, double quantity, double price, int32_t n,
                            double* result) {
  Body body(0x31);
  body.field(text(name)).field(text(code)).fixed(quantity, 3).fixed(price, 4).num(n);
  return runNumeric(body, result);
}

uint16_t TRMA_DiscountPercent(TRMA_DISCOUNT_NAME* name, double value, double* result) {
  return adjust(0x32, '%', text(name), value, result);
}

uint16_t TRMA_DiscountTotal(TRMA_DISCOUNT_NAME* name, double value, double* result) {
  return adjust(0x32, 'S', text(name), value, result);
}

uint16_t TRMA_ExtraPercent(TRMA_DISCOUNT_NAME* name, double value, double* result) {
  return adjust(0x33, '%', text(name), value, result);
}

uint16_t TRMA_ExtraTotal(TRMA_DISCOUNT_NAME* name, double value, double* result) {
  return adjust(0x33, 'S', text(name), value, result);
}

uint16_t TRMA_SubTotal(double* result) {
  Body body(0x34);
  return runNumeric(body, result);
}

uint16_t TRMA_Payment(uint16_t type, double sum, double* result) {
  Body body(0x35);
  body.num(type).fixed(sum, 4);
  return runNumeric(body, result);
}

uint16_t TRMA_CashInOut(TRMA_BANKNOTE_NAME* caption, double sum, double* result) {
  Body body(0x36);
  body.field(text(caption)).fixed(sum, 4);
  return runNumeric(body, result);
}

}  // extern "C"
