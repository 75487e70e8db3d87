// SPDX-License-Identifier: GPL-3.0-or-later
// CFRCliche: the receipt header page (template 143), four lines under a
// 40-column ruler in configuration table 20.
#pragma once

#include "frfunction.h"
#include "page_support.h"

class CFRCliche : public CFRFunction {
 public:
  explicit CFRCliche(PageHost& host);

  unsigned GetTemplateId() const override { return 143; }
  // The four lines exactly as typed (cut to 40), the pause, then the
  // register's clock from the computer's.
  Command MakeCommand() override;

 protected:
  bool OnInitDialog() override;

 private:
  progpage::UnreadBoxes m_unread;
};
