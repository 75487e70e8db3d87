// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QStringList>
#include <QStyleFactory>

#include "application.h"
#include "toolkit_qt.h"

namespace tk {

int RunApplication(int argc, char** argv, const std::string& desktopName,
                   const std::function<int(const std::string& commandLine)>& body) {
  QApplication app(argc, argv);
  // Ties the windows to the installed menu entry (its name and icon).
  QGuiApplication::setDesktopFileName(Q(desktopName));
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  InstallFonts();
  QApplication::setFont(DialogFont());
  QStringList args = QApplication::arguments();
  args.removeFirst();
  return body(S(args.join(QLatin1Char(' '))));
}

}  // namespace tk
