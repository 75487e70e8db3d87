// SPDX-License-Identifier: GPL-3.0-or-later
// CFRInstall: installs the fiscal module with the register's factory
// number (template 152, "Инсталляция ККМ").
#pragma once

#include "toolkit_qt.h"

class CFRInstall : public tk::CDialog {
  Q_OBJECT
 public:
  explicit CFRInstall(tk::Dialog* parent = nullptr);

 protected:
  bool OnInitDialog() override;
  void OnOK() override;
};
