// SPDX-License-Identifier: GPL-3.0-or-later
// The fiscal-memory report pages and the EEJ pages in the program: real
// widgets offscreen, the real driver, the simulated register.
#include <QApplication>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>

#include "app_fixture.h"
#include "eejpages.h"
#include "rangereports.h"

namespace apptest {
namespace {

using termina::sim::Config;
const std::string kReady = "Готов";
const std::string FS = "\x1c";

class ReportPages : public AppTest {
 protected:
  // A working register whose reports print for `reportMs`.
  CFRMainDlg& OpenReady(int reportMs = 0) {
    Config cfg;
    cfg.reportDurationMs = reportMs;
    cfg.inspectorPassword = "1234567890";
    StartRegister(cfg);
    m_sim->setReady();
    m_sim->addFiscalHistory(3);
    CFRMainDlg& main = Open();
    m_prompts.messages.clear();
    return main;
  }
  // Shows the page of the tree item with this caption on the tab with this caption.
  CFRFunction* Select(const QString& tab, const QString& item) {
    CFRMainDlg& main = *m_main;
    for (int t = 0; t < Tabs(main)->count(); ++t)
      if (Tabs(main)->tabText(t) == tab) Tabs(main)->setCurrentIndex(t);
    for (int i = 0; i < Tree(main)->topLevelItemCount(); ++i)
      if (Tree(main)->topLevelItem(i)->text(0) == item) Tree(main)->setCurrentItem(Tree(main)->topLevelItem(i));
    // Its controls take input once its reads have been filled in.
    EXPECT_TRUE(WaitPageFilled(main));
    CFRFunction* page = main.CurrentPage();
    EXPECT_TRUE(page && Tree(main)->currentItem() && Tree(main)->currentItem()->text(0) == item) << item.toStdString();
    return page;
  }
  // Runs the page's command and returns the bodies of what it sent.
  std::vector<std::string> Run(CFRFunction* page) {
    m_sim->clearLog();
    Button(page, CFRFunction::kExecuteId)->click();
    EXPECT_TRUE(WaitIdle(page));
    std::vector<std::string> bodies;
    for (const auto& r : m_sim->requests())
      if (r.code != "A5" && r.code != "A0") bodies.push_back(r.bodyUtf8);  // the device check left out
    return bodies;
  }
  static void Type(CFRFunction* page, int id, const QString& text) { tk::Item<QLineEdit>(page, id)->setText(text); }
};

// Every item of the two tabs but the two another page serves opens its page
// class, with the report type of its item.
TEST_F(ReportPages, EveryItemOpensItsPage) {
  OpenReady();
  const QString inspector = QStringLiteral("Налоговый инспектор"), eej = QStringLiteral("ЭКЛЗ");
  struct Case {
    QString tab, item;
    unsigned templateId;
    int type;  // -1: no report type
  } cases[] = {
      {inspector, "Краткий фиск. отчет по сменам", 140, 0},
      {inspector, "Полный фиск. отчет по сменам", 140, 1},
      {inspector, "Краткий фиск. отчет по датам", 139, 0},
      {inspector, "Полный фиск. отчет по датам", 139, 1},
      {eej, "Активизация ЭКЛЗ", 134, -1},
      {eej, "Закрытие архива ЭКЛЗ", 134, -1},
      {eej, "Контрольная лента", 137, -1},
      {eej, "Документ из ЭКЛЗ", 138, -1},
      {eej, "Краткий отчет по сменам", 136, 0},
      {eej, "Полный отчет по сменам", 136, 1},
      {eej, "Краткий отчет по датам", 135, 0},
      {eej, "Полный отчет по датам", 135, 1},
      {eej, "Отчет по активизации", 134, -1},
      {eej, "Отчет по смене", 137, -1},
  };
  for (const Case& c : cases) {
    CFRFunction* page = Select(c.tab, c.item);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->GetTemplateId(), c.templateId) << c.item.toStdString();
    EXPECT_NE(typeid(*page), typeid(CFRFunction)) << c.item.toStdString();  // a page of its own
    if (auto* s = dynamic_cast<CEEJShiftReport*>(page)) { EXPECT_EQ(s->m_wType, c.type); }
    if (auto* d = dynamic_cast<CEEJDateReport*>(page)) { EXPECT_EQ(d->m_wType, c.type); }
    // The report pages, and only they, can be interrupted.
    EXPECT_EQ(Button(page, CFRFunction::kInterruptId) != nullptr, c.templateId == 135 || c.templateId == 136 ||
                                                                      c.templateId == 137 || c.templateId == 139 ||
                                                                      c.templateId == 140)
        << c.item.toStdString();
  }
  EXPECT_NE(dynamic_cast<CEEJGetShift*>(Select(eej, "Отчет по смене")), nullptr);
  EXPECT_EQ(dynamic_cast<CEEJGetShift*>(Select(eej, "Контрольная лента")), nullptr);
}

// The shift page's frame: the type of its item, an empty edit as 0, a
// number above 65535 cut to 16 bits, a 12-digit password cut to 10; the
// register's refusal on the status line and in the page's box.
TEST_F(ReportPages, FiscalShiftPageFrameAndRefusal) {
  CFRMainDlg& main = OpenReady();
  CFRFunction* page = Select("Налоговый инспектор", "Полный фиск. отчет по сменам");
  EXPECT_EQ(page->ItemText(1025), "1");
  EXPECT_EQ(page->ItemText(1026), "1");
  auto* upDown = tk::Item<QSpinBox>(page, 1087);
  EXPECT_EQ(upDown->minimum(), 1);
  EXPECT_EQ(upDown->maximum(), 2147483647);
  EXPECT_EQ(tk::Item<QLineEdit>(page, 1028)->echoMode(), QLineEdit::Password);
  // The arrows step from what is typed.
  Type(page, 1026, "69999");
  upDown->stepUp();
  EXPECT_EQ(page->ItemText(1026), "70000");
  Type(page, 1025, "");
  Type(page, 1028, "123456789012");
  EXPECT_EQ(Run(page), std::vector<std::string>{"621" + FS + "0" + FS + "4464" + FS + "1234567890" + FS});
  const std::string refused = "Неверный параметр функции";
  EXPECT_EQ(main.StatusText(0), refused);
  ASSERT_EQ(m_prompts.messages.size(), 1u);
  EXPECT_EQ(m_prompts.messages[0].text, refused);
  EXPECT_EQ(m_prompts.messages[0].title, "Ошибка");
  EXPECT_EQ(m_prompts.messages[0].owner, page);
  EXPECT_TRUE(Tree(main)->isEnabled());
  // The same page again with shifts it has: nothing was cleared.
  Type(page, 1025, "2");
  Type(page, 1026, "3");
  EXPECT_EQ(Run(page), std::vector<std::string>{"621" + FS + "2" + FS + "3" + FS + "1234567890" + FS});
  EXPECT_EQ(main.StatusText(0), kReady);
}

// The date page: today until a day is picked; an empty password is told,
// the focus goes to it and nothing is sent.
TEST_F(ReportPages, FiscalDatePageDatesAndEmptyPassword) {
  CFRMainDlg& main = OpenReady();
  W(main)->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(tk::WidgetOf(&main), 5000));
  auto* page = dynamic_cast<CFiscDateReport*>(Select("Налоговый инспектор", "Краткий фиск. отчет по датам"));
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(Run(page), std::vector<std::string>{});
  ASSERT_EQ(m_prompts.messages.size(), 1u);
  EXPECT_EQ(m_prompts.messages[0].text, "Поле \"ПАРОЛЬ\" должно быть заполнено");
  EXPECT_EQ(m_prompts.messages[0].title, "Ошибка");
  EXPECT_EQ(QApplication::focusWidget(), tk::Item<QLineEdit>(page, 1028));
  EXPECT_TRUE(Tree(main)->isEnabled());

