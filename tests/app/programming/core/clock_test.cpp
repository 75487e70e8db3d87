// SPDX-License-Identifier: GPL-3.0-or-later
// The clock comparison and the date/time and password sequences, through
// the real driver against the simulated register.
#include <gtest/gtest.h>

#include <cstdlib>

#include "clock.h"
#include "core_fixture.h"
#include "driver_text.h"
#include "ini.h"

namespace termina::apptest {
namespace {

using app::Answer;
using app::ClockDifferenceMinutes;
using app::RegisterClock;

TEST(ClockDifference, FromTheFieldsInMinutesWithHalfSecondRounding) {
  // A day apart with day and month both below 13: read month first, these
  // would be months apart.
  EXPECT_EQ(ClockDifferenceMinutes({7, 12, 2026}, {4, 14, 51}, {"061226", "041451"}), 1440);
  EXPECT_EQ(ClockDifferenceMinutes({7, 12, 2026}, {4, 14, 51}, {"071126", "041451"}), 30 * 1440);
  // 23:59:40 is 1439 minutes; 24:00:00 is 1440.
  EXPECT_EQ(ClockDifferenceMinutes({8, 12, 2026}, {12, 0, 0}, {"071226", "120020"}), 1439);
  EXPECT_EQ(ClockDifferenceMinutes({8, 12, 2026}, {12, 0, 0}, {"071226", "120000"}), 1440);
  // Across the year's end and a leap day; behind counts negative, cut
  // towards zero.
  EXPECT_EQ(ClockDifferenceMinutes({1, 1, 2027}, {0, 0, 10}, {"311226", "235950"}), 0);
  EXPECT_EQ(ClockDifferenceMinutes({1, 3, 2028}, {0, 0, 0}, {"280228", "000000"}), 2 * 1440);
  EXPECT_EQ(ClockDifferenceMinutes({8, 12, 2026}, {10, 0, 0}, {"081226", "100130"}), -1);
  EXPECT_EQ(ClockDifferenceMinutes({8, 12, 2026}, {10, 0, 0}, {"081226", "100059"}), 0);
  EXPECT_EQ(ClockDifferenceMinutes({5, 12, 2026}, {10, 0, 0}, {"081226", "100000"}), -3 * 1440);
  // Nothing to compare with.
  EXPECT_FALSE(ClockDifferenceMinutes({8, 12, 2026}, {10, 0, 0}, {"", ""}));
  EXPECT_FALSE(ClockDifferenceMinutes({8, 12, 2026}, {10, 0, 0}, {"310226", "100000"}));
  EXPECT_FALSE(ClockDifferenceMinutes({0, 0, 0}, {255, 255, 255}, {"081226", "100000"}));
}

class ClockTest : public CoreTest {
 protected:
  app::ClockSetting SetNow() {
    TRMADT date;
    TRMATM time;
    app::LocalDateTime(&date, &time);
    m_sent = {date, time};
    return app::SetRegisterClock(date, time, m_ask);
  }
  std::pair<TRMADT, TRMATM> m_sent{};
};

TEST_F(ClockTest, ThirtyHoursAheadAsksAndNoChangesNothing) {
  StartRegister();
  Connect();
  m_sim->setClockOffset(-30 * 3600);
  m_ask.answers = {Answer::No};
  const app::ClockSetting s = SetNow();
  EXPECT_TRUE(s.asked);
  EXPECT_FALSE(s.set);
  ASSERT_EQ(m_ask.asked.size(), 1u);
  const app::Question& q = m_ask.asked[0];
  EXPECT_EQ(q.text, app::OneDayQuestion(m_sent.first, m_sent.second));
  EXPECT_EQ(q.title, "Предупреждение");
  EXPECT_EQ(q.buttons, app::Buttons::YesNo);
  EXPECT_EQ(q.icon, app::Icon::Exclamation);
  EXPECT_EQ(Codes(), (std::vector<std::string>{"A7", "A7"}));
  EXPECT_EQ(m_sim->state().clockOffsetSeconds, -30 * 3600);

  // Yes sets the clock, reads it back and re-initialises.
  m_sim->clearLog();
  m_ask.answers = {Answer::Yes};
  EXPECT_TRUE(SetNow().set);
  EXPECT_EQ(Codes(), (std::vector<std::string>{"A7", "A3", "A7", "00"}));
  EXPECT_LT(std::llabs(m_sim->state().clockOffsetSeconds), 5);
}

TEST(ClockQuestion, NamesTheComputersDateWithTheFullYear) {
  EXPECT_EQ(app::OneDayQuestion({7, 12, 2026}, {4, 14, 51}),
            "Вводимые дата и время 07/12/2026 04:14:51 отличаются от текущей даты и времени ККМ более чем на "
            "сутки.Продолжить изменение даты и времени?");
}

TEST_F(ClockTest, BehindOrJustUnderADaySetsWithoutAQuestion) {
  StartRegister();
  Connect();
  m_sim->setClockOffset(-(23 * 3600 + 59 * 60 + 40));
  const app::ClockSetting s = SetNow();
  ASSERT_TRUE(s.difference);
  EXPECT_EQ(*s.difference, 1439);
  EXPECT_FALSE(s.asked);
  EXPECT_TRUE(s.set);
  EXPECT_TRUE(m_ask.asked.empty());

  // Three days behind a register whose last fiscal operation is "now" on
  // its own clock: no question, and the register refuses with 12.
  m_sim->setClockOffset(3 * 86400);
  m_sim->setReady();
  m_sim->clearLog();
  uint16_t code = 0;
  try {
    SetNow();
  } catch (uint16_t c) { code = c; }
  EXPECT_EQ(code, 12);
  EXPECT_TRUE(m_ask.asked.empty());
  EXPECT_EQ(Codes(), (std::vector<std::string>{"A7", "A3"}));
  EXPECT_EQ(app::ClockFailureText(12), "Не возможно установить дату меньше даты последней фискальной операции");
  EXPECT_EQ(app::ClockFailureText(3), app::ErrorText(3));
}

TEST_F(ClockTest, PageReadsByFiscalModeAndKeepsThePasswordAfterAFailure) {
  StartRegister();
  ini::writeString(m_root.ini(), "General", "pswd", "WKRD");
  Connect();
  // Power-on state: non-fiscal, so the last operation is not asked.
  app::ClockPageData p = app::ReadClockPage();
  EXPECT_TRUE(p.nonFiscal);
  EXPECT_TRUE(p.lastDate.empty());
  EXPECT_TRUE(p.clockRead);
  EXPECT_EQ(p.clock.date.size(), 6u);
  EXPECT_EQ(Codes(), (std::vector<std::string>{"A0", "A7"}));
  EXPECT_EQ(p.password, "WKRD");

  m_sim->setReady();
  m_sim->clearLog();
  p = app::ReadClockPage();
  EXPECT_FALSE(p.nonFiscal);
  EXPECT_EQ(p.lastDate, m_sim->state().lastFiscalDate);
  EXPECT_EQ(app::DateText(p.lastDate).size(), 8u);
  EXPECT_EQ(Codes(), (std::vector<std::string>{"A0", "A5", "A7"}));

  sim::Faults f;
  f.forced["A0"] = {1, {}};
  m_sim->setFaults(f);
  p = app::ReadClockPage();
  EXPECT_EQ(p.failure, 1);
  EXPECT_FALSE(p.clockRead);
  EXPECT_EQ(p.password, "WKRD");
}

TEST_F(ClockTest, PasswordOfFourCharactersReachesRegisterDriverAndIni) {
  sim::Config c;
  c.version = 301;
  StartRegister(c);
  Connect();
  for (const char* bad : {"123", "12345", ""}) {
    EXPECT_FALSE(app::ChangeExchangePassword(bad, m_ask)) << bad;
    EXPECT_EQ(m_ask.Texts().back(), "Пароль должен быть длинной 4 символа");
  }
  EXPECT_FALSE(app::ChangeExchangePassword("12\u26104", m_ask));  // a character code page 1251 lacks
  EXPECT_TRUE(Codes().empty());

  EXPECT_TRUE(app::ChangeExchangePassword("Пар1", m_ask));
  EXPECT_EQ(m_sim->state().password, "Пар1");
  EXPECT_EQ(Codes(), (std::vector<std::string>{"A2", "00"}));
  EXPECT_EQ(app::StoredExchangePassword(), "Пар1");
  EXPECT_TRUE(m_sim->state().initDone);
}

TEST_F(ClockTest, OlderRegisterRefusesAPasswordChange) {
  sim::Config c;
  c.version = 129;
  StartRegister(c);
  Connect();
  EXPECT_THROW(app::ChangeExchangePassword("1234", m_ask), uint16_t);
  EXPECT_EQ(m_sim->state().password, "WKRD");
  EXPECT_EQ(app::StoredExchangePassword(), "WKRD");
}

}  // namespace
}  // namespace termina::apptest
