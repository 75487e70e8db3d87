// SPDX-License-Identifier: GPL-3.0-or-later
// The page framework and page hosting: placement, one page per selection,
// the command thread, status and interrupt buttons, deferred deletion.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "app_fixture.h"

namespace apptest {
namespace {

using termina::sim::Config;

// A long report page: its command runs the EEJ report by shifts; the
// template gets an interrupt button.
class ReportPage : public CFRFunction {
 public:
  explicit ReportPage(PageHost& host) : CFRFunction(host) {}
  bool OnInitDialog() override {
    CFRFunction::OnInitDialog();
    auto* b = new QPushButton(QStringLiteral("ПРЕРВАТЬ"), tk::WidgetOf(this));
    b->setProperty("ctrlId", kInterruptId);
    b->setGeometry(60, 300, 80, 24);
    return true;
  }
  Command MakeCommand() override {
    return [executed = executed](CommandJob&) {
      TRMA_EEJShiftReport(0, 1, 1);
      *executed = true;
    };
  }
  // Shared with the command, which may outlive the page.
  std::shared_ptr<std::atomic<bool>> executed = std::make_shared<std::atomic<bool>>(false);
};

// A page whose command waits for the test, then writes into its own edit
// when the page is still there.
class GatedPage : public CFRFunction {
 public:
  struct Gate {
    std::mutex mutex;
    std::condition_variable cv;
    bool open = false;
    std::atomic<bool> entered{false};
    std::atomic<bool> ended{false};
    std::atomic<bool> wrotePage{false};
    void Release() {
      std::lock_guard lock(mutex);
      open = true;
      cv.notify_all();
    }
  };
  explicit GatedPage(PageHost& host) : CFRFunction(host) {}
  bool OnInitDialog() override {
    CFRFunction::OnInitDialog();
    auto* e = new QLineEdit(tk::WidgetOf(this));
    e->setProperty("ctrlId", 1200);
    return true;
  }
  Command MakeCommand() override {
    return [gate = gate](CommandJob& job) {
      gate->entered = true;
      {
        std::unique_lock lock(gate->mutex);
        gate->cv.wait(lock, [&] { return gate->open; });
      }
      gate->wrotePage = job.OnPage([](CFRFunction& page) { page.SetItemTextNow(1200, "после"); });
      gate->ended = true;
    };
  }
  // Shared with the command, which may outlive the page.
  std::shared_ptr<Gate> gate = std::make_shared<Gate>();
};

template <class Page>
CFRMainDlg::PageFactory Make(int* created = nullptr) {
  return [created](const CFRNode&, PageHost& host) -> CFRFunction* {
    if (created) ++*created;
    return new Page(host);
  };
}

class PageTest : public AppTest {
 protected:
  Config Long(uint16_t v = 201) {
    Config c;
    c.version = v;
    c.reportDurationMs = 4000;
    return c;
  }
  // A register ready for EEJ reports (fiscal, EEJ active).
  void StartReportRegister() {
    StartRegister(Long());
    m_sim->setStatus(0, 0, 0);
  }
};

TEST_F(PageTest, PlacementRightOfTreeInsideTab) {
  StartRegister();
  CFRMainDlg& main = Open();
  CFRFunction* page = main.CurrentPage();
  ASSERT_NE(page, nullptr);
  const QRect tab = Tabs(main)->geometry();
  const QRect tree = Tree(main)->geometry();
  const QRect header = Tabs(main)->tabBar()->tabRect(0);
  EXPECT_GT(header.height(), 10);
  const QRect r = tk::WidgetOf(page)->geometry();
  EXPECT_EQ(r.left(), tab.left() + tree.width() + 10);
  EXPECT_EQ(r.top(), tab.top() + header.height() + 5);
  EXPECT_EQ(r.left() + r.width(), tab.left() + tab.width() - 5);
  EXPECT_EQ(r.top() + r.height(), tab.top() + tab.height() - 5);
  // Right of the tree, clear of it; the command row fits in the page.
  EXPECT_GT(r.left(), tree.right());
  EXPECT_LE(tk::Item(page, 1)->geometry().bottom(), r.height());
  EXPECT_EQ(tk::WidgetOf(page)->parentWidget(), tk::WidgetOf(&main));
}

TEST_F(PageTest, OnePagePerSelectionStep) {
  StartRegister(Long(120));
  int created = 0;
  CFRMainDlg& main = Open(QString(), Make<CFRFunction>(&created));
  EXPECT_EQ(created, 1);  // the program's own selection after the rebuild
  tk::WidgetOf(&main)->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(tk::WidgetOf(&main), 5000));
  Tree(main)->setFocus();
  // Keys go where the focus is, as typed: each step's device check leaves
  // the focus in the tree.
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(QApplication::focusWidget(), Tree(main)) << i;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  }
  EXPECT_EQ(created, 4);
  EXPECT_EQ(Tree(main)->currentItem(), Tree(main)->topLevelItem(3));
  const tk::Rect pr = main.PageRect();
  EXPECT_EQ(tk::WidgetOf(main.CurrentPage())->geometry(), QRect(pr.x, pr.y, pr.width, pr.height));
  // A tab change builds the tree and shows exactly one page.
  Tabs(main)->setCurrentIndex(1);
  EXPECT_EQ(created, 5);
  EXPECT_EQ(TreeCaptions().first(), "Активизация ЭКЛЗ");
  // Programming nodes whose page class is not built yet show the plain page.
  Tabs(main)->setCurrentIndex(2);
  EXPECT_EQ(created, 6);
  ASSERT_NE(main.CurrentPage(), nullptr);
  EXPECT_EQ(main.CurrentPage()->GetTemplateId(), 134u);
}

