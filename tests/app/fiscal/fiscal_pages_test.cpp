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

using termina::sim::Config;

class FiscalPagesTest : public AppTest {
 protected:
  CFRMainDlg& OpenActive(uint16_t version = 125) {
    Config cfg;
    cfg.version = version;
    cfg.shiftReportMs = 300;
    StartRegister(cfg);
    CFRMainDlg& main = Open();
    main.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&main, 5000));
    return main;
  }
  CFRFunction* Select(CFRMainDlg& main, int tab, const QString& caption) {
    if (main.m_tab->currentIndex() != tab) main.m_tab->setCurrentIndex(tab);
    const auto items = main.m_tree->findItems(caption, Qt::MatchExactly);
    EXPECT_EQ(items.size(), 1) << caption.toStdString();
    if (items.isEmpty()) return nullptr;
    main.m_tree->setCurrentItem(items.front());
    return main.CurrentPage();
  }
  QLineEdit* Edit(CFRFunction* page, int id) { return tk::Item<QLineEdit>(page, id); }
  std::vector<std::string> Codes() const {
    std::vector<std::string> c;
    for (const auto& r : m_sim->requests()) c.push_back(r.code);
    return c;
  }
  bool Sent(const std::string& code) const {
    const auto c = Codes();
    return std::find(c.begin(), c.end(), code) != c.end();
  }
};

TEST_F(FiscalPagesTest, FiscalizationChecksFieldsThenRegisters) {
  CFRMainDlg& main = OpenActive();
  // The user comes to the page from another one: the caret goes to the
  // current password.
  Select(main, 0, "Тестовая продажа");
  CFRFunction* page = Select(main, 0, "Фискализация / перерегистрация");
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->GetTemplateId(), 141u);
  EXPECT_EQ(QApplication::focusWidget(), Edit(page, 1029));
  for (int id : {1029, 1032, 1033}) EXPECT_EQ(Edit(page, id)->echoMode(), QLineEdit::Password) << id;
  EXPECT_EQ(Edit(page, 1030)->echoMode(), QLineEdit::Normal);
  QTest::keyClicks(Edit(page, 1030), "1234567890123");  // no 13th digit
  EXPECT_EQ(Edit(page, 1030)->text(), "123456789012");
  QTest::keyClicks(Edit(page, 1031), "77a01-");  // digits only
  EXPECT_EQ(Edit(page, 1031)->text(), "7701");
  Edit(page, 1030)->clear();
  Edit(page, 1031)->clear();

  // All empty: the first field only; then the next one, with the focus.
  m_sim->clearLog();
  Button(page, CFRFunction::kExecuteId)->click();
  EXPECT_EQ(m_prompts.Texts(), QStringList{"Поле \"ТЕКУЩИЙ ПАРОЛЬ\" должно быть заполнено"});
  EXPECT_EQ(m_prompts.messages.back().title, "TerminaTool");
  EXPECT_EQ(QApplication::focusWidget(), Edit(page, 1029));
  Edit(page, 1029)->setText("0");
  Button(page, CFRFunction::kExecuteId)->click();
  EXPECT_EQ(m_prompts.Texts().last(), "Поле \"РЕГИСТРАЦИОННЫЙ №\" должно быть заполнено");
  EXPECT_EQ(QApplication::focusWidget(), Edit(page, 1030));
  EXPECT_FALSE(page->IsCommandRunning());
  EXPECT_TRUE(m_sim->requests().empty());

  // Registration numbers differ: reported with the focus on the new password.
  const std::pair<int, const char*> fields[] = {{1030, "123456789012"}, {1035, "123456789011"}, {1031, "7701234567"},
                                                {1034, "7701234567"},   {1032, "4321"},         {1033, "4321"}};
  for (const auto& [id, text] : fields) Edit(page, id)->setText(QString::fromUtf8(text));
  m_prompts.messages.clear();
  Button(page, CFRFunction::kExecuteId)->click();
  ASSERT_TRUE(WaitIdle(page));
  EXPECT_EQ(m_prompts.Texts(),
            QStringList{"Несовпадение регистрационных номеров! Введите регистрационный номер ещё раз."});
  EXPECT_EQ(QApplication::focusWidget(), Edit(page, 1032));
  EXPECT_FALSE(Sent("08"));

  // Registered, with the main window and its navigation usable meanwhile.
  Edit(page, 1035)->setText("123456789012");
  termina::sim::Faults slow;
  slow.replyDelayMs = 400;
  m_sim->setFaults(slow);
  m_prompts.messages.clear();
  Button(page, CFRFunction::kExecuteId)->click();
  ASSERT_TRUE(tk::PumpUntil([&] { return Sent("08"); }, 5000));
  EXPECT_TRUE(page->IsCommandRunning());
  EXPECT_TRUE(main.isEnabled());
  EXPECT_TRUE(main.m_tree->isEnabled());
  ASSERT_TRUE(WaitIdle(page));
  EXPECT_TRUE(m_prompts.messages.empty());
  EXPECT_EQ(main.StatusText(0), "Готов");
  const auto reqs = m_sim->requests();
  ASSERT_GE(reqs.size(), 2u);
  EXPECT_EQ(reqs[reqs.size() - 2].bodyUtf8, "080\x1c" "123456789012\x1c" "7701234567\x1c" "4321\x1c");
  EXPECT_EQ(reqs.back().code, "00");
  EXPECT_EQ(m_sim->state().registrationNumber, "123456789012");
}

