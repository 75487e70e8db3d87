// Clock synchronization: the page's texts of the local time, and the
// register's clock set from it (or the register's refusal passed on).
#include "clock_sync.h"
#include "core_fixture.h"

namespace termina::apptest {
namespace {

TEST(ClockSync, DateIsMonthDayYearAndTimeHas24Hours) {
  std::tm tm{};
  tm.tm_year = 107;
  tm.tm_mon = 6;
  tm.tm_mday = 13;
  tm.tm_hour = 21;
  tm.tm_min = 5;
  tm.tm_sec = 3;
  EXPECT_EQ(app::SynchroDateText(tm), "07/13/07");
  EXPECT_EQ(app::SynchroTimeText(tm), "21:05:03");
  tm.tm_year = 100;
  tm.tm_mon = 0;
  tm.tm_mday = 2;
  tm.tm_hour = 0;
  EXPECT_EQ(app::SynchroDateText(tm), "01/02/00");
  EXPECT_EQ(app::SynchroTimeText(tm), "00:05:03");
}

class ClockSyncTest : public CoreTest {};

TEST_F(ClockSyncTest, SetsTheRegisterClockOrPassesTheRefusalOn) {
  StartRegister().setReady();
  Connect();
  std::tm before{};
  ASSERT_TRUE(app::LocalNow(before));
  app::RunSynchro();
  ASSERT_EQ(Codes(), std::vector<std::string>{"A3"});
  const auto fields = m_sim->requests()[0].fieldsUtf8;
  ASSERT_EQ(fields.size(), 2u);
  char date[32];
  std::snprintf(date, sizeof date, "%02d%02d%02d", before.tm_mday, before.tm_mon + 1, before.tm_year % 100);
  EXPECT_EQ(fields[0], date);
  EXPECT_LE(std::llabs(m_sim->state().clockOffsetSeconds), 2);

  // An open shift: the register keeps its clock and says so.
  m_sim->setStatus(0, 0x04, 0);
  EXPECT_THROW(app::RunSynchro(), uint16_t);
}

}  // namespace
}  // namespace termina::apptest
