// SPDX-License-Identifier: GPL-3.0-or-later
// The fiscalization, test sale and synchronization pages in the program,
// against the simulated register through the real driver.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include "app_fixture.h"
#include "clock_sync.h"
#include "driver_api.h"
#include "test_sale.h"

namespace apptest {
namespace {

class FiscalPagesTest : public AppTest {
 protected:
  CFRMainDlg& OpenActive() {
    termina::sim::Config cfg;
    cfg.version = 125;
    StartRegister(cfg);
    CFRMainDlg& main = Open();
    W(main)->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(tk::WidgetOf(&main), 5000));
    return main;
  }
  CFRFunction* Select(CFRMainDlg& main, const QString& caption) {
    Tree(main)->setCurrentItem(Tree(main)->findItems(caption, Qt::MatchExactly).value(0));
    // Its controls take input once its reads have been filled in.
    EXPECT_TRUE(WaitPageFilled(main));
    return main.CurrentPage();
  }
  QLineEdit* Edit(CFRFunction* page, int id) { return tk::Item<QLineEdit>(page, id); }
  bool Sent(const std::string& code) const {
    const auto r = m_sim->requests();
    return std::any_of(r.begin(), r.end(), [&](const auto& q) { return q.code == code; });
  }
  void Run(CFRFunction* page) {
    Button(page, CFRFunction::kExecuteId)->click();
    ASSERT_TRUE(WaitIdle(page));
  }
};

TEST_F(FiscalPagesTest, FiscalizationFieldsChecksAndRegistration) {
  CFRMainDlg& main = OpenActive();
  Select(main, "Тестовая продажа");
  CFRFunction* page = Select(main, "Фискализация / перерегистрация");
  EXPECT_EQ(QApplication::focusWidget(), Edit(page, 1029));
  for (int id : {1029, 1032, 1033}) EXPECT_EQ(Edit(page, id)->echoMode(), QLineEdit::Password) << id;
  QTest::keyClicks(Edit(page, 1030), "12345678901a23");  // digits only, no 13th
  EXPECT_EQ(Edit(page, 1030)->text(), "123456789012");

  m_sim->clearLog();
  Button(page, CFRFunction::kExecuteId)->click();  // refused before the command starts
  EXPECT_EQ(m_prompts.Texts(), std::vector<std::string>{"Поле \"ТЕКУЩИЙ ПАРОЛЬ\" должно быть заполнено"});
  EXPECT_EQ(QApplication::focusWidget(), Edit(page, 1029));
  EXPECT_FALSE(page->IsCommandRunning());

  const std::pair<int, const char*> fields[] = {{1029, "0"},    {1035, "123456789012"}, {1031, "7701"},
                                                {1034, "7702"}, {1032, "4321"},         {1033, "4321"}};
  for (const auto& [id, text] : fields) Edit(page, id)->setText(text);
  m_prompts.messages.clear();
  Run(page);
  EXPECT_EQ(m_prompts.Texts(), std::vector<std::string>{"Несовпадение ИНН! Введите ИНН ещё раз."});
  EXPECT_EQ(QApplication::focusWidget(), Edit(page, 1032));
  EXPECT_FALSE(Sent("08"));

  // Registered while the main window and its navigation stay usable.
  Edit(page, 1034)->setText("7701");
  termina::sim::Faults slow;
  slow.replyDelayMs = 400;
  m_sim->setFaults(slow);
  Button(page, CFRFunction::kExecuteId)->click();
  ASSERT_TRUE(tk::PumpUntil([&] { return Sent("08"); }, 5000));
  EXPECT_TRUE(!main.InputLocked() && Tree(main)->isEnabled());
  ASSERT_TRUE(WaitIdle(page));
  EXPECT_EQ(main.StatusText(0), "Готов");
  EXPECT_EQ(m_sim->requests().back().code, "00");
}

TEST_F(FiscalPagesTest, TestSaleDefaultsLockAndFailure) {
  CFRMainDlg& main = OpenActive();
  CFRFunction* page = Select(main, "Тестовая продажа");
  EXPECT_EQ(Edit(page, 1092)->text(), "ЦТО");
  EXPECT_EQ(Edit(page, 1093)->text(), "111");
  EXPECT_TRUE(tk::Item<QCheckBox>(page, 1094)->isChecked());

  // The display message while the window is locked with the wait cursor.
  m_sim->setTable(10, 0, "1");
  bool locked = false;
  m_prompts.onMessage = [&](const tk::Message&) {
    // Everything but "ВЫХОД" takes no input meanwhile.
    locked = main.InputLocked() && W(main)->cursor().shape() == Qt::WaitCursor && !Tree(main)->isEnabled() &&
             page->IsItemEnabled(CFRFunction::kExitId) && !page->IsItemEnabled(CFRFunction::kExecuteId);
  };
  Run(page);
  EXPECT_EQ(m_prompts.Texts(), std::vector<std::string>{termina::app::kDisplayNotReadyText});
  EXPECT_TRUE(locked);
  EXPECT_FALSE(main.InputLocked());
  EXPECT_NE(W(main)->cursor().shape(), Qt::WaitCursor);

  // A refused payment: the driver's text in the box and on the status line.
  m_sim->setTable(10, 0, "0");
  Edit(page, 1093)->clear();
  m_prompts.messages.clear();
  Run(page);
  const std::string refused = termina::app::ErrorText(3).value_or("");
  ASSERT_FALSE(refused.empty());
  EXPECT_EQ(m_prompts.Texts(), std::vector<std::string>{refused});
  EXPECT_EQ(m_prompts.messages[0].title, "Ошибка");
  EXPECT_EQ(main.StatusText(0), refused);
  EXPECT_FALSE(Sent("61"));
  EXPECT_FALSE(main.InputLocked());
}

TEST_F(FiscalPagesTest, SynchronizationClockAndRefusal) {
  CFRMainDlg& main = OpenActive();
  Tabs(main)->setCurrentIndex(2);
  CFRFunction* page = main.CurrentPage();
  ASSERT_EQ(page->GetTemplateId(), 151u);
  std::tm now{};
  ASSERT_TRUE(termina::app::LocalNow(now));
  EXPECT_EQ(Edit(page, 1082)->text().toStdString(), termina::app::SynchroDateText(now));
  EXPECT_FALSE(Edit(page, 1026)->isEnabled());
  const QString shown = Edit(page, 1026)->text();
  EXPECT_TRUE(tk::PumpUntil([&] { return Edit(page, 1026)->text() != shown; }, 2500));

  m_sim->setStatus(0, 0x04, 0);  // an open shift: the register refuses, the user is told
  Run(page);
  EXPECT_TRUE(Sent("A3"));
  const std::string refused = termina::app::ErrorText(1).value_or("");
  ASSERT_FALSE(refused.empty());
  EXPECT_EQ(m_prompts.Texts(), std::vector<std::string>{refused});
  EXPECT_EQ(main.StatusText(0), refused);
  EXPECT_FALSE(main.InputLocked());
}

}  // namespace
}  // namespace apptest
