// SPDX-License-Identifier: GPL-3.0-or-later
// The exchange trace: a readable line per event when TERMINA_TRACE names a
// file, nothing at all otherwise, and never a failed command because of it.
#include "register_fixture.h"

#include <fstream>

using namespace termina;
using namespace termina::test;

TEST(Trace, AReceiptLeavesEveryFrameAndReply) {
  Connected c(Transport::Pty);
  std::string path = c.root.path() + "/trace.log";
  ::setenv("TERMINA_TRACE", path.c_str(), 1);
  c.connect();
  TRMADT d{8, 12, 2026};
  TRMATM t{10, 0, 0};
  TRMA_Init(&d, &t);
  TRMA_OPERATOR_NAME op{};
  TRMA_OpenReceipt(2, 1, &op, 1);
  TRMA_BreakReceipt();
  ::unsetenv("TERMINA_TRACE");
  TRMA_CheckPort(false);
  std::string log = readAll(path);
  EXPECT_NE(log.find("-> frame"), std::string::npos);
  EXPECT_NE(log.find("<- reply"), std::string::npos);
  EXPECT_NE(log.find("-> ENQ"), std::string::npos);
  EXPECT_NE(log.find("<- byte [1] 06"), std::string::npos);
  // The status request is shown in hex and as text.
  EXPECT_NE(log.find("02 57 4B 52 44"), std::string::npos);
  EXPECT_NE(log.find("|<STX>WKRD"), std::string::npos);
  size_t frames = 0;
  for (size_t p = log.find("-> frame"); p != std::string::npos; p = log.find("-> frame", p + 1)) ++frames;
  EXPECT_EQ(frames, 4u);  // version at connect, init, open, cancel
}

TEST(Trace, OffByDefaultAndHarmlessWhenUnwritable) {
  Connected c(Transport::Pty);
  ::unsetenv("TERMINA_TRACE");
  c.connect();
  uint16_t v;
  EXPECT_EQ(TRMA_GetVersion(&v), 0);
  EXPECT_FALSE(std::filesystem::exists(c.root.path() + "/trace.log"));
  ::setenv("TERMINA_TRACE", (c.root.path() + "/no/such/dir/trace.log").c_str(), 1);
  TRMA_CheckPort(false);
  EXPECT_EQ(TRMA_GetVersion(&v), 0);
  ::unsetenv("TERMINA_TRACE");
}
