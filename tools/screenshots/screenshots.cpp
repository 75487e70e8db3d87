// SPDX-License-Identifier: GPL-3.0-or-later
// Renders TerminaTool's windows to PNG files, on Linux and on Windows
// alike, through the window-system seam:
//   terminatool-screenshots OUTDIR [FILE...]   the pictures (all, or those named)
//   terminatool-screenshots --list             one line per picture: its file,
//                                              a tab, the simulator's arguments
// Each picture is taken against a simulated register of its own, set up as
// the picture needs it (screenshots_platform.h), with the program's real
// start-up; its pages' reads have all been answered when it is taken.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "application.h"
#include "changepwd.h"
#include "dialog.h"
#include "frfunction.h"
#include "frinstall.h"
#include "frmaindlg.h"
#include "frstatusdlg.h"
#include "nvr_image.h"
#include "nvrarrays.h"
#include "program_wiring.h"
#include "prompts.h"
#include "register_worker.h"
#include "repairnvr.h"
#include "screenshots_platform.h"
#include "termina1.h"
#include "ui_thread.h"

namespace shots {

std::string SimulatorArguments(const RegisterSetup& setup) {
  if (setup.version == 0) return {};
  std::string args = "--version " + std::to_string(setup.version);
  if (setup.clockOffset != 0) args += " --clock-offset " + std::to_string(setup.clockOffset);
  if (setup.ready) args += " --ready";
  if (!setup.memory.empty()) {
    static const char digits[] = "0123456789ABCDEF";
    args += " --memory " + std::to_string(setup.memoryArea) + ":" + std::to_string(setup.memoryAddress) + ":";
    for (uint8_t b : setup.memory) args += {digits[b >> 4], digits[b & 15]};
  }
  return args;
}

}  // namespace shots

namespace {

// Every driver call goes through the register worker, as in the program.
void ClosePort() {
  reg::Worker::Get().Run([] { TRMA_ClosePort(); });
}

// Keeps the event loop turning until the worker has run every job queued
// (a page's reads, a button's command), so that a picture shows a page as
// its reads left it.
void Settle() {
  tk::PumpUntil([] { return !reg::Worker::Get().Busy(); }, 30000);
  shots::ProcessWaitingEvents();
}

std::string g_out;
tk::ScriptedPrompts* g_prompts = nullptr;

bool Save(tk::Dialog& d, const std::string& name) {
  const std::string path = g_out + "/" + name;
  const bool ok = tk::SaveImage(d, path);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.c_str());
  std::fflush(stdout);
  return ok;
}

// Totals of a shift for the recovery dialog's pictures.
termina::app::NvrRecord SampleTotals(uint16_t version) {
  termina::app::NvrRecord r = termina::app::NewNvrRecord(version);
  r.opened = termina::app::NvrDateTime{14, 5, 2026, 9, 30, 0};
  r.shift = 418, r.document = 9207, r.report = 417, r.receipt = 8733;
  r.cash = 15230.5, r.carried = 2000, r.annulled = 120, r.paidIn = 3000, r.paidOut = 1500;
  r.sales[0] = 11890.75, r.sales[1] = 4310.2, r.returns[0] = 240;
  r.deferred = 75.4, r.discSales = 312.6, r.markupSales = 18;
  r.taxSales[0] = 2421.87;
  r.deptSales[0] = 9000, r.deptSales[1] = 7200.95;
  return r;
}

// One picture: its file, the register it is taken against, and how it is
// made.
struct Shot {
  std::string file;
  shots::RegisterSetup reg;
  std::function<bool(const Shot&)> take;
};

shots::RegisterSetup Version(uint16_t version) {
  shots::RegisterSetup s;
  s.version = version;
  return s;
}

