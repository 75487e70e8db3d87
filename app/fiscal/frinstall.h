// SPDX-License-Identifier: GPL-3.0-or-later
// CFRInstall: installs the fiscal module with the register's factory
// number (template 152, "Инсталляция ККМ").
#pragma once

#include "dialog.h"
#include "prompts.h"

class CFRInstall : public tk::CDialog {
 public:
  explicit CFRInstall(tk::Dialog* parent = nullptr);

 protected:
  bool OnInitDialog() override;
  void OnOK() override;
};
