// SPDX-License-Identifier: GPL-3.0-or-later
#include "changepwd.h"

#include <utility>

CChangePwd::CChangePwd(std::string current, tk::Dialog* parent)
    : tk::CDialog(162, parent), m_strCurrent(std::move(current)) {}

bool CChangePwd::OnInitDialog() {
  SetItemTextNow(1051, m_strCurrent);
  SetTextLimit(1053, 4);
  FocusItemNow(1053);
  return true;
}

void CChangePwd::OnOK() {
  const std::string entered = ItemText(1053);
  if (entered.empty()) return;
  m_strNew = entered;
  EndDialog(tk::IDOK);
}
