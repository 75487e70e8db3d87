// SPDX-License-Identifier: GPL-3.0-or-later
// Renders TerminaTool's windows to PNG files:
//   terminatool-screenshots OUTDIR
// A simulated register runs on a pseudo-terminal in a temporary root; the
// program's real start-up runs against it on the offscreen platform.
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QLineEdit>
#include <QPixmap>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "changepwd.h"
#include "program_wiring.h"
#include "frfunction.h"
#include "frinstall.h"
#include "frmaindlg.h"
#include "frstatusdlg.h"
#include "ini.h"
#include "nvr_image.h"
#include "nvrarrays.h"
#include "paths.h"
#include "register_worker.h"
#include "repairnvr.h"
#include "simulator.h"
#include "termina1.h"
#include "toolkit_qt.h"

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
  QApplication::processEvents();
}

QString g_out;

bool Save(QWidget& w, const QString& name);
bool Save(tk::Dialog& d, const QString& name) { return Save(*tk::WidgetOf(&d), name); }

bool Save(QWidget& w, const QString& name) {
  const QString path = g_out + QLatin1Char('/') + name;
  const bool ok = w.grab().save(path, "PNG");
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.toUtf8().constData());
  return ok;
}

// Starts the register of the given version, opens the main window with the
// given tab selected and, when `node` is given, the page of the tree item
// with that caption, and saves the window.
// `prepare` sets the register up before the program starts; `act` plays the
// user on the page before the picture is taken.
bool MainWindow(uint16_t version, int tab, const QString& name, const QString& node = QString(),
                const termina::sim::Config& base = {},
                const std::function<void(termina::sim::Simulator&)>& prepare = nullptr,
                const std::function<void(CFRMainDlg&)>& act = nullptr) {
  termina::sim::Config cfg = base;
  cfg.version = version;
  termina::sim::Simulator sim(cfg);
  sim.openPty(termina::paths::root() + "/dev/com1");
  if (prepare) prepare(sim);
  bool ok = true;
  {
    ProgramWiring wiring;
    CFRMainDlg main(wiring);
    main.InitDialog();
    tk::WidgetOf(&main)->show();
    auto* tree = tk::Item<QTreeWidget>(&main, CFRMainDlg::kTreeId);
    if (tab != 0) tk::Item<QTabWidget>(&main, CFRMainDlg::kTabId)->setCurrentIndex(tab);
    if (!node.isEmpty()) {
      const auto items = tree->findItems(node, Qt::MatchExactly);
      if (items.isEmpty()) {
        std::fprintf(stderr, "no tree item %s\n", node.toUtf8().constData());
        ok = false;
      } else {
        tree->setCurrentItem(items.front());
      }
    }
    tree->setFocus();
    Settle();
    if (act) {
      act(main);
      Settle();
    }
    ok = Save(main, name) && ok;
  }
  ClosePort();
  return ok;
}

// A monochrome bitmap with the shop's name, as a user would prepare one.
QString LogoPicture(const QString& path) {
  QImage image(400, 110, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(Qt::black, 4));
    p.drawRoundedRect(QRect(4, 4, 392, 102), 14, 14);
    QFont f = tk::DialogFont();
    f.setPixelSize(38);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(0, 8, 400, 56), Qt::AlignCenter, QStringLiteral("МАГАЗИН №1"));
    f.setPixelSize(20);
    f.setBold(false);
    p.setFont(f);
    p.drawText(QRect(0, 62, 400, 36), Qt::AlignCenter, QStringLiteral("продукты и хозтовары"));
  }
  image.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither | Qt::MonoOnly).save(path, "BMP");
  return path;
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

