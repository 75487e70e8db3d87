// SPDX-License-Identifier: GPL-3.0-or-later
// Reaching a page of the programming tab by its caption in the tree.
#pragma once

#include <QTabWidget>
#include <QTreeWidget>

#include "app_fixture.h"

namespace apptest {

// Selects the programming tab and the tree node with this caption; the
// page shown then, or null when the tree has no such node.
inline CFRFunction* ShowProgrammingPage(CFRMainDlg& main, const QString& caption) {
  for (int i = 0; i < Tabs(main)->count(); ++i)
    if (Tabs(main)->tabText(i) == QStringLiteral("Программирование")) Tabs(main)->setCurrentIndex(i);
  for (int i = 0; i < Tree(main)->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = Tree(main)->topLevelItem(i);
    if (item->text(0) == caption) {
      Tree(main)->setCurrentItem(item);
      WaitPageFilled(main);
      return main.CurrentPage();
    }
  }
  return nullptr;
}

}  // namespace apptest
