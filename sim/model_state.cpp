// The state file: the whole register as text.
#include <algorithm>
#include <cstdio>
#include <sstream>

#include "codec.h"
#include "model.h"
#include "model_support.h"

namespace termina::sim {

using namespace detail;

namespace {

std::string hexOf(const std::vector<uint8_t>& v) { return hexUpper(v); }

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
