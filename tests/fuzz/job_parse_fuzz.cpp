// SPDX-License-Identifier: GPL-3.0-or-later
// The agent's job parser on any body: it never crashes; what it takes has
// an id of the allowed characters, texts the register can take and
// amounts within their bounds; its stored form parses to the same job; and
// every amount survives formatting and parsing again unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "job.h"

using namespace termina::agent;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  ParseError err;
  const auto job = parseJob(body, err);
  if (!job) {
    FUZZ_CHECK(!err.message.empty());
    FUZZ_CHECK(err.status == 400);
    return 0;
  }
  FUZZ_CHECK(validJobId(job->id));
  FUZZ_CHECK(job->deadlineSeconds >= 1);
  FUZZ_CHECK(registerText(job->operatorName, 20));
  for (const auto& l : job->lines) FUZZ_CHECK(registerText(l, 40));
  for (const auto& it : job->items) {
    FUZZ_CHECK(registerText(it.name, 40) && registerText(it.code, 20));
    FUZZ_CHECK(it.quantity > 0 && it.price >= 0);
    FUZZ_CHECK(parseDecimal(formatDecimal(it.quantity, 3, 3), 3) == it.quantity);
    FUZZ_CHECK(parseDecimal(formatDecimal(it.price, 4, 4), 4) == it.price);
  }
  for (const auto& p : job->payments) FUZZ_CHECK(p.amount > 0 && p.type <= 15);
  if (job->kind == Kind::CashIn || job->kind == Kind::CashOut) FUZZ_CHECK(job->amount > 0);

  ParseError again;
  const auto second = parseJob(job->canonical, again);
  FUZZ_CHECK(second.has_value());
  FUZZ_CHECK(second->canonical == job->canonical);
  FUZZ_CHECK(second->kind == job->kind && second->id == job->id && second->items.size() == job->items.size());
  return 0;
}
