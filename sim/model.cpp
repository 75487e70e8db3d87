#include "model.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sstream>

#include "codec.h"

namespace termina::sim {

namespace {

constexpr uint8_t kOk = 0x00, kBadStatus = 0x01, kBadFunction = 0x02, kBadParam = 0x03, kStalled = 0x05,
                  kBadPassword = 0x06, kShiftOver24h = 0x0A, kDateBeforeFiscal = 0x0C, kNegative = 0x0E,
                  kNoDisplay = 0x0F, kNoData = 0x40, kEejState = 0x42, kEejNoData = 0x48;

// Status bits.
constexpr uint8_t kNoInit = 0x01, kNonFiscal = 0x02, kShiftOpen = 0x04, kShiftLong = 0x08, kArchiveClosed = 0x10,
                  kEejNotActive = 0x20;
constexpr uint8_t kFatalNvr = 0x01, kFatalNotInstalled = 0x20;

constexpr uint32_t kNvrAddress = 0xF000;
constexpr uint16_t kNvrArea = 3;

Outcome reply(uint8_t result, std::vector<std::string> fields = {}) {
  Outcome o;
  o.result = result;
  o.fields = std::move(fields);
  return o;
}

std::string dec(long long v) { return std::to_string(v); }

bool allDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Decimal integer with an optional minus sign; false when anything else.
bool parseInt(const std::string& s, long long& out) {
  if (s.empty()) return false;
  size_t i = s[0] == '-' ? 1 : 0;
  if (!allDigits(s.substr(i)) || s.size() - i > 12) return false;
  out = std::strtoll(s.c_str(), nullptr, 10);
  return true;
}

// Fixed-point decimal text ("12.5000", "-3", "1.000") in units of 10^-scale,
// rounded half away from zero when it has more decimals.
bool parseFixed(const std::string& s, int scale, long long& out) {
  if (s.empty()) return false;
  size_t i = 0;
  bool neg = false;
  if (s[0] == '-' || s[0] == '+') {
    neg = s[0] == '-';
    i = 1;
  }
  std::string whole, frac;
  size_t dot = s.find('.', i);
  whole = s.substr(i, dot == std::string::npos ? std::string::npos : dot - i);
  if (dot != std::string::npos) frac = s.substr(dot + 1);
  if (whole.empty() && frac.empty()) return false;
  if (!whole.empty() && !allDigits(whole)) return false;
  if (!frac.empty() && !allDigits(frac)) return false;
  if (whole.size() > 12) return false;
  long long v = whole.empty() ? 0 : std::strtoll(whole.c_str(), nullptr, 10);
  for (int k = 0; k < scale; ++k) v = v * 10 + (k < static_cast<int>(frac.size()) ? frac[k] - '0' : 0);
  if (static_cast<int>(frac.size()) > scale && frac[scale] >= '5') ++v;
  out = neg ? -v : v;
  return true;
}

long long roundDiv(long long a, long long b) {  // half away from zero, b > 0
  return a >= 0 ? (a + b / 2) / b : -((-a + b / 2) / b);
}

// Money in ten-thousandths, shown in roubles with two decimals.
std::string money(int64_t units) {
  long long kop = roundDiv(units, 100);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%s%lld.%02lld", kop < 0 ? "-" : "", std::llabs(kop) / 100, std::llabs(kop) % 100);
  return buf;
}

size_t utf8Length(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

bool hasControl(const std::string& s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

// DDMMYY and HHMMSS to a civil time in seconds (UTC arithmetic, no zone).
bool parseDateTime(const std::string& d, const std::string& t, int64_t& out) {
  if (d.size() != 6 || t.size() != 6 || !allDigits(d) || !allDigits(t)) return false;
  std::tm tm{};
  tm.tm_mday = std::stoi(d.substr(0, 2));
  tm.tm_mon = std::stoi(d.substr(2, 2)) - 1;
  tm.tm_year = 100 + std::stoi(d.substr(4, 2));
  tm.tm_hour = std::stoi(t.substr(0, 2));
  tm.tm_min = std::stoi(t.substr(2, 2));
  tm.tm_sec = std::stoi(t.substr(4, 2));
  if (tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_hour > 23 || tm.tm_min > 59 ||
      tm.tm_sec > 59)
    return false;
  std::tm check = tm;
  time_t v = timegm(&check);
  if (check.tm_mday != tm.tm_mday || check.tm_mon != tm.tm_mon) return false;  // 31 April and the like
  out = static_cast<int64_t>(v);
  return true;
}

bool parseDate(const std::string& d, int64_t& out) { return parseDateTime(d, "000000", out); }

void splitCivil(int64_t secs, std::tm& tm) {
  time_t v = static_cast<time_t>(secs);
  gmtime_r(&v, &tm);
}

std::string fmtDate(int64_t secs) {
  std::tm tm{};
  splitCivil(secs, tm);
  char b[40];
  std::snprintf(b, sizeof b, "%02d%02d%02d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year % 100);
  return b;
}

std::string fmtTime(int64_t secs) {
  std::tm tm{};
  splitCivil(secs, tm);
  char b[40];
  std::snprintf(b, sizeof b, "%02d%02d%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  return b;
}

// Host local civil time in seconds.
int64_t hostCivilNow() {
  time_t now = time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return static_cast<int64_t>(timegm(&tm));
}

// Little-endian helpers for the NVR image.
void put(std::vector<uint8_t>& b, size_t at, uint64_t v, int size) {
  for (int i = 0; i < size; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
uint64_t get(const std::vector<uint8_t>& b, size_t at, int size) {
  uint64_t v = 0;
  for (int i = 0; i < size; ++i) v |= static_cast<uint64_t>(b[at + i]) << (8 * i);
  return v;
}
void putMoney(std::vector<uint8_t>& b, size_t at, int64_t v) { put(b, at, static_cast<uint64_t>(v), 8); }
int64_t getMoney(const std::vector<uint8_t>& b, size_t at) { return static_cast<int64_t>(get(b, at, 8)); }

std::string hexOf(const std::vector<uint8_t>& v) { return hexUpper(v); }
std::vector<uint8_t> unhex(const std::string& s) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < s.size(); i += 2) {
    auto b = parseHexByte(static_cast<uint8_t>(s[i]), static_cast<uint8_t>(s[i + 1]));
    if (!b) return {};
    out.push_back(*b);
  }
  return out;
}

}  // namespace

// ---- construction and switches -------------------------------------------

RegisterModel::RegisterModel(const Config& cfg) {
  st_.version = cfg.version;
  st_.password = cfg.password;
  st_.status = kNoInit | kNonFiscal | kEejNotActive;
  st_.fatal = 0;
  if (cfg.noFiscalModule) st_.fatal |= kFatalNotInstalled;
  st_.displayAttached = cfg.displayAttached;
  st_.inspectorPassword = cfg.inspectorPassword;
  reportMs_ = cfg.reportDurationMs;
  cancelResult_ = cfg.cancelResult;

  auto& t = st_.tables;
  t[{1, 0}] = "1";
  for (uint16_t n : {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13}) t[{n, 0}] = "0";
  for (uint16_t f = 0; f < 6; ++f) t[{12, f}] = "3";
  const char* header[4] = {"ТЕСТОВЫЙ МАГАЗИН", "КАССА 1", "", ""};
  for (uint16_t f = 0; f < 4; ++f) t[{20, f}] = header[f];
  t[{21, 0}] = "СПАСИБО ЗА ПОКУПКУ";
  t[{21, 1}] = "";
  const char* pay[3] = {"НАЛИЧНЫЕ", "БЕЗНАЛИЧНЫЕ", "ПЛАТЕЖНАЯ КАРТА"};
  for (uint16_t f = 0; f < 16; ++f) t[{22, f}] = f < 3 ? pay[f] : "";
  const char* taxName[6] = {"НДС 18%", "НДС 10%", "НДС 0%", "БЕЗ НДС", "", ""};
  const char* taxRate[6] = {"18.00", "10.00", "0.00", "0.00", "", ""};
  for (uint16_t f = 0; f < 6; ++f) {
    t[{23, f}] = taxName[f];
    t[{24, f}] = taxRate[f];
  }
  t[{25, 0}] = "";
  for (uint16_t f = 0; f <= 6; ++f) t[{26, f}] = "ОТДЕЛ " + std::to_string(f);
  t[{27, 0}] = "";
  t[{30, 0}] = "0";  // automatic payment at closing: on
  refreshNvr();
  if (cfg.nvrFault) setNvrFault(true);
  changed_ = false;
}

void RegisterModel::setVersion(uint16_t v) {
  st_.version = v;
  refreshNvr();
  changed_ = true;
}

void RegisterModel::setStatus(uint8_t fatal, uint8_t status, uint8_t doc) {
  bool nvrBefore = st_.fatal & kFatalNvr;
  st_.fatal = fatal;
  st_.status = status;
  st_.doc = doc;
  if ((fatal & kFatalNvr) && !nvrBefore) setNvrFault(true);
  if (!(fatal & kFatalNvr) && nvrBefore) refreshNvr();
  changed_ = true;
}

void RegisterModel::setNvrFault(bool on) {
  if (on) {
    refreshNvr();
    st_.fatal |= kFatalNvr;
    // spoil the stored checksum so that the image reads back as broken
    auto& area = mem_[kNvrArea];
    size_t last = kNvrAddress + nvrLength(st_.version) - 1;
    area[last] = static_cast<uint8_t>(area[last] ^ 0xA5);
  } else {
    st_.fatal &= static_cast<uint8_t>(~kFatalNvr);
    refreshNvr();
  }
  changed_ = true;
}

void RegisterModel::setFiscalModuleInstalled(bool on) {
  if (on) st_.fatal &= static_cast<uint8_t>(~kFatalNotInstalled);
  else st_.fatal |= kFatalNotInstalled;
  changed_ = true;
}

std::string RegisterModel::table(uint16_t t, uint16_t f) const {
  if (t == 31 && f == 0) return st_.password;
  auto it = st_.tables.find({t, f});
  return it == st_.tables.end() ? std::string() : it->second;
}

int64_t RegisterModel::nowSeconds() const { return hostCivilNow() + st_.clockOffsetSeconds; }

void RegisterModel::stamp(std::string& date, std::string& time) const {
  int64_t now = nowSeconds();
  date = fmtDate(now);
  time = fmtTime(now);
}

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
  return s;
}

bool RegisterModel::readyForDocuments(uint8_t& code) const {
  if (st_.fatal != 0 || (st_.status & kNoInit) || (st_.status & kArchiveClosed)) {
    code = kBadStatus;
    return false;
  }
  return true;
}

void RegisterModel::openShiftIfNeeded() {
  if (st_.status & kShiftOpen) return;
  st_.status |= kShiftOpen;
  std::tm tm{};
  splitCivil(nowSeconds(), tm);
  tot_.openDay = static_cast<uint8_t>(tm.tm_mday);
  tot_.openMonth = static_cast<uint8_t>(tm.tm_mon + 1);
  tot_.openYear = static_cast<uint16_t>(tm.tm_year + 1900);
  tot_.openHour = static_cast<uint8_t>(tm.tm_hour);
  tot_.openMinute = static_cast<uint8_t>(tm.tm_min);
  tot_.openSecond = static_cast<uint8_t>(tm.tm_sec);
}

// ---- dispatch --------------------------------------------------------------

Outcome RegisterModel::execute(const std::string& code, const std::vector<std::string>& f) {
  Outcome o;
  bool query = false;
  if (code == "A0") o = cmdStatus(f), query = true;
  else if (code == "A9") o = cmdPrinterStatus(f), query = true;
  else if (code == "A5") o = cmdQuery(f), query = true;
  else if (code == "A1") o = cmdReadConfig(f), query = true;
  else if (code == "A4") o = cmdEejStatus(f), query = true;
  else if (code == "A6") o = cmdRegNumber(f), query = true;
  else if (code == "A7") o = cmdClock(f), query = true;
  else if (code == "E1") o = cmdReadMemory(f), query = true;
  else if (code == "A2") o = cmdWriteConfigGuarded(f);
  else if (code == "00") o = cmdInit(f);
  else if (code == "A3") o = cmdSetDate(f);
  else if (code == "E0") o = cmdInstall(f);
  else if (code == "08") o = cmdRegister(f);
  else if (code == "20") o = cmdOpenReceipt(f);
  else if (code == "21") o = cmdPrintText(f);
  else if (code == "22") o = cmdCloseReceipt(f);
  else if (code == "23") o = cmdCancelReceipt(f);
  else if (code == "24") o = cmdBarcode(f);
  else if (code == "30") o = cmdArticle(f, false);
  else if (code == "31") o = cmdArticle(f, true);
  else if (code == "32") o = cmdAdjust(f, true);
  else if (code == "33") o = cmdAdjust(f, false);
  else if (code == "34") o = cmdSubtotal(f);
  else if (code == "35") o = cmdPayment(f);
  else if (code == "36") o = cmdCashInOut(f);
  else if (code == "60") o = cmdXReport(f);
  else if (code == "61") o = cmdZReport(f);
  else if (code == "62" || code == "63" || code == "64" || code == "66" || code == "67" || code == "69")
    o = cmdLongReport(code, f);
  else if (code == "65") o = cmdEejDocument(f);
  else if (code == "68") o = cmdEejActivateReport(f);
  else if (code == "09") o = cmdActivateEej(f);
  else if (code == "0A") o = cmdCloseArchive(f);
  else if (code == "80") o = cmdDrawer(f);
  else if (code == "81") o = cmdDisplay(f);
  else if (code == "E7") o = cmdWriteMemory(f);
  else if (code == "E2") o = cmdLogoHeader(f);
  else if (code == "E3") o = cmdClearLogo(f);
  else o = reply(kBadFunction);
  if (!query && o.result == kOk) {
    refreshNvr();
    changed_ = true;
  }
  if (o.kind == Outcome::LongReport) {
    st_.reportRunning = true;
    st_.lastReportCode = code;
  }
  return o;
}

// ---- status and queries ----------------------------------------------------

Outcome RegisterModel::cmdStatus(const std::vector<std::string>&) {
  return reply(kOk, {dec(st_.fatal), dec(statusByte()), dec(st_.doc)});
}

Outcome RegisterModel::cmdPrinterStatus(const std::vector<std::string>&) {
  if (st_.version != 201) return reply(kBadFunction);
  return reply(kOk, {dec(st_.printer)});
}

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

Outcome RegisterModel::cmdEejStatus(const std::vector<std::string>& f) {
  const bool active = !(st_.status & kEejNotActive);
  if (f.empty() || f[0].empty()) return reply(active ? kOk : kEejState);
  if (f[0] == "2") {
    if (!active || st_.eejActivationData.empty()) return reply(kNoData);
    return reply(kOk, {st_.eejActivationData});
  }
  return reply(kBadParam);
}

// ---- service ---------------------------------------------------------------

Outcome RegisterModel::cmdInit(const std::vector<std::string>& f) {
  int64_t t;
  if (f.size() < 2 || !parseDateTime(f[0], f[1], t)) return reply(kBadParam);
  st_.clockOffsetSeconds = t - hostCivilNow();
  st_.status &= static_cast<uint8_t>(~kNoInit);
  return reply(kOk);
}

Outcome RegisterModel::cmdSetDate(const std::vector<std::string>& f) {
  int64_t t;
  if (f.size() < 2 || !parseDateTime(f[0], f[1], t)) return reply(kBadParam);
  if (st_.status & kShiftOpen) return reply(kBadStatus);
  int64_t last;
  if (!st_.lastFiscalDate.empty() && parseDateTime(st_.lastFiscalDate, st_.lastFiscalTime, last) && t < last)
    return reply(kDateBeforeFiscal);
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
  if ((st_.fatal & kFatalNotInstalled) || (st_.status & kNoInit) || (st_.status & kShiftOpen))
    return reply(kBadStatus);
  if (f[0] != st_.inspectorPassword) return reply(kBadPassword);
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
    case 1: case 2: case 3: case 4: case 5: case 6: case 27:
      return f == 0;
    case 7: case 8: case 9: case 10: case 11:
      return v >= 121 && f == 0;
    case 13: case 25: case 30:
      return v >= 125 && f == 0;
    case 12: case 23: case 24:
      return f <= 5;
    case 20:
      return f <= 3;
    case 21:
      return f <= 1;
    case 22:
      return f <= 15;
    case 26:
      return v >= 201 ? (f >= 1 && f <= 6) : f <= 5;
    case 31:
      return f == 0;
    default:
      return false;
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
    case 2: case 3: case 4: case 5: case 6: case 8: case 10: case 11: case 30: return flag();
    case 7: case 12: return range(0, 255);
    case 9: return range(0, 1);
    case 13: return range(0, 2);
    case 22: return text(18);
    case 31: return (!v.empty() && utf8Length(v) <= 59 && !hasControl(v)) ? kOk : kBadParam;
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

// What a register does before it stores a table value: settings are not
// changed while a shift is open (01; only the data-exchange password may
// change at any time), and an empty customer display type selects no type,
// so the stored one stays as it was.
Outcome RegisterModel::cmdWriteConfigGuarded(const std::vector<std::string>& f) {
  long long t, fl;
  if (f.size() >= 3 && parseInt(f[0], t) && parseInt(f[1], fl)) {
    if ((st_.status & kShiftOpen) && t != 31) return reply(kBadStatus);
    if (t == 9 && fl == 0 && f[2].empty() && tableAvailable(9, 0)) return reply(kOk);
  }
  return cmdWriteConfig(f);
}

Outcome RegisterModel::cmdWriteConfig(const std::vector<std::string>& f) {
  long long t, fl;
  if (f.size() < 3 || !parseInt(f[0], t) || !parseInt(f[1], fl) || t < 0 || fl < 0 || t > 65535 || fl > 65535)
    return reply(kBadParam);
  const auto tt = static_cast<uint16_t>(t), ff = static_cast<uint16_t>(fl);
  if (!tableAvailable(tt, ff)) return reply(kBadParam);
  if (tt == 22 && ff == 0) return reply(kBadParam);  // the cash payment name is fixed
  if (uint8_t c = validateTableValue(tt, f[2]); c != kOk) return reply(c);
  if (tt == 31) st_.password = f[2];
  else st_.tables[{tt, ff}] = f[2];
  return reply(kOk);
}

// ---- receipts --------------------------------------------------------------

Outcome RegisterModel::cmdOpenReceipt(const std::vector<std::string>& f) {
  uint8_t code;
  if (!readyForDocuments(code)) return reply(code);
  if (st_.doc >> 4) return reply(kBadStatus);
  long long a, b, c;
  if (f.size() < 4 || !parseInt(f[0], a) || !parseInt(f[1], b) || !parseInt(f[3], c) || a < 1 || a > 15)
    return reply(kBadParam);
  if (statusByte() & kShiftLong) return reply(kShiftOver24h);
  openShiftIfNeeded();
  docType_ = static_cast<int>(a);
  st_.doc = static_cast<uint8_t>((1 << 4) | (a & 0x0F));
  st_.receiptTotal = 0;
  st_.receiptPaid = 0;
  std::fill(std::begin(receiptPaid_), std::end(receiptPaid_), 0);
  std::fill(std::begin(receiptDept_), std::end(receiptDept_), 0);
  receiptDiscount_ = receiptMarkup_ = 0;
  st_.receiptLines.clear();
  st_.receiptLines.push_back(std::string(a == 3 ? "ВОЗВРАТ" : "ПРОДАЖА") + " КАССИР " + f[2]);
  return reply(kOk);
}

Outcome RegisterModel::cmdPrintText(const std::vector<std::string>& f) {
  if (st_.status & kNoInit) return reply(kBadStatus);
  if (f.empty() || utf8Length(f[0]) > 40) return reply(kBadParam);
  st_.receiptLines.push_back(f[0]);
  return reply(kOk);
}

Outcome RegisterModel::cmdBarcode(const std::vector<std::string>& f) {
  if (st_.status & kNoInit) return reply(kBadStatus);
  long long n;
  if (f.size() < 5 || f[4].empty()) return reply(kBadParam);
  for (int i = 0; i < 4; ++i)
    if (!parseInt(f[i], n) || n < 0) return reply(kBadParam);
  st_.receiptLines.push_back("ШТРИХКОД " + f[4]);
  return reply(kOk);
}

Outcome RegisterModel::cmdArticle(const std::vector<std::string>& f, bool storno) {
  const int stage = st_.doc >> 4;
  if (stage != 1) return reply(kBadStatus);
  long long qty, price, n;
  if (f.size() < 5 || !parseFixed(f[2], 3, qty) || !parseFixed(f[3], 4, price) || !parseInt(f[4], n) || qty <= 0 ||
      price < 0 || utf8Length(f[0]) > 40)
    return reply(kBadParam);
  // amount to the kopeck: quantity (10^-3) times price (10^-4) gives 10^-7
  long long amount = roundDiv(qty * price, 1000 * 100) * 100;
  int dept = (n >= 1 && n <= 6) ? static_cast<int>(n) - 1 : -1;
  if (storno) {
    if (amount > st_.receiptTotal || (dept >= 0 && amount > receiptDept_[dept])) return reply(kNegative);
    st_.receiptTotal -= amount;
    if (dept >= 0) receiptDept_[dept] -= amount;
    st_.receiptLines.push_back("СТОРНО " + f[0] + " " + f[2] + " X " + f[3] + " = " + money(amount));
  } else {
    st_.receiptTotal += amount;
    if (dept >= 0) receiptDept_[dept] += amount;
    st_.receiptLines.push_back(f[0] + " " + f[2] + " X " + f[3] + " = " + money(amount));
  }
  return reply(kOk, {money(st_.receiptTotal)});
}

Outcome RegisterModel::cmdAdjust(const std::vector<std::string>& f, bool discount) {
  const int stage = st_.doc >> 4;
  if (stage != 1 && stage != 2) return reply(kBadStatus);
  if (f.size() < 3 || (f[0] != "%" && f[0] != "S")) return reply(kBadParam);
  long long value;
  if (!parseFixed(f[2], 4, value) || value <= 0) return reply(kBadParam);
  long long amount;
  if (f[0] == "%") {
    if (value > 100 * 10000LL) return reply(kBadParam);
    amount = roundDiv(st_.receiptTotal * value, 100LL * 10000 * 100) * 100;
  } else {
    amount = value;
  }
  if (discount) {
    if (amount > st_.receiptTotal) return reply(kNegative);
    st_.receiptTotal -= amount;
    receiptDiscount_ += amount;
  } else {
    st_.receiptTotal += amount;
    receiptMarkup_ += amount;
  }
  st_.receiptLines.push_back(std::string(discount ? "СКИДКА " : "НАЦЕНКА ") + f[1] + " " + money(amount));
  return reply(kOk, {money(st_.receiptTotal)});
}

Outcome RegisterModel::cmdSubtotal(const std::vector<std::string>&) {
  const int stage = st_.doc >> 4;
  if (stage != 1 && stage != 2) return reply(kBadStatus);
  st_.doc = static_cast<uint8_t>((2 << 4) | (st_.doc & 0x0F));
  st_.receiptLines.push_back("ПОДИТОГ " + money(st_.receiptTotal));
  return reply(kOk, {money(st_.receiptTotal)});
}

Outcome RegisterModel::cmdPayment(const std::vector<std::string>& f) {
  const int stage = st_.doc >> 4;
  if (stage < 1 || stage > 3) return reply(kBadStatus);
  long long type, sum;
  if (f.size() < 2 || !parseInt(f[0], type) || type < 0 || type > 15 || !parseFixed(f[1], 4, sum) || sum <= 0)
    return reply(kBadParam);
  const int64_t due = st_.receiptTotal - st_.receiptPaid;
  if (type != 0 && sum > due) return reply(kBadParam);  // only cash may exceed what is due
  receiptPaid_[type] += sum;
  st_.receiptPaid += sum;
  st_.doc = static_cast<uint8_t>((3 << 4) | (st_.doc & 0x0F));
  const int64_t left = st_.receiptTotal - st_.receiptPaid;
  st_.receiptLines.push_back(table(22, static_cast<uint16_t>(type)) + " " + money(sum));
  return reply(kOk, {money(left > 0 ? left : 0), money(left < 0 ? -left : 0)});
}

Outcome RegisterModel::cmdCloseReceipt(const std::vector<std::string>&) {
  if ((st_.doc >> 4) == 0) return reply(kBadStatus);
  int64_t paid[16];
  std::copy(std::begin(receiptPaid_), std::end(receiptPaid_), paid);
  if (st_.receiptPaid < st_.receiptTotal) {
    if (table(30, 0) != "0" && st_.version >= 125) return reply(kBadStatus);  // nothing pays the rest
    paid[0] += st_.receiptTotal - st_.receiptPaid;  // automatic payment in cash
  } else {
    paid[0] -= st_.receiptPaid - st_.receiptTotal;  // change is given in cash
  }
  const bool isReturn = docType_ == 3;
  if (isReturn && paid[0] > tot_.cash) return reply(kNegative);
  std::copy(std::begin(paid), std::end(paid), receiptPaid_);
  st_.receiptPaid = st_.receiptTotal;
  for (int i = 0; i < 16; ++i) (isReturn ? tot_.returns : tot_.sales)[i] += receiptPaid_[i];
  for (int i = 0; i < 6; ++i) (isReturn ? tot_.deptReturns : tot_.deptSales)[i] += receiptDept_[i];
  (isReturn ? tot_.taxReturns : tot_.taxSales)[0] += st_.receiptTotal;
  (isReturn ? tot_.discReturns : tot_.discSales) += receiptDiscount_;
  (isReturn ? tot_.markupReturns : tot_.markupSales) += receiptMarkup_;
  tot_.cash += isReturn ? -receiptPaid_[0] : receiptPaid_[0];
  ++tot_.receipt;
  ++tot_.document;
  st_.receiptLines.push_back("ИТОГ " + money(st_.receiptTotal));
  st_.doc = 0;
  return reply(kOk);
}

Outcome RegisterModel::cmdCancelReceipt(const std::vector<std::string>&) {
  if ((st_.doc >> 4) == 0) return reply(kBadStatus);
  tot_.annulled += st_.receiptTotal;
  ++tot_.document;
  st_.receiptLines.push_back("ЧЕК АННУЛИРОВАН");
  st_.doc = 0;
  st_.receiptTotal = st_.receiptPaid = 0;
  return reply(kOk);
}

Outcome RegisterModel::cmdCashInOut(const std::vector<std::string>& f) {
  uint8_t code;
  if (!readyForDocuments(code)) return reply(code);
  if (st_.doc >> 4) return reply(kBadStatus);
  long long sum;
  if (f.size() < 2 || !parseFixed(f[1], 4, sum) || sum == 0) return reply(kBadParam);
  if (sum < 0 && -sum > tot_.cash) return reply(kNegative);
  if (statusByte() & kShiftLong) return reply(kShiftOver24h);
  openShiftIfNeeded();
  if (sum > 0) tot_.paidIn += sum;
  else tot_.paidOut += -sum;
  tot_.cash += sum;
  ++tot_.document;
  st_.receiptLines = {std::string(sum > 0 ? "ВНЕСЕНИЕ " : "ВЫПЛАТА ") + f[0] + " " + money(sum < 0 ? -sum : sum)};
  return reply(kOk, {money(tot_.cash)});
}

// ---- shift reports ---------------------------------------------------------

Outcome RegisterModel::cmdXReport(const std::vector<std::string>&) {
  uint8_t code;
  if (!readyForDocuments(code)) return reply(code);
  if (st_.doc >> 4) return reply(kBadStatus);
  ++tot_.document;
  return reply(kOk);
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
  return reply(kOk);
}

Outcome RegisterModel::cmdLongReport(const std::string& code, const std::vector<std::string>& f) {
  uint8_t c;
  if (!readyForDocuments(c)) return reply(c);
  if (st_.doc >> 4) return reply(kBadStatus);
  long long a, b, type;
  int64_t d1, d2;
  const bool eejActive = !(st_.status & kEejNotActive);
  if (code == "62" || code == "63") {
    if (f.size() < 4 || !parseInt(f[0], type) || type < 0 || type > 1) return reply(kBadParam);
    if (code == "62") {
      if (!parseInt(f[1], a) || !parseInt(f[2], b) || a < 1 || b < a) return reply(kBadParam);
    } else if (!parseDate(f[1], d1) || !parseDate(f[2], d2) || d2 < d1) {
      return reply(kBadParam);
    }
    if (st_.status & kNonFiscal) return reply(kBadStatus);
    if (f[3] != st_.inspectorPassword) return reply(kBadPassword);
  } else if (code == "66" || code == "67") {
    if (f.size() < 3 || !parseInt(f[0], type) || type < 0 || type > 1) return reply(kBadParam);
    if (code == "66") {
      if (!parseInt(f[1], a) || !parseInt(f[2], b) || a < 1 || b < a) return reply(kBadParam);
    } else if (!parseDate(f[1], d1) || !parseDate(f[2], d2) || d2 < d1) {
      return reply(kBadParam);
    }
    if (!eejActive) return reply(kEejState);
  } else {  // 64, 69: one shift of the EEJ
    if (f.empty() || !parseInt(f[0], a) || a < 1) return reply(kBadParam);
    if (!eejActive) return reply(kEejState);
    if (a > static_cast<long long>(tot_.shift)) return reply(kEejNoData);
  }
  Outcome o;
  o.kind = Outcome::LongReport;
  o.reportMs = reportMs_;
  return o;
}

Outcome RegisterModel::finishReport(bool cancelled) {
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
  if ((st_.status & kNoInit) || (st_.status & kShiftOpen) || (st_.fatal & kFatalNotInstalled))
    return reply(kBadStatus);
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
  std::snprintf(num, sizeof num, "%010llu", (seed * 7919ULL + static_cast<unsigned long long>(eejCount_)) % 10000000000ULL);
  st_.eejRegNumber = num;
  std::string d, t;
  stamp(d, t);
  st_.eejActivationData = d + " " + t + " " + num;
  st_.status &= static_cast<uint8_t>(~(kEejNotActive | kArchiveClosed));
}

void RegisterModel::setReady() {
  st_.fatal = 0;
  st_.status &= static_cast<uint8_t>(~(kNoInit | kNonFiscal));
  if (st_.registrationNumber.empty()) st_.registrationNumber = "000000000001";
  if (st_.inn.empty()) st_.inn = "000000000000";
  if (st_.lastFiscalDate.empty()) stamp(st_.lastFiscalDate, st_.lastFiscalTime);
  if ((st_.status & kEejNotActive) || (st_.status & kArchiveClosed)) activateEejUnit();
  refreshNvr();
  changed_ = true;
}

Outcome RegisterModel::cmdCloseArchive(const std::vector<std::string>&) {
  if ((st_.status & kNoInit) || (st_.status & kShiftOpen)) return reply(kBadStatus);
  if ((st_.status & kEejNotActive) || (st_.status & kArchiveClosed)) return reply(kEejState);
  st_.status |= kArchiveClosed;
  return reply(kOk);
}

// ---- devices ---------------------------------------------------------------

Outcome RegisterModel::cmdDrawer(const std::vector<std::string>&) {
  ++st_.drawerOpenCount;
  return reply(kOk);
}

Outcome RegisterModel::cmdDisplay(const std::vector<std::string>& f) {
  if (!st_.displayAttached) return reply(kNoDisplay);
  std::vector<std::string> lines;
  for (size_t i = 0; i < 2; ++i) lines.push_back(i < f.size() ? f[i] : "");
  for (auto& l : lines)
    if (utf8Length(l) > 20) return reply(kBadParam);
  st_.displayLines = lines;
  return reply(kOk);
}

// ---- memory ----------------------------------------------------------------

std::vector<uint8_t> RegisterModel::memory(uint16_t area, uint32_t address, size_t count) const {
  std::vector<uint8_t> out(count, 0);
  auto it = mem_.find(area);
  if (it == mem_.end()) return out;
  for (size_t i = 0; i < count && address + i < it->second.size(); ++i) out[i] = it->second[address + i];
  return out;
}

void RegisterModel::setMemory(uint16_t area, uint32_t address, const std::vector<uint8_t>& bytes) {
  auto& a = mem_[area];
  if (a.size() < 0x10000) a.resize(0x10000, 0);
  for (size_t i = 0; i < bytes.size() && address + i < a.size(); ++i) a[address + i] = bytes[i];
  if (area == kNvrArea) checkWrittenNvr();
  changed_ = true;
}

Outcome RegisterModel::cmdReadMemory(const std::vector<std::string>& f) {
  long long area, addr, count;
  if (f.size() < 3 || !parseInt(f[0], area) || !parseInt(f[1], addr) || !parseInt(f[2], count)) return reply(kBadParam);
  if (area < 0 || area > 15 || addr < 0 || count < 1 || count > 32 || addr + count > 0x10000) return reply(kBadParam);
  std::vector<uint8_t> bytes = memory(static_cast<uint16_t>(area), static_cast<uint32_t>(addr), static_cast<size_t>(count));
  if (truncatedMem_) bytes.resize(bytes.size() / 2);
  std::string hex = hexUpper(bytes);
  if (lowerMem_)
    for (char& ch : hex) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return reply(kOk, {hex});
}

Outcome RegisterModel::cmdWriteMemory(const std::vector<std::string>& f) {
  long long area, addr, count;
  if (f.size() < 4 || !parseInt(f[0], area) || !parseInt(f[1], addr) || !parseInt(f[2], count)) return reply(kBadParam);
  if (area < 0 || area > 15 || addr < 0 || count < 1 || count > 32 || addr + count > 0x10000) return reply(kBadParam);
  if (f[3].size() != static_cast<size_t>(count) * 2) return reply(kBadParam);
  std::vector<uint8_t> bytes = unhex(f[3]);
  if (bytes.size() != static_cast<size_t>(count)) return reply(kBadParam);
  setMemory(static_cast<uint16_t>(area), static_cast<uint32_t>(addr), bytes);
  return reply(kOk);
}

size_t RegisterModel::nvrLength(uint16_t version) {
  if (version == 201 || version == 301) return 659;
  if (version >= 125 && version <= 200) return 563;
  return 425;
}

uint8_t RegisterModel::nvrChecksum(const std::vector<uint8_t>& image) {
  unsigned sum = 0x35;
  for (size_t i = 0; i + 1 < image.size(); ++i) sum += image[i];
  return static_cast<uint8_t>(sum & 0xFF);
}

std::vector<uint8_t> RegisterModel::buildNvrImage(const Totals& t, uint16_t version) {
  const size_t len = nvrLength(version);
  const bool shortV = len == 425;
  std::vector<uint8_t> b(len, 0);
  put(b, 19, t.shift & 0xFFFF, 2);
  put(b, 21, t.document, 4);
  put(b, 25, t.report, 4);
  put(b, 29, t.receipt, 4);
  putMoney(b, 33, t.cash);
  for (size_t at : {size_t{41}, size_t{48}}) {
    b[at] = t.openDay;
    b[at + 1] = t.openMonth;
    put(b, at + 2, t.openYear, 2);
    if (at == 48) {
      b[at + 4] = t.openHour;
      b[at + 5] = t.openMinute;
      b[at + 6] = t.openSecond;
    }
  }
  putMoney(b, 55, t.carried);
  b[64] = 0x80;
  int64_t sumSales = 0, sumReturns = 0;
  for (int i = 0; i < 16; ++i) {
    sumSales += t.sales[i];
    sumReturns += t.returns[i];
  }
  put(b, 65, sumSales > 0 ? 1 : 0, 2);
  put(b, 67, sumReturns > 0 ? 1 : 0, 2);
  const size_t flags = shortV ? 75 : 77;
  for (int i = 0; i < 16; ++i) {
    put(b, flags + 2 * i, t.sales[i] > 50 ? 1 : 0, 2);  // above 0.005
    put(b, flags + 32 + 2 * i, t.returns[i] > 50 ? 1 : 0, 2);
  }
  put(b, flags + 64, t.paidIn > 0 ? 1 : 0, 2);
  put(b, flags + 66, t.paidOut > 0 ? 1 : 0, 2);
  const size_t money0 = flags + 68;
  for (int i = 0; i < 16; ++i) {
    putMoney(b, money0 + 8 * i, t.sales[i]);
    putMoney(b, money0 + 128 + 8 * i, t.returns[i]);
  }
  size_t at = money0 + 256;
  putMoney(b, at, t.annulled);
  at += 8;
  if (!shortV) {
    putMoney(b, at, t.deferred);
    at += 8;
  }
  putMoney(b, at, t.paidIn);
  putMoney(b, at + 8, t.paidOut);
  at += 16;
  if (!shortV) {
    for (int64_t v : {t.discSales, t.markupSales, t.discReturns, t.markupReturns}) {
      putMoney(b, at, v);
      at += 8;
    }
    for (int i = 0; i < 6; ++i) putMoney(b, at + 8 * i, t.taxSales[i]);
    for (int i = 0; i < 6; ++i) putMoney(b, at + 48 + 8 * i, t.taxReturns[i]);
    at += 96;
    if (len == 659) {
      for (int i = 0; i < 6; ++i) putMoney(b, at + 8 * i, t.deptSales[i]);
      for (int i = 0; i < 6; ++i) putMoney(b, at + 48 + 8 * i, t.deptReturns[i]);
      at += 96;
    }
  }
  b[len - 2] = 0x55;
  b[len - 1] = nvrChecksum(b);
  return b;
}

Totals RegisterModel::parseNvrImage(const std::vector<uint8_t>& b, uint16_t version) {
  Totals t;
  const size_t len = nvrLength(version);
  if (b.size() < len) return t;
  const bool shortV = len == 425;
  t.shift = static_cast<uint32_t>(get(b, 19, 2));
  t.document = static_cast<uint32_t>(get(b, 21, 4));
  t.report = static_cast<uint32_t>(get(b, 25, 4));
  t.receipt = static_cast<uint32_t>(get(b, 29, 4));
  t.cash = getMoney(b, 33);
  t.openDay = b[48];
  t.openMonth = b[49];
  t.openYear = static_cast<uint16_t>(get(b, 50, 2));
  t.openHour = b[52];
  t.openMinute = b[53];
  t.openSecond = b[54];
  t.carried = getMoney(b, 55);
  const size_t money0 = (shortV ? 75 : 77) + 68;
  for (int i = 0; i < 16; ++i) {
    t.sales[i] = getMoney(b, money0 + 8 * i);
    t.returns[i] = getMoney(b, money0 + 128 + 8 * i);
  }
  size_t at = money0 + 256;
  t.annulled = getMoney(b, at);
  at += 8;
  if (!shortV) {
    t.deferred = getMoney(b, at);
    at += 8;
  }
  t.paidIn = getMoney(b, at);
  t.paidOut = getMoney(b, at + 8);
  at += 16;
  if (!shortV) {
    t.discSales = getMoney(b, at);
    t.markupSales = getMoney(b, at + 8);
    t.discReturns = getMoney(b, at + 16);
    t.markupReturns = getMoney(b, at + 24);
    at += 32;
    for (int i = 0; i < 6; ++i) t.taxSales[i] = getMoney(b, at + 8 * i);
    for (int i = 0; i < 6; ++i) t.taxReturns[i] = getMoney(b, at + 48 + 8 * i);
    at += 96;
    if (len == 659) {
      for (int i = 0; i < 6; ++i) t.deptSales[i] = getMoney(b, at + 8 * i);
      for (int i = 0; i < 6; ++i) t.deptReturns[i] = getMoney(b, at + 48 + 8 * i);
    }
  }
  return t;
}

std::vector<uint8_t> RegisterModel::nvrImage() const {
  return memory(kNvrArea, kNvrAddress, nvrLength(st_.version));
}

void RegisterModel::refreshNvr() {
  if (st_.fatal & kFatalNvr) return;  // a broken image stays as it is until rewritten
  auto image = buildNvrImage(tot_, st_.version);
  auto& a = mem_[kNvrArea];
  if (a.size() < 0x10000) a.resize(0x10000, 0);
  std::copy(image.begin(), image.end(), a.begin() + kNvrAddress);
}

void RegisterModel::checkWrittenNvr() {
  auto image = nvrImage();
  if (image.size() < 2 || image[image.size() - 2] != 0x55 || image.back() != nvrChecksum(image)) return;
  // A consistent image: the register takes its totals from it.  Numbers that
  // the image holds only in part (the shift number's low 16 bits) are widened.
  Totals t = parseNvrImage(image, st_.version);
  if ((tot_.shift & 0xFFFF0000u) != 0) t.shift |= tot_.shift & 0xFFFF0000u;
  if (t.shift == 0) t.shift = 1;
  tot_ = t;
  st_.fatal &= static_cast<uint8_t>(~kFatalNvr);
}

// ---- logo ------------------------------------------------------------------

Outcome RegisterModel::cmdLogoHeader(const std::vector<std::string>& f) {
  long long n;
  if (f.empty() || !parseInt(f[0], n) || n < 2 || n > 65537) return reply(kBadParam);
  if (st_.doc >> 4) return reply(kBadStatus);
  Outcome o;
  o.kind = Outcome::LogoHeader;
  o.logoLength = static_cast<size_t>(n);
  return o;
}

Outcome RegisterModel::finishLogo(const std::vector<uint8_t>& stream, bool complete) {
  if (!complete) return reply(kStalled);
  if (stream.empty() || stream[0] != 0x1B) return reply(kBadParam);
  st_.logo = stream;
  changed_ = true;
  return reply(kOk);
}

Outcome RegisterModel::cmdClearLogo(const std::vector<std::string>&) {
  st_.logo.clear();
  return reply(kOk);
}

// ---- persistence -----------------------------------------------------------

namespace {

std::string escape(const std::string& s) {
  std::string o;
  for (unsigned char c : s) {
    if (c == '\\') o += "\\\\";
    else if (c == '\n') o += "\\n";
    else if (c < 0x20) {
      char b[8];
      std::snprintf(b, sizeof b, "\\x%02X", c);
      o += b;
    } else o.push_back(static_cast<char>(c));
  }
  return o;
}

std::string unescape(const std::string& s) {
  std::string o;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 >= s.size()) {
      o.push_back(s[i]);
      continue;
    }
    char n = s[++i];
    if (n == 'n') o.push_back('\n');
    else if (n == 'x' && i + 2 < s.size() + 0) {
      auto b = parseHexByte(static_cast<uint8_t>(s[i + 1]), static_cast<uint8_t>(s[i + 2]));
      if (b) o.push_back(static_cast<char>(*b));
      i += 2;
    } else o.push_back(n);
  }
  return o;
}

}  // namespace

std::string RegisterModel::serialize() const {
  std::ostringstream o;
  o << "termina-sim-state 1\n";
  auto kv = [&](const std::string& k, const std::string& v) { o << k << '=' << escape(v) << '\n'; };
  auto num = [&](const std::string& k, long long v) { o << k << '=' << v << '\n'; };
  num("version", st_.version);
  kv("password", st_.password);
  num("fatal", st_.fatal);
  num("status", st_.status);
  num("doc", st_.doc);
  num("printer", st_.printer);
  for (auto& [k, v] : st_.tables) kv("table." + dec(k.first) + "." + dec(k.second), v);
  num("lastClosedShift", st_.lastClosedShift);
  kv("serial", st_.serialNumber);
  kv("regnum", st_.registrationNumber);
  kv("inn", st_.inn);
  kv("inspector", st_.inspectorPassword);
  kv("lastFiscalDate", st_.lastFiscalDate);
  kv("lastFiscalTime", st_.lastFiscalTime);
  kv("eejRegNumber", st_.eejRegNumber);
  kv("eejActivationData", st_.eejActivationData);
  num("eejCount", eejCount_);
  num("clockOffset", st_.clockOffsetSeconds);
  num("display", st_.displayAttached ? 1 : 0);
  for (size_t i = 0; i < st_.displayLines.size(); ++i) kv("displayLine." + dec(static_cast<long long>(i)), st_.displayLines[i]);
  num("drawer", st_.drawerOpenCount);
  kv("logo", hexOf(st_.logo));
  // open receipt
  num("receiptTotal", st_.receiptTotal);
  num("receiptPaid", st_.receiptPaid);
  num("docType", docType_);
  num("receiptDiscount", receiptDiscount_);
  num("receiptMarkup", receiptMarkup_);
  for (int i = 0; i < 16; ++i) num("receiptPay." + dec(i), receiptPaid_[i]);
  for (int i = 0; i < 6; ++i) num("receiptDept." + dec(i), receiptDept_[i]);
  for (auto& l : st_.receiptLines) kv("line", l);
  for (auto& [s, d] : fmShifts_) kv("fmShift." + dec(s), d);
  // totals, through the longest image layout
  Totals t = tot_;
  kv("totals", hexOf(buildNvrImage(t, 201)));
  num("shiftFull", tot_.shift);
  // memory: the non-zero runs
  for (auto& [area, bytes] : mem_) {
    size_t i = 0;
    while (i < bytes.size()) {
      if (bytes[i] == 0) {
        ++i;
        continue;
      }
      size_t j = i;
      while (j < bytes.size() && (bytes[j] != 0 || (j + 1 < bytes.size() && bytes[j + 1] != 0))) ++j;
      kv("mem." + dec(area) + "." + dec(static_cast<long long>(i)),
         hexOf(std::vector<uint8_t>(bytes.begin() + static_cast<long>(i), bytes.begin() + static_cast<long>(j))));
      i = j;
    }
  }
  return o.str();
}

bool RegisterModel::deserialize(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != "termina-sim-state 1") return false;
  RegisterState s = st_;
  s.receiptLines.clear();
  s.displayLines.clear();
  Totals t;
  uint32_t shiftFull = 0;
  std::map<uint16_t, std::vector<uint8_t>> mem;
  std::vector<std::pair<uint32_t, std::string>> fm;
  int docType = 0;
  long long eejCount = 0;
  int64_t rDisc = 0, rMark = 0, rPay[16] = {}, rDept[6] = {};
  try {
    while (std::getline(in, line)) {
      size_t eq = line.find('=');
      if (eq == std::string::npos) continue;
      std::string k = line.substr(0, eq), v = unescape(line.substr(eq + 1));
      auto n = [&] { return std::stoll(v); };
      auto part = [&](int idx) {
        size_t p = 0;
        for (int i = 0; i < idx; ++i) p = k.find('.', p) + 1;
        return std::stoll(k.substr(p));
      };
      if (k == "version") s.version = static_cast<uint16_t>(n());
      else if (k == "password") s.password = v;
      else if (k == "fatal") s.fatal = static_cast<uint8_t>(n());
      else if (k == "status") s.status = static_cast<uint8_t>(n());
      else if (k == "doc") s.doc = static_cast<uint8_t>(n());
      else if (k == "printer") s.printer = static_cast<uint8_t>(n());
      else if (k.rfind("table.", 0) == 0) s.tables[{static_cast<uint16_t>(part(1)), static_cast<uint16_t>(part(2))}] = v;
      else if (k == "lastClosedShift") s.lastClosedShift = static_cast<uint32_t>(n());
      else if (k == "serial") s.serialNumber = v;
      else if (k == "regnum") s.registrationNumber = v;
      else if (k == "inn") s.inn = v;
      else if (k == "inspector") s.inspectorPassword = v;
      else if (k == "lastFiscalDate") s.lastFiscalDate = v;
      else if (k == "lastFiscalTime") s.lastFiscalTime = v;
      else if (k == "eejRegNumber") s.eejRegNumber = v;
      else if (k == "eejActivationData") s.eejActivationData = v;
      else if (k == "eejCount") eejCount = n();
      else if (k == "clockOffset") s.clockOffsetSeconds = n();
      else if (k == "display") s.displayAttached = n() != 0;
      else if (k.rfind("displayLine.", 0) == 0) s.displayLines.push_back(v);
      else if (k == "drawer") s.drawerOpenCount = static_cast<int>(n());
      else if (k == "logo") s.logo = unhex(v);
      else if (k == "receiptTotal") s.receiptTotal = n();
      else if (k == "receiptPaid") s.receiptPaid = n();
      else if (k == "docType") docType = static_cast<int>(n());
      else if (k == "receiptDiscount") rDisc = n();
      else if (k == "receiptMarkup") rMark = n();
      else if (k.rfind("receiptPay.", 0) == 0) rPay[std::clamp<long long>(part(1), 0, 15)] = n();
      else if (k.rfind("receiptDept.", 0) == 0) rDept[std::clamp<long long>(part(1), 0, 5)] = n();
      else if (k == "line") s.receiptLines.push_back(v);
      else if (k.rfind("fmShift.", 0) == 0) fm.push_back({static_cast<uint32_t>(part(1)), v});
      else if (k == "totals") t = parseNvrImage(unhex(v), 201);
      else if (k == "shiftFull") shiftFull = static_cast<uint32_t>(n());
      else if (k.rfind("mem.", 0) == 0) {
        auto area = static_cast<uint16_t>(part(1));
        auto at = static_cast<size_t>(part(2));
        auto bytes = unhex(v);
        auto& a = mem[area];
        a.resize(0x10000, 0);
        for (size_t i = 0; i < bytes.size() && at + i < a.size(); ++i) a[at + i] = bytes[i];
      }
    }
  } catch (const std::exception&) {
    return false;
  }
  if (shiftFull) t.shift = shiftFull;
  st_ = s;
  st_.status |= kNoInit;  // a restart is a power-on: command 00 is due again
  st_.reportRunning = false;
  tot_ = t;
  mem_ = std::move(mem);
  fmShifts_ = std::move(fm);
  docType_ = docType;
  eejCount_ = eejCount;
  receiptDiscount_ = rDisc;
  receiptMarkup_ = rMark;
  std::copy(std::begin(rPay), std::end(rPay), receiptPaid_);
  std::copy(std::begin(rDept), std::end(rDept), receiptDept_);
  refreshNvr();
  changed_ = false;
  return true;
}

}  // namespace termina::sim
