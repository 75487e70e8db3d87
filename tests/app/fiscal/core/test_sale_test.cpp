// The test sale against the simulated register: the frames in order with
// their pauses, the Z report and table 8, the customer display test, and
// the failure paths.
#include <algorithm>
#include <chrono>
#include <mutex>

#include "core_fixture.h"
#include "test_sale.h"

namespace termina::apptest {
namespace {

using app::TestSaleInput;
using app::TestSaleOutcome;
using Clock = std::chrono::steady_clock;
using Codes_ = std::vector<std::string>;

class TestSaleTest : public CoreTest {
 protected:
  // A fiscal register with an active EEJ, function 0 done; the Z report
  // prints for a while with ACKs.  The time each request arrived is kept.
  sim::Simulator& Ready(uint16_t version = 201) {
    sim::Config cfg;
    cfg.version = version;
    cfg.shiftReportMs = 500;
    cfg.onRequest = [this](const sim::Request&) {
      std::lock_guard lock(m_mutex);
      m_times.push_back(Clock::now());
    };
    StartRegister(cfg);
    m_sim->setReady();
    Connect();
    TRMADT d{5, 1, 2008};
    TRMATM t{9, 7, 3};
    TRMA_Init(&d, &t);
    m_sim->clearLog();
    std::lock_guard lock(m_mutex);
    m_times.clear();
    return *m_sim;
  }
  std::string Body(size_t i) const { return m_sim->requests().at(i).bodyUtf8; }
  // Milliseconds between the replies to requests i - 1 and i.
  long long Gap(size_t i) {
    std::lock_guard lock(m_mutex);
    return std::chrono::duration_cast<std::chrono::milliseconds>(m_times.at(i) - m_times.at(i - 1)).count();
  }

