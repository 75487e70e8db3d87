// SPDX-License-Identifier: GPL-3.0-or-later
// The shell's decisions that need no register: node lists and version
// classes, the edit filter and the status dialog.
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidgetItem>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "editex.h"
#include "editex_rules.h"
#include "frstatusdlg.h"
#include "function_tree.h"
#include "toolkit_qt.h"

namespace {

QStringList Captions(const std::vector<NodeEntry>& nodes) {
  QStringList l;
  for (const NodeEntry& n : nodes) l << tk::Q(n.caption);
  return l;
}

TEST(FunctionTree, ProgrammingNodesFollowTheVersion) {
  const QStringList first = {"Синхронизация",     "Параметры кассы", "Логотип предприятия",
                             "Клише предприятия", "Рекламный текст", "Типы платежей"};
  EXPECT_EQ(Captions(ProgrammingNodes(120)), first);
  EXPECT_EQ(Captions(ProgrammingNodes(0)), first);
  EXPECT_EQ(Captions(ProgrammingNodes(125)), first + QStringList{"Налоги"});
  EXPECT_EQ(Captions(ProgrammingNodes(129)), first + QStringList{"Налоги"});
  const QStringList later = {
      "Параметры связи", "Параметры кассы", "Логотип предприятия", "Клише предприятия", "Рекламный текст",
      "Типы платежей",   "Налоги",          "Товарные группы"};
  EXPECT_EQ(Captions(ProgrammingNodes(201)), later);
  EXPECT_EQ(Captions(ProgrammingNodes(301)), later);
  for (uint16_t v : {130, 200, 202, 210, 250, 302})
    EXPECT_EQ(Captions(ProgrammingNodes(v)), QStringList{"Клише предприятия"}) << v;
  // Codes and the first argument that picks the page.
  const std::vector<NodeEntry> nodes = ProgrammingNodes(201);
  EXPECT_EQ(nodes[0].code, 0xF3);
  for (size_t i = 1; i < nodes.size(); ++i) EXPECT_EQ(nodes[i].code, 0xA1);
  CFRNode node;
  node.arguments = nodes[3].arguments;
  EXPECT_EQ(node.FirstArgument(), 20);
}

TEST(FunctionTree, ReportNodesCarryTheirType) {
  const std::vector<NodeEntry> inspector = InspectorNodes();
  ASSERT_EQ(inspector.size(), 6u);
  CFRNode full;
  full.arguments = inspector[4].arguments;  // "Полный фиск. отчет по датам"
  EXPECT_EQ(inspector[4].code, 0x63);
  EXPECT_EQ(full.FirstArgument(), 1);
  EXPECT_EQ(full.arguments[0].value, " 1");
  // The date arguments are providers only, and yield today's date.
  EXPECT_TRUE(full.arguments[1].description.empty());
  ASSERT_NE(full.arguments[1].provider, nullptr);
  const CFRNodeArg start = full.arguments[1].provider();
  EXPECT_EQ(start.description, "Начальная дата в формате ДДММГГ");
  EXPECT_EQ(start.value, " " + TodayDDMMYY());
  EXPECT_EQ(TodayDDMMYY().size(), 6u);
  // An empty default is a single space.
  EXPECT_EQ(inspector[0].arguments[0].value, " ");

  const std::vector<NodeEntry> eej = EEJNodes();
  ASSERT_EQ(eej.size(), 10u);
  CFRNode shortShifts;
  shortShifts.arguments = eej[4].arguments;  // "Краткий отчет по сменам"
  EXPECT_EQ(eej[4].code, 0x66);
  EXPECT_EQ(shortShifts.FirstArgument(), 0);
}

TEST(VersionClasses, LayoutNameButtonsAndNotice) {
  struct Row {
    uint16_t v;
    uint16_t layout;
    const char* model;
    bool files;
    VersionNotice notice;
  };
  const Row rows[] = {
      {0, 101, "ТЕРМИНА-1", false, VersionNotice::None},   {1, 101, "ТЕРМИНА-1", true, VersionNotice::None},
      {128, 101, "ТЕРМИНА-1", true, VersionNotice::None},  {129, 101, "", true, VersionNotice::None},
      {130, 201, "", false, VersionNotice::UpdateWarning}, {200, 201, "", false, VersionNotice::UpdateWarning},
      {201, 201, "ТЕРМИНА-2", true, VersionNotice::None},  {229, 201, "", false, VersionNotice::UpdateWarning},
      {230, 201, "", false, VersionNotice::NotSupported},  {300, 201, "", false, VersionNotice::NotSupported},
      {301, 201, "ТЕРМИНА-3", true, VersionNotice::None},  {302, 201, "", false, VersionNotice::UpdateWarning},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(LayoutFor(r.v), r.layout) << r.v;
    EXPECT_EQ(ModelName(r.v), r.model) << r.v;
    EXPECT_EQ(FileButtonsAllowed(r.v), r.files) << r.v;
    EXPECT_EQ(NoticeFor(r.v), r.notice) << r.v;
  }
  EXPECT_EQ(TabCaptions(201), (std::vector<std::string>{"Программирование", "ЭКЛЗ", "Налоговый инспектор"}));
  EXPECT_EQ(TabAt(201, 2), TabKind::Inspector);
  EXPECT_EQ(TabAt(101, 2), TabKind::Programming);
}

// The rules alone: characters are counted, not bytes, and a numeric box
// takes digits and one point.
TEST(EditEx, RulesCountCharactersAndKeepOnePoint) {
  std::string cyrillic;
  for (int i = 0; i < 39; ++i) cyrillic += "Ж";
  EXPECT_TRUE(editex::AcceptsChar(cyrillic, U'Я', false));
  EXPECT_FALSE(editex::AcceptsChar(cyrillic + "Ж", U'Я', false));
  EXPECT_TRUE(editex::AcceptsChar(cyrillic + "Ж", 8, false));
  EXPECT_TRUE(editex::AcceptsChar("12", U'.', true));
  EXPECT_FALSE(editex::AcceptsChar("1.2", U'.', true));
  EXPECT_FALSE(editex::AcceptsChar("12", U'Ж', true));
  EXPECT_FALSE(editex::AcceptsChar("1x", U'2', true));
}

TEST(EditEx, LengthLimitAndNumericFilter) {
  CEditEx edit;
  edit.show();
  QTest::keyClicks(&edit, QString(45, QLatin1Char('x')));
  EXPECT_EQ(edit.text().size(), 40);
  QTest::keyClick(&edit, Qt::Key_Backspace);
  EXPECT_EQ(edit.text().size(), 39);
  EXPECT_TRUE(edit.AcceptsChar(8));  // backspace passes at any length

  CEditEx number;
  number.m_bNumeric = true;
  number.show();
  QTest::keyClicks(&number, "12.5");
  EXPECT_EQ(number.text(), "12.5");
  QTest::keyClicks(&number, ".a0");
  EXPECT_EQ(number.text(), "12.50");
  // The test looks at the text with the character at its end, not at the
  // caret: a point typed at the front of "125" passes, a second one does not.
  number.setText("125");
  number.setCursorPosition(0);
  QTest::keyClick(&number, '.');
  EXPECT_EQ(number.text(), ".125");
  QTest::keyClick(&number, '.');
  EXPECT_EQ(number.text(), ".125");
}

TEST(StatusDialog, BitsDocumentStatusAndShortLayout) {
  CFRStatusDlg full(0x21, 0x04, 0x23, 0x02, false, nullptr);
  full.InitDialog();
  EXPECT_EQ(full.Title(), "Статус ФР");
  EXPECT_TRUE(tk::ItemOf<QCheckBox>(&full, 1033)->isChecked());  // NVR checksum
  EXPECT_TRUE(tk::ItemOf<QCheckBox>(&full, 1038)->isChecked());  // not installed
  EXPECT_FALSE(tk::ItemOf<QCheckBox>(&full, 1034)->isChecked());
  EXPECT_TRUE(tk::ItemOf<QCheckBox>(&full, 1027)->isChecked());  // shift open
  EXPECT_TRUE(tk::ItemOf<QCheckBox>(&full, 1006)->isChecked());  // no paper
  EXPECT_EQ(tk::ItemOf<QLineEdit>(&full, 1052)->text(), "3");
  EXPECT_EQ(tk::ItemOf<QLineEdit>(&full, 1004)->text(), "2");
  EXPECT_EQ(tk::ItemOf<QCheckBox>(&full, 1027)->text(), "Смена открыта");
  EXPECT_TRUE(tk::ItemOf<QCheckBox>(&full, 1005)->isHidden());
  EXPECT_FALSE(tk::ItemOf<QCheckBox>(&full, 1011)->isEnabled());
  // Clicking a box does not change it.
  tk::WidgetOf(&full)->show();
  QTest::mouseClick(tk::ItemOf<QCheckBox>(&full, 1034), Qt::LeftButton);
  EXPECT_FALSE(tk::ItemOf<QCheckBox>(&full, 1034)->isChecked());

  CFRStatusDlg brief(0, 0, 0, 0, true, nullptr);
  brief.InitDialog();
  const int shift = tk::Item(&full, 1050)->y() - tk::Item(&full, 1013)->y();
  EXPECT_GT(shift, 0);
  EXPECT_TRUE(tk::Item(&brief, 1013)->isHidden());
  for (int id = 1005; id <= 1012; ++id) EXPECT_TRUE(tk::Item(&brief, id)->isHidden()) << id;
  EXPECT_EQ(tk::WidgetOf(&brief)->height(), tk::WidgetOf(&full)->height() - shift);
  for (int id : {1050, 1051, 1014, 1015, 1052, 1004, 1})
    EXPECT_EQ(tk::Item(&brief, id)->y(), tk::Item(&full, id)->y() - shift) << id;
  // Everything still inside the shortened dialog.
  EXPECT_LE(tk::Item(&brief, 1)->geometry().bottom(), tk::WidgetOf(&brief)->height());
}

TEST(Templates, ControlsCarryTheirIdentifiers) {
  for (int id : {101, 102, 134, 152, 162}) {
    tk::CDialog dlg(id);
    dlg.InitDialog();
    EXPECT_GT(tk::WidgetOf(&dlg)->width(), 100) << id;
  }
  tk::CDialog page(134);
  page.InitDialog();
  EXPECT_EQ(tk::ItemOf<QPushButton>(&page, 1014)->text(), "ВЫПОЛНИТЬ");
  EXPECT_TRUE(tk::ItemOf<QPushButton>(&page, 1014)->isDefault());
  EXPECT_EQ(tk::ItemOf<QPushButton>(&page, 105)->text(), "СТАТУС");
  EXPECT_EQ(tk::ItemOf<QPushButton>(&page, 1)->text(), "ВЫХОД");
  EXPECT_EQ(tk::ItemOf<QLineEdit>(&page, 1014), nullptr);  // typed lookup
  EXPECT_THROW(tk::LoadTemplate(999, tk::WidgetOf(&page)), std::logic_error);
}

}  // namespace

