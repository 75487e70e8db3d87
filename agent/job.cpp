// SPDX-License-Identifier: GPL-3.0-or-later
#include "job.h"

#include <array>
#include <limits>

#include "codepage.h"

namespace termina::agent {

namespace {

struct KindEntry {
  Kind kind;
  const char* name;
  bool fiscal;
};

constexpr std::array<KindEntry, 11> kKinds{{{Kind::Status, "status", false},
                                            {Kind::Receipt, "receipt", true},
                                            {Kind::XReport, "x_report", true},
                                            {Kind::ZReport, "z_report", true},
                                            {Kind::CashIn, "cash_in", true},
                                            {Kind::CashOut, "cash_out", true},
                                            {Kind::ConfigGet, "config_get", false},
                                            {Kind::ConfigSet, "config_set", false},
                                            {Kind::SetClock, "set_clock", false},
                                            {Kind::OpenDrawer, "open_drawer", false},
                                            {Kind::Display, "display", false}}};

// Character limits of the register's fields.
constexpr std::size_t kTextChars = 40;  // article, caption, printed line, table value
constexpr std::size_t kNameChars = 20;  // operator, article code, display line
constexpr std::size_t kMaxLines = 100;
constexpr std::size_t kMaxItems = 500;
constexpr std::size_t kMaxPayments = 16;

// The largest amount a line or receipt may name: 10^10 roubles.
constexpr int64_t kMaxUnits = 1'000'000'000'000'000LL;

class Fail {
 public:
  Fail(ParseError& e) : e_(e) {}
  bool operator()(std::string field, std::string message, int status = 400) {
    e_.status = status;
    e_.badText = false;
    e_.field = std::move(field);
    e_.message = e_.field.empty() ? std::move(message) : e_.field + ": " + message;
    return false;
  }

 private:
  ParseError& e_;

 public:
  // A text the register cannot take.
  bool text(std::string field, std::string message) {
    (*this)(std::move(field), std::move(message));
    e_.badText = true;
    return false;
  }
};

using json = nlohmann::json;

bool getString(const json& j, const std::string& key, const std::string& path, bool required, std::string& out,
               Fail& fail) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) {
    if (required) return fail(path, "missing");
    return true;
  }
  if (!it->is_string()) return fail(path, "must be a string");
  out = it->get<std::string>();
  return true;
}

bool getText(const json& j, const std::string& key, const std::string& path, bool required, std::size_t maxChars,
             std::string& out, Fail& fail) {
  if (!getString(j, key, path, required, out, fail)) return false;
  if (!registerText(out, maxChars))
    return fail.text(path, "the register cannot take this text (at most " + std::to_string(maxChars) +
                               " characters of its code page, no control characters)");
  return true;
}

bool getUnsigned(const json& j, const std::string& key, const std::string& path, bool required, unsigned max,
                 unsigned& out, Fail& fail) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) {
    if (required) return fail(path, "missing");
    return true;
  }
  if (!it->is_number_integer()) return fail(path, "must be a whole number");
  if (it->is_number_unsigned()) {
    const auto v = it->get<uint64_t>();
    if (v > max) return fail(path, "must be from 0 to " + std::to_string(max));
    out = static_cast<unsigned>(v);
    return true;
  }
  const auto v = it->get<int64_t>();
  if (v < 0 || v > static_cast<int64_t>(max)) return fail(path, "must be from 0 to " + std::to_string(max));
  out = static_cast<unsigned>(v);
  return true;
}

// A decimal amount given as a string; positive unless zero is allowed.
bool getDecimal(const json& j, const std::string& key, const std::string& path, int scale, bool allowZero, int64_t& out,
                Fail& fail) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) return fail(path, "missing");
  if (!it->is_string()) return fail(path, "must be a decimal string such as \"45.50\"");
  const auto v = parseDecimal(it->get<std::string>(), scale);
  if (!v) return fail(path, "not a decimal with at most " + std::to_string(scale) + " decimals");
  if (*v < 0 || (*v == 0 && !allowZero)) return fail(path, allowZero ? "must not be negative" : "must be above zero");
  if (*v > kMaxUnits) return fail(path, "too large");
  out = *v;
  return true;
}

// Every key of the object must be one of the kind's.
bool onlyKeys(const json& j, std::initializer_list<const char*> keys, const std::string& prefix, Fail& fail) {
  for (auto it = j.begin(); it != j.end(); ++it) {
    bool known = false;
    for (const char* k : keys) known = known || it.key() == k;
    if (!known) return fail(prefix + it.key(), "unknown field");
  }
  return true;
}