// Another register answers when the user moves in the tree: the window is
// rebuilt from inside the tree's own key handling, and shows one page.
TEST_F(PageTest, DeviceChangeWhileMovingInTheTree) {
  StartRegister(Long(301));
  int created = 0;
  CFRMainDlg& main = Open(QString(), Make<CFRFunction>(&created));
  tk::WidgetOf(&main)->activateWindow();
  Tree(main)->setFocus();
  m_sim->setVersion(120);
  QTest::keyClick(Tree(main), Qt::Key_Down);
  EXPECT_EQ(main.m_wVersion, 120);
  EXPECT_EQ(TabCaptionsShown().first(), "Налоговый инспектор");
  EXPECT_EQ(Tree(main)->currentItem(), Tree(main)->topLevelItem(0));
  EXPECT_EQ(created, 2);
  EXPECT_EQ(main.StatusText(1), "ТЕРМИНА-1");
}

// Escape in a page does nothing; in the main window it closes the program.
// Enter in the main window has no action of its own.
TEST_F(PageTest, EscapeAndEnter) {
  StartRegister();
  CFRMainDlg& main = Open();
  CFRFunction* page = main.CurrentPage();
  QTest::keyClick(tk::WidgetOf(page), Qt::Key_Escape);
  EXPECT_FALSE(main.Ended());
  QTest::keyClick(Tree(main), Qt::Key_Return);
  EXPECT_FALSE(main.Ended());
  EXPECT_TRUE(m_prompts.messages.empty());
  QTest::keyClick(Tree(main), Qt::Key_Escape);
  EXPECT_TRUE(main.Ended());
  EXPECT_EQ(main.EndCode(), tk::IDCANCEL);
}

TEST_F(PageTest, PlainPageSaysChooseACommand) {
  StartRegister();
  CFRMainDlg& main = Open();
  CFRFunction* page = main.CurrentPage();
  Button(page, CFRFunction::kExecuteId)->click();
  ASSERT_TRUE(WaitIdle(page));
  EXPECT_EQ(m_prompts.Texts(), std::vector<std::string>{"Выберите команду"});
  EXPECT_EQ(m_prompts.messages[0].title, "TerminaTool");
  EXPECT_EQ(main.StatusText(0), "Готов");
  EXPECT_FALSE(page->IsCommandRunning());
  EXPECT_TRUE(Button(page, CFRFunction::kStatusId)->isEnabled());
}

