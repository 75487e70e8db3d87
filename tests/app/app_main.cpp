// SPDX-License-Identifier: GPL-3.0-or-later
// One QApplication on the offscreen platform for all tests.
#include <QApplication>
#include <QStyleFactory>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "toolkit_qt.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // The file dialogs keep their history and last folder in the user's
  // settings; the tests get a settings folder of their own.
  QTemporaryDir config;
  if (!config.isValid()) return 1;
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  tk::InstallFonts();
  QApplication::setFont(tk::DialogFont());
  return RUN_ALL_TESTS();
}
