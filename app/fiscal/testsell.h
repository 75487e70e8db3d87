// SPDX-License-Identifier: GPL-3.0-or-later
// CTestSell: the page "Тестовая продажа" (template 153).  One cash sale of
// the test article for the amount typed, and a Z report when "Закрыть смену
// после продажи" is ticked; the main window is locked with the wait cursor
// for the whole run.
#pragma once

#include "frfunction.h"

class CTestSell : public CFRFunction {
 public:
  explicit CTestSell(PageHost& host);

  unsigned GetTemplateId() const override { return 153; }
  Command MakeCommand() override;

 protected:
  bool OnInitDialog() override;
};