  const QString today = QDate::currentDate().toString("ddMMyy");
  Type(page, 1028, "1234567890");
  tk::Item<QDateTimeEdit>(page, 1021)->setDate(QDate(2007, 3, 1));
  EXPECT_EQ(page->m_startDate.year, 2007);
  const std::string tail = FS + today.toStdString() + FS + "1234567890" + FS;
  EXPECT_EQ(Run(page), std::vector<std::string>{"630" + FS + "010307" + tail});
  EXPECT_EQ(main.StatusText(0), kReady);  // the register's history lies in the range
}

// A long report kept alive by the register's ACKs and interrupted with
// "ПРЕРВАТЬ": one CAN, "Отчет прерван", the register's answer shown, the
// navigation back and the page usable again.
TEST_F(ReportPages, InterruptedControlTape) {
  CFRMainDlg& main = OpenReady(60000);
  CFRFunction* page = Select("ЭКЛЗ", "Контрольная лента");
  EXPECT_EQ(page->ItemText(1026), "1");
  m_sim->clearLog();
  Button(page, CFRFunction::kExecuteId)->click();
  ASSERT_TRUE(tk::PumpUntil([&] { return m_sim->state().reportRunning; }, 10000));
  EXPECT_FALSE(Tree(main)->isEnabled());
  EXPECT_FALSE(Tabs(main)->isEnabled());
  EXPECT_TRUE(W(page)->isEnabled());
  // Fifteen ACKs, one every 200 ms, keep the call waiting past the 2 s the
  // patience of a silent line would allow.
  const auto acks = [&] {
    int n = 0;
    for (uint8_t b : m_sim->sent()) n += b == 0x06;
    return n;
  };
  ASSERT_TRUE(tk::PumpUntil([&] { return acks() >= 15; }, 10000));
  EXPECT_TRUE(page->IsCommandRunning());
  EXPECT_EQ(main.StatusText(0), "Ожидание...");
  Button(page, CFRFunction::kInterruptId)->click();
  Button(page, CFRFunction::kInterruptId)->click();
  ASSERT_TRUE(WaitIdle(page));
  int cans = 0;
  for (const auto& e : m_sim->events()) cans += e.kind == termina::sim::WireEvent::Can;
  EXPECT_EQ(cans, 1);
  EXPECT_EQ(CountMessages("Отчет прерван"), 1);
  EXPECT_EQ(main.StatusText(0), "Отрицательный результат");
  EXPECT_TRUE(Tree(main)->isEnabled());
  EXPECT_TRUE(Tabs(main)->isEnabled());
  EXPECT_EQ(m_sim->requests().back().bodyUtf8, "641" + FS);

  m_sim->setReportDuration(300);
  Type(page, 1026, "2");
  EXPECT_EQ(Run(page), std::vector<std::string>{"642" + FS});
  EXPECT_EQ(main.StatusText(0), kReady);
}

