// SPDX-License-Identifier: GPL-3.0-or-later
// The date/time and data-password page against the simulated register.
#include <QLineEdit>
#include <QRegularExpression>

#include "frconnectparams.h"
#include "ini.h"
#include "programming_pages.h"

namespace apptest {
namespace {

class ClockPageTest : public AppTest {
 protected:
  CFRFunction* Open(uint16_t version, bool fiscal) {
    termina::sim::Config c;
    c.version = version;
    StartRegister(c);
    if (fiscal) m_sim->setReady();
    CFRFunction* page = ShowProgrammingPage(AppTest::Open(), QStringLiteral("Параметры связи"));
    if (page) m_sim->clearLog();
    return page;
  }
  static QString Text(CFRFunction* page, int id) { return tk::Item<QLineEdit>(page, id)->text(); }
  static bool Shown(CFRFunction* page, int id) { return !tk::Item(page, id)->isHidden(); }
  bool Sent(const std::string& code) const {
    for (const auto& r : m_sim->requests())
      if (r.code == code) return true;
    return false;
  }
};

TEST_F(ClockPageTest, SecondModelLayoutInNonFiscalMode) {
  CFRFunction* page = Open(201, false);
  ASSERT_NE(dynamic_cast<CFRConnectParams*>(page), nullptr);
  for (int id : {1056, 11166, 11165, 1080, 1014}) EXPECT_FALSE(Shown(page, id)) << id;
  for (int id : {1079, 1081, 105, 1}) EXPECT_TRUE(Shown(page, id)) << id;
  EXPECT_TRUE(QRegularExpression("^\\d\\d/\\d\\d/\\d\\d$").match(Text(page, 1051)).hasMatch())
      << Text(page, 1051).toStdString();
  EXPECT_TRUE(QRegularExpression("^\\d\\d/\\d\\d/\\d\\d$").match(Text(page, 1082)).hasMatch());
  EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$").match(Text(page, 1026)).hasMatch());
  EXPECT_TRUE(Text(page, 1052).isEmpty());
  EXPECT_TRUE(Text(page, 1055).isEmpty());
  for (int id : {11149, 11150, 11151}) EXPECT_FALSE(tk::Item(page, id)->isEnabled()) << id;
  // The computer's time runs on.
  const QString first = Text(page, 1053);
  EXPECT_TRUE(tk::PumpUntil([&] { return Text(page, 1053) != first; }, 3000));
}

TEST_F(ClockPageTest, ThirdModelFiscalClockAndPassword) {
  CFRFunction* page = Open(301, true);
  ASSERT_NE(page, nullptr);
  for (int id : {1056, 11166, 11165, 1080}) EXPECT_TRUE(Shown(page, id)) << id;
  for (int id : {11149, 11150, 11151}) EXPECT_TRUE(tk::Item(page, id)->isEnabled()) << id;
  const std::string last = m_sim->state().lastFiscalDate;
  EXPECT_EQ(Text(page, 1052).toStdString(), last.substr(0, 2) + "/" + last.substr(2, 2) + "/" + last.substr(4, 2));
  EXPECT_EQ(Text(page, 1056), "WKRD");

  // 30 hours behind: the question; No sets nothing.
  m_sim->setClockOffset(-30 * 3600);
  m_prompts.answers = {tk::IDNO};
  Button(page, 1079)->click();
  ASSERT_EQ(m_prompts.messages.size(), 1u);
  EXPECT_EQ(m_prompts.messages[0].title, "Предупреждение");
  EXPECT_EQ(m_prompts.messages[0].buttons, tk::Buttons::YesNo);
  EXPECT_FALSE(Sent("A3"));
  EXPECT_FALSE(Sent("00"));
  EXPECT_FALSE(m_main->InputLocked());

  // The password: 4 characters or nothing is sent.
  m_sim->clearLog();
  tk::Item<QLineEdit>(page, 1056)->setText("ABC");
  Button(page, 1080)->click();
  EXPECT_EQ(m_prompts.messages.back().text, "Пароль должен быть длинной 4 символа");
  EXPECT_TRUE(m_sim->requests().empty());
  tk::Item<QLineEdit>(page, 1056)->setText("ABCD");
  Button(page, 1080)->click();
  EXPECT_EQ(m_sim->state().password, "ABCD");
  EXPECT_EQ(termina::ini::readString(Ini(), "General", "pswd", "", 60), "ABCD");
  EXPECT_TRUE(Sent("00"));
}

// The register's clock 3 days ahead of the computer's and its last fiscal
// operation made on it: no question, the register's refusal in the page's words.
TEST_F(ClockPageTest, SettingBeforeTheLastFiscalOperationIsRefused) {
  CFRFunction* page = Open(301, false);
  ASSERT_NE(page, nullptr);
  m_sim->setClockOffset(3 * 86400);
  m_sim->setReady();
  const QString shown = Text(page, 1082);
  Button(page, 1079)->click();
  ASSERT_EQ(m_prompts.messages.size(), 1u);
  EXPECT_EQ(m_prompts.messages[0].text, "Не возможно установить дату меньше даты последней фискальной операции");
  EXPECT_EQ(m_prompts.messages[0].title, "Ошибка");
  EXPECT_EQ(m_prompts.messages[0].icon, tk::Icon::Error);
  EXPECT_TRUE(Sent("A3"));
  EXPECT_FALSE(Sent("00"));
  EXPECT_FALSE(m_main->InputLocked());
  EXPECT_GT(m_sim->state().clockOffsetSeconds, 3 * 86400 - 5);
  EXPECT_EQ(Text(page, 1082), shown);
}

}  // namespace
}  // namespace apptest
