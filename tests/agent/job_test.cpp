// SPDX-License-Identifier: GPL-3.0-or-later
// The job parser's decimal amounts: exact, never through binary floating
// point, and refused rather than rounded.
#include <gtest/gtest.h>

#include "job.h"

namespace termina::agent {
namespace {

TEST(AgentJobTest, DecimalsAreExactOrRefused) {
  EXPECT_EQ(parseDecimal("45.50", 4), 455000);
  EXPECT_EQ(parseDecimal("0.001", 3), 1);
  EXPECT_EQ(parseDecimal("-3", 2), -300);
  EXPECT_EQ(parseDecimal("1000000000000", 3), 1'000'000'000'000'000LL);
  for (const char* bad : {"", ".", "1.", ".5", "1e3", "1,5", " 1", "1 ", "0x10", "1.2345", "--1", "1000000000001"})
    EXPECT_FALSE(parseDecimal(bad, 3)) << bad;
  EXPECT_EQ(formatDecimal(455000, 4, 2), "45.50");
  EXPECT_EQ(formatDecimal(-5, 4, 3), "-0.001");
  EXPECT_EQ(formatDecimal(4, 4, 3), "0.000");
  EXPECT_EQ(formatDecimal(1'000'000'000'000'000LL, 4, 2), "100000000000.00");
}

TEST(AgentJobTest, TheSameRequestHasOneStoredForm) {
  ParseError e;
  const auto a = parseJob(R"({"id":"x","kind":"cash_in","amount":"5.00","caption":"Размен"})", e);
  const auto b = parseJob(R"({ "caption" : "Размен", "amount":"5.00", "kind":"cash_in", "id":"x" })", e);
  const auto c = parseJob(R"({"id":"x","kind":"cash_in","amount":"5.0","caption":"Размен"})", e);
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(a->canonical, b->canonical);
  EXPECT_NE(a->canonical, c->canonical);
  EXPECT_EQ(a->amount, 50000);
}

}  // namespace
}  // namespace termina::agent