namespace apptest {
namespace {

// The seam's typed access, as pages and tests use it: UTF-8 both ways, a
// missing control read as empty and written to without effect, a button
// pressed only when the user could press it, and a message owner that has
// gone shown without one.
TEST(Seam, TypedAccessByNumber) {
  auto dlg = std::make_unique<tk::CDialog>(162);
  dlg->InitDialog();
  tk::Dialog& d = *dlg;
  d.SetItemTextNow(1051, "Пароль №1");
  EXPECT_EQ(d.ItemText(1051), "Пароль №1");
  EXPECT_EQ(d.ItemText(4242), "");
  d.SetItemTextNow(4242, "x");
  EXPECT_FALSE(d.HasItem(4242));
  EXPECT_EQ(d.ComboIndex(1051), -1);
  EXPECT_EQ(d.PushButtonIds(), (std::vector<int>{tk::IDOK, tk::IDCANCEL}));

  d.ShowModeless(true);
  d.EnableItemNow(tk::IDCANCEL, false);
  EXPECT_FALSE(d.IsItemEnabled(tk::IDCANCEL));
  EXPECT_FALSE(d.Press(tk::IDCANCEL));
  EXPECT_FALSE(d.Ended());
  d.EnableItemNow(tk::IDCANCEL, true);
  EXPECT_TRUE(d.Press(tk::IDCANCEL));
  EXPECT_TRUE(d.Ended());
  EXPECT_EQ(d.EndCode(), tk::IDCANCEL);
  d.ShowItem(tk::IDOK, false);
  EXPECT_FALSE(d.IsItemShown(tk::IDOK));

  const tk::Dialog* owner = dlg.get();
  EXPECT_EQ(tk::WidgetOf(owner), dlg->GetImpl());
  dlg.reset();
  EXPECT_EQ(tk::WidgetOf(owner), nullptr);
}

// A window's picture: none while it is hidden; shown, a PNG of the
// window's size with the window's colours in it.
TEST(Seam, SaveImageWritesTheWindow) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::string path = tk::S(folder.filePath(QStringLiteral("окно.png")));
  tk::CDialog dlg(162);
  dlg.InitDialog();
  EXPECT_FALSE(tk::SaveImage(dlg, path));
  dlg.SetVisible(true);
  ASSERT_TRUE(tk::SaveImage(dlg, path));
  QImage image;
  ASSERT_TRUE(image.load(tk::Q(path), "PNG"));
  const QWidget* w = tk::WidgetOf(&dlg);
  EXPECT_EQ(image.size(), w->size() * w->devicePixelRatio());
  QSet<QRgb> colours;
  for (int y = 0; y < image.height() && colours.size() < 4; ++y)
    for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
  EXPECT_GE(colours.size(), 4);
}

}  // namespace
}  // namespace apptest
