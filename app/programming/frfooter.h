// SPDX-License-Identifier: GPL-3.0-or-later
// CFRFooter: the advertising text page (template 144), two lines under a
// 40-column ruler in configuration table 21.
#pragma once

#include "frfunction.h"
#include "page_support.h"

class CFRFooter : public CFRFunction {
 public:
  explicit CFRFooter(PageHost& host);

  unsigned GetTemplateId() const override { return 144; }
  // Both lines exactly as typed (cut to 40); the clock is not touched.
  Command MakeCommand() override;

 protected:
  bool OnInitDialog() override;

 private:
  progpage::UnreadBoxes m_unread;
};
