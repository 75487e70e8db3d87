// SPDX-License-Identifier: GPL-3.0-or-later
// A job as a caller posts it: parsed and checked completely before it is
// stored, so that nothing the register cannot take is ever queued.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace termina::agent {

enum class Kind {
  Status,
  Receipt,
  XReport,
  ZReport,
  CashIn,
  CashOut,
  ConfigGet,
  ConfigSet,
  SetClock,
  OpenDrawer,
  Display
};

const char* kindName(Kind k);
std::optional<Kind> kindFromName(std::string_view name);
// Kinds whose job makes a fiscal document: made once or not at all.
bool isFiscal(Kind k);

// Fixed-point amounts: ten-thousandths of a rouble; quantities: thousandths.
struct Item {
  std::string name, code;
  int64_t quantity = 0;  // thousandths
  int64_t price = 0;     // ten-thousandths
  unsigned department = 1;
};

struct Payment {
  unsigned type = 0;
  int64_t amount = 0;  // ten-thousandths
};

struct JobSpec {
  std::string id;
  Kind kind = Kind::Status;
  unsigned deadlineSeconds = 60;
  std::string operatorName;  // receipt, reports
  std::vector<std::string> lines;
  std::vector<Item> items;
  std::vector<Payment> payments;
  std::string caption;  // cash in and out
  int64_t amount = 0;   // cash in and out, ten-thousandths
  unsigned table = 0, field = 0;
  std::string value;         // config_set
  std::string line1, line2;  // display
  // The body as stored: the parsed JSON dumped with sorted keys, so that the
  // same request with its keys in another order or other spacing is the
  // same request.
  std::string canonical;
};

// A refused body: the HTTP status (400 or 413) and the reason, which names
// the field.
struct ParseError {
  int status = 400;
  std::string field;
  std::string message;
  bool badText = false;  // a text the register cannot take
};

// Parses and checks a posted job.  On failure returns nullopt and fills err.
std::optional<JobSpec> parseJob(std::string_view body, ParseError& err);

// A decimal string ("45.50", "-3", "0.001") as an integer of 10^-scale
// units; nullopt for anything else: exponents, more decimals than scale,
// blanks, values beyond +-10^15 units.
std::optional<int64_t> parseDecimal(std::string_view text, int scale);
// The integer of 10^-scale units as a decimal string with `decimals`
// decimals (decimals <= scale; the dropped digits are rounded half away
// from zero).
std::string formatDecimal(int64_t units, int scale, int decimals);

// The job's identifier: 1 to 64 letters, digits, '.', '_' or '-'.
bool validJobId(std::string_view id);

// Text the register can take: in its code page, no control characters, at
// most maxChars characters.
bool registerText(std::string_view utf8, std::size_t maxChars);

}  // namespace termina::agent
