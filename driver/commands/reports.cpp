// SPDX-License-Identifier: LGPL-2.1-or-later
// Report and EEJ commands.  The long ones wait with twice the patience and
// may be cancelled from another thread with CAN while they wait.
#include "command.h"
#include "event.h"
#include "frame.h"

using namespace termina;
using namespace termina::cmd;

namespace {

uint16_t simple(uint8_t code) {
  Body body(code);
  return run(body);
}

}  // namespace

extern "C" {

uint16_t TRMA_ActivateEEJ(void) { return simple(0x09); }
uint16_t TRMA_CloseEEJArchive(void) { return simple(0x0A); }
uint16_t TRMA_EEJActivateReport(void) { return simple(0x68); }

uint16_t TRMA_XReport(TRMA_OPERATOR_NAME* op) {
  Body body(0x60);
  body.field(text(op));
  return run(body);
}

uint16_t TRMA_ZReport(TRMA_OPERATOR_NAME* op) {
  Body body(0x61);
  body.field(text(op));
  return run(body);
}

uint16_t TRMA_FiscShiftReport(uint16_t type, uint16_t firstShift, uint16_t lastShift, TRMA_PASSWORD* password) {
  Body body(0x62);
  body.num(type).num(firstShift).num(lastShift).field(text(password));
  return runLong(body);
}

uint16_t TRMA_FiscDateReport(uint16_t type, TRMADT* firstDate, TRMADT* lastDate, TRMA_PASSWORD* password) {
  Body body(0x63);
  body.num(type).date(firstDate).date(lastDate).field(text(password));
  return runLong(body);
}

uint16_t TRMA_EEJJournal(uint16_t shift) {
  Body body(0x64);
  body.num(shift);
  return runLong(body);
}

uint16_t TRMA_GetReceipt(uint32_t kpk) {
  Body body(0x65);
  body.num(static_cast<int32_t>(kpk));
  return run(body);
}

uint16_t TRMA_EEJShiftReport(uint16_t type, uint16_t firstShift, uint16_t lastShift) {
  Body body(0x66);
  body.num(type).num(firstShift).num(lastShift);
  return runLong(body);
}

uint16_t TRMA_EEJDateReport(uint16_t type, TRMADT* firstDate, TRMADT* lastDate) {
  Body body(0x67);
  body.num(type).date(firstDate).date(lastDate);
  return runLong(body);
}

uint16_t TRMA_EEJReport(uint16_t shift) {
  Body body(0x69);
  body.num(shift);
  return runLong(body);
}

uint16_t TRMA_ReportFinished(void) {
  sys::sleepMs(0);
  uint16_t code = link::ReadLongReply();
  link::raiseIfError(code);
  return code;
}

uint16_t TRMA_CancelReport(void) {
  const uint8_t can = link::CAN;
  link::WriteRawBytes(&can, 1);
  return 0;
}

}  // extern "C"
