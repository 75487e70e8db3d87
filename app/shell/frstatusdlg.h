// SPDX-License-Identifier: GPL-3.0-or-later
// CFRStatusDlg: the register status dialog (template 101, "Статус ФР").
#pragma once

#include <cstdint>

#include "dialog.h"

class CFRStatusDlg : public tk::CDialog {
 public:
  CFRStatusDlg(uint8_t fatal, uint8_t status, uint8_t document, uint8_t printer, bool printerNotAvailable,
               tk::Dialog* parent);

 protected:
  bool OnInitDialog() override;

 private:
  uint8_t m_nFatal, m_nStatus, m_nDocument, m_nPrinter;
  bool m_bNoPrinter;
};