TEST_F(PageTest, StatusDialogWithPrinterOnlyFor201) {
  for (uint16_t v : {201, 301}) {
    StartRegister(Long(v));
    m_sim->setStatus(0x40, 0x04, 0x23);
    m_sim->setPrinterStatus(0x06);
    CFRMainDlg& main = Open();
    m_prompts.messages.clear();
    bool printerShown = false;
    QString type, state;
    int fatalChecked = -1;
    m_prompts.onDialog = [&](tk::Dialog& dlg) {
      auto& dlgQt = dynamic_cast<tk::CDialog&>(dlg);
      ASSERT_EQ(dlg.TemplateId(), 101);
      printerShown = !tk::Item(&dlgQt, 1013)->isHidden();
      type = tk::Q(dlg.ItemText(1052));
      state = tk::Q(dlg.ItemText(1004));
      fatalChecked = tk::ItemOf<QCheckBox>(&dlgQt, 1039)->isChecked();
      if (printerShown) { EXPECT_TRUE(tk::ItemOf<QCheckBox>(&dlgQt, 1006)->isChecked()); }
      dlg.Press(tk::IDOK);
    };
    CFRFunction* page = main.CurrentPage();
    // A second press while the first runs is refused; one dialog only.
    Button(page, CFRFunction::kStatusId)->click();
    Button(page, CFRFunction::kStatusId)->click();
    ASSERT_TRUE(WaitIdle(page));
    EXPECT_EQ(m_prompts.dialogs, std::vector<int>{101}) << v;
    EXPECT_EQ(CountMessages("Не завершилась обработка предыдущей команды"), 1) << v;
    EXPECT_EQ(printerShown, v == 201) << v;
    EXPECT_EQ(type, "3");
    EXPECT_EQ(state, "2");
    EXPECT_EQ(fatalChecked, 1);
    EXPECT_EQ(main.StatusText(0), "Готов");
    m_prompts.dialogs.clear();
    m_main.reset();
    TRMA_ClosePort();
    m_sim.reset();
  }
}

TEST_F(PageTest, InterruptTwiceSendsOneCan) {
  StartReportRegister();
  CFRMainDlg& main = Open(QString(), Make<ReportPage>());
  auto* page = static_cast<ReportPage*>(main.CurrentPage());
  // No command running: the button does nothing.
  Button(page, CFRFunction::kInterruptId)->click();
  EXPECT_TRUE(m_prompts.messages.empty());

  m_sim->clearLog();
  Button(page, CFRFunction::kExecuteId)->click();
  ASSERT_TRUE(tk::PumpUntil([&] { return page->IsCommandRunning() && m_sim->state().reportRunning; }, 10000));
  EXPECT_EQ(main.StatusText(0), "Ожидание...");
  EXPECT_FALSE(Button(page, CFRFunction::kStatusId)->isEnabled());
  // The command button refuses while the report runs.
  Button(page, CFRFunction::kExecuteId)->click();
  EXPECT_EQ(CountMessages("Не завершилась обработка предыдущей команды"), 1);

  Button(page, CFRFunction::kInterruptId)->click();
  Button(page, CFRFunction::kInterruptId)->click();
  ASSERT_TRUE(WaitIdle(page));
  int cans = 0;
  for (const auto& e : m_sim->events()) cans += e.kind == termina::sim::WireEvent::Can;
  EXPECT_EQ(cans, 1);
  EXPECT_EQ(CountMessages("Отчет прерван"), 1);
  EXPECT_EQ(m_sim->state().reportsCancelled, 1);
  // The cancelled report ends with the register's refusal, shown once.
  EXPECT_FALSE(*page->executed);
  EXPECT_NE(main.StatusText(0), "Готов");
  EXPECT_EQ(CountMessages(main.StatusText(0)), 1);
  EXPECT_TRUE(Button(page, CFRFunction::kStatusId)->isEnabled());
}

TEST_F(PageTest, PortChangeRefusedWhileReportRuns) {
  StartReportRegister();
  CFRMainDlg& main = Open(QString(), Make<ReportPage>());
  auto* page = static_cast<ReportPage*>(main.CurrentPage());
  Button(page, CFRFunction::kExecuteId)->click();
  ASSERT_TRUE(tk::PumpUntil([&] { return page->IsCommandRunning(); }, 10000));
  auto* port = tk::ItemOf<QComboBox>(&main, 1087);
  port->setCurrentIndex(1);
  EXPECT_EQ(CountMessages("Не завершилась обработка предыдущей команды\nПовторите операцию позже"), 1);
  EXPECT_EQ(port->currentText(), "COM2");
  EXPECT_EQ(termina::ini::readString(Ini(), "General", "Port", "", 100), "1");
  EXPECT_EQ(main.CurrentPage(), page);  // nothing rebuilt
  ASSERT_TRUE(WaitIdle(page));
  EXPECT_TRUE(*page->executed);
  EXPECT_EQ(main.StatusText(0), "Готов");
}

