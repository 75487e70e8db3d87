// SPDX-License-Identifier: GPL-3.0-or-later
// Service and queries: function 0, clock, installation, registration,
// register queries and the configuration tables.
#include "model.h"
#include "model_support.h"

namespace termina::sim {

using namespace detail;

// ---- queries ---------------------------------------------------------------

Outcome RegisterModel::cmdQuery(const std::vector<std::string>& f) {
  if (f.empty()) return reply(kBadParam);
  const std::string& sel = f[0];
  if (sel == "0") return reply(kOk, {dec(st_.version)});
  if (sel == "1") return reply(kOk, {dec(tot_.shift)});
  if (sel == "2") return reply(kOk, {dec(st_.lastClosedShift)});
  if (sel == "9") {
    if (st_.inn.empty()) return reply(kNoData);
    return reply(kOk, {st_.inn});
  }
  if (sel == "11") {
    if (st_.eejRegNumber.empty()) return reply(kNoData);
    return reply(kOk, {st_.eejRegNumber});
  }
  if (sel == "20") {
    if (st_.lastFiscalDate.empty()) return reply(kNoData);
    return reply(kOk, {st_.lastFiscalDate, st_.lastFiscalTime});
  }
  return reply(kBadParam);
}

Outcome RegisterModel::cmdRegNumber(const std::vector<std::string>&) {
  if (st_.registrationNumber.empty()) return reply(kNoData);
  return reply(kOk, {st_.registrationNumber});
}

Outcome RegisterModel::cmdClock(const std::vector<std::string>&) {
  std::string d, t;
  stamp(d, t);
  return reply(kOk, {d, t});
}

// ---- service ---------------------------------------------------------------

bool RegisterModel::beforeLastFiscal(int64_t t) const {
  int64_t last;
  return !st_.lastFiscalDate.empty() && parseDateTime(st_.lastFiscalDate, st_.lastFiscalTime, last) && t < last;
}

// Function 0 hands the register the host's date and time, but the register
// keeps its own clock (only A3 and the installation set it): a host whose
// date lies before the last fiscal operation is refused, like A3 refuses it.
Outcome RegisterModel::cmdInit(const std::vector<std::string>& f) {
  int64_t t;
  if (f.size() < 2 || !parseDateTime(f[0], f[1], t)) return reply(kBadParam);
  if (beforeLastFiscal(t)) return reply(kDateBeforeFiscal);
  st_.status &= static_cast<uint8_t>(~kNoInit);
  return reply(kOk);
}

Outcome RegisterModel::cmdSetDate(const std::vector<std::string>& f) {
  int64_t t;
  if (f.size() < 2 || !parseDateTime(f[0], f[1], t)) return reply(kBadParam);
  if (st_.status & kShiftOpen) return reply(kBadStatus);
  if (beforeLastFiscal(t)) return reply(kDateBeforeFiscal);
  st_.clockOffsetSeconds = t - hostCivilNow();
  return reply(kOk);
}

Outcome RegisterModel::cmdInstall(const std::vector<std::string>& f) {
  int64_t t;
  if (f.size() < 3 || !parseDateTime(f[0], f[1], t)) return reply(kBadParam);
  if (!(st_.fatal & kFatalNotInstalled)) return reply(kBadStatus);  // installed once only
  if (f[2].empty() || utf8Length(f[2]) > 12 || hasControl(f[2])) return reply(kBadParam);
  st_.serialNumber = f[2];
  st_.clockOffsetSeconds = t - hostCivilNow();
  st_.fatal &= static_cast<uint8_t>(~kFatalNotInstalled);
  return reply(kOk);
}

Outcome RegisterModel::cmdRegister(const std::vector<std::string>& f) {
  if (f.size() < 4) return reply(kBadParam);
  if ((st_.fatal & kFatalNotInstalled) || (st_.status & kNoInit) || (st_.status & kShiftOpen)) return reply(kBadStatus);
  if (!inspectorPasswordGiven(f[0])) return reply(kBadPassword);
  if (!allDigits(f[1]) || f[1].size() > 12 || !allDigits(f[2]) || f[2].size() > 12 || !allDigits(f[3]) ||
      f[3].size() > 10)
    return reply(kBadParam);
  st_.registrationNumber = f[1];
  st_.inn = f[2];
  st_.inspectorPassword = f[3];
  st_.status &= static_cast<uint8_t>(~kNonFiscal);
  stamp(st_.lastFiscalDate, st_.lastFiscalTime);
  return reply(kOk);
}

// ---- configuration tables --------------------------------------------------

bool RegisterModel::tableAvailable(uint16_t t, uint16_t f) const {
  const uint16_t v = st_.version;
  switch (t) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 27: return f == 0;
    case 7:
    case 8:
    case 9:
    case 10:
    case 11: return v >= 121 && f == 0;
    case 13:
    case 25:
    case 30: return v >= 125 && f == 0;
    case 12:
    case 23:
    case 24: return f <= 5;
    case 20: return f <= 3;
    case 21: return f <= 1;
    case 22: return f <= 15;
    case 26: return v >= 201 ? (f >= 1 && f <= 6) : f <= 5;
    case 31: return f == 0;
    default: return false;
  }
}

