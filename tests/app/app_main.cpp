// SPDX-License-Identifier: GPL-3.0-or-later
// One QApplication on the offscreen platform for all tests.
#include <QApplication>
#include <QStyleFactory>

#include <gtest/gtest.h>

#include "toolkit.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  tk::InstallFonts();
  QApplication::setFont(tk::DialogFont());
  return RUN_ALL_TESTS();
}
