// SPDX-License-Identifier: GPL-3.0-or-later
// Clock synchronization: the page's texts of the local time, and the
// register's clock set from it or its refusal passed on.
#include "clock_sync.h"
#include "core_fixture.h"

namespace termina::apptest {
namespace {

class ClockSyncTest : public CoreTest {};

TEST_F(ClockSyncTest, TextsAndTheRegisterClock) {
  std::tm tm{};
  tm.tm_year = 107, tm.tm_mon = 6, tm.tm_mday = 13, tm.tm_hour = 21, tm.tm_min = 5, tm.tm_sec = 3;
  EXPECT_EQ(app::SynchroDateText(tm), "07/13/07");
  EXPECT_EQ(app::SynchroTimeText(tm), "21:05:03");

  StartRegister().setReady();
  m_sim->setClockOffset(-400 * 86400);
  Connect();
  app::RunSynchro();
  EXPECT_EQ(Codes(), std::vector<std::string>{"A3"});
  EXPECT_LE(std::llabs(m_sim->state().clockOffsetSeconds), 2);
  m_sim->setStatus(0, 0x04, 0);  // an open shift: the register keeps its clock
  EXPECT_THROW(app::RunSynchro(), uint16_t);
}

}  // namespace
}  // namespace termina::apptest