// The recovery dialog against a register of the version holding the sample
// totals, and, when `subDialog` is given, the sales-by-payment dialog too.
bool RecoveryDialog(uint16_t version, const QString& name, const QString& subDialog = QString()) {
  termina::sim::Config cfg;
  cfg.version = version;
  termina::sim::Simulator sim(cfg);
  sim.openPty(termina::paths::root() + "/dev/com1");
  sim.setMemory(termina::app::kNvrArea, termina::app::kNvrAddress, termina::app::BuildNvrImage(SampleTotals(version)));
  bool ok = reg::Worker::Get().Run([] { return TRMA_CheckPort(false) == 0; });
  {
    CRepairNVR dlg;
    dlg.InitDialog();
    tk::WidgetOf(&dlg)->show();
    Settle();
    ok = Save(dlg, name) && ok;
    if (!subDialog.isEmpty()) {
      CMonByPmnt payments(false, dlg.m_record.sales.data(), &dlg, "Сумма продаж по платежам");
      payments.InitDialog();
      tk::WidgetOf(&payments)->show();
      QApplication::processEvents();
      ok = Save(payments, subDialog) && ok;
    }
  }
  ClosePort();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: terminatool-screenshots OUTDIR\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  tk::InstallFonts();
  QApplication::setFont(tk::DialogFont());
  g_out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
  QDir().mkpath(g_out);

  QTemporaryDir root;
  ::setenv("TERMINA_ROOT", root.path().toUtf8().constData(), 1);
  termina::paths::makeDirs(root.path().toStdString() + "/c/Program Files/Orvelsoft");
  termina::paths::makeDirs(root.path().toStdString() + "/dev");
  termina::ini::writeString(termina::paths::iniPath(), "General", "Port", "1");
  termina::ini::writeString(termina::paths::iniPath(), "General", "Speed", "19200");
  TRMATMOUT = 3;

  // Messages are answered without showing them.
  tk::ScriptedPrompts prompts;
  tk::SetPrompts(&prompts);

  bool ok = MainWindow(201, 0, "main-window.png");
  ok &= MainWindow(120, 0, "main-window-termina1.png");
  ok &= MainWindow(120, 2, "main-window-termina1-programming.png");
  // Pages: (version, tab, file, tree caption).
  ok &= MainWindow(201, 0, "page-logo.png", QStringLiteral("Логотип предприятия"), {}, nullptr, [&](CFRMainDlg& main) {
    prompts.fileName = tk::S(LogoPicture(root.path() + "/logo.bmp"));
    if (CFRFunction* page = main.CurrentPage()) tk::Item<QPushButton>(page, 1052)->click();
  });
  ok &= MainWindow(301, 0, "page-clock.png", QStringLiteral("Параметры связи"), {}, [](termina::sim::Simulator& s) {
    s.setClockOffset(-7 * 60);
    s.setReady();
  });
  ok &= MainWindow(201, 0, "page-clock-termina2.png", QStringLiteral("Параметры связи"));
  ok &= MainWindow(201, 2, "page-fiscal-shifts.png", "Полный фиск. отчет по сменам");
  ok &= MainWindow(201, 2, "page-fiscal-dates.png", "Краткий фиск. отчет по датам");
  ok &= MainWindow(201, 1, "page-eej-shifts.png", "Краткий отчет по сменам");
  ok &= MainWindow(201, 1, "page-eej-dates.png", "Полный отчет по датам");
  ok &= MainWindow(201, 1, "page-eej-control-tape.png", "Контрольная лента");
  ok &= MainWindow(201, 1, "page-eej-document.png", "Документ из ЭКЛЗ");
  ok &= MainWindow(125, 0, "fiscal-register.png", QStringLiteral("Фискализация / перерегистрация"));
  ok &= MainWindow(125, 0, "test-sale.png", QStringLiteral("Тестовая продажа"));
  ok &= MainWindow(125, 2, "synchro.png", QStringLiteral("Синхронизация"));
  ok &= MainWindow(120, 2, "page-params-termina1.png", QStringLiteral("Параметры кассы"));
  ok &= MainWindow(201, 0, "page-params-termina2.png", QStringLiteral("Параметры кассы"));
  ok &= MainWindow(201, 0, "page-cliche.png", QStringLiteral("Клише предприятия"));
  ok &= MainWindow(201, 0, "page-footer.png", QStringLiteral("Рекламный текст"));
  ok &= MainWindow(201, 0, "page-payment.png", QStringLiteral("Типы платежей"));
  ok &= MainWindow(125, 2, "page-taxes-termina1.png", QStringLiteral("Налоги"));
  ok &= MainWindow(201, 0, "page-taxes-termina2.png", QStringLiteral("Налоги"));
  ok &= MainWindow(201, 0, "page-groups.png", QStringLiteral("Товарные группы"));

  CFRStatusDlg full(0x00, 0x04, 0x12, 0x02, false, nullptr);
  full.InitDialog();
  tk::WidgetOf(&full)->show();
  ok &= Save(full, "status-dialog.png");
  CFRStatusDlg brief(0x00, 0x04, 0x12, 0x00, true, nullptr);
  brief.InitDialog();
  tk::WidgetOf(&brief)->show();
  ok &= Save(brief, "status-dialog-no-printer.png");

  CChangePwd pwd("WKRD");
  pwd.InitDialog();
  tk::WidgetOf(&pwd)->show();
  ok &= Save(pwd, "change-password.png");

  CFRInstall install;
  install.InitDialog();
  tk::Item<QLineEdit>(&install, 1051)->setText(QStringLiteral("000000123456"));
  tk::WidgetOf(&install)->show();
  ok &= Save(install, "install.png");

  ok &= RecoveryDialog(120, "nvr-recovery-short.png");
  ok &= RecoveryDialog(201, "nvr-recovery-long.png", "nvr-sales-by-payment.png");

  tk::SetPrompts(nullptr);
  return ok ? 0 : 1;
}
