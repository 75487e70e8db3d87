// SPDX-License-Identifier: GPL-3.0-or-later
// The six programming pages as a user meets them: real widgets offscreen,
// the real driver, the simulated register.  What each control shows per
// version, what a refused or failed save leaves on the page, and the keys
// the payment names take.  The exact frames of each sequence are the core
// tests' business; here the frames only confirm what the page sent.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "app_fixture.h"
#include "driver_api.h"
#include "frfooter.h"
#include "frgroups.h"
#include "frparams.h"

namespace apptest {
namespace {

using termina::sim::Config;

class ProgrammingPageTest : public AppTest {
 protected:
  CFRMainDlg& OpenRegister(uint16_t version) {
    Config c;
    c.version = version;
    StartRegister(c);
    return Open();
  }
  // Selects the programming tab and the node with this caption.
  CFRFunction* Page(const QString& caption) {
    CFRMainDlg& main = *m_main;
    for (int i = 0; i < Tabs(main)->count(); ++i)
      if (Tabs(main)->tabText(i) == QStringLiteral("Программирование")) Tabs(main)->setCurrentIndex(i);
    for (int i = 0; i < Tree(main)->topLevelItemCount(); ++i)
      if (Tree(main)->topLevelItem(i)->text(0) == caption) {
        Tree(main)->setCurrentItem(Tree(main)->topLevelItem(i));
        WaitPageFilled(main);
        return main.CurrentPage();
      }
    return nullptr;
  }
  void Save(CFRFunction* page) {
    m_sim->clearLog();
    m_prompts.messages.clear();
    Button(page, 1014)->click();
    ASSERT_TRUE(WaitIdle(page));
  }
  // Table writes since the log was cleared, as "table|field|value".
  QStringList Writes() const {
    QStringList w;
    for (const auto& r : m_sim->requests())
      if (r.code == "A2")
        w << QString::fromStdString(r.fieldsUtf8.at(0) + "|" + r.fieldsUtf8.at(1) + "|" + r.fieldsUtf8.at(2));
    return w;
  }
  void FailAt(const std::string& key) {
    termina::sim::Faults f;
    f.forced[key] = termina::sim::ForcedReply{3, {}};
    m_sim->setFaults(f);
  }
  static std::string DriverText(uint16_t code) { return termina::app::ErrorText(code).value_or(""); }
  static bool Shown(CFRFunction* page, int id) {
    return tk::Item(page, id) && tk::Item(page, id)->isVisibleTo(tk::WidgetOf(page));
  }
  static bool Ticked(CFRFunction* page, int id) { return tk::Item<QAbstractButton>(page, id)->isChecked(); }
  static QLineEdit* Box(CFRFunction* page, int id) { return tk::Item<QLineEdit>(page, id); }
};

// ---- parameters --------------------------------------------------------------

struct ParamsCase {
  uint16_t version;
  std::vector<int> shown, hidden;
};
void PrintTo(const ParamsCase& c, std::ostream* os) { *os << c.version; }

class ParamsByVersion : public ProgrammingPageTest, public ::testing::WithParamInterface<ParamsCase> {};

TEST_P(ParamsByVersion, ControlsShownAndRowsMoved) {
  const ParamsCase& c = GetParam();
  OpenRegister(c.version);
  CFRFunction* page = Page(QStringLiteral("Параметры кассы"));
  ASSERT_NE(dynamic_cast<CFRParams*>(page), nullptr);
  for (int id : {1039, 1091, 1056, 1055, 1083}) EXPECT_TRUE(Shown(page, id)) << id;
  for (int id : c.shown) EXPECT_TRUE(Shown(page, id)) << c.version << " shows " << id;
  for (int id : c.hidden) EXPECT_FALSE(Shown(page, id)) << c.version << " hides " << id;
  // On the second and third model the lower boxes take the two removed
  // rows: 1084 stands where partial cutting (hidden) stands.
  if (c.version == 201 || c.version == 301)
    EXPECT_EQ(tk::Item(page, 1084)->y(), tk::Item(page, 1087)->y());
  else
    EXPECT_GT(tk::Item(page, 1084)->y(), tk::Item(page, 1086)->y());
  EXPECT_EQ(m_main->StatusText(0), "Готов");
}

INSTANTIATE_TEST_SUITE_P(
    Versions, ParamsByVersion,
    ::testing::Values(
        ParamsCase{
            120,
            {},
            {1085, 1084, 1097, 1100, 1101, 1086, 1087, 1089, 1104, 1105, 1088, 1090, 1092, 1125, 1126, 11153, 11154}},
        ParamsCase{125,
                   {1085, 1084, 1097, 1100, 1101, 1086, 1087, 1089, 1104, 1105, 1088, 1090, 1092},
                   {1125, 1126, 11153, 11154}},
        ParamsCase{128, {1085, 1084, 1097, 1101, 1087, 1089, 1104, 1088, 1125, 1126}, {11153, 11154}},
        ParamsCase{201, {1085, 1084, 1089, 1104, 1105, 1088, 1125, 1126, 11153, 11154}, {1087, 1086, 1097, 1100, 1101}},
        ParamsCase{301, {1085, 1084, 1104, 1088, 1125, 11153, 11154}, {1087, 1086, 1097, 1100, 1101}}),
    [](const auto& info) { return std::to_string(info.param.version); });

// Bit 7's box hides once bit 0 is saved ticked, keeps its state, and the
// hidden partial-cut setting is written back as the register held it.
TEST_F(ProgrammingPageTest, ParamsSecondModelRunningTotalAndHiddenPartialCut) {
  OpenRegister(201);
  m_sim->setTable(7, 0, "128");
  m_sim->setTable(11, 0, "1");
  m_sim->setTable(30, 0, "0");
  CFRFunction* page = Page(QStringLiteral("Параметры кассы"));
  EXPECT_TRUE(Shown(page, 11154));
  EXPECT_TRUE(Ticked(page, 11154));
  EXPECT_TRUE(Ticked(page, 1088)) << "table 30 holding 0 shows automatic payment on";
  tk::Item<QCheckBox>(page, 1085)->click();
  EXPECT_TRUE(Shown(page, 11154)) << "not before the save";
  tk::Item<QCheckBox>(page, 1088)->click();
  Save(page);
  EXPECT_FALSE(Shown(page, 11154));
  EXPECT_EQ(m_sim->table(7, 0), "129");
  EXPECT_EQ(m_sim->table(11, 0), "1");
  EXPECT_TRUE(Writes().contains("11|0|1"));
  EXPECT_EQ(m_sim->table(30, 0), "1");
  EXPECT_EQ(m_main->StatusText(0), "Готов");
  EXPECT_FALSE(m_main->InputLocked());
  EXPECT_FALSE(m_main->m_bWaitCursor);
}

// A read failure: reported once, the rest appears empty, "Готов" after it.
// A write failure at table 8: the page shows what the register holds, the
// window is usable again, the driver's text is shown.
TEST_F(ProgrammingPageTest, ParamsReadAndWriteFailures) {
  OpenRegister(125);
  m_sim->setTable(8, 0, "1");
  m_sim->setTable(2, 0, "0");
  FailAt("A1 7");
  m_prompts.messages.clear();
  CFRFunction* page = Page(QStringLiteral("Параметры кассы"));
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(CountMessages(DriverText(3)), 1);
  EXPECT_EQ(m_main->StatusText(0), "Готов");
  EXPECT_FALSE(Ticked(page, 1084)) << "table 8 was not read";
  EXPECT_EQ(tk::Item<QComboBox>(page, 1104)->currentIndex(), -1);

  FailAt("A2 8");
  tk::Item<QCheckBox>(page, 1091)->click();
  tk::Item<QCheckBox>(page, 1084)->click();
  // The cash-desk number takes typed digits only.
  Box(page, 1039)->clear();
  QTest::keyClicks(Box(page, 1039), QStringLiteral("7a -."));
  QTest::sendKeyEvent(QTest::Click, Box(page, 1039), Qt::Key_F, QStringLiteral("А"), Qt::NoModifier);
  QTest::keyClick(Box(page, 1039), Qt::Key_7);
  EXPECT_EQ(Box(page, 1039)->text(), "77");
  Save(page);
  ASSERT_EQ(m_prompts.messages.size(), 1u);
  EXPECT_EQ(m_prompts.messages[0].text, DriverText(3));
  EXPECT_EQ(m_prompts.messages[0].title, "Ошибка");
  EXPECT_EQ(m_main->StatusText(0), DriverText(3));
  for (const auto& r : m_sim->requests()) EXPECT_NE(r.code, "00") << "no re-initialisation after a failure";
  EXPECT_TRUE(Ticked(page, 1091)) << "written before the failure";
  EXPECT_TRUE(Ticked(page, 1084)) << "the register's value, not the box's";
  EXPECT_EQ(Box(page, 1039)->text(), "77");
  EXPECT_FALSE(m_main->InputLocked());
  EXPECT_FALSE(m_main->m_bWaitCursor);
}

TEST_F(ProgrammingPageTest, ParamsShiftOpenWritesNothingAndShowsTheRegister) {
  OpenRegister(128);
  CFRFunction* page = Page(QStringLiteral("Параметры кассы"));
  const bool before = Ticked(page, 1091);
  tk::Item<QCheckBox>(page, 1091)->click();
  m_sim->setStatus(0, 0x04, 0);
  Save(page);
  EXPECT_TRUE(Writes().isEmpty());
  EXPECT_EQ(Ticked(page, 1091), before);
  ASSERT_EQ(m_prompts.messages.size(), 1u);
  EXPECT_EQ(m_prompts.messages[0].text, "Смена открыта");
  EXPECT_EQ(m_prompts.messages[0].title, "Ошибка");
  EXPECT_EQ(m_prompts.messages[0].icon, tk::Icon::Error);
  EXPECT_EQ(m_main->StatusText(0), "Смена открыта");
  EXPECT_FALSE(m_main->InputLocked());
}

// ---- receipt header and advertising text ----------------------------------------

TEST_F(ProgrammingPageTest, HeaderReadFailureLeavesEveryLineEmpty) {
  OpenRegister(201);
  m_sim->setTable(20, 0, "МАГАЗИН");
  FailAt("A1 20 2");
  m_prompts.messages.clear();
  CFRFunction* page = Page(QStringLiteral("Клише предприятия"));
  ASSERT_NE(page, nullptr);
  for (int id : {1046, 1047, 1048, 1049}) EXPECT_TRUE(Box(page, id)->text().isEmpty()) << id;
  EXPECT_EQ(CountMessages(DriverText(3)), 1);
  EXPECT_EQ(m_main->StatusText(0), DriverText(3));
  // The page still works: a save writes the lines typed, and leaves the
  // register's lines the user never saw as they are.
  m_sim->setFaults({});
  Box(page, 1048)->setText(" ");
  Box(page, 1049)->setText(QString(45, QChar(0x0416)));
  Save(page);
  EXPECT_EQ(Writes(), (QStringList{"20|2| ", "20|3|" + QString(40, QChar(0x0416))}));
  EXPECT_EQ(m_sim->table(20, 0), "МАГАЗИН");
  EXPECT_EQ(m_main->StatusText(0), "Готов");
}

// A page whose reads failed part-way writes what it read and what the user
// changed, never an unread box left as it was.
TEST_F(ProgrammingPageTest, NoPageWritesBlindWhatItCouldNotRead) {
  OpenRegister(201);
  const auto fields = [&] {
    QStringList w;
    for (const QString& s : Writes()) w << s.section('|', 0, 1);
    return w;
  };
  const auto open = [&](const char* failAt, const QString& caption) {
    FailAt(failAt);
    CFRFunction* page = Page(caption);
    m_sim->setFaults({});
    return page;
  };

  CFRFunction* footer = open("A1 21 1", QStringLiteral("Рекламный текст"));
  ASSERT_NE(footer, nullptr);
  Box(footer, 1049)->setText(QStringLiteral("Ждем вас"));
  Save(footer);
  EXPECT_EQ(fields(), QStringList{"21|1"});

  CFRFunction* payments = open("A1 22 3", QStringLiteral("Типы платежей"));
  ASSERT_NE(payments, nullptr);
  Box(payments, 11165 + 7)->setText(QStringLiteral("БОНУСЫ"));
  Save(payments);
  EXPECT_EQ(fields(), (QStringList{"22|1", "22|2", "22|7"}));

  // Name 2 read, rate 2 failed.
  CFRFunction* taxes = open("A1 24 2", QStringLiteral("Налоги"));
  ASSERT_NE(taxes, nullptr);
  Box(taxes, 1110 + 3)->setText(QStringLiteral("18"));
  Save(taxes);
  EXPECT_EQ(fields(), (QStringList{"24|0", "23|0", "24|1", "23|1", "23|2", "24|3"}));

  const int offset = static_cast<int>(termina::app::DepartmentOffset(201));
  const std::string failAt = "A1 26 " + std::to_string(offset + 2);
  CFRFunction* groups = open(failAt.c_str(), QStringLiteral("Товарные группы"));
  ASSERT_NE(groups, nullptr);
  Box(groups, 1139)->setText(QStringLiteral("ОТДЕЛЫ"));
  Save(groups);
  EXPECT_EQ(fields(),
            (QStringList{QStringLiteral("26|%1").arg(offset), QStringLiteral("26|%1").arg(offset + 1), "27|0"}));
}

TEST_F(ProgrammingPageTest, TextPagesRefuseWhileTheShiftIsOpen) {
  OpenRegister(125);
  for (const QString& caption : {QStringLiteral("Клише предприятия"), QStringLiteral("Рекламный текст"),
                                 QStringLiteral("Типы платежей"), QStringLiteral("Налоги")}) {
    m_sim->setStatus(0, 0, 0);
    CFRFunction* page = Page(caption);
    ASSERT_NE(page, nullptr) << caption.toStdString();
    m_sim->setStatus(0, 0x04, 0);
    Save(page);
    EXPECT_TRUE(Writes().isEmpty()) << caption.toStdString();
    EXPECT_EQ(m_prompts.Texts(), std::vector<std::string>{"Смена открыта"}) << caption.toStdString();
    EXPECT_EQ(m_main->StatusText(0), "Смена открыта");
    EXPECT_FALSE(m_main->InputLocked());
  }
}

// The user picks another node right after pressing the command button,
// before the worker has locked the window for the write.  The header page
// goes at once; its write still runs, with the lines as they stood at the
// press, against a slow register.  The failure at the sequence's end is
// told on the status line and in a box of the main window, and the new
// page is shown and usable.
TEST_F(ProgrammingPageTest, HeaderWriteOutlivesItsPage) {
  OpenRegister(201);
  PagePtr header = Page(QStringLiteral("Клише предприятия"));
  ASSERT_FALSE(header.isNull());
  Box(header, 1046)->setText(QStringLiteral("ПЕРВАЯ"));
  Box(header, 1047)->setText(QStringLiteral("ВТОРАЯ"));
  m_sim->clearLog();
  m_prompts.messages.clear();
  std::string statusAtBox;
  const tk::Dialog* boxOwner = nullptr;
  m_prompts.onMessage = [&](const tk::Message& m) {
    statusAtBox = m_main->StatusText(0);
    boxOwner = m.owner;
  };

  Button(header, CFRFunction::kExecuteId)->click();
  termina::sim::Faults slow;
  slow.replyDelayMs = 60;
  slow.forced["00"] = termina::sim::ForcedReply{3, {}};  // the closing re-initialisation fails
  m_sim->setFaults(slow);
  Box(header, 1046)->setText(QStringLiteral("ПОЗЖЕ"));  // after the press: not written
  CFRFunction* footer = Page(QStringLiteral("Рекламный текст"));
  ASSERT_NE(dynamic_cast<CFRFooter*>(footer), nullptr);

  ASSERT_TRUE(WaitWorkerDone());
  ASSERT_TRUE(tk::PumpUntil(
      [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return header.isNull();
      },
      5000));
  EXPECT_EQ(m_sim->table(20, 0), "ПЕРВАЯ");
  EXPECT_EQ(m_sim->table(20, 1), "ВТОРАЯ");
  EXPECT_EQ(m_prompts.Texts(), std::vector<std::string>{DriverText(3)});
  EXPECT_EQ(statusAtBox, DriverText(3));
  EXPECT_EQ(boxOwner, static_cast<const tk::Dialog*>(m_main.get()));
  EXPECT_EQ(m_main->CurrentPage(), footer);
  EXPECT_TRUE(W(footer)->isVisible());
  EXPECT_FALSE(footer->IsReading());
  EXPECT_FALSE(m_main->InputLocked());

  // The new page's own write runs as usual.
  m_sim->setFaults({});
  Box(footer, 1048)->setText(QStringLiteral("ЖДЕМ ВАС"));
  Save(footer);
  EXPECT_EQ(m_sim->table(21, 0), "ЖДЕМ ВАС");
  EXPECT_EQ(m_main->StatusText(0), "Готов");
}

// ---- payment types ---------------------------------------------------------------

TEST_F(ProgrammingPageTest, PaymentTypeZeroTakesNoKeysAndIsNeverWritten) {
  OpenRegister(128);
  m_sim->setTable(22, 0, "НАЛИЧНЫЕ");
  CFRFunction* page = Page(QStringLiteral("Типы платежей"));
  tk::WidgetOf(m_main.get())->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(tk::WidgetOf(m_main.get()), 5000));
  QLineEdit* cash = Box(page, 11165);
  EXPECT_EQ(cash->text(), "НАЛИЧНЫЕ");
  cash->setFocus();
  QTest::keyClicks(cash, "abc");
  QTest::keyClick(cash, Qt::Key_Backspace);
  QTest::keyClick(cash, Qt::Key_Delete);
  QTest::keyClick(cash, Qt::Key_Home);
  QTest::keyClick(cash, Qt::Key_Delete);
  QApplication::clipboard()->setText("ВСТАВКА");
  QTest::keyClick(cash, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(cash->text(), "НАЛИЧНЫЕ");
  // A paste by other means changes the box, yet nothing is written for it.
  cash->selectAll();
  cash->paste();
  EXPECT_EQ(cash->text(), "ВСТАВКА");

  // Typing stops at 18 characters; a paste keeps what fits.
  QLineEdit* second = Box(page, 11166);
  second->setFocus();
  second->clear();
  QTest::keyClicks(second, QString(20, QLatin1Char('x')));
  EXPECT_EQ(second->text(), QString(18, QLatin1Char('x')));
  QLineEdit* third = Box(page, 11167);
  third->clear();
  QApplication::clipboard()->setText("0123456789ABCDEFGHIJ");
  third->paste();
  EXPECT_EQ(third->text(), "0123456789ABCDEFGH");

  Save(page);
  const QStringList w = Writes();
  ASSERT_EQ(w.size(), 15);
  EXPECT_EQ(w.front(), "22|1|" + QString(18, QLatin1Char('x')));
  EXPECT_EQ(w[1], "22|2|0123456789ABCDEFGH");
  for (const QString& s : w) EXPECT_FALSE(s.startsWith("22|0|")) << s.toStdString();
  EXPECT_EQ(m_sim->table(22, 0), "НАЛИЧНЫЕ");
}

// ---- taxes -----------------------------------------------------------------------------

TEST_F(ProgrammingPageTest, TaxOptionsByVersionAndTheMaskFromTheControls) {
  OpenRegister(125);
  CFRFunction* page = Page(QStringLiteral("Налоги"));
  for (int id : {1040, 1118, 1117, 1116, 1085, 1119}) EXPECT_TRUE(Shown(page, id)) << id;
  EXPECT_FALSE(Shown(page, 1127)) << "zero sums only from 128";

  m_sim->setVersion(128);
  m_sim->setTable(12, 0, "5");  // bits 0 and 2; bit 4 clear
  // The version changed: the device check rebuilds the window.
  page = Page(QStringLiteral("Параметры кассы"));
  page = Page(QStringLiteral("Налоги"));
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(Ticked(page, 1085));
  EXPECT_FALSE(Ticked(page, 1119));
  EXPECT_TRUE(Shown(page, 1127));
  EXPECT_TRUE(Ticked(page, 1127));
  EXPECT_EQ(tk::Item<QComboBox>(page, 1117)->currentIndex(), 1);
  tk::Item<QCheckBox>(page, 1085)->click();
  EXPECT_FALSE(Shown(page, 1127));
  Save(page);
  // Bit 2 from the hidden box, bit 0 off, bit 4 off (index 1).
  for (int f = 0; f < 6; ++f) EXPECT_EQ(m_sim->table(12, f), "4") << f;
  tk::Item<QCheckBox>(page, 1085)->click();
  EXPECT_TRUE(Shown(page, 1127));

  // A failed read hides the options.
  FailAt("A1 23 4");
  page = Page(QStringLiteral("Типы платежей"));
  page = Page(QStringLiteral("Налоги"));
  for (int id : {1040, 1118, 1117, 1116, 1085, 1119, 1127}) EXPECT_FALSE(Shown(page, id)) << id;
  EXPECT_FALSE(Box(page, 1104)->text().isEmpty()) << "names read before the failure stay";
}

// ---- departments -------------------------------------------------------------------------

TEST_F(ProgrammingPageTest, DepartmentRowsFollowTheVersion) {
  for (uint16_t v : {125, 201}) {
    Config c;
    c.version = v;
    m_main.reset();
    TRMA_ClosePort();
    StartRegister(c);
    m_sim->setTable(26, v >= 201 ? 1 : 0, "ПЕРВЫЙ");
    CFRMainDlg& main =
        Open(QString(), [](const CFRNode&, PageHost& host) -> CFRFunction* { return new CFRGroups(host); });
    CFRFunction* page = main.CurrentPage();
    ASSERT_NE(page, nullptr);
    QStringList labels;
    for (int id = 1149; id <= 1154; ++id) labels << tk::Item<QLabel>(page, id)->text();
    EXPECT_EQ(labels,
              v >= 201 ? QStringList({"1", "2", "3", "4", "5", "6"}) : QStringList({"0", "1", "2", "3", "4", "5"}));
    EXPECT_EQ(Box(page, 1142)->text(), "ПЕРВЫЙ");
    EXPECT_EQ(Box(page, 1139)->maxLength(), 40);
  }
}

}  // namespace
}  // namespace apptest
