// SPDX-License-Identifier: GPL-3.0-or-later
// Status: the status bytes, the state snapshot and the status commands.
#include <ctime>

#include "model.h"
#include "model_support.h"

namespace termina::sim {

using namespace detail;

uint8_t RegisterModel::statusByte() const {
  uint8_t s = st_.status;
  if (s & kShiftOpen) {
    std::tm tm{};
    tm.tm_mday = tot_.openDay;
    tm.tm_mon = tot_.openMonth - 1;
    tm.tm_year = tot_.openYear - 1900;
    tm.tm_hour = tot_.openHour;
    tm.tm_min = tot_.openMinute;
    tm.tm_sec = tot_.openSecond;
    if (tot_.openYear != 0 && nowSeconds() - static_cast<int64_t>(timegm(&tm)) > 24 * 3600) s |= kShiftLong;
  }
  return s;
}

RegisterState RegisterModel::state() const {
  RegisterState s = st_;
  s.status = statusByte();
  s.initDone = !(s.status & kNoInit);
  s.fiscalised = !(s.status & kNonFiscal);
  s.shiftOpen = s.status & kShiftOpen;
  s.eejArchiveClosed = s.status & kArchiveClosed;
  s.eejActivated = !(s.status & kEejNotActive);
  s.receiptStage = st_.doc >> 4;
  s.receiptOpen = s.receiptStage != 0;
  s.shiftNumber = tot_.shift;
  s.receiptNumber = tot_.receipt;
  s.documentNumber = tot_.document;
  s.reportNumber = tot_.report;
  s.cashInDrawer = tot_.cash;
  s.fiscalMemoryShifts = fmShifts_.size();
  return s;
}

bool RegisterModel::readyForDocuments(uint8_t& code) const {
  if (st_.fatal != 0 || (st_.status & kNoInit) || (st_.status & kArchiveClosed)) {
    code = kBadStatus;
    return false;
  }
  return true;
}

// ---- status commands -------------------------------------------------------

Outcome RegisterModel::cmdStatus(const std::vector<std::string>&) {
  return reply(kOk, {dec(st_.fatal), dec(statusByte()), dec(st_.doc)});
}

Outcome RegisterModel::cmdPrinterStatus(const std::vector<std::string>&) {
  if (st_.version != 201) return reply(kBadFunction);
  return reply(kOk, {dec(st_.printer)});
}

}  // namespace termina::sim
