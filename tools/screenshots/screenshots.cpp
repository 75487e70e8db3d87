// Renders TerminaTool's windows to PNG files:
//   terminatool-screenshots OUTDIR
// A simulated register runs on a pseudo-terminal in a temporary root; the
// program's real start-up runs against it on the offscreen platform.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "changepwd.h"
#include "program_wiring.h"
#include "frfunction.h"
#include "frinstall.h"
#include "frmaindlg.h"
#include "frstatusdlg.h"
#include "ini.h"
#include "paths.h"
#include "simulator.h"
#include "termina1.h"
#include "toolkit.h"

namespace {

QString g_out;

bool Save(QWidget& w, const QString& name) {
  const QString path = g_out + QLatin1Char('/') + name;
  const bool ok = w.grab().save(path, "PNG");
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.toUtf8().constData());
  return ok;
}

// Starts the register of the given version, opens the main window with the
// given tab selected and, when `node` is given, the page of the tree item
// with that caption, and saves the window.
bool MainWindow(uint16_t version, int tab, const QString& name, const QString& node = QString(),
                const termina::sim::Config& base = {}) {
  termina::sim::Config cfg = base;
  cfg.version = version;
  termina::sim::Simulator sim(cfg);
  sim.openPty(termina::paths::root() + "/dev/com1");
  bool ok = true;
  {
    ProgramWiring wiring;
    CFRMainDlg main(wiring);
    main.InitDialog();
    main.show();
    if (tab != 0) main.m_tab->setCurrentIndex(tab);
    if (!node.isEmpty()) {
      const auto items = main.m_tree->findItems(node, Qt::MatchExactly);
      if (items.isEmpty()) {
        std::fprintf(stderr, "no tree item %s\n", node.toUtf8().constData());
        ok = false;
      } else {
        main.m_tree->setCurrentItem(items.front());
      }
    }
    main.m_tree->setFocus();
    QApplication::processEvents();
    ok = Save(main, name) && ok;
  }
  TRMA_ClosePort();
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
  full.show();
  ok &= Save(full, "status-dialog.png");
  CFRStatusDlg brief(0x00, 0x04, 0x12, 0x00, true, nullptr);
  brief.InitDialog();
  brief.show();
  ok &= Save(brief, "status-dialog-no-printer.png");

  CChangePwd pwd(QStringLiteral("WKRD"));
  pwd.InitDialog();
  pwd.show();
  ok &= Save(pwd, "change-password.png");

  CFRInstall install;
  install.InitDialog();
  install.Item<QLineEdit>(1051)->setText(QStringLiteral("000000123456"));
  install.show();
  ok &= Save(install, "install.png");

  tk::SetPrompts(nullptr);
  return ok ? 0 : 1;
}
