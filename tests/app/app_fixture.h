// SPDX-License-Identifier: GPL-3.0-or-later
// A temporary root with the driver's INI file, the simulated register on a
// pseudo-terminal linked as COM1, scripted prompts and the main window.
#pragma once

#include <QCoreApplication>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "frfunction.h"
#include "frmaindlg.h"
#include "ini.h"
#include "program_wiring.h"
#include "register_worker.h"
#include "simulator.h"
#include "termina1.h"
#include "toolkit_qt.h"

namespace apptest {

// The main window's tab control and tree, as the user sees them.
inline QTabWidget* Tabs(const CFRMainDlg& main) { return tk::ItemOf<QTabWidget>(&main, CFRMainDlg::kTabId); }
inline QTreeWidget* Tree(const CFRMainDlg& main) { return tk::ItemOf<QTreeWidget>(&main, CFRMainDlg::kTreeId); }
// A page pointer that turns null when the page is deleted.
template <class P>
class PagePtrOf {
 public:
  PagePtrOf(P* page = nullptr) : m_alive(page ? page->Alive() : nullptr) {}  // NOLINT: converts as a pointer
  P* data() const { return m_alive ? static_cast<P*>(*m_alive) : nullptr; }
  bool isNull() const { return data() == nullptr; }
  operator P*() const { return data(); }  // NOLINT
  P* operator->() const { return data(); }

 private:
  std::shared_ptr<CFRFunction* const> m_alive;
};
using PagePtr = PagePtrOf<CFRFunction>;

inline QWidget* W(const tk::Dialog* d) { return tk::WidgetOf(d); }
inline QWidget* W(const tk::Dialog& d) { return tk::WidgetOf(&d); }

inline bool WorkerBusy() { return reg::Worker::Started() && reg::Worker::Get().Busy(); }

// Keeps the event loop turning until the worker is idle, then runs what its
// last job posted to the UI thread (a command's end).
inline bool WaitWorkerDone(int ms = 20000) {
  const bool idle = tk::PumpUntil([] { return !WorkerBusy(); }, ms);
  QCoreApplication::processEvents();
  return idle;
}

// Keeps the event loop turning until the page shown has its reads filled in.
inline bool WaitPageFilled(CFRMainDlg& main, int ms = 20000) {
  return tk::PumpUntil([&] { return !main.CurrentPage() || !main.CurrentPage()->IsReading(); }, ms);
}

// The texts of messages, one line: for a failing check's note.
inline std::string Join(const std::vector<std::string>& texts) {
  std::string all;
  for (const std::string& t : texts) all += (all.empty() ? "" : "|") + t;
  return all;
}

inline std::string Ini() { return std::string(std::getenv("TERMINA_ROOT")) + "/c/Program Files/Orvelsoft/TERMINA.INI"; }

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_root.isValid());
    ::setenv("TERMINA_ROOT", m_root.path().toUtf8().constData(), 1);
    std::filesystem::create_directories(m_root.path().toStdString() + "/c/Program Files/Orvelsoft");
    std::filesystem::create_directories(m_root.path().toStdString() + "/dev");
    TRMATMOUT = 2;
    tk::SetPrompts(&m_prompts);
  }

  void TearDown() override {
    m_main.reset();
    // Let pages retired by the main window go, and the worker finish.
    tk::PumpUntil([] { return !WorkerBusy(); }, 20000);
    if (reg::Worker::Started()) reg::Worker::Get().Resume();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    TRMA_ClosePort();
    m_sim.reset();
    tk::SetPrompts(nullptr);
  }

  // Starts a simulated register as COM1 and writes Port=1 and the password.
  termina::sim::Simulator& StartRegister(termina::sim::Config cfg = {}, const std::string& iniPassword = "WKRD") {
    cfg.reportAckIntervalMs = 200;
    m_sim = std::make_unique<termina::sim::Simulator>(cfg);
    m_sim->openPty(m_root.path().toStdString() + "/dev/com1");
    termina::ini::writeString(Ini(), "General", "Port", "1");
    termina::ini::writeString(Ini(), "General", "pswd", iniPassword);
    return *m_sim;
  }

  // Runs the main window's initialisation as the program does.
  CFRMainDlg& Open(const QString& commandLine = QString(), CFRMainDlg::PageFactory factory = nullptr) {
    m_main = std::make_unique<CFRMainDlg>(m_wiring, commandLine.toStdString());
    if (factory) m_main->SetPageFactory(std::move(factory));
    // The program would end the process here; a test notes it instead.
    m_main->SetEndNow([this] { m_endedNow = true; });
    m_main->InitDialog();
    tk::WidgetOf(m_main.get())->show();
    WaitPageFilled(*m_main);
    return *m_main;
  }

  QStringList TreeCaptions() const {
    QStringList l;
    for (int i = 0; i < m_main->TreeCount(CFRMainDlg::kTreeId); ++i)
      l << QString::fromStdString(m_main->TreeText(CFRMainDlg::kTreeId, i));
    return l;
  }
  QStringList TabCaptionsShown() const {
    QStringList l;
    for (int i = 0; i < m_main->TabCount(CFRMainDlg::kTabId); ++i)
      l << QString::fromStdString(m_main->TabText(CFRMainDlg::kTabId, i));
    return l;
  }
  QPushButton* Button(CFRFunction* page, int id) const { return tk::ItemOf<QPushButton>(page, id); }
  // Waits, keeping the event loop running, until the page is idle again.
  bool WaitIdle(CFRFunction* page, int ms = 20000) {
    const auto p = page->Alive();
    return tk::PumpUntil([&] { return !*p || !(*p)->IsCommandRunning(); }, ms);
  }
  int CountMessages(const std::string& text) const { return m_prompts.Count(text); }

  QTemporaryDir m_root;
  tk::ScriptedPrompts m_prompts;
  ProgramWiring m_wiring;
  std::unique_ptr<termina::sim::Simulator> m_sim;
  std::unique_ptr<CFRMainDlg> m_main;
  bool m_endedNow = false;
};

}  // namespace apptest