TEST_F(FiscalPagesTest, TestSaleDisplayRefusalSaleAndFailure) {
  CFRMainDlg& main = OpenActive();
  CFRFunction* page = Select(main, 0, "Тестовая продажа");
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->GetTemplateId(), 153u);
  EXPECT_EQ(Edit(page, 1092)->text(), "ЦТО");
  EXPECT_EQ(Edit(page, 1093)->text(), "111");
  EXPECT_TRUE(tk::Item<QCheckBox>(page, 1094)->isChecked());

  // Automatic display output without a display: the message while the
  // main window is locked with the wait cursor, and no receipt.
  m_sim->setTable(10, 0, "1");
  m_sim->setTable(8, 0, "0");
  bool lockedDuringMessage = false;
  m_prompts.onMessage = [&](const tk::Message&) {
    lockedDuringMessage = !main.isEnabled() && main.cursor().shape() == Qt::WaitCursor;
  };
  m_sim->clearLog();
  Button(page, CFRFunction::kExecuteId)->click();
  ASSERT_TRUE(WaitIdle(page));
  ASSERT_EQ(m_prompts.messages.size(), 1u);
  EXPECT_EQ(m_prompts.messages[0].text, QString::fromUtf8(termina::app::kDisplayNotReadyText));
  EXPECT_EQ(m_prompts.messages[0].title, "Ошибка");
  EXPECT_EQ(m_prompts.messages[0].icon, tk::Icon::Error);
  EXPECT_TRUE(lockedDuringMessage);
  EXPECT_TRUE(main.isEnabled());
  EXPECT_NE(main.cursor().shape(), Qt::WaitCursor);
  EXPECT_FALSE(Sent("20"));
  m_prompts.onMessage = nullptr;

  // The sale and the Z report.
  m_sim->setTable(10, 0, "0");
  m_prompts.messages.clear();
  Button(page, CFRFunction::kExecuteId)->click();
  ASSERT_TRUE(WaitIdle(page));
  EXPECT_TRUE(m_prompts.messages.empty()) << m_prompts.Texts().join('|').toStdString();
  EXPECT_EQ(main.StatusText(0), "Готов");
  EXPECT_TRUE(Sent("61"));
  EXPECT_EQ(m_sim->state().receiptLines.back(), "ИТОГ 1.11");
  EXPECT_FALSE(m_sim->state().shiftOpen);

  // An empty amount: the register refuses the payment; its text is shown,
  // table 8 is back, no Z report, and the window is usable again.
  Edit(page, 1093)->clear();
  m_sim->clearLog();
  Button(page, CFRFunction::kExecuteId)->click();
  ASSERT_TRUE(WaitIdle(page));
  ASSERT_EQ(m_prompts.messages.size(), 1u);
  EXPECT_EQ(m_prompts.messages[0].title, "Ошибка");
  QString expected;
  ASSERT_TRUE(ErrorText(3, &expected));
  EXPECT_EQ(m_prompts.messages[0].text, expected);
  EXPECT_EQ(main.StatusText(0), expected);
  EXPECT_FALSE(Sent("61"));
  EXPECT_EQ(Codes().back(), "A2");
  EXPECT_EQ(m_sim->table(8, 0), "0");
  EXPECT_TRUE(main.isEnabled());
}

TEST_F(FiscalPagesTest, SynchronizationShowsTheClockAndSetsTheRegister) {
  CFRMainDlg& main = OpenActive();
  main.m_tab->setCurrentIndex(2);
  CFRFunction* page = main.CurrentPage();
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(main.m_tree->currentItem()->text(0), "Синхронизация");
  EXPECT_EQ(page->GetTemplateId(), 151u);
  std::tm now{};
  ASSERT_TRUE(termina::app::LocalNow(now));
  EXPECT_EQ(Edit(page, 1082)->text().toStdString(), termina::app::SynchroDateText(now));
  for (int id : {1082, 1026}) {
    EXPECT_FALSE(Edit(page, id)->isEnabled()) << id;
    EXPECT_TRUE(Edit(page, id)->isReadOnly()) << id;
  }
  const QString shown = Edit(page, 1026)->text();
  EXPECT_EQ(shown.size(), 8);
  EXPECT_TRUE(tk::PumpUntil([&] { return Edit(page, 1026)->text() != shown; }, 2500));

  m_sim->clearLog();
  Button(page, CFRFunction::kExecuteId)->click();
  ASSERT_TRUE(WaitIdle(page));
  EXPECT_TRUE(m_prompts.messages.empty());
  EXPECT_EQ(main.StatusText(0), "Готов");
  EXPECT_EQ(Codes().back(), "A3");

  // With the shift open the register keeps its clock, and the user is told.
  m_sim->setStatus(0, 0x04, 0);
  Button(page, CFRFunction::kExecuteId)->click();
  ASSERT_TRUE(WaitIdle(page));
  QString refused;
  ASSERT_TRUE(ErrorText(1, &refused));
  EXPECT_EQ(m_prompts.Texts(), QStringList{refused});
  EXPECT_EQ(main.StatusText(0), refused);
  EXPECT_TRUE(main.isEnabled());
}

}  // namespace
}  // namespace apptest
