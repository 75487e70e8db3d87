// SPDX-License-Identifier: GPL-3.0-or-later
// CFRPayment: the payment types page (template 145), sixteen names in
// configuration table 22.  Payment type 0 is shown but cannot be changed
// from the keyboard and is never written.
#pragma once

#include "frfunction.h"
#include "page_support.h"

class CFRPayment : public CFRFunction {
 public:
  explicit CFRPayment(PageHost& host);

  unsigned GetTemplateId() const override { return 145; }
  // Names 1 to 15.
  Command MakeCommand() override;

 protected:
  bool OnInitDialog() override;

 private:
  progpage::UnreadBoxes m_unread;
};
