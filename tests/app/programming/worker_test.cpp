// SPDX-License-Identifier: GPL-3.0-or-later
// The register worker seen from the window: navigation while a page reads
// or a command runs, the event loop during a silent register, closing the
// window while the worker waits, and the guard against driver calls on the
// UI thread.
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "programming_pages.h"

namespace apptest {
namespace {

using termina::sim::Config;
using termina::sim::Request;

// Holds the reply to one chosen request until the test releases it, so
// that the test acts while the driver call of that request is in progress.
class Gate {
 public:
  std::function<void(const Request&)> Hook() {
    return [this](const Request& r) {
      std::unique_lock lock(m_mutex);
      if (!m_armed || !m_match(r)) return;
      m_armed = false;
      m_reached = true;
      m_held = r.bodyUtf8;
      m_cv.notify_all();
      // A test that never releases fails on its own waits, not here.
      m_cv.wait_for(lock, std::chrono::seconds(10), [&] { return m_released; });
    };
  }
  void Arm(std::function<bool(const Request&)> match) {
    std::lock_guard lock(m_mutex);
    m_match = std::move(match);
    m_armed = true;
    m_reached = m_released = false;
  }
  bool Reached() {
    std::lock_guard lock(m_mutex);
    return m_reached;
  }
  void Release() {
    std::lock_guard lock(m_mutex);
    m_released = true;
    m_cv.notify_all();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::function<bool(const Request&)> m_match;
  bool m_armed = false, m_reached = false, m_released = false;
  std::string m_held;
};

class WorkerTest : public AppTest {
 public:
  CFRMainDlg& OpenProgramming(uint16_t version = 201) {
    Config c;
    c.version = version;
    c.onRequest = m_gate.Hook();
    StartRegister(c);
    CFRMainDlg& main = Open();
    for (int i = 0; i < Tabs(main)->count(); ++i)
      if (Tabs(main)->tabText(i) == QStringLiteral("Программирование")) Tabs(main)->setCurrentIndex(i);
    EXPECT_TRUE(WaitPageFilled(main));
    return main;
  }
  QTreeWidgetItem* Node(const QString& caption) const {
    return Tree(*m_main)->findItems(caption, Qt::MatchExactly).value(0);
  }
  QStringList Bodies() const {
    QStringList l;
    for (const Request& r : m_sim->requests()) l << QString::fromStdString(r.bodyUtf8);
    return l;
  }
  // Messages whose text has `part` in it.
  int Messages(const std::string& part) const {
    int n = 0;
    for (const std::string& t : m_prompts.Texts()) n += t.find(part) != std::string::npos;
    return n;
  }
  bool WorkerIdle() {
    return tk::PumpUntil([] { return !WorkerBusy(); }, 20000);
  }
  Gate m_gate;
};

// Clicking another node while a page reads: the call in progress ends, no
// later read of that page starts, and the new page's frames follow: the
// same frames the new page sends when it is chosen with nothing running.
TEST_F(WorkerTest, NodeClickedWhileAPageReadsEndsItsReads) {
  CFRMainDlg& main = OpenProgramming();
  int reads = 0;
  m_gate.Arm([&reads](const Request& r) { return r.code == "A1" && ++reads == 3; });
  m_sim->clearLog();
  Tree(main)->setCurrentItem(Node(QStringLiteral("Параметры кассы")));
  ASSERT_TRUE(tk::PumpUntil([&] { return m_gate.Reached(); }, 20000));
  apptest::PagePtr params = main.CurrentPage();
  ASSERT_TRUE(params && params->IsReading());
  // The reply comes once the click has been taken.
  QTimer::singleShot(0, [&] { m_gate.Release(); });
  const int held = static_cast<int>(Bodies().size());
  Tree(main)->setCurrentItem(Node(QStringLiteral("Клише предприятия")));
  ASSERT_TRUE(WaitPageFilled(main));
  ASSERT_TRUE(WorkerIdle());
  const QStringList after = Bodies().mid(held);
  EXPECT_TRUE(params.isNull() || !params->Host());

  Tree(main)->setCurrentItem(Node(QStringLiteral("Рекламный текст")));
  ASSERT_TRUE(WaitPageFilled(main));
  ASSERT_TRUE(WorkerIdle());
  m_sim->clearLog();
  Tree(main)->setCurrentItem(Node(QStringLiteral("Клише предприятия")));
  ASSERT_TRUE(WaitPageFilled(main));
  ASSERT_TRUE(WorkerIdle());
  EXPECT_EQ(after, Bodies());
  EXPECT_TRUE(m_prompts.messages.empty()) << Join(m_prompts.Texts());
}

// A node clicked while "СТАТУС" waits for its reply: the click's check
// waits its turn, the status dialog opens, start-up does not run again, and
// the clicked page is shown.
TEST_F(WorkerTest, NodeClickedWhileStatusRunsWaitsItsTurn) {
  CFRMainDlg& main = OpenProgramming();
  m_gate.Arm([](const Request&) { return true; });
  m_sim->clearLog();
  m_prompts.messages.clear();
  Button(main.CurrentPage(), CFRFunction::kStatusId)->click();
  ASSERT_TRUE(tk::PumpUntil([&] { return m_gate.Reached(); }, 20000));
  QTimer::singleShot(0, [&] { m_gate.Release(); });
  Tree(main)->setCurrentItem(Node(QStringLiteral("Клише предприятия")));
  ASSERT_TRUE(WaitPageFilled(main));
  ASSERT_TRUE(WorkerIdle());
  EXPECT_EQ(m_prompts.dialogs, std::vector<int>{101})
      << Bodies().join(QStringLiteral(" / ")).toStdString() << Join(m_prompts.Texts());
  EXPECT_EQ(main.CurrentPage()->TemplateId(), 143);
  EXPECT_EQ(Tree(main)->currentItem()->text(0), QStringLiteral("Клише предприятия"));
  for (const Request& r : m_sim->requests()) {
    EXPECT_NE(r.code, "00") << "no start-up run";
    EXPECT_TRUE(r.checksumOk);
  }
  EXPECT_TRUE(m_prompts.messages.empty()) << Join(m_prompts.Texts());
}

// The window's event loop goes on while a silent register is waited out.
TEST_F(WorkerTest, EventLoopTurnsWhileASilentRegisterIsWaitedOut) {
  CFRMainDlg& main = OpenProgramming();
  termina::sim::Faults f;
  f.silent = true;
  m_sim->setFaults(f);
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(10);
  Tree(main)->setCurrentItem(Node(QStringLiteral("Клише предприятия")));
  // The click has come back: the check failed and start-up ran again
  // against the silent register, all while the timer kept firing.
  EXPECT_GT(ticks, 1);
  EXPECT_TRUE(tk::Q(Join(m_prompts.Texts())).contains(QStringLiteral("Регистратор не обнаружен")))
      << Join(m_prompts.Texts());
}

// Closing the window while the worker waits on a silent register: the
// window goes, and no later driver call reaches the register.
TEST_F(WorkerTest, WindowClosesWhileTheWorkerWaitsOnASilentRegister) {
  CFRMainDlg& main = OpenProgramming();
  bool endedNow = false;
  main.SetEndNow([&] { endedNow = true; });
  termina::sim::Faults f;
  f.silent = true;
  m_sim->setFaults(f);
  m_sim->clearLog();
  std::size_t framesAtClose = 0;
  QTimer::singleShot(0, [&] {
    framesAtClose = m_sim->requests().size();
    tk::WidgetOf(&main)->close();
  });
  Tree(main)->setCurrentItem(Node(QStringLiteral("Клише предприятия")));
  EXPECT_FALSE(main.IsVisible());
  ASSERT_TRUE(WorkerIdle());
  EXPECT_TRUE(main.Ended());
  EXPECT_EQ(m_sim->requests().size(), framesAtClose) << "nothing sent after the close";
  // Ended at once unless the call in progress had ended within a second.
  EXPECT_TRUE(endedNow || reg::Worker::Get().Stopping());
}

// "ВЫХОД" and Escape from the tree while the device check that a click
// started waits on a silent register: the window ends there and then,
// start-up does not run again, and nothing more is sent.
void LeaveDuringTheCheck(WorkerTest& t, CFRMainDlg& main, termina::sim::Simulator& sim,
                         const std::function<void()>& leave) {
  bool endedNow = false;
  main.SetEndNow([&] { endedNow = true; });
  termina::sim::Faults f;
  f.silent = true;
  sim.setFaults(f);
  sim.clearLog();
  bool lockedAtLeave = false, endedAtOnce = false;
  std::size_t framesAtLeave = 0;
  QTimer::singleShot(0, [&] {
    lockedAtLeave = main.InputLocked() && !Tree(main)->isEnabled();
    framesAtLeave = sim.requests().size();
    leave();
    endedAtOnce = main.Ended() && !main.IsVisible();
  });
  Tree(main)->setCurrentItem(t.Node(QStringLiteral("Клише предприятия")));
  EXPECT_TRUE(lockedAtLeave);
  EXPECT_TRUE(endedAtOnce);
  ASSERT_TRUE(t.WorkerIdle());
  EXPECT_EQ(sim.requests().size(), framesAtLeave) << "nothing sent after leaving";
  EXPECT_TRUE(endedNow || reg::Worker::Get().Stopping());
  EXPECT_EQ(t.Messages("Регистратор не обнаружен"), 0) << "no start-up after leaving";
}

TEST_F(WorkerTest, ExitButtonEndsTheProgramWhileTheDeviceCheckWaits) {
  CFRMainDlg& main = OpenProgramming();
  LeaveDuringTheCheck(*this, main, *m_sim, [&] {
    ASSERT_TRUE(main.CurrentPage());
    EXPECT_TRUE(main.CurrentPage()->Press(CFRFunction::kExitId));
  });
  EXPECT_EQ(main.EndCode(), tk::IDOK);
}

TEST_F(WorkerTest, EscapeFromTheTreeEndsTheProgramWhileTheDeviceCheckWaits) {
  CFRMainDlg& main = OpenProgramming();
  tk::WidgetOf(&main)->activateWindow();
  Tree(main)->setFocus();
  LeaveDuringTheCheck(*this, main, *m_sim, [&] { QTest::keyClick(Tree(main), Qt::Key_Escape); });
  EXPECT_EQ(main.EndCode(), tk::IDCANCEL);
}

// Escape inside a page does nothing, also while the window waits.
TEST_F(WorkerTest, EscapeInsideAPageDoesNothingWhileTheWindowWaits) {
  CFRMainDlg& main = OpenProgramming();
  tk::WidgetOf(&main)->activateWindow();
  CFRFunction* page = main.CurrentPage();
  ASSERT_NE(page, nullptr);
  page->FocusItemNow(CFRFunction::kStatusId);
  if (QApplication::focusWidget() != tk::Item(page, CFRFunction::kStatusId)) GTEST_SKIP() << "no focus offscreen";
  main.EnableMainWindow(false);
  QTest::keyClick(tk::Item(page, CFRFunction::kExitId), Qt::Key_Escape);
  EXPECT_FALSE(main.Ended());
  main.EnableMainWindow(true);
  EXPECT_FALSE(main.InputLocked());
  EXPECT_TRUE(page->IsItemEnabled(CFRFunction::kStatusId));
}

// The parameters page's box 1056 is a setting, not the interrupt: ticking
// it while "СТАТУС" runs sends no CAN and shows no "Отчет прерван".
TEST_F(WorkerTest, ParamsBox1056IsNoInterrupt) {
  OpenProgramming();
  CFRFunction* page = ShowProgrammingPage(*m_main, QStringLiteral("Параметры кассы"));
  ASSERT_NE(page, nullptr) << Join(m_prompts.Texts()) << m_main->StatusText(0);
  m_sim->clearLog();
  m_prompts.messages.clear();
  Button(page, CFRFunction::kStatusId)->click();
  ASSERT_TRUE(page->IsCommandRunning());
  tk::Item<QCheckBox>(page, 1056)->click();
  ASSERT_TRUE(WaitIdle(page));
  for (const termina::sim::WireEvent& e : m_sim->events()) EXPECT_NE(e.kind, termina::sim::WireEvent::Can);
  EXPECT_EQ(CountMessages("Отчет прерван"), 0);
}

#ifndef NDEBUG
// The rule is kept by the build: a driver call on the UI thread aborts.
TEST(DriverGuardDeathTest, ADriverCallOnTheUiThreadAbortsNamingIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        reg::Worker::Get();
        uint16_t version = 0;
        TRMA_GetVersion(&version);
      },
      "TRMA_GetVersion called on the user-interface thread");
}
#endif

}  // namespace
}  // namespace apptest
