// SPDX-License-Identifier: GPL-3.0-or-later
// The test sale against the simulated register: the frames in order with
// their pauses, the Z report and table 8, the customer display test, and
// the failure paths.
#include <algorithm>
#include <chrono>
#include <mutex>

#include "core_fixture.h"
#include "driver_text.h"
#include "test_sale.h"

namespace termina::apptest {
namespace {

using app::TestSaleInput;
using Clock = std::chrono::steady_clock;
using Codes_ = std::vector<std::string>;

class TestSaleTest : public CoreTest {
 protected:
  // A fiscal register with an active EEJ and function 0 done, whose Z
  // report prints for a while with ACKs; the time of every reply is kept.
  sim::Simulator& Ready(uint16_t version = 201) {
    sim::Config cfg;
    cfg.version = version;
    cfg.shiftReportMs = 500;
    cfg.onRequest = [this](const sim::Request&) {
      std::lock_guard lock(m_mutex);
      m_times.push_back(Clock::now());
    };
    StartRegister(cfg).setReady();
    Connect();
    // Function 0 refuses a date before the last fiscal operation: the
    // computer's own date, as the program sends it.
    TRMADT d;
    TRMATM t;
    app::LocalDateTime(&d, &t);
    TRMA_Init(&d, &t);
    m_sim->clearLog();
    std::lock_guard lock(m_mutex);
    m_times.clear();
    return *m_sim;
  }
  std::string Body(size_t i) const { return m_sim->requests().at(i).bodyUtf8; }
  long long GapMs(size_t i) {
    std::lock_guard lock(m_mutex);
    return std::chrono::duration_cast<std::chrono::milliseconds>(m_times.at(i) - m_times.at(i - 1)).count();
  }
  std::mutex m_mutex;
  std::vector<Clock::time_point> m_times;
};

// Defaults: 1.11 roubles by "ЦТО"; table 8 is "1" for the Z report (the
// drawer is emptied) and back after it; 50 ms after every command from the
// first write on.
TEST_F(TestSaleTest, DefaultsSellThenCloseTheShiftWithTable8Restored) {
  Ready().setTable(8, 0, "0");
  EXPECT_EQ(app::RunTestSale(TestSaleInput{}, m_ask).outcome, app::TestSaleOutcome::Sold);
  ASSERT_EQ(Codes(), (Codes_{"A5", "A1", "A1", "A2", "20", "30", "34", "35", "22", "61", "A2"}));
  EXPECT_EQ(Body(3),
            "A28\x1c"
            "0\x1c"
            "1\x1c");
  EXPECT_EQ(Body(4),
            "202\x1c"
            "1\x1c"
            "ЦТО\x1c"
            "1\x1c");
  EXPECT_EQ(Body(5),
            "30ТЕСТ-ТОВАР1\x1c"
            "123456789012\x1c"
            "1.000\x1c"
            "1.1100\x1c"
            "1\x1c");
  EXPECT_EQ(Body(7),
            "350\x1c"
            "1.1100\x1c");
  EXPECT_EQ(Body(10),
            "A28\x1c"
            "0\x1c"
            "0\x1c");
  for (size_t i = 3; i < 11; ++i) EXPECT_GE(GapMs(i), 50) << i;
  const auto sent = m_sim->sent();
  EXPECT_NE(std::find(sent.begin(), sent.end(), uint8_t{0x06}), sent.end());  // ACKs while printing
  const auto s = m_sim->state();
  EXPECT_EQ(s.tables.at({8, 0}), "0");
  EXPECT_EQ(s.lastClosedShift, 1u);
  EXPECT_EQ(s.cashInDrawer, 0);
}

// Unticked: no table 8, no Z report.  Version 120: no display test, and a
// table 8 that cannot be read is not overwritten.
TEST_F(TestSaleTest, UntickedAndVersion120) {
  Ready();
  TestSaleInput in;
  in.closeShift = false;
  app::RunTestSale(in, m_ask);
  EXPECT_EQ(Codes(), (Codes_{"A5", "A1", "20", "30", "34", "35", "22"}));
  EXPECT_GE(GapMs(2), 50);
  EXPECT_TRUE(m_sim->state().shiftOpen);

  TRMA_OPERATOR_NAME op{};
  TRMA_ZReport(&op);
  m_sim->setVersion(120);
  m_sim->clearLog();
  app::RunTestSale(TestSaleInput{}, m_ask);
  EXPECT_EQ(Codes(), (Codes_{"A5", "A1", "20", "30", "34", "35", "22", "61"}));
  EXPECT_EQ(Body(1),
            "A18\x1c"
            "0\x1c");
}

// Table 10 on and no display: the message, nothing sold, table 8 untouched.
// A failed read of table 10 is passed on before anything is written.
TEST_F(TestSaleTest, CustomerDisplayRefusalAndUnreadableSetting) {
  Ready().setTable(10, 0, "1");
  const auto r = app::RunTestSale(TestSaleInput{}, m_ask);
  EXPECT_EQ(r.outcome, app::TestSaleOutcome::DisplayNotReady);
  EXPECT_EQ(r.displayCode, 0x0F);
  ASSERT_EQ(m_ask.asked.size(), 1u);
  EXPECT_EQ(m_ask.asked[0].text, app::kDisplayNotReadyText);
  EXPECT_EQ(m_ask.asked[0].title, "Ошибка");
  EXPECT_EQ(m_ask.asked[0].icon, app::Icon::Error);
  EXPECT_EQ(Codes(), (Codes_{"A5", "A1", "81"}));

  sim::Faults f;
  f.forced["A1"] = {0x01, {}};
  m_sim->setFaults(f);
  m_sim->clearLog();
  EXPECT_THROW(app::RunTestSale(TestSaleInput{}, m_ask), uint16_t);
  EXPECT_EQ(Codes(), (Codes_{"A5", "A1"}));
}

// An empty amount is a sale of 0.00, refused at the payment: table 8 goes
// back, no Z report, the receipt stays open, the code reaches the caller.
TEST_F(TestSaleTest, RefusedPaymentRestoresTable8AndLeavesTheReceiptOpen) {
  Ready().setTable(8, 0, "0");
  TestSaleInput in;
  in.amount = "";
  EXPECT_THROW(app::RunTestSale(in, m_ask), uint16_t);
  EXPECT_EQ(Codes(), (Codes_{"A5", "A1", "A1", "A2", "20", "30", "34", "35", "A2"}));
  EXPECT_EQ(Body(7),
            "350\x1c"
            "0.0000\x1c");
  EXPECT_TRUE(m_sim->state().receiptOpen);
  EXPECT_EQ(m_sim->table(8, 0), "0");
  EXPECT_DOUBLE_EQ(app::TestSaleRoubles("100000000000000000000000999"), 1e21);  // 24 digits count
}

}  // namespace
}  // namespace termina::apptest
