// SPDX-License-Identifier: GPL-3.0-or-later
// Report commands: bodies, the long wait kept alive by ACKs, and a report
// cancelled with CAN from a second thread while the first one waits.
#include "codepage.h"
#include "register_fixture.h"

#include <atomic>
#include <functional>
#include <thread>

using namespace termina;
using namespace termina::test;

class ReportTest : public ::testing::TestWithParam<Transport> {
 protected:
  Connected c{GetParam()};
  void SetUp() override {
    c.connect();
    c.sim->setReady();
    c.sim->addFiscalHistory(5);  // shifts for the fiscal memory reports
    c.sim->setReportDuration(0);
  }
};

TEST_P(ReportTest, BodiesOfTheReportCommands) {
  // Only the bodies matter; the register may refuse a shift it lacks.
  TRMA_PASSWORD pw;
  std::snprintf(pw, sizeof pw, "%s", "0");
  TRMADT a{1, 3, 2007}, b{31, 12, 2026};
  TRMA_OPERATOR_NAME op;
  std::snprintf(op, sizeof op, "%s", cp::utf8ToAnsi("Петров").c_str());
  struct Case {
    std::function<void()> call;
    std::string body;
  } cases[] = {
      {[&] { TRMA_FiscDateReport(1, &a, &b, &pw); }, "631" + FS + "010307" + FS + "311226" + FS + "0" + FS},
      {[&] { TRMA_FiscShiftReport(0, 1, 20, &pw); }, "620" + FS + "1" + FS + "20" + FS + "0" + FS},
      {[&] { TRMA_EEJShiftReport(1, 2, 3); }, "661" + FS + "2" + FS + "3" + FS},
      {[&] { TRMA_EEJDateReport(0, &a, &b); }, "670" + FS + "010307" + FS + "311226" + FS},
      {[&] { TRMA_EEJJournal(7); }, "647" + FS},
      {[&] { TRMA_EEJReport(8); }, "698" + FS},
      {[&] { TRMA_GetReceipt(0x80000001u); }, "65-2147483647" + FS},
      {[&] { TRMA_EEJActivateReport(); }, "68"},
      {[&] { TRMA_XReport(&op); }, "60Петров" + FS},
      {[&] { TRMA_ZReport(&op); }, "61Петров" + FS},
      {[&] { TRMA_CloseEEJArchive(); }, "0A"},
      {[&] { TRMA_ActivateEEJ(); }, "09"},
  };
  for (auto& k : cases) {
    thrown(k.call);
    EXPECT_EQ(c.lastBody(), k.body);
  }
}

TEST_P(ReportTest, ALongReportKeptAliveByAcksOutlastsThePatience) {
  // Twice the patience of 2 is four silent waits (2 s over the serial
  // line); the report prints longer, with an ACK every 300 ms.
  if (GetParam() == Transport::Tcp) GTEST_SKIP() << "over TCP each silent wait is 5 s; the serial case shows the rule";
  c.sim->setReportDuration(3000);
  c.sim->setReportAckInterval(300);
  TRMA_PASSWORD pw{'0'};
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(TRMA_FiscShiftReport(1, 1, 5, &pw), 0);
  EXPECT_GE(secondsSince(t0), 2.9);
}

TEST_P(ReportTest, SilenceAfterAReportStartsEndsWithTimeout) {
  if (GetParam() == Transport::Tcp) GTEST_SKIP() << "over TCP each silent wait is 5 s";
  sim::Faults f;
  f.silent = true;
  c.sim->setFaults(f);
  TRMA_PASSWORD pw{'0'};
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(thrown([&] { TRMA_FiscShiftReport(1, 1, 5, &pw); }), 48);
  // Four silent waits of 500 ms.
  EXPECT_GE(secondsSince(t0), 1.9);
}

TEST_P(ReportTest, CancelFromASecondThreadEndsTheReportWithTheRegistersCode) {
  c.sim->setReportDuration(60000);
  c.sim->setReportAckInterval(200);
  c.sim->setCancelResult(0x0E);
  std::atomic<int> result{-2};
  std::thread worker([&] {
    TRMA_PASSWORD pw{'0'};
    TRMADT a{1, 1, 2000}, b{31, 12, 2099};
    result = thrown([&] { TRMA_FiscDateReport(0, &a, &b, &pw); });
  });
  // Cancel once the report is running (its ACKs are arriving).
  ASSERT_TRUE(c.sim->waitForReportAcks(2, std::chrono::seconds(5)));
  EXPECT_EQ(TRMA_CancelReport(), 0);
  worker.join();
  EXPECT_EQ(result.load(), 0x0E);
  EXPECT_EQ(c.sim->state().reportsCancelled, 1);
  // The line is usable again afterwards.
  uint16_t v = 0;
  EXPECT_EQ(TRMA_GetVersion(&v), 0);
}

INSTANTIATE_TEST_SUITE_P(Transports, ReportTest, ::testing::Values(Transport::Pty, Transport::Tcp), transportName);

TEST(ReportFinished, CollectsAReplyTheRegisterSendsOnItsOwn) {
  Connected c(Transport::Pty);
  c.connect();
  // A register that answers every ENQ with ACK is busy and keeps the
  // call waiting; a silent one ends it after twice the patience.
  sim::Faults f;
  f.silent = true;
  c.sim->setFaults(f);
  EXPECT_EQ(thrown([] { TRMA_ReportFinished(); }), 48);
  EXPECT_TRUE(c.sim->waitForEvents(4, std::chrono::seconds(2)));
  EXPECT_EQ(c.sim->events().size(), 4u) << "one ENQ after each of the four silent waits";
}
