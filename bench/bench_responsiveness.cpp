// SPDX-License-Identifier: GPL-3.0-or-later
// The window's responsiveness while the register works: the main window on
// the offscreen platform, the real driver, the simulated register over its
// pseudo-terminal on an emulated 19200 baud line, then answering every
// frame 250 ms late, then silent.  Each case opens every page of the
// programming tab and runs "СТАТУС" on each, and measures the longest stall
// of the event loop (how late a 10 ms timer fires) and, per page, the time
// from the click to the page filled against the wire time of its frames.
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "bench_support.h"
#include "frfunction.h"
#include "frmaindlg.h"
#include "program_wiring.h"
#include "register_worker.h"
#include "prompts.h"
#include "toolkit_qt.h"
#include "ui_thread.h"

namespace {

using namespace termina;
using namespace termina::bench;

constexpr unsigned kBaud = 19200;

enum class Line { Baud19200, ReplyDelay250, Silent };

// How late a 10 ms timer fires, the worst case since Start.
class StallMeter {
 public:
  void Start() {
    m_worst = 0;
    m_clock.start();
    m_last = 0;
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
      const qint64 now = m_clock.elapsed();
      m_worst = std::max(m_worst, now - m_last - 10);
      m_last = now;
    });
    m_timer.start(10);
  }
  double WorstMs() const { return static_cast<double>(std::max<qint64>(0, m_worst)); }

 private:
  QTimer m_timer;
  QElapsedTimer m_clock;
  qint64 m_last = 0, m_worst = 0;
};

// The window needs an application object; each case makes its own, gone
// with the case (none is left for the process's exit).
std::unique_ptr<QApplication> NeedApplication() {
  if (QCoreApplication::instance()) return nullptr;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "bench_responsiveness";
  static char* argv[] = {name, nullptr};
  return std::make_unique<QApplication>(argc, argv);
}

void Responsiveness(benchmark::State& state, Line line) {
  const std::unique_ptr<QApplication> app = NeedApplication();
  DriverRoot root;
  sim::Config cfg;
  cfg.version = 201;
  cfg.lineBaud = kBaud;
  auto sim = std::make_unique<sim::Simulator>(cfg);
  sim->setReady();
  sim->openPty(root.com(1));
  useTransport(root, test::Transport::Pty);
  tk::ScriptedPrompts prompts;
  tk::SetPrompts(&prompts);
  ProgramWiring wiring;
  double stall = 0, worstOverLine = -1e9, worstFill = 0;
  int pages = 0;
  for (auto _ : state) {
    CFRMainDlg main(wiring);
    main.InitDialog();
    tk::WidgetOf(&main)->show();
    auto* tabs = tk::Item<QTabWidget>(&main, CFRMainDlg::kTabId);
    auto* tree = tk::Item<QTreeWidget>(&main, CFRMainDlg::kTreeId);
    for (int i = 0; i < tabs->count(); ++i)
      if (tabs->tabText(i) == QStringLiteral("Программирование")) tabs->setCurrentIndex(i);
    tk::PumpUntil([&] { return !main.CurrentPage() || !main.CurrentPage()->IsReading(); }, 60000);
    sim::Faults f;
    if (line == Line::ReplyDelay250) f.replyDelayMs = 250;
    if (line == Line::Silent) f.silent = true;
    sim->setFaults(f);
    StallMeter meter;
    meter.Start();
    // The silent register is waited out once: every click then re-runs a
    // start-up that finds no register.
    // Every node but the first (shown already), then the first again.
    std::vector<QTreeWidgetItem*> order;
    for (int n = 1; n < tree->topLevelItemCount(); ++n) order.push_back(tree->topLevelItem(n));
    order.push_back(tree->topLevelItem(0));
    if (line == Line::Silent) order.resize(1);
    for (QTreeWidgetItem* item : order) {
      sim->clearLog();
      QElapsedTimer clock;
      clock.start();
      tree->setCurrentItem(item);
      tk::PumpUntil([&] { return !main.CurrentPage() || !main.CurrentPage()->IsReading(); }, 60000);
      const double fillMs = static_cast<double>(clock.elapsed());
      if (line == Line::Baud19200) {
        double bytes = static_cast<double>(sim->sent().size());
        for (const auto& e : sim->events()) bytes += static_cast<double>(e.bytes.size());
        worstOverLine = std::max(worstOverLine, fillMs - 1000.0 * wireSeconds(bytes, kBaud));
        worstFill = std::max(worstFill, fillMs);
      }
      ++pages;
      if (line == Line::Silent || !main.CurrentPage()) continue;
      // "СТАТУС", the read-only command every page has.
      if (auto* status = tk::Item<QPushButton>(main.CurrentPage(), CFRFunction::kStatusId)) {
        status->click();
        const auto page = main.CurrentPage()->Alive();
        tk::PumpUntil([&] { return !*page || !(*page)->IsCommandRunning(); }, 60000);
      }
    }
    stall = std::max(stall, meter.WorstMs());
    tk::PumpUntil([] { return !reg::Worker::Get().Busy(); }, 60000);
  }
  // Pages the window replaced go before the application does.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  state.counters["stall_ms"] = stall;
  state.counters["pages"] = pages;
  if (line == Line::Baud19200) {
    state.counters["fill_ms"] = worstFill;
    state.counters["fill_over_line_ms"] = worstOverLine;
  }
  tk::SetPrompts(nullptr);
  TRMA_ClosePort();
}

BENCHMARK_CAPTURE(Responsiveness, baud19200, Line::Baud19200)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Responsiveness, reply_delay_250ms, Line::ReplyDelay250)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Responsiveness, silent, Line::Silent)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
