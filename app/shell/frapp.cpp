// SPDX-License-Identifier: GPL-3.0-or-later
#include "frapp.h"

#include <QApplication>
#include <QStringList>
#include <QStyleFactory>

#include <cstdio>
#include <cstdlib>

#include "driver_api.h"
#include "register_worker.h"
#include "frmaindlg.h"
#include "toolkit_qt.h"

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
  }
  // The register worker may still be inside the driver (a report running
  // when the window was closed): ended unless it is idle within a second.
  if (!reg::Worker::Get().Stop(1000)) CFRMainDlg::EndNow();
  return 0;
}