bool parseReceipt(const json& j, JobSpec& s, Fail& fail) {
  if (!getText(j, "operator", "operator", true, kNameChars, s.operatorName, fail)) return false;
  if (auto it = j.find("lines"); it != j.end() && !it->is_null()) {
    if (!it->is_array()) return fail("lines", "must be an array of strings");
    if (it->size() > kMaxLines) return fail("lines", "at most " + std::to_string(kMaxLines) + " lines");
    for (std::size_t i = 0; i < it->size(); ++i) {
      const std::string path = "lines[" + std::to_string(i) + "]";
      const json& l = (*it)[i];
      if (!l.is_string()) return fail(path, "must be a string");
      std::string text = l.get<std::string>();
      if (!registerText(text, kTextChars))
        return fail.text(path, "the register cannot take this text (at most 40 characters of its code page)");
      s.lines.push_back(std::move(text));
    }
  }
  auto items = j.find("items");
  if (items == j.end() || items->is_null()) return fail("items", "missing");
  if (!items->is_array() || items->empty()) return fail("items", "must be a non-empty array");
  if (items->size() > kMaxItems) return fail("items", "at most " + std::to_string(kMaxItems) + " items");
  for (std::size_t i = 0; i < items->size(); ++i) {
    const std::string p = "items[" + std::to_string(i) + "]";
    const json& it = (*items)[i];
    if (!it.is_object()) return fail(p, "must be an object");
    if (!onlyKeys(it, {"name", "code", "quantity", "price", "department"}, p + ".", fail)) return false;
    Item item;
    if (!getText(it, "name", p + ".name", true, kTextChars, item.name, fail)) return false;
    if (!getText(it, "code", p + ".code", false, kNameChars, item.code, fail)) return false;
    if (!getDecimal(it, "quantity", p + ".quantity", 3, false, item.quantity, fail)) return false;
    if (!getDecimal(it, "price", p + ".price", 4, true, item.price, fail)) return false;
    if (!getUnsigned(it, "department", p + ".department", false, 65535, item.department, fail)) return false;
    s.items.push_back(std::move(item));
  }
  auto pays = j.find("payments");
  if (pays == j.end() || pays->is_null()) return fail("payments", "missing");
  if (!pays->is_array() || pays->empty()) return fail("payments", "must be a non-empty array");
  if (pays->size() > kMaxPayments) return fail("payments", "at most 16 payments");
  for (std::size_t i = 0; i < pays->size(); ++i) {
    const std::string p = "payments[" + std::to_string(i) + "]";
    const json& pj = (*pays)[i];
    if (!pj.is_object()) return fail(p, "must be an object");
    if (!onlyKeys(pj, {"type", "amount"}, p + ".", fail)) return false;
    Payment pay;
    if (!getUnsigned(pj, "type", p + ".type", true, 15, pay.type, fail)) return false;
    if (!getDecimal(pj, "amount", p + ".amount", 4, false, pay.amount, fail)) return false;
    s.payments.push_back(pay);
  }
  return true;
}

// The display's text: one or two lines, split at a line feed.
bool parseDisplay(const json& j, JobSpec& s, Fail& fail) {
  std::string text;
  if (!getString(j, "text", "text", true, text, fail)) return false;
  const auto nl = text.find('\n');
  s.line1 = text.substr(0, nl);
  if (nl != std::string::npos) s.line2 = text.substr(nl + 1);
  if (!registerText(s.line1, kNameChars) || !registerText(s.line2, kNameChars))
    return fail.text("text",
                     "the register cannot take this text (two lines of at most 20 characters of its code page)");
  return true;
}

}  // namespace

const char* kindName(Kind k) {
  for (const auto& e : kKinds)
    if (e.kind == k) return e.name;
  return "?";
}

std::optional<Kind> kindFromName(std::string_view name) {
  for (const auto& e : kKinds)
    if (name == e.name) return e.kind;
  return std::nullopt;
}

bool isFiscal(Kind k) {
  for (const auto& e : kKinds)
    if (e.kind == k) return e.fiscal;
  return false;
}

