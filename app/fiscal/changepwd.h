// SPDX-License-Identifier: GPL-3.0-or-later
// CChangePwd: asks for the data-exchange password after the register
// refused the program's one (template 162, "Ошибка").
#pragma once

#include <string>

#include "dialog.h"
#include "prompts.h"

class CChangePwd : public tk::CDialog {
 public:
  CChangePwd(std::string current, tk::Dialog* parent = nullptr);

  std::string m_strCurrent;  // UTF-8
  std::string m_strNew;

 protected:
  bool OnInitDialog() override;
  // "Ввод" with an empty new password does nothing.
  void OnOK() override;
};
