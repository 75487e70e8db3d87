// SPDX-License-Identifier: GPL-3.0-or-later
#include "frstatusdlg.h"

#include <string>

namespace {

const int kFatalIds[8] = {1033, 1034, 1035, 1036, 1037, 1038, 1039, 1040};
const int kStatusIds[8] = {1019, 1026, 1027, 1028, 1029, 1030, 1031, 1032};
const int kPrinterIds[8] = {1005, 1006, 1007, 1008, 1009, 1010, 1011, 1012};

}  // namespace

CFRStatusDlg::CFRStatusDlg(uint8_t fatal, uint8_t status, uint8_t document, uint8_t printer, bool printerNotAvailable,
                           tk::Dialog* parent)
    : tk::CDialog(101, parent),
      m_nFatal(fatal),
      m_nStatus(status),
      m_nDocument(document),
      m_nPrinter(printer),
      m_bNoPrinter(printerNotAvailable) {}

bool CFRStatusDlg::OnInitDialog() {
  auto show = [this](const int* ids, uint8_t byte) {
    for (int i = 0; i < 8; ++i) {
      SetChecked(ids[i], (byte >> i) & 1);
      // Display only: the user cannot toggle the boxes.
      SetDisplayOnly(ids[i]);
    }
  };
  show(kFatalIds, m_nFatal);
  show(kStatusIds, m_nStatus);
  show(kPrinterIds, m_nPrinter);
  ShowItem(1005, false);
  for (int id : {1011, 1012}) EnableItemNow(id, false);
  SetItemTextNow(1052, std::to_string(m_nDocument & 0x0F));
  SetItemTextNow(1004, std::to_string(m_nDocument >> 4));

  if (m_bNoPrinter) {
    // The printer's group goes; the rows below it move up and the dialog
    // becomes shorter by the same amount.
    for (int id : kPrinterIds) ShowItem(id, false);
    ShowItem(1013, false);
    const int shift = ItemRect(1050).y - ItemRect(1013).y;
    for (int id : {1050, 1051, 1014, 1015, 1052, 1004, 1}) MoveItemBy(id, 0, -shift);
    ShortenBy(shift);
  }
  return true;
}
