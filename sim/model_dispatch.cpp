// SPDX-License-Identifier: GPL-3.0-or-later
// The one table of commands: code -> handler.  Adding a command is its
// handler in the family's file (model_<family>.cpp, declared in model.h)
// and one line here.
#include <algorithm>
#include <cstddef>
#include <string_view>

#include "model.h"
#include "model_support.h"

namespace termina::sim {

using namespace detail;

namespace {

// What a successful command does to the register.  Reads leave the NVR
// image and the state file alone; Changes rebuild the image from the
// totals; Stores change memory only, so that an image written block by
// block is not overwritten from the totals before its last block arrives.
enum Effect { Reads, Changes, Stores };

using Handler = Outcome (RegisterModel::*)(const std::vector<std::string>&);

struct Command {
  std::string_view code;  // two hex digits, upper case, as they come on the wire
  Handler handler;
  Effect effect;
};

constexpr bool isUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// Every code two upper-case hex digits, none twice.  (Handlers are taken
// by address and cannot be null; comparing member pointers is not a
// constant expression under the sanitizers.)
template <size_t N>
constexpr bool wellFormed(const Command (&table)[N]) {
  for (size_t i = 0; i < N; ++i) {
    const std::string_view c = table[i].code;
    if (c.size() != 2 || !isUpperHex(c[0]) || !isUpperHex(c[1])) return false;
    for (size_t j = i + 1; j < N; ++j)
      if (table[j].code == c) return false;
  }
  return true;
}

}  // namespace

Outcome RegisterModel::execute(const std::string& code, const std::vector<std::string>& f) {
  static constexpr Command kCommands[] = {
      // status
      {"A0", &RegisterModel::cmdStatus, Reads},
      {"A9", &RegisterModel::cmdPrinterStatus, Reads},
      // service, queries and configuration tables
      {"00", &RegisterModel::cmdInit, Changes},
      {"A3", &RegisterModel::cmdSetDate, Changes},
      {"E0", &RegisterModel::cmdInstall, Changes},
      {"08", &RegisterModel::cmdRegister, Changes},
      {"A5", &RegisterModel::cmdQuery, Reads},
      {"A6", &RegisterModel::cmdRegNumber, Reads},
      {"A7", &RegisterModel::cmdClock, Reads},
      {"A1", &RegisterModel::cmdReadConfig, Reads},
      {"A2", &RegisterModel::cmdWriteConfig, Changes},
      // receipts
      {"20", &RegisterModel::cmdOpenReceipt, Changes},
      {"21", &RegisterModel::cmdPrintText, Changes},
      {"22", &RegisterModel::cmdCloseReceipt, Changes},
      {"23", &RegisterModel::cmdCancelReceipt, Changes},
      {"24", &RegisterModel::cmdBarcode, Changes},
      {"30", &RegisterModel::cmdSale, Changes},
      {"31", &RegisterModel::cmdStorno, Changes},
      {"32", &RegisterModel::cmdDiscount, Changes},
      {"33", &RegisterModel::cmdMarkup, Changes},
      {"34", &RegisterModel::cmdSubtotal, Changes},
      {"35", &RegisterModel::cmdPayment, Changes},
      {"36", &RegisterModel::cmdCashInOut, Changes},
      // reports and the EEJ
      {"60", &RegisterModel::cmdXReport, Changes},
      {"61", &RegisterModel::cmdZReport, Changes},
      {"62", &RegisterModel::cmdFiscalReportByNumber, Changes},
      {"63", &RegisterModel::cmdFiscalReportByDate, Changes},
      {"64", &RegisterModel::cmdEejShiftReport, Changes},
      {"65", &RegisterModel::cmdEejDocument, Changes},
      {"66", &RegisterModel::cmdEejReportByNumber, Changes},
      {"67", &RegisterModel::cmdEejReportByDate, Changes},
      {"68", &RegisterModel::cmdEejActivateReport, Changes},
      {"69", &RegisterModel::cmdEejShiftReport, Changes},
      {"A4", &RegisterModel::cmdEejStatus, Reads},
      {"09", &RegisterModel::cmdActivateEej, Changes},
      {"0A", &RegisterModel::cmdCloseArchive, Changes},
      // devices
      {"80", &RegisterModel::cmdDrawer, Changes},
      {"81", &RegisterModel::cmdDisplay, Changes},
      // memory blocks and the logo
      {"E1", &RegisterModel::cmdReadMemory, Reads},
      {"E7", &RegisterModel::cmdWriteMemory, Stores},
      {"E2", &RegisterModel::cmdLogoHeader, Changes},
      {"E3", &RegisterModel::cmdClearLogo, Changes},
  };
  static_assert(wellFormed(kCommands), "command codes are two upper-case hex digits, each listed once");

  const auto* cmd =
      std::find_if(std::begin(kCommands), std::end(kCommands), [&](const Command& c) { return c.code == code; });
  if (cmd == std::end(kCommands)) return reply(kBadFunction);
  Outcome o = (this->*cmd->handler)(f);
  if (cmd->effect != Reads && o.result == kOk) {
    if (cmd->effect == Changes) refreshNvr();
    changed_ = true;
  }
  if (o.kind == Outcome::LongReport) {
    st_.reportRunning = true;
    st_.lastReportCode = code;
  }
  return o;
}

}  // namespace termina::sim