// A report page replaced while its report prints (the program replaces it,
// the user cannot while the tree is disabled): the command carries all it
// needs, so the report runs to its end on the register, the navigation
// comes back, the outcome reaches the status line and the replaced page is
// freed once the command has ended.
TEST_F(ReportPages, ReplacedWhileItsReportPrints) {
  CFRMainDlg& main = OpenReady(1500);
  PagePtr tape(Select("ЭКЛЗ", "Контрольная лента"));
  Type(tape, 1026, "2");
  m_sim->clearLog();
  Button(tape, CFRFunction::kExecuteId)->click();
  ASSERT_TRUE(tk::PumpUntil([&] { return m_sim->state().reportRunning; }, 10000));
  EXPECT_FALSE(Tree(main)->isEnabled());
  main.ShowPage(
      Tree(main)->indexOfTopLevelItem(Tree(main)->findItems("Отчет по активизации", Qt::MatchExactly).value(0)));
  ASSERT_NE(main.CurrentPage(), tape.data());
  EXPECT_TRUE(tape.isNull() || !tape->Host());
  EXPECT_EQ(main.StatusText(0), "Ожидание...");

  EXPECT_TRUE(tk::PumpUntil([&] { return main.StatusText(0) == kReady; }, 10000)) << main.StatusText(0);
  EXPECT_FALSE(m_sim->state().reportRunning);
  EXPECT_EQ(m_sim->requests().back().bodyUtf8, "642" + FS);
  EXPECT_TRUE(Tree(main)->isEnabled());
  EXPECT_TRUE(Tabs(main)->isEnabled());
  EXPECT_TRUE(m_prompts.messages.empty()) << Join(m_prompts.Texts());
  EXPECT_TRUE(tk::PumpUntil(
      [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return tape.isNull();
      },
      10000));
  // The new page works as any does.
  EXPECT_EQ(Run(main.CurrentPage()), std::vector<std::string>{"68"});
  EXPECT_EQ(main.StatusText(0), kReady);
}

// The pages that disable the whole main window, and the question of the
// archive: No sends nothing and leaves the status line alone.
TEST_F(ReportPages, DocumentActivationAndCloseArchive) {
  CFRMainDlg& main = OpenReady();
  CFRFunction* page = Select("ЭКЛЗ", "Документ из ЭКЛЗ");
  Type(page, 1027, "70000");
  EXPECT_EQ(Run(page), std::vector<std::string>{"6570000" + FS});
  EXPECT_EQ(main.StatusText(0), "Ошибка ЭКЛЗ:Нет  запрошенных данных 8");
  EXPECT_FALSE(main.InputLocked());
  m_prompts.messages.clear();

  page = Select("ЭКЛЗ", "Закрытие архива ЭКЛЗ");
  m_prompts.answers = {tk::IDNO};
  EXPECT_EQ(Run(page), std::vector<std::string>{});
  EXPECT_EQ(main.StatusText(0), kReady);  // no error text
  ASSERT_EQ(m_prompts.messages.size(), 1u);
  EXPECT_EQ(m_prompts.messages[0].text, "Закрыть архив?");
  EXPECT_EQ(m_prompts.messages[0].buttons, tk::Buttons::YesNo);
  EXPECT_EQ(m_prompts.messages[0].icon, tk::Icon::Exclamation);
  m_prompts.answers = {tk::IDYES};
  EXPECT_EQ(Run(page), std::vector<std::string>{"0A"});
  EXPECT_TRUE(m_sim->state().eejArchiveClosed);
  EXPECT_FALSE(main.InputLocked());

  page = Select("ЭКЛЗ", "Активизация ЭКЛЗ");
  EXPECT_EQ(Run(page), std::vector<std::string>{"09"});
  EXPECT_FALSE(m_sim->state().eejArchiveClosed);
  page = Select("ЭКЛЗ", "Отчет по активизации");
  EXPECT_EQ(Run(page), std::vector<std::string>{"68"});
  EXPECT_EQ(main.StatusText(0), kReady);
}

}  // namespace
}  // namespace apptest
