// SPDX-License-Identifier: GPL-3.0-or-later
// Keys and robustness of the shell as a user meets them: Enter in the tree
// starts nothing, Enter in a page field runs the command even after the
// command button has lost the focus, Delete works in a full CEditEx box,
// a page whose reads fail still has working buttons, and choosing the port
// already selected does not reconnect.
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include "app_fixture.h"
#include "editex.h"

using namespace apptest;

namespace {

// A page with one edit box whose command counts its runs.
class EditPage : public CFRFunction {
 public:
  explicit EditPage(PageHost& host) : CFRFunction(host) {}
  Command MakeCommand() override {
    return [runs = runs](CommandJob&) { ++*runs; };
  }
  std::shared_ptr<std::atomic<int>> runs = std::make_shared<std::atomic<int>>(0);
  CEditEx* edit = nullptr;

 protected:
  bool OnInitDialog() override {
    CFRFunction::OnInitDialog();
    edit = new CEditEx(tk::WidgetOf(this));
    edit->setGeometry(10, 10, 200, 24);
    edit->show();
    return true;
  }
};

// A page whose reads at creation fail as a register's would.
class FailingPage : public CFRFunction {
 public:
  explicit FailingPage(PageHost& host) : CFRFunction(host) {}

 protected:
  bool OnInitDialog() override {
    CFRFunction::OnInitDialog();
    uint16_t code = 3;
    throw code;
  }
};

template <class Page>
CFRMainDlg::PageFactory Make() {
  return [](const CFRNode&, PageHost& host) -> CFRFunction* { return new Page(host); };
}

}  // namespace

class KeyTest : public AppTest {};

TEST_F(KeyTest, EnterInTheTreeStartsNothingEnterInAFieldRunsTheCommand) {
  StartRegister();
  CFRMainDlg& main = Open(QString(), Make<EditPage>());
  auto* page = static_cast<EditPage*>(main.CurrentPage());
  ASSERT_NE(page, nullptr);
  tk::WidgetOf(&main)->activateWindow();

  Tree(main)->setFocus();
  QTest::keyClick(Tree(main), Qt::Key_Return);
  QTest::keyClick(Tree(main), Qt::Key_Enter);
  EXPECT_FALSE(page->IsCommandRunning());
  EXPECT_EQ(page->runs->load(), 0);

  // The command button takes the focus and loses it again.
  auto* execute = Button(page, CFRFunction::kExecuteId);
  execute->setFocus();
  page->edit->setFocus();
  QTest::keyClick(page->edit, Qt::Key_Return);
  ASSERT_TRUE(WaitIdle(page));
  EXPECT_EQ(page->runs->load(), 1);
  EXPECT_EQ(main.StatusText(0), "Готов");

  // Enter on the main window's port combo starts nothing either.
  auto* port = tk::ItemOf<QComboBox>(&main, 1087);
  port->setFocus();
  QTest::keyClick(port, Qt::Key_Return);
  EXPECT_FALSE(page->IsCommandRunning());
  EXPECT_EQ(page->runs->load(), 1);
}

TEST_F(KeyTest, DeleteAndEscapeReachAFullBox) {
  CEditEx edit;
  edit.setText(QString(40, QLatin1Char('A')));
  edit.setCursorPosition(0);
  QTest::keyClick(&edit, Qt::Key_Delete);
  EXPECT_EQ(edit.text().size(), 39);
  QTest::keyClick(&edit, Qt::Key_B);
  EXPECT_EQ(edit.text().size(), 40);
  QTest::keyClick(&edit, Qt::Key_C);  // full again: refused
  EXPECT_EQ(edit.text(), QStringLiteral("b") + QString(39, QLatin1Char('A')));
  // X11 sends Delete with the text 0x7F.
  QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QString(QChar(0x7F)));
  QApplication::sendEvent(&edit, &del);
  EXPECT_EQ(edit.text().size(), 39);
}

TEST_F(KeyTest, APageWhoseReadsFailIsShownWithWorkingButtons) {
  StartRegister();
  CFRMainDlg& main = Open(QString(), Make<FailingPage>());
  CFRFunction* page = main.CurrentPage();
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(page->IsVisible());
  const tk::Rect pr = main.PageRect();
  EXPECT_EQ(tk::WidgetOf(page)->geometry(), QRect(pr.x, pr.y, pr.width, pr.height));
  EXPECT_GE(CountMessages(main.StatusText(0)), 1);  // the driver's text, reported once
  Button(page, CFRFunction::kExecuteId)->click();
  ASSERT_TRUE(WaitIdle(page));
  EXPECT_GE(CountMessages("Выберите команду"), 1);
  EXPECT_EQ(main.StatusText(0), "Готов");
}

TEST_F(KeyTest, APageThatCannotBeCreatedIsReportedNotFatal) {
  StartRegister();
  CFRMainDlg& main =
      Open(QString(), [](const CFRNode&, PageHost&) -> CFRFunction* { throw std::runtime_error("no template"); });
  EXPECT_EQ(main.CurrentPage(), nullptr);
  EXPECT_NE(main.StatusText(0).find("no template"), std::string::npos);
}

TEST_F(KeyTest, ChoosingTheSelectedPortAgainDoesNotReconnect) {
  StartRegister();
  CFRMainDlg& main = Open();
  m_sim->clearLog();
  auto* port = tk::ItemOf<QComboBox>(&main, 1087);
  ASSERT_EQ(port->currentIndex(), 0);
  // What the user's pick of the same entry does in the list.
  emit port->activated(0);
  port->setCurrentIndex(0);
  QCoreApplication::processEvents();
  EXPECT_TRUE(m_sim->requests().empty());
}
