// SPDX-License-Identifier: GPL-3.0-or-later
// The register model: construction, the switches tests and the program use,
// and the register clock.  The commands are in model_<family>.cpp.
#include "model.h"

#include "model_support.h"

namespace termina::sim {

using namespace detail;

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
  shiftReportMs_ = cfg.shiftReportMs;
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
  if (on)
    st_.fatal &= static_cast<uint8_t>(~kFatalNotInstalled);
  else
    st_.fatal |= kFatalNotInstalled;
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

}  // namespace termina::sim