  std::mutex m_mutex;
  std::vector<Clock::time_point> m_times;
};

// Defaults: 1.11 roubles by "ЦТО", table 8 "1" for the Z report (the drawer
// is emptied) and back, 50 ms after every command from the first write on.
TEST_F(TestSaleTest, DefaultsSellThenCloseTheShiftWithTable8Restored) {
  Ready().setTable(8, 0, "0");
  ASSERT_EQ(app::RunTestSale(TestSaleInput{}, m_ask).outcome, TestSaleOutcome::Sold);
  EXPECT_TRUE(m_ask.asked.empty());
  ASSERT_EQ(Codes(), (Codes_{"A5", "A1", "A1", "A2", "20", "30", "34", "35", "22", "61", "A2"}));
  EXPECT_EQ(Body(1), "A110\x1c" "0\x1c");
  EXPECT_EQ(Body(2), "A18\x1c" "0\x1c");
  EXPECT_EQ(Body(3), "A28\x1c" "0\x1c" "1\x1c");
  EXPECT_EQ(Body(4), "202\x1c" "1\x1c" "ЦТО\x1c" "1\x1c");
  EXPECT_EQ(Body(5), "30ТЕСТ-ТОВАР1\x1c" "123456789012\x1c" "1.000\x1c" "1.1100\x1c" "1\x1c");
  EXPECT_EQ(Body(7), "350\x1c" "1.1100\x1c");
  EXPECT_EQ(Body(9), "61ЦТО\x1c");
  EXPECT_EQ(Body(10), "A28\x1c" "0\x1c" "0\x1c");
  for (size_t i = 3; i < 11; ++i) EXPECT_GE(Gap(i), 50) << i;
  // The Z report kept the line alive with ACKs while it printed.
  const auto sent = m_sim->sent();
  EXPECT_NE(std::find(sent.begin(), sent.end(), uint8_t{0x06}), sent.end());
  const auto s = m_sim->state();
  EXPECT_EQ(s.tables.at({8, 0}), "0");
  EXPECT_FALSE(s.shiftOpen);
  EXPECT_EQ(s.lastClosedShift, 1u);
  EXPECT_EQ(s.cashInDrawer, 0);  // collected to zero at closing
  EXPECT_EQ(s.receiptNumber, 1u);
}

TEST_F(TestSaleTest, UntickedSellsWithoutTable8OrZReport) {
  Ready();
  TestSaleInput in;
  in.closeShift = false;
  in.operatorName = "Оператор с очень длинным именем";  // 20 characters are sent
  ASSERT_EQ(app::RunTestSale(in, m_ask).outcome, TestSaleOutcome::Sold);
  EXPECT_EQ(Codes(), (Codes_{"A5", "A1", "20", "30", "34", "35", "22"}));
  EXPECT_EQ(Body(2), "202\x1c" "1\x1c" "Оператор с очень дли\x1c" "1\x1c");
  EXPECT_GE(Gap(2), 50);  // the pause before the receipt
  EXPECT_TRUE(m_sim->state().shiftOpen);
  EXPECT_EQ(m_sim->state().cashInDrawer, 11100);
}

// Table 10 on: the display is tested first.  Without a display nothing is
// sold and table 8 is not touched; with one the sale goes on.
TEST_F(TestSaleTest, CustomerDisplayTestedWhenAutomaticOutputIsOn) {
  Ready().setTable(10, 0, "1");
  const auto r = app::RunTestSale(TestSaleInput{}, m_ask);
  EXPECT_EQ(r.outcome, TestSaleOutcome::DisplayNotReady);
  EXPECT_EQ(r.displayCode, 0x0F);
  ASSERT_EQ(m_ask.asked.size(), 1u);
  EXPECT_EQ(m_ask.asked[0].text, app::kDisplayNotReadyText);
  EXPECT_EQ(m_ask.asked[0].title, "Ошибка");
  EXPECT_EQ(m_ask.asked[0].icon, app::Icon::Error);
  EXPECT_EQ(Codes(), (Codes_{"A5", "A1", "81"}));
  EXPECT_EQ(Body(2), "81Тестовая\x1c" "Продажа\x1c");

  m_sim->setDisplayAttached(true);
  m_sim->clearLog();
  TestSaleInput in;
  in.closeShift = false;
  EXPECT_EQ(app::RunTestSale(in, m_ask).outcome, TestSaleOutcome::Sold);
  EXPECT_EQ(Codes(), (Codes_{"A5", "A1", "81", "20", "30", "34", "35", "22"}));
}

// Version 120 has no display test, and no table 8: what cannot be read is
// not overwritten.
TEST_F(TestSaleTest, Version120NeitherTestsTheDisplayNorTouchesTable8) {
  Ready(120);
  ASSERT_EQ(app::RunTestSale(TestSaleInput{}, m_ask).outcome, TestSaleOutcome::Sold);
  EXPECT_EQ(Codes(), (Codes_{"A5", "A1", "20", "30", "34", "35", "22", "61"}));
  EXPECT_EQ(Body(1), "A18\x1c" "0\x1c");
}

// An empty amount is a sale of 0.00, which the register refuses at the
// payment: table 8 goes back, no Z report, the receipt stays open, the
// code reaches the caller.
TEST_F(TestSaleTest, RefusedPaymentRestoresTable8AndLeavesTheReceiptOpen) {
  Ready().setTable(8, 0, "0");
  TestSaleInput in;
  in.amount = "";
  try {
    app::RunTestSale(in, m_ask);
    ADD_FAILURE() << "the sale went through";
  } catch (uint16_t code) {
    EXPECT_EQ(code, 3);
  }
  EXPECT_EQ(Codes(), (Codes_{"A5", "A1", "A1", "A2", "20", "30", "34", "35", "A2"}));
  EXPECT_EQ(Body(5), "30ТЕСТ-ТОВАР1\x1c" "123456789012\x1c" "1.000\x1c" "0.0000\x1c" "1\x1c");
  EXPECT_EQ(Body(8), "A28\x1c" "0\x1c" "0\x1c");
  EXPECT_TRUE(m_sim->state().receiptOpen);
  EXPECT_EQ(m_sim->table(8, 0), "0");
}

// A failed read of table 10 ends the sale before anything is written, and
// is not hidden from the caller.
TEST_F(TestSaleTest, FailedDisplaySettingReadEndsTheSale) {
  Ready();
  sim::Faults f;
  f.forced["A1"] = {0x01, {}};
  m_sim->setFaults(f);
  EXPECT_THROW(app::RunTestSale(TestSaleInput{}, m_ask), uint16_t);
  EXPECT_EQ(Codes(), (Codes_{"A5", "A1"}));
  EXPECT_TRUE(m_ask.asked.empty());
}

TEST(TestSaleAmount, KopecksToRoubles) {
  EXPECT_DOUBLE_EQ(app::TestSaleRoubles("111"), 1.11);
  EXPECT_DOUBLE_EQ(app::TestSaleRoubles(""), 0.0);
  EXPECT_DOUBLE_EQ(app::TestSaleRoubles("abc"), 0.0);
  EXPECT_DOUBLE_EQ(app::TestSaleRoubles("  250x"), 2.5);
  // only the first 24 characters count
  EXPECT_DOUBLE_EQ(app::TestSaleRoubles("100000000000000000000000999"), 1e21);
}

}  // namespace
}  // namespace termina::apptest
