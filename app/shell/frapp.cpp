#include "frapp.h"

#include <QApplication>
#include <QStringList>
#include <QStyleFactory>

#include <cstdio>
#include <cstdlib>

#include "driver_api.h"
#include "frfunction.h"
#include "frmaindlg.h"
#include "toolkit.h"

int CFRApp::Run(int argc, char** argv, ShellWiring& wiring) {
  QApplication app(argc, argv);
  // Ties the windows to the installed menu entry (its name and icon).
  QGuiApplication::setDesktopFileName(QStringLiteral("ru.termina.TerminaTool"));
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  tk::InstallFonts();
  QApplication::setFont(tk::DialogFont());

  QStringList args = QApplication::arguments();
  args.removeFirst();
  {
    CFRMainDlg dlg(wiring, args.join(QLatin1Char(' ')));
    dlg.DoModal();
    if (CFRFunction::RunningThreads() > 0) {
      // A command thread is still inside the driver (a report running when
      // the window was closed).  Its page is gone; end the process here
      // instead of unloading the driver under the thread.
      std::fflush(nullptr);
      std::_Exit(0);
    }
  }
  return 0;
}
