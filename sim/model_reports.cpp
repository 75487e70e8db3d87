// SPDX-License-Identifier: GPL-3.0-or-later
// Reports and the EEJ: X and Z reports, the long reports printed from the
// fiscal memory and the EEJ, and the EEJ unit itself.
#include <cstdio>

#include "model.h"
#include "model_support.h"

namespace termina::sim {

using namespace detail;

// ---- shift reports ---------------------------------------------------------

// Both print for a while with ACKs (finishShiftReport ends them).  What
// they change is done before the printout starts: a CAN only cuts the
// printout short and the answer is still 00, since the Z report's shift is
// closed in the fiscal memory by then.
Outcome RegisterModel::printShiftReport() const {
  if (shiftReportMs_ <= 0) return reply(kOk);
  Outcome o;
  o.kind = Outcome::LongReport;
  o.reportMs = shiftReportMs_;
  return o;
}

Outcome RegisterModel::finishShiftReport() {
  st_.reportRunning = false;
  changed_ = true;
  return reply(kOk);
}

Outcome RegisterModel::cmdXReport(const std::vector<std::string>&) {
  uint8_t code;
  if (!readyForDocuments(code)) return reply(code);
  if (st_.doc >> 4) return reply(kBadStatus);
  ++tot_.document;
  return printShiftReport();
}

Outcome RegisterModel::cmdZReport(const std::vector<std::string>&) {
  uint8_t code;
  if (!readyForDocuments(code)) return reply(code);
  if ((st_.doc >> 4) || !(st_.status & kShiftOpen)) return reply(kBadStatus);
  std::string d, t;
  stamp(d, t);
  if (!(st_.status & kNonFiscal)) {
    fmShifts_.push_back({tot_.shift, d});
    st_.lastFiscalDate = d;
    st_.lastFiscalTime = t;
  }
  st_.lastClosedShift = tot_.shift;
  Totals next;
  next.shift = tot_.shift + 1;
  next.document = tot_.document + 1;
  next.report = tot_.report + 1;
  next.receipt = tot_.receipt;
  next.cash = table(8, 0) == "1" ? 0 : tot_.cash;  // cash collected to zero at closing
  next.carried = next.cash;
  tot_ = next;
  st_.status &= static_cast<uint8_t>(~kShiftOpen);
  return printShiftReport();
}

// ---- long reports ----------------------------------------------------------
// They print for a while (the transport sends ACKs meanwhile) and end in
// finishReport.  A closed EEJ archive stops new documents, not reports: the
// fiscal memory and the closed archive can still be printed.

namespace {

// The report type field: 0 short, 1 full.
bool validReportType(const std::string& s) {
  long long type;
  return parseInt(s, type) && type >= 0 && type <= 1;
}

// A range of shift numbers (from 1, first <= last) or of dates (DDMMYY).
bool validRange(const std::string& first, const std::string& last, bool byDate) {
  if (byDate) {
    int64_t d1, d2;
    return parseDate(first, d1) && parseDate(last, d2) && d2 >= d1;
  }
  long long a, b;
  return parseInt(first, a) && parseInt(last, b) && a >= 1 && b >= a;
}

}  // namespace

bool RegisterModel::reportMayStart(uint8_t& code) const {
  if (st_.fatal != 0 || (st_.status & kNoInit) || (st_.doc >> 4)) {
    code = kBadStatus;
    return false;
  }
  return true;
}

Outcome RegisterModel::startLongReport() const {
  Outcome o;
  o.kind = Outcome::LongReport;
  o.reportMs = reportMs_;
  return o;
}

bool RegisterModel::inspectorPasswordGiven(const std::string& password) {
  const bool right = password == st_.inspectorPassword;
  const uint8_t before = st_.status;
  if (right)
    st_.status &= static_cast<uint8_t>(~kBadFmPassword);
  else
    st_.status |= kBadFmPassword;
  if (st_.status != before) changed_ = true;
  return right;
}

bool RegisterModel::fiscalMemoryHas(const std::string& first, const std::string& last, bool byDate) const {
  if (byDate) {
    int64_t d1, d2, d;
    if (!parseDate(first, d1) || !parseDate(last, d2)) return false;
    for (const auto& rec : fmShifts_)
      if (parseDate(rec.second, d) && d >= d1 && d <= d2) return true;
    return false;
  }
  long long a, b;
  if (!parseInt(first, a) || !parseInt(last, b)) return false;
  for (const auto& rec : fmShifts_)
    if (static_cast<long long>(rec.first) >= a && static_cast<long long>(rec.first) <= b) return true;
  return false;
}

// Fiscal memory by shift numbers (62) or dates (63): type, first, last,
// tax inspector password.  The password is checked before the range, so
// that the fiscal memory tells nothing to a wrong password.
Outcome RegisterModel::fiscalMemoryReport(const std::vector<std::string>& f, bool byDate) {
  uint8_t c;
  if (!reportMayStart(c)) return reply(c);
  if (f.size() < 4 || !validReportType(f[0])) return reply(kBadParam);
  if (!validRange(f[1], f[2], byDate)) return reply(kBadParam);
  if (st_.status & kNonFiscal) return reply(kBadStatus);
  if (!inspectorPasswordGiven(f[3])) return reply(kBadPassword);
  if (!fiscalMemoryHas(f[1], f[2], byDate)) return reply(kBadParam);  // no shift recorded in the range
  return startLongReport();
}

// Whether the EEJ can hold anything in the range: shifts from 1 to the
// current one, days from its activation to today.
bool RegisterModel::eejMayHold(const std::string& first, const std::string& last, bool byDate) const {
  if (!byDate) {
    long long a;
    return parseInt(first, a) && a <= static_cast<long long>(tot_.shift);
  }
  int64_t d1, d2, from;
  if (!parseDate(first, d1) || !parseDate(last, d2)) return false;
  const int64_t today = nowSeconds() - nowSeconds() % 86400;
  if (d1 > today) return false;
  // The activation record starts with its date (DDMMYY); a unit switched on
  // by the tests without one holds whatever is asked.
  if (st_.eejActivationData.size() >= 6 && parseDate(st_.eejActivationData.substr(0, 6), from)) return d2 >= from;
  return true;
}

// The EEJ by shift numbers (66) or dates (67): type, first, last.
Outcome RegisterModel::eejRangeReport(const std::vector<std::string>& f, bool byDate) {
  uint8_t c;
  if (!reportMayStart(c)) return reply(c);
  if (f.size() < 3 || !validReportType(f[0])) return reply(kBadParam);
  if (!validRange(f[1], f[2], byDate)) return reply(kBadParam);
  if (st_.status & kEejNotActive) return reply(kEejState);
  if (!eejMayHold(f[1], f[2], byDate)) return reply(kEejNoData);
  return startLongReport();
}

Outcome RegisterModel::cmdFiscalReportByNumber(const std::vector<std::string>& f) {
  return fiscalMemoryReport(f, false);
}
Outcome RegisterModel::cmdFiscalReportByDate(const std::vector<std::string>& f) { return fiscalMemoryReport(f, true); }
Outcome RegisterModel::cmdEejReportByNumber(const std::vector<std::string>& f) { return eejRangeReport(f, false); }
Outcome RegisterModel::cmdEejReportByDate(const std::vector<std::string>& f) { return eejRangeReport(f, true); }

// One shift of the EEJ (64, 69): shift number.
Outcome RegisterModel::cmdEejShiftReport(const std::vector<std::string>& f) {
  uint8_t c;
  if (!reportMayStart(c)) return reply(c);
  long long a;
  if (f.empty() || !parseInt(f[0], a) || a < 1) return reply(kBadParam);
  if (st_.status & kEejNotActive) return reply(kEejState);
  if (a > static_cast<long long>(tot_.shift)) return reply(kEejNoData);
  return startLongReport();
}

void RegisterModel::addFiscalHistory(int shifts) {
  if (shifts <= 0 || (st_.status & kShiftOpen)) return;
  const int64_t now = nowSeconds();
  for (int i = shifts; i >= 1; --i) {
    fmShifts_.push_back({tot_.shift, fmtDate(now - static_cast<int64_t>(i) * 86400)});
    st_.lastClosedShift = tot_.shift;
    ++tot_.shift;
    ++tot_.report;
    ++tot_.document;
  }
  refreshNvr();
  changed_ = true;
}

Outcome RegisterModel::finishReport(bool cancelled) {
  if (st_.lastReportCode == "60" || st_.lastReportCode == "61") return finishShiftReport();
  st_.reportRunning = false;
  changed_ = true;
  if (cancelled) {
    ++st_.reportsCancelled;
    return reply(cancelResult_);
  }
  ++tot_.document;
  refreshNvr();
  return reply(kOk);
}

// ---- EEJ -------------------------------------------------------------------

Outcome RegisterModel::cmdEejDocument(const std::vector<std::string>& f) {
  if (st_.status & kNoInit) return reply(kBadStatus);
  long long n;
  if (f.empty() || !parseInt(f[0], n)) return reply(kBadParam);
  if (st_.status & kEejNotActive) return reply(kEejState);
  if (n < 1 || n > static_cast<long long>(tot_.document)) return reply(kEejNoData);
  return reply(kOk);
}

Outcome RegisterModel::cmdEejActivateReport(const std::vector<std::string>&) {
  if (st_.status & kNoInit) return reply(kBadStatus);
  if (st_.status & kEejNotActive) return reply(kEejState);
  return reply(kOk);
}

Outcome RegisterModel::cmdActivateEej(const std::vector<std::string>&) {
  if ((st_.status & kNoInit) || (st_.status & kShiftOpen) || (st_.fatal & kFatalNotInstalled)) return reply(kBadStatus);
  const bool active = !(st_.status & kEejNotActive);
  if (active && !(st_.status & kArchiveClosed)) return reply(kEejState);  // one EEJ at a time
  activateEejUnit();
  return reply(kOk);
}

void RegisterModel::activateEejUnit() {
  // A new unit: number it from the factory number and the activation count.
  ++eejCount_;
  unsigned long long seed = 0;
  for (char ch : st_.serialNumber) seed = seed * 31 + static_cast<unsigned char>(ch);
  char num[16];
  std::snprintf(num, sizeof num, "%010llu",
                (seed * 7919ULL + static_cast<unsigned long long>(eejCount_)) % 10000000000ULL);
  st_.eejRegNumber = num;
  std::string d, t;
  stamp(d, t);
  st_.eejActivationData = d + " " + t + " " + num;
  st_.status &= static_cast<uint8_t>(~(kEejNotActive | kArchiveClosed));
}

Outcome RegisterModel::cmdCloseArchive(const std::vector<std::string>&) {
  if ((st_.status & kNoInit) || (st_.status & kShiftOpen)) return reply(kBadStatus);
  if ((st_.status & kEejNotActive) || (st_.status & kArchiveClosed)) return reply(kEejState);
  st_.status |= kArchiveClosed;
  return reply(kOk);
}

Outcome RegisterModel::cmdEejStatus(const std::vector<std::string>& f) {
  const bool active = !(st_.status & kEejNotActive);
  if (f.empty() || f[0].empty()) return reply(active ? kOk : kEejState);
  if (f[0] == "2") {
    if (!active || st_.eejActivationData.empty()) return reply(kNoData);
    return reply(kOk, {st_.eejActivationData});
  }
  return reply(kBadParam);
}

}  // namespace termina::sim