uint8_t RegisterModel::validateTableValue(uint16_t t, const std::string& v) const {
  auto flag = [&] { return (v == "0" || v == "1") ? kOk : kBadParam; };
  auto range = [&](long long lo, long long hi) {
    long long n;
    return (allDigits(v) && parseInt(v, n) && n >= lo && n <= hi) ? kOk : kBadParam;
  };
  auto text = [&](size_t max) { return (utf8Length(v) <= max && !hasControl(v)) ? kOk : kBadParam; };
  switch (t) {
    case 1: return range(1, 9999);
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 8:
    case 10:
    case 11:
    case 30: return flag();
    case 7:
    case 12: return range(0, 255);
    case 9: return range(0, 1);
    case 13: return range(0, 2);
    case 22: return text(18);
    // The data-exchange password: exactly four characters.
    case 31: return (utf8Length(v) == 4 && !hasControl(v)) ? kOk : kBadParam;
    default: return text(40);
  }
}

Outcome RegisterModel::cmdReadConfig(const std::vector<std::string>& f) {
  long long t, fl;
  if (f.size() < 2 || !parseInt(f[0], t) || !parseInt(f[1], fl) || t < 0 || fl < 0 || t > 65535 || fl > 65535)
    return reply(kBadParam);
  if (!tableAvailable(static_cast<uint16_t>(t), static_cast<uint16_t>(fl))) return reply(kBadParam);
  return reply(kOk, {table(static_cast<uint16_t>(t), static_cast<uint16_t>(fl))});
}

Outcome RegisterModel::cmdWriteConfig(const std::vector<std::string>& f) {
  long long t, fl;
  if (f.size() < 3 || !parseInt(f[0], t) || !parseInt(f[1], fl) || t < 0 || fl < 0 || t > 65535 || fl > 65535)
    return reply(kBadParam);
  const auto tt = static_cast<uint16_t>(t), ff = static_cast<uint16_t>(fl);
  // Settings do not change during a shift; the data-exchange password and
  // the cash-out-to-zero switch (table 8, which a test sale sets around its
  // receipt and puts back even with the receipt still open) may change at
  // any time.
  if ((st_.status & kShiftOpen) && tt != 31 && tt != 8) return reply(kBadStatus);
  if (!tableAvailable(tt, ff)) return reply(kBadParam);
  if (tt == 22 && ff == 0) return reply(kBadParam);  // the cash payment name is fixed
  // An empty customer display type selects none: the stored type stays.
  if (tt == 9 && f[2].empty()) return reply(kOk);
  // Up to version 129 the password is fixed (the driver always sends the
  // default one to such a register): the table cannot be written.
  if (tt == 31 && st_.version <= 129) return reply(kBadParam);
  if (uint8_t c = validateTableValue(tt, f[2]); c != kOk) return reply(c);
  if (tt == 31)
    st_.password = f[2];
  else
    st_.tables[{tt, ff}] = f[2];
  return reply(kOk);
}

}  // namespace termina::sim
