// SPDX-License-Identifier: GPL-3.0-or-later
// CFiscRegister: the page "Фискализация / перерегистрация" (template 141).
// Seven digits-only fields; the empty ones are refused before the command
// starts, the repeated ones compared when it runs, then the register is
// registered and given the computer's date and time.
#pragma once

#include "frfunction.h"

class CFiscRegister : public CFRFunction {
 public:
  explicit CFiscRegister(PageHost& host);

  unsigned GetTemplateId() const override { return 141; }
  bool ValidateInput() override;
  void SetInitialFocus() override;
  Command MakeCommand() override;

 protected:
  bool OnInitDialog() override;
};
