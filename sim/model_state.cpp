// SPDX-License-Identifier: GPL-3.0-or-later
// The state file: the whole register as text.  After the line
// "termina-sim-state 1" comes one "key=value" line per value; text is
// escaped (\\, \n, \xHH for the other control bytes), byte strings are hex.
//
// One table lists the fields.  Saving writes them in the table's order;
// loading takes the lines in any order, skips keys it does not know, and a
// field the file lacks keeps the value it has (list fields start empty).  A
// value that does not parse or does not fit its field makes the whole file
// unreadable: the model is left as it was.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <type_traits>

#include "codec.h"
#include "model.h"
#include "model_support.h"

namespace termina::sim {

using namespace detail;

namespace {

constexpr std::string_view kHeader = "termina-sim-state 1";

std::string escape(const std::string& s) {
  std::string o;
  for (unsigned char c : s) {
    if (c == '\\')
      o += "\\\\";
    else if (c == '\n')
      o += "\\n";
    else if (c < 0x20) {
      char b[8];
      std::snprintf(b, sizeof b, "\\x%02X", c);
      o += b;
    } else
      o.push_back(static_cast<char>(c));
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
    if (n == 'n')
      o.push_back('\n');
    else if (n == 'x' && i + 2 < s.size()) {
      auto b = parseHexByte(static_cast<uint8_t>(s[i + 1]), static_cast<uint8_t>(s[i + 2]));
      if (b) o.push_back(static_cast<char>(*b));
      i += 2;
    } else
      o.push_back(n);
  }
  return o;
}

// A whole decimal number within [lo, hi]; throws otherwise.
long long wholeNumber(const std::string& s, long long lo, long long hi) {
  size_t used = 0;
  const long long v = std::stoll(s, &used);
  if (used != s.size() || v < lo || v > hi) throw std::out_of_range("state value out of range: " + s);
  return v;
}

// The n dot-separated numbers of a key's suffix ("20.1" of "table.20.1"),
// each within [0, max]; throws when there are more, fewer or others.
std::vector<long long> keyIndexes(const std::string& suffix, size_t n, long long max) {
  std::vector<long long> out;
  size_t from = 0;
  while (out.size() < n) {
    size_t dot = suffix.find('.', from);
    if ((dot == std::string::npos) != (out.size() + 1 == n)) throw std::invalid_argument("state key: " + suffix);
    out.push_back(wholeNumber(suffix.substr(from, dot - from), 0, max));
    from = dot + 1;
  }
  return out;
}

class StateWriter {
 public:
  StateWriter() { o_ << kHeader << '\n'; }
  void text(std::string_view key, const std::string& v) { o_ << key << '=' << escape(v) << '\n'; }
  void number(std::string_view key, long long v) { o_ << key << '=' << v << '\n'; }
  std::string str() const { return o_.str(); }

 private:
  std::ostringstream o_;
};

}  // namespace

struct StateFile {
  // A load works on a copy of the model that replaces it only when the
  // whole file has been read.
  struct Load {
    RegisterModel model;
    uint32_t shiftFull = 0;  // the shift number beyond the image's 16 bits, applied last
  };

  struct Field {
    std::string key;  // a key ending in '.' stands for every key it begins ("table." for "table.20.1")
    std::function<void(const RegisterModel&, StateWriter&)> save;
    std::function<void(Load&, const std::string& suffix, const std::string& value)> load;
    std::function<void(RegisterModel&)> clear = {};  // list fields: emptied before a load
  };

