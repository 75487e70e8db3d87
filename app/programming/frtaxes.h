// SPDX-License-Identifier: GPL-3.0-or-later
// CFRTaxes: the taxes page (template 154): six tax names and rates
// (configuration tables 23 and 24), the tax printing options and the
// calculation mode (table 12) and the preliminary tax line (table 25).
#pragma once

#include <cstdint>

#include "frfunction.h"
#include "page_support.h"
#include "programming_pages.h"

class CFRTaxes : public CFRFunction {
 public:
  explicit CFRTaxes(PageHost& host);

  unsigned GetTemplateId() const override { return 154; }
  // Rate, name and the one option mask for each tax, then the preliminary
  // line.
  Command MakeCommand() override;

  // The register's version read when the page was created.
  uint16_t m_wVersion = 120;
  bool m_bOptionsKnown = true;  // the options were read (tables 12 and 25)

 protected:
  bool OnInitDialog() override;
  void Fill(const termina::app::TaxesRead& r);

 private:
  progpage::UnreadBoxes m_unread;
  // "Печать налогов в Z-отчете" clicked: from 128 on, the box for zero
  // sums shows only while it is ticked.
  void OnPrintZClicked();
};
