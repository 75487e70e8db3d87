// SPDX-License-Identifier: LGPL-2.1-or-later
// Status queries and the texts of the result codes.
#include "codepage.h"
#include "command.h"

using namespace termina;
using namespace termina::cmd;

extern "C" {

uint16_t TRMA_GetStatus(TRMA_FATAL_STATUS* fatal, TRMA_STATUS* status, TRMA_REC_STATUS* recStatus) {
  Body body(0xA0);
  uint16_t code = run(body);
  uint8_t f = 0, s = 0, r = 0;
  if (code == 0) {
    f = static_cast<uint8_t>(toLong(link::NextField(body.str())));
    s = static_cast<uint8_t>(toLong(link::NextField(body.str())));
    r = static_cast<uint8_t>(toLong(link::NextField(body.str())));
  }
  if (fatal) fatal->byte = f;
  if (status) status->byte = s;
  if (recStatus) recStatus->byte = r;
  return code;
}

uint16_t TRMA_GetPrinterStatus(TRMA_PRINTER_STATUS* printer) {
  Body body(0xA9);
  uint16_t code = run(body);
  uint8_t p = code == 0 ? static_cast<uint8_t>(toLong(link::NextField(body.str()))) : 0;
  if (printer) printer->byte = p;
  return code;
}

int TRMA_GetErrorMessage(uint16_t code, TRMA_ERROR_MESSAGE* message) {
  try {
    std::string text;
    if (code == 1) {
      std::optional<link::StatusBytes> st;
      try {
        TRMA_FATAL_STATUS f{};
        TRMA_STATUS s{};
        TRMA_REC_STATUS r{};
        TRMA_GetStatus(&f, &s, &r);
        st = link::StatusBytes{f.byte, s.byte};
      } catch (...) {}
      text = link::composeStatusMessage(st);
    } else {
      text = link::messageText(code);
    }
    copyOut(message, cp::utf8ToAnsi(text));
  } catch (...) { copyOut(message, ""); }
  return 1;
}

}  // extern "C"