// The main window with the given tab selected and, when `node` is given,
// the page of the tree's node with that caption; `act` plays the user on
// the page before the picture is taken.
Shot MainWindow(const std::string& file, shots::RegisterSetup reg, int tab, const std::string& node = {},
                std::function<void(CFRMainDlg&)> act = nullptr) {
  return {file, std::move(reg), [tab, node, act](const Shot& shot) {
            bool ok = true;
            {
              ProgramWiring wiring;
              CFRMainDlg main(wiring);
              main.InitDialog();
              shots::Show(main);
              if (tab != 0) main.SetTabIndex(CFRMainDlg::kTabId, tab);
              if (!node.empty()) {
                int row = -1;
                for (int i = 0; i < main.TreeCount(CFRMainDlg::kTreeId); ++i)
                  if (main.TreeText(CFRMainDlg::kTreeId, i) == node) row = i;
                if (row < 0) {
                  std::fprintf(stderr, "no tree node %s\n", node.c_str());
                  ok = false;
                } else {
                  main.ChooseTreeRow(row);
                }
              }
              main.FocusItemNow(CFRMainDlg::kTreeId);
              Settle();
              if (act) {
                act(main);
                Settle();
              }
              ok = Save(main, shot.file) && ok;
            }
            ClosePort();
            return ok;
          }};
}

// The recovery dialog against a register holding the sample totals, and,
// when `payments` is given, the sales-by-payment dialog over it too.
Shot RecoveryDialog(const std::string& file, uint16_t version, const std::string& payments = {}) {
  shots::RegisterSetup reg = Version(version);
  reg.memoryArea = termina::app::kNvrArea;
  reg.memoryAddress = termina::app::kNvrAddress;
  reg.memory = termina::app::BuildNvrImage(SampleTotals(version));
  return {file, std::move(reg), [payments](const Shot& shot) {
            bool ok = reg::Worker::Get().Run([] { return TRMA_CheckPort(false) == 0; });
            {
              CRepairNVR dlg;
              dlg.InitDialog();
              shots::Show(dlg);
              Settle();
              ok = Save(dlg, shot.file) && ok;
              if (!payments.empty()) {
                CMonByPmnt sales(false, dlg.m_record.sales.data(), &dlg, "Сумма продаж по платежам");
                sales.InitDialog();
                shots::Show(sales);
                shots::ProcessWaitingEvents();
                ok = Save(sales, payments) && ok;
              }
            }
            ClosePort();
            return ok;
          }};
}

// A dialog of its own, without a register; `fill` plays the user first.
template <class D>
Shot Dialog(const std::string& file, std::function<D*()> make, std::function<void(D&)> fill = nullptr) {
  return {file, {}, [make, fill](const Shot& shot) {
            const std::unique_ptr<D> d(make());
            d->InitDialog();
            if (fill) fill(*d);
            shots::Show(*d);
            return Save(*d, shot.file);
          }};
}

