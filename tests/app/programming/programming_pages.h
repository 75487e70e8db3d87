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
  for (int i = 0; i < main.m_tab->count(); ++i)
    if (main.m_tab->tabText(i) == QStringLiteral("Программирование")) main.m_tab->setCurrentIndex(i);
  for (int i = 0; i < main.m_tree->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = main.m_tree->topLevelItem(i);
    if (item->text(0) == caption) {
      main.m_tree->setCurrentItem(item);
      WaitPageFilled(main);
      return main.CurrentPage();
    }
  }
  return nullptr;
}

}  // namespace apptest
