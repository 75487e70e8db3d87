// SPDX-License-Identifier: GPL-3.0-or-later
// CSynchro: the page "Синхронизация" (template 151).  Shows the computer's
// date and its time, ticking once a second, and sets the register's clock
// from them.
#pragma once

#include "frfunction.h"

class CSynchro : public CFRFunction {
 public:
  explicit CSynchro(PageHost& host);

  unsigned GetTemplateId() const override { return 151; }
  Command MakeCommand() override;

 protected:
  bool OnInitDialog() override;

 private:
  void OnTimer();

  int m_nTimer = 0;  // one second; lives as long as the page
};