// A page replaced while its command runs goes at once (once its handlers
// are off the stack); the command runs to its end on the copies it holds,
// leaves out what was meant for the page and puts its outcome on the
// status line.
TEST_F(PageTest, ReplacedPageGoesAtOnceItsCommandRunsToItsEnd) {
  StartRegister();
  CFRMainDlg& main = Open(QString(), Make<GatedPage>());
  PagePtrOf<GatedPage> first(static_cast<GatedPage*>(main.CurrentPage()));
  const std::shared_ptr<GatedPage::Gate> gate = first->gate;
  Button(first, CFRFunction::kExecuteId)->click();
  ASSERT_TRUE(tk::PumpUntil([&] { return gate->entered && first->IsCommandRunning(); }, 10000));
  main.ShowPage(1);
  ASSERT_NE(main.CurrentPage(), first.data());
  EXPECT_TRUE(tk::PumpUntil(
      [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return first.isNull();
      },
      10000));
  EXPECT_FALSE(gate->ended);  // the page went first
  main.SetStatusText(0, "new page");
  gate->Release();
  ASSERT_TRUE(tk::PumpUntil([&] { return gate->ended && !WorkerBusy(); }, 10000));
  EXPECT_FALSE(gate->wrotePage);
  EXPECT_TRUE(tk::PumpUntil([&] { return main.StatusText(0) == "Готов"; }, 10000)) << main.StatusText(0);
  EXPECT_TRUE(m_prompts.messages.empty());
  // The page shown now is not taken for the command's page.
  EXPECT_FALSE(main.CurrentPage()->IsCommandRunning());
}

// The command button's device check finds another register, re-initialises
// the window and so replaces the page inside the page's own handler.
TEST_F(PageTest, DeviceChangeReplacesPageInsideItsHandler) {
  StartRegister(Long(201));
  int created = 0;
  CFRMainDlg& main = Open(QString(), Make<ReportPage>(&created));
  PagePtrOf<ReportPage> first(static_cast<ReportPage*>(main.CurrentPage()));
  const auto executed = first->executed;
  m_sim->setVersion(301);
  Button(first, CFRFunction::kExecuteId)->click();
  EXPECT_EQ(main.m_wVersion, 301);
  EXPECT_EQ(main.StatusText(1), "ТЕРМИНА-3");
  EXPECT_EQ(created, 2);
  EXPECT_NE(main.CurrentPage(), first.data());
  // Nothing was started: the new page only reads.
  EXPECT_FALSE(main.CurrentPage()->IsCommandRunning());
  ASSERT_TRUE(WaitWorkerDone());
  EXPECT_FALSE(*executed);
  EXPECT_FALSE(m_sim->state().reportRunning);
  EXPECT_TRUE(tk::PumpUntil(
      [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return first.isNull();
      },
      10000));
}

// Closing the program while a report runs: the window and its page go at
// once, the command ends later on the worker without touching either.
TEST_F(PageTest, CloseWhileReportRuns) {
  StartReportRegister();
  CFRMainDlg& main = Open(QString(), Make<ReportPage>());
  PagePtrOf<ReportPage> page(static_cast<ReportPage*>(main.CurrentPage()));
  const auto executed = page->executed;
  Button(page, CFRFunction::kExecuteId)->click();
  ASSERT_TRUE(tk::PumpUntil([&] { return page->IsCommandRunning() && m_sim->state().reportRunning; }, 10000));
  Button(page, CFRFunction::kExitId)->click();
  EXPECT_TRUE(main.Ended());
  EXPECT_EQ(main.EndCode(), tk::IDOK);
  // The worker was still inside the driver a second later: the program
  // would end the process there.
  EXPECT_TRUE(m_endedNow);
  m_main.reset();
  EXPECT_TRUE(page.isNull());  // gone with the window
  EXPECT_TRUE(WorkerBusy());   // the report is still on the register
  ASSERT_TRUE(WaitWorkerDone());
  EXPECT_TRUE(*executed);
  EXPECT_TRUE(m_prompts.messages.empty());
}

}  // namespace
}  // namespace apptest