std::vector<Shot> Shots() {
  shots::RegisterSetup clockBehind = Version(301);
  clockBehind.clockOffset = -7 * 60;
  clockBehind.ready = true;
  return {
      MainWindow("main-window.png", Version(201), 0),
      MainWindow("main-window-termina1.png", Version(120), 0),
      MainWindow("main-window-termina1-programming.png", Version(120), 2),
      MainWindow("page-logo.png", Version(201), 0, "Логотип предприятия",
                 [](CFRMainDlg& main) {
                   g_prompts->fileName = shots::MakeLogoPicture(shots::TemporaryFolder() + "/logo.bmp");
                   if (g_prompts->fileName.empty()) std::fprintf(stderr, "the logo picture was not written\n");
                   if (CFRFunction* page = main.CurrentPage()) page->Press(1052);
                 }),
      MainWindow("page-clock.png", clockBehind, 0, "Параметры связи"),
      MainWindow("page-clock-termina2.png", Version(201), 0, "Параметры связи"),
      MainWindow("page-fiscal-shifts.png", Version(201), 2, "Полный фиск. отчет по сменам"),
      MainWindow("page-fiscal-dates.png", Version(201), 2, "Краткий фиск. отчет по датам"),
      MainWindow("page-eej-shifts.png", Version(201), 1, "Краткий отчет по сменам"),
      MainWindow("page-eej-dates.png", Version(201), 1, "Полный отчет по датам"),
      MainWindow("page-eej-control-tape.png", Version(201), 1, "Контрольная лента"),
      MainWindow("page-eej-document.png", Version(201), 1, "Документ из ЭКЛЗ"),
      MainWindow("fiscal-register.png", Version(125), 0, "Фискализация / перерегистрация"),
      MainWindow("test-sale.png", Version(125), 0, "Тестовая продажа"),
      MainWindow("synchro.png", Version(125), 2, "Синхронизация"),
      MainWindow("page-params-termina1.png", Version(120), 2, "Параметры кассы"),
      MainWindow("page-params-termina2.png", Version(201), 0, "Параметры кассы"),
      MainWindow("page-cliche.png", Version(201), 0, "Клише предприятия"),
      MainWindow("page-footer.png", Version(201), 0, "Рекламный текст"),
      MainWindow("page-payment.png", Version(201), 0, "Типы платежей"),
      MainWindow("page-taxes-termina1.png", Version(125), 2, "Налоги"),
      MainWindow("page-taxes-termina2.png", Version(201), 0, "Налоги"),
      MainWindow("page-groups.png", Version(201), 0, "Товарные группы"),
      Dialog<CFRStatusDlg>("status-dialog.png",
                           [] { return new CFRStatusDlg(0x00, 0x04, 0x12, 0x02, false, nullptr); }),
      Dialog<CFRStatusDlg>("status-dialog-no-printer.png",
                           [] { return new CFRStatusDlg(0x00, 0x04, 0x12, 0x00, true, nullptr); }),
      Dialog<CChangePwd>("change-password.png", [] { return new CChangePwd("WKRD"); }),
      Dialog<CFRInstall>(
          "install.png", [] { return new CFRInstall; }, [](CFRInstall& d) { d.SetItemTextNow(1051, "000000123456"); }),
      RecoveryDialog("nvr-recovery-short.png", 120),
      RecoveryDialog("nvr-recovery-long.png", 201, "nvr-sales-by-payment.png"),
  };
}

int Run(const std::vector<std::string>& args) {
  const std::vector<Shot> shots = Shots();
  if (args.size() == 1 && args[0] == "--list") {
    for (const Shot& s : shots) std::printf("%s\t%s\n", s.file.c_str(), shots::SimulatorArguments(s.reg).c_str());
    return 0;
  }
  if (args.empty() || args[0].empty() || args[0][0] == '-') {
    std::fprintf(stderr, "usage: terminatool-screenshots OUTDIR [FILE...] | --list\n");
    return 2;
  }
  std::error_code error;
  std::filesystem::create_directories(args[0], error);
  g_out = std::filesystem::absolute(args[0]).generic_string();
  const std::vector<std::string> wanted(args.begin() + 1, args.end());
  for (const std::string& w : wanted) {
    bool known = false;
    for (const Shot& s : shots) known = known || s.file == w;
    if (!known) {
      std::fprintf(stderr, "no picture %s (see --list)\n", w.c_str());
      return 2;
    }
  }
  TRMATMOUT = 3;
  // Messages are answered without showing them.
  tk::ScriptedPrompts prompts;
  g_prompts = &prompts;
  tk::SetPrompts(&prompts);
  bool ok = true;
  for (const Shot& s : shots) {
    bool take = wanted.empty();
    for (const std::string& w : wanted) take = take || w == s.file;
    if (!take) continue;
    const shots::Register reg(s.reg);
    ok = s.take(s) && ok;
  }
  tk::SetPrompts(nullptr);
  g_prompts = nullptr;
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  shots::PrepareSystem();
  // A folder and names of pictures: the plain arguments will do.
  const std::vector<std::string> args(argv + 1, argv + argc);
  return tk::RunApplication(argc, argv, "terminatool-screenshots", [&args](const std::string&) { return Run(args); });
}
