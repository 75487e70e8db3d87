// SPDX-License-Identifier: GPL-3.0-or-later
// Sessions from several threads (run under ThreadSanitizer too): two
// registers served at once, and one session shared by two threads.
#include "session_fixture.h"

#include <thread>
#include <vector>

using namespace termina;
using namespace termina::test;

namespace {

// Writes and reads back a Cyrillic setting n times; the first mismatch or
// failure, as text, or "".
std::string writeAndRead(termina_session* s, const std::string& prefix, int n) {
  for (int i = 0; i < n; ++i) {
    std::string v = prefix + " " + std::to_string(i);
    int rc = termina_write_config(s, 20, 1, v.c_str());
    if (rc != 0) return "write " + std::to_string(rc);
    char back[TERMINA_TEXT_MAX];
    rc = termina_read_config(s, 20, 1, back, sizeof back);
    if (rc != 0) return "read " + std::to_string(rc);
    if (back != v) return "read back " + std::string(back) + " for " + v;
  }
  return "";
}

}  // namespace

TEST(SessionThreadTest, TwoRegistersAtOnceFromTwoThreads) {
  DriverRoot root;
  SimSession one(Transport::Pty, root, 1);
  SimSession two(Transport::Tcp, root);
  ASSERT_EQ(one.rc, 0);
  ASSERT_EQ(two.rc, 0);
  std::string r1, r2;
  std::thread a([&] { r1 = writeAndRead(one.s, "Касса", 20); });
  std::thread b([&] { r2 = writeAndRead(two.s, "Склад", 20); });
  a.join();
  b.join();
  EXPECT_EQ(r1, "");
  EXPECT_EQ(r2, "");
  EXPECT_EQ(one.sim->table(20, 1), "Касса 19");
  EXPECT_EQ(two.sim->table(20, 1), "Склад 19");
  // A refusal on one leaves the other as it was.
  sim::Faults f;
  f.forced["A1"] = sim::ForcedReply{2, {}};
  one.sim->setFaults(f);
  char v[TERMINA_TEXT_MAX];
  EXPECT_EQ(termina_read_config(one.s, 20, 1, v, sizeof v), 2);
  EXPECT_EQ(termina_read_config(two.s, 20, 1, v, sizeof v), 0);
}

TEST(SessionThreadTest, OneSessionSharedByThreadsSerialisesItsCalls) {
  DriverRoot root;
  SimSession one(Transport::Pty, root, 1);
  ASSERT_EQ(one.rc, 0);
  std::vector<std::thread> threads;
  std::vector<std::string> results(3);
  for (int t = 0; t < 3; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 15 && results[t].empty(); ++i) {
        unsigned v = 0;
        int rc = termina_get_version(one.s, &v);
        if (rc != 0 || v != 201) results[t] = "version " + std::to_string(rc) + " " + std::to_string(v);
      }
    });
  for (auto& th : threads) th.join();
  for (auto& r : results) EXPECT_EQ(r, "");
  EXPECT_EQ(one.sim->requests().size(), 45u) << "every call got its own exchange";
}

TEST(SessionThreadTest, CloseWaitsForARunningCall) {
  DriverRoot root;
  SimSession one(Transport::Tcp, root);
  ASSERT_EQ(one.rc, 0);
  one.sim->setReady();
  one.sim->setReportDuration(800);
  one.sim->setReportAckInterval(100);
  int result = -2;
  std::thread worker([&] { result = termina_eej_journal(one.s, 1); });
  ASSERT_TRUE(one.sim->waitForReportAcks(1, std::chrono::seconds(5)));
  EXPECT_EQ(termina_close(one.s), 0);
  worker.join();
  EXPECT_EQ(result, 0) << "the report ran to its end before the close";
  unsigned v;
  EXPECT_EQ(termina_get_version(one.s, &v), TERMINA_E_CLOSED);
  one.s = nullptr;
}