bool validJobId(std::string_view id) {
  if (id.empty() || id.size() > 64) return false;
  for (char c : id) {
    const bool ok =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

bool registerText(std::string_view utf8, std::size_t maxChars) {
  const std::string ansi = cp::utf8ToAnsi(utf8);
  if (ansi.size() > maxChars || cp::ansiToUtf8(ansi) != utf8) return false;
  for (unsigned char c : ansi) {
    if (c < 0x20 || c == 0x7F) return false;
    if (c >= 0x80 && cp::oemToAnsi(cp::ansiToOem(c)) != c) return false;
  }
  return true;
}

std::optional<int64_t> parseDecimal(std::string_view t, int scale) {
  std::size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
  int64_t whole = 0;
  std::size_t digits = 0;
  constexpr int64_t kLimit = 1'000'000'000'000'000LL;  // 10^15 units at most
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
    whole = whole * 10 + (t[i++] - '0');
    if (whole > kLimit) return std::nullopt;
    ++digits;
  }
  int64_t frac = 0;
  int fracDigits = 0;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
      if (fracDigits == scale) return std::nullopt;
      frac = frac * 10 + (t[i++] - '0');
      ++fracDigits;
    }
    if (fracDigits == 0) return std::nullopt;
  }
  if (digits == 0 || i != t.size()) return std::nullopt;
  int64_t unit = 1;
  for (int k = 0; k < scale; ++k) unit *= 10;
  for (int k = fracDigits; k < scale; ++k) frac *= 10;
  if (whole > kLimit / unit) return std::nullopt;
  const int64_t v = whole * unit + frac;
  if (v > kLimit) return std::nullopt;
  return negative ? -v : v;
}

std::string formatDecimal(int64_t units, int scale, int decimals) {
  const bool negative = units < 0;
  uint64_t u = negative ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
  uint64_t drop = 1;
  for (int k = decimals; k < scale; ++k) drop *= 10;
  u = (u + drop / 2) / drop;
  uint64_t unit = 1;
  for (int k = 0; k < decimals; ++k) unit *= 10;
  std::string s = std::to_string(u / unit);
  if (decimals > 0) {
    std::string f = std::to_string(u % unit);
    s += "." + std::string(static_cast<std::size_t>(decimals) - f.size(), '0') + f;
  }
  return (negative && u != 0 ? "-" : "") + s;
}

std::optional<JobSpec> parseJob(std::string_view body, ParseError& err) {
  Fail fail(err);
  json j = json::parse(body, nullptr, false);
  if (j.is_discarded()) {
    fail("", "the body is not valid JSON");
    return std::nullopt;
  }
  if (!j.is_object()) {
    fail("", "the body must be a JSON object");
    return std::nullopt;
  }
  JobSpec s;
  if (!getString(j, "id", "id", true, s.id, fail)) return std::nullopt;
  if (!validJobId(s.id)) {
    fail("id", "1 to 64 letters, digits, '.', '_' or '-'");
    return std::nullopt;
  }
  std::string kind;
  if (!getString(j, "kind", "kind", true, kind, fail)) return std::nullopt;
  const auto k = kindFromName(kind);
  if (!k) {
    fail("kind", "unknown kind \"" + kind + "\"");
    return std::nullopt;
  }
  s.kind = *k;
  if (!getUnsigned(j, "deadline", "deadline", false, 86400, s.deadlineSeconds, fail)) return std::nullopt;
  if (s.deadlineSeconds == 0) {
    fail("deadline", "must be at least 1 second");
    return std::nullopt;
  }
  bool ok = true;
  switch (s.kind) {
    case Kind::Status:
    case Kind::SetClock:
    case Kind::OpenDrawer: ok = onlyKeys(j, {"id", "kind", "deadline"}, "", fail); break;
    case Kind::Receipt:
      ok = onlyKeys(j, {"id", "kind", "deadline", "operator", "lines", "items", "payments"}, "", fail) &&
           parseReceipt(j, s, fail);
      break;
    case Kind::XReport:
    case Kind::ZReport:
      ok = onlyKeys(j, {"id", "kind", "deadline", "operator"}, "", fail) &&
           getText(j, "operator", "operator", false, kNameChars, s.operatorName, fail);
      break;
    case Kind::CashIn:
    case Kind::CashOut:
      ok = onlyKeys(j, {"id", "kind", "deadline", "caption", "amount"}, "", fail) &&
           getText(j, "caption", "caption", false, kTextChars, s.caption, fail) &&
           getDecimal(j, "amount", "amount", 4, false, s.amount, fail);
      break;
    case Kind::ConfigGet:
      ok = onlyKeys(j, {"id", "kind", "deadline", "table", "field"}, "", fail) &&
           getUnsigned(j, "table", "table", true, 65535, s.table, fail) &&
           getUnsigned(j, "field", "field", true, 65535, s.field, fail);
      break;
    case Kind::ConfigSet:
      ok = onlyKeys(j, {"id", "kind", "deadline", "table", "field", "value"}, "", fail) &&
           getUnsigned(j, "table", "table", true, 65535, s.table, fail) &&
           getUnsigned(j, "field", "field", true, 65535, s.field, fail) &&
           getText(j, "value", "value", true, kTextChars, s.value, fail);
      break;
    case Kind::Display:
      ok = onlyKeys(j, {"id", "kind", "deadline", "text"}, "", fail) && parseDisplay(j, s, fail);
      break;
  }
  if (!ok) return std::nullopt;
  s.canonical = j.dump();
  return s;
}

}  // namespace termina::agent
