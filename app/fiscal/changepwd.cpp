// SPDX-License-Identifier: GPL-3.0-or-later
#include "changepwd.h"

#include <QLineEdit>

namespace {}  // namespace

CChangePwd::CChangePwd(const QString& current, QWidget* parent) : tk::CDialog(162, parent), m_strCurrent(current) {}

bool CChangePwd::OnInitDialog() {
  Item<QLineEdit>(1051)->setText(m_strCurrent);
  auto* edit = Item<QLineEdit>(1053);
  edit->setMaxLength(4);
  edit->setFocus();
  return true;
}

void CChangePwd::OnOK() {
  const QString entered = Item<QLineEdit>(1053)->text();
  if (entered.isEmpty()) return;
  m_strNew = entered;
  EndDialog(tk::IDOK);
}
