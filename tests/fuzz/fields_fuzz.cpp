// SPDX-License-Identifier: GPL-3.0-or-later
// Field splitting and number conversion.  The input is taken three ways:
// as a reply text (result code, then fields), whose fields are converted
// with the number readers; as request fields built with Body and split
// back; and as the numbers Body formats, read back by the number readers.
#include "command.h"
#include "frame.h"
#include "fuzz_check.h"

#include <cstdlib>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <optional>
#include <string_view>
#include <vector>

using namespace termina;

namespace {

template <class T>
T take(const uint8_t*& p, std::size_t& left) {
  T v{};
  std::size_t n = std::min(sizeof v, left);
  std::memcpy(&v, p, n);
  p += n;
  left -= n;
  return v;
}

// The C library's strtol as the reference, on the part both read the same
// way: blanks and tabs, an optional sign and at most 11 digits (the driver
// stops growing a number beyond that; strtol saturates).
std::optional<long> referenceLong(std::string_view f) {
  std::size_t i = 0;
  while (i < f.size() && (f[i] == ' ' || f[i] == '\t')) ++i;
  std::size_t j = i;
  if (j < f.size() && (f[j] == '+' || f[j] == '-')) ++j;
  std::size_t d = j;
  while (d < f.size() && f[d] >= '0' && f[d] <= '9') ++d;
  if (d - j > 11) return std::nullopt;
  std::string s(f.substr(i, d - i));
  return std::strtol(s.c_str(), nullptr, 10);
}

void replyFields(std::string_view input) {
  auto rt = link::splitResult(input);
  if (!rt) return;
  FUZZ_CHECK(rt->code <= 0xFF);
  std::string rest = rt->fields;
  for (std::size_t guard = 0; guard <= rt->fields.size() + 1; ++guard) {
    std::size_t before = rest.size();
    std::string f = link::NextField(rest);
    // Every conversion ends, and the integer reader stays in its range.
    double d = cmd::toDouble(f);
    (void)d;
    long l = cmd::toLong(f);
    FUZZ_CHECK(l <= 999999999999L && l >= -999999999999L);
    if (auto ref = referenceLong(f)) FUZZ_CHECK(l == *ref);
    if (rest.size() == before) break;
  }
}

void bodyRoundTrip(const uint8_t* p, std::size_t left) {
  // Split the input into fields at 0x00 bytes; FS cannot occur in a field
  // the caller formats, so it is replaced.
  uint8_t code = left ? *p : 0;
  cmd::Body body(code);
  std::vector<std::string> fields(1);
  for (std::size_t i = 1; i < left; ++i) {
    char c = static_cast<char>(p[i]);
    if (c == '\0')
      fields.emplace_back();
    else
      fields.back().push_back(c == '\x1C' ? '?' : c);
  }
  for (const auto& f : fields) body.field(f);
  std::string s = body.str();
  FUZZ_CHECK(s.size() >= 2);
  FUZZ_CHECK(link::leadingHex2(s) && *link::leadingHex2(s) == code);
  s.erase(0, 2);
  for (const auto& f : fields) FUZZ_CHECK(link::NextField(s) == f);
  FUZZ_CHECK(s.empty());
}

void numbers(const uint8_t* p, std::size_t left) {
  long long n = take<long long>(p, left);
  double d = take<double>(p, left);
  int decimals = take<uint8_t>(p, left) % 8;
  TRMADT date = take<TRMADT>(p, left);
  TRMATM time = take<TRMATM>(p, left);

  cmd::Body body(0x20);
  body.num(n).fixed(d, decimals).date(&date).time(&time).date(nullptr).time(nullptr);
  std::string s = body.str().substr(2);

  std::string f = link::NextField(s);
  if (n >= -99999999999LL && n <= 99999999999LL) FUZZ_CHECK(cmd::toLong(f) == n);
  FUZZ_CHECK(f == std::to_string(n));

  f = link::NextField(s);
  FUZZ_CHECK(!f.empty() && f.find(',') == std::string::npos);
  if (std::isfinite(d) && std::fabs(d) < 1e15) {
    double back = cmd::toDouble(f);
    // The text is d rounded to `decimals` places.
    FUZZ_CHECK(std::fabs(back - d) <= 0.5 * std::pow(10.0, -decimals) * (1 + 1e-9) + std::fabs(d) * 1e-15);
  }

  f = link::NextField(s);
  FUZZ_CHECK(f.size() >= 6);
  f = link::NextField(s);
  FUZZ_CHECK(f.size() >= 6);
  FUZZ_CHECK(link::NextField(s) == "000000");
  FUZZ_CHECK(link::NextField(s) == "000000");
  FUZZ_CHECK(s.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  replyFields(std::string_view(reinterpret_cast<const char*>(data), size));
  bodyRoundTrip(data, size);
  numbers(data, size);
  return 0;
}