  static const std::vector<Field>& fields();
  static const Field* find(const std::string& key, std::string& suffix);
};

namespace {

using Field = StateFile::Field;
using Load = StateFile::Load;

// The shapes of field.  `get` takes the model (const or not) and returns a
// reference to the value.

// An integer or flag.  A flag is written 0 or 1 and read as "not 0".
template <class Get>
Field integer(std::string key, Get get) {
  return {key, [key, get](const RegisterModel& m, StateWriter& w) { w.number(key, static_cast<long long>(get(m))); },
          [get](Load& l, const std::string&, const std::string& v) {
            auto& field = get(l.model);
            using T = std::remove_reference_t<decltype(field)>;
            if constexpr (std::is_same_v<T, bool>) {
              field = wholeNumber(v, std::numeric_limits<long long>::min(), std::numeric_limits<long long>::max()) != 0;
            } else {
              field = static_cast<T>(wholeNumber(v, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
            }
          }};
}

template <class Get>
Field text(std::string key, Get get) {
  return {key, [key, get](const RegisterModel& m, StateWriter& w) { w.text(key, get(m)); },
          [get](Load& l, const std::string&, const std::string& v) { get(l.model) = v; }};
}

// Bytes as hex digits; digits that are not hex read as no bytes.
template <class Get>
Field bytes(std::string key, Get get) {
  return {key, [key, get](const RegisterModel& m, StateWriter& w) { w.text(key, hexUpper(get(m))); },
          [get](Load& l, const std::string&, const std::string& v) { get(l.model) = unhex(v); }};
}

// A fixed array of amounts, one key per element: "<prefix><index>".
template <class Get>
Field amounts(std::string prefix, Get get) {
  return {prefix,
          [prefix, get](const RegisterModel& m, StateWriter& w) {
            const auto& a = get(m);
            for (size_t i = 0; i < std::size(a); ++i) w.number(prefix + dec(static_cast<long long>(i)), a[i]);
          },
          [get](Load& l, const std::string& suffix, const std::string& v) {
            auto& a = get(l.model);
            const auto i = keyIndexes(suffix, 1, static_cast<long long>(std::size(a)) - 1)[0];
            a[i] = wholeNumber(v, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max());
          }};
}

// Lines of text in their order.  A key ending in '.' numbers them
// ("displayLine.0"); otherwise every line repeats the key ("line").
template <class Get>
Field lines(std::string key, Get get) {
  const bool numbered = key.back() == '.';
  return {key,
          [key, numbered, get](const RegisterModel& m, StateWriter& w) {
            const auto& list = get(m);
            for (size_t i = 0; i < list.size(); ++i)
              w.text(numbered ? key + dec(static_cast<long long>(i)) : key, list[i]);
          },
          [get](Load& l, const std::string&, const std::string& v) { get(l.model).push_back(v); },
          [get](RegisterModel& m) { get(m).clear(); }};
}

}  // namespace

const std::vector<StateFile::Field>& StateFile::fields() {
  static const std::vector<Field> table = {
      integer(
          "version", [](auto& m) -> auto& { return m.st_.version; }),
      text(
          "password", [](auto& m) -> auto& { return m.st_.password; }),
      integer(
          "fatal", [](auto& m) -> auto& { return m.st_.fatal; }),
      integer(
          "status", [](auto& m) -> auto& { return m.st_.status; }),
      integer(
          "doc", [](auto& m) -> auto& { return m.st_.doc; }),
      integer(
          "printer", [](auto& m) -> auto& { return m.st_.printer; }),
      // table.<table>.<field>: the configuration tables (a load keeps the fields the file lacks)
      {"table.",
       [](const RegisterModel& m, StateWriter& w) {
         for (auto& [k, v] : m.st_.tables) w.text("table." + dec(k.first) + "." + dec(k.second), v);
       },
       [](Load& l, const std::string& suffix, const std::string& v) {
         auto tf = keyIndexes(suffix, 2, 0xFFFF);
         l.model.st_.tables[{static_cast<uint16_t>(tf[0]), static_cast<uint16_t>(tf[1])}] = v;
       }},
      integer(
          "lastClosedShift", [](auto& m) -> auto& { return m.st_.lastClosedShift; }),
      text(
          "serial", [](auto& m) -> auto& { return m.st_.serialNumber; }),
      text(
          "regnum", [](auto& m) -> auto& { return m.st_.registrationNumber; }),
      text(
          "inn", [](auto& m) -> auto& { return m.st_.inn; }),
      text(
          "inspector", [](auto& m) -> auto& { return m.st_.inspectorPassword; }),
      text(
          "lastFiscalDate", [](auto& m) -> auto& { return m.st_.lastFiscalDate; }),
      text(
          "lastFiscalTime", [](auto& m) -> auto& { return m.st_.lastFiscalTime; }),
      text(
          "eejRegNumber", [](auto& m) -> auto& { return m.st_.eejRegNumber; }),
      text(
          "eejActivationData", [](auto& m) -> auto& { return m.st_.eejActivationData; }),
      integer(
          "eejCount", [](auto& m) -> auto& { return m.eejCount_; }),
      integer(
          "clockOffset", [](auto& m) -> auto& { return m.st_.clockOffsetSeconds; }),
      integer(
          "display", [](auto& m) -> auto& { return m.st_.displayAttached; }),
      lines(
          "displayLine.", [](auto& m) -> auto& { return m.st_.displayLines; }),
      integer(
          "drawer", [](auto& m) -> auto& { return m.st_.drawerOpenCount; }),
      bytes(
          "logo", [](auto& m) -> auto& { return m.st_.logo; }),
      // the open receipt
      integer(
          "receiptTotal", [](auto& m) -> auto& { return m.st_.receiptTotal; }),
      integer(
          "receiptPaid", [](auto& m) -> auto& { return m.st_.receiptPaid; }),
      integer(
          "docType", [](auto& m) -> auto& { return m.docType_; }),
      integer(
          "receiptDiscount", [](auto& m) -> auto& { return m.receiptDiscount_; }),
      integer(
          "receiptMarkup", [](auto& m) -> auto& { return m.receiptMarkup_; }),
      amounts(
          "receiptPay.", [](auto& m) -> auto& { return m.receiptPaid_; }),
      amounts(
          "receiptDept.", [](auto& m) -> auto& { return m.receiptDept_; }),
      amounts(
          "receiptTax.", [](auto& m) -> auto& { return m.receiptLineTax_; }),
      lines(
          "line", [](auto& m) -> auto& { return m.st_.receiptLines; }),
      // fmShift.<shift>=<closing date>: the fiscal memory
      {"fmShift.",
       [](const RegisterModel& m, StateWriter& w) {
         for (auto& [s, d] : m.fmShifts_) w.text("fmShift." + dec(s), d);
       },
       [](Load& l, const std::string& suffix, const std::string& v) {
         l.model.fmShifts_.push_back({static_cast<uint32_t>(keyIndexes(suffix, 1, 0xFFFFFFFF)[0]), v});
       },
       [](RegisterModel& m) { m.fmShifts_.clear(); }},
      // the totals, through the longest image layout; the image holds the
      // shift number's low 16 bits, shiftFull all of it
      {"totals",
       [](const RegisterModel& m, StateWriter& w) {
         w.text("totals", hexUpper(RegisterModel::buildNvrImage(m.tot_, 201)));
       },
       [](Load& l, const std::string&, const std::string& v) {
         l.model.tot_ = RegisterModel::parseNvrImage(unhex(v), 201);
       }},
      {"shiftFull", [](const RegisterModel& m, StateWriter& w) { w.number("shiftFull", m.tot_.shift); },
       [](Load& l, const std::string&, const std::string& v) {
         l.shiftFull = static_cast<uint32_t>(wholeNumber(v, 0, 0xFFFFFFFF));
       }},
      // mem.<area>.<address>=<hex>: the memory, its runs that are not zero
      {"mem.",
       [](const RegisterModel& m, StateWriter& w) {
         for (auto& [area, b] : m.mem_) {
           size_t i = 0;
           while (i < b.size()) {
             if (b[i] == 0) {
               ++i;
               continue;
             }
             size_t j = i;
             while (j < b.size() && (b[j] != 0 || (j + 1 < b.size() && b[j + 1] != 0))) ++j;
             w.text("mem." + dec(area) + "." + dec(static_cast<long long>(i)),
                    hexUpper(std::vector<uint8_t>(b.begin() + static_cast<long>(i), b.begin() + static_cast<long>(j))));
             i = j;
           }
         }
       },
       [](Load& l, const std::string& suffix, const std::string& v) {
         auto at = keyIndexes(suffix, 2, 0xFFFF);
         auto& a = l.model.mem_[static_cast<uint16_t>(at[0])];
         a.resize(0x10000, 0);
         const auto data = unhex(v);
         const auto from = static_cast<size_t>(at[1]);
         for (size_t i = 0; i < data.size() && from + i < a.size(); ++i) a[from + i] = data[i];
       },
       [](RegisterModel& m) { m.mem_.clear(); }},
  };
  return table;
}

const StateFile::Field* StateFile::find(const std::string& key, std::string& suffix) {
  for (const Field& f : fields()) {
    if (f.key.back() == '.' ? key.compare(0, f.key.size(), f.key) == 0 : key == f.key) {
      suffix = key.substr(f.key.back() == '.' ? f.key.size() : key.size());
      return &f;
    }
  }
  return nullptr;
}

std::string RegisterModel::serialize() const {
  StateWriter w;
  for (const auto& f : StateFile::fields()) f.save(*this, w);
  return w.str();
}

bool RegisterModel::deserialize(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != kHeader) return false;
  StateFile::Load l{*this};
  for (const auto& f : StateFile::fields())
    if (f.clear) f.clear(l.model);
  try {
    std::string suffix;
    while (std::getline(in, line)) {
      const size_t eq = line.find('=');
      if (eq == std::string::npos) continue;
      if (const auto* f = StateFile::find(line.substr(0, eq), suffix))
        f->load(l, suffix, unescape(line.substr(eq + 1)));
    }
  } catch (const std::exception&) { return false; }
  if (l.shiftFull) l.model.tot_.shift = l.shiftFull;
  *this = std::move(l.model);
  st_.status |= kNoInit;  // a restart is a power-on: command 00 is due again
  st_.reportRunning = false;
  refreshNvr();
  changed_ = false;
  return true;
}

}  // namespace termina::sim
