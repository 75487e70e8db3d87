// SPDX-License-Identifier: GPL-3.0-or-later
#include "frstatusdlg.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QLineEdit>

namespace {

// Eats the input that would toggle a check box.
class DisplayOnly : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject*, QEvent* e) override {
    switch (e->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::KeyPress:
      case QEvent::KeyRelease: return true;
      default: return false;
    }
  }
};

const int kFatalIds[8] = {1033, 1034, 1035, 1036, 1037, 1038, 1039, 1040};
const int kStatusIds[8] = {1019, 1026, 1027, 1028, 1029, 1030, 1031, 1032};
const int kPrinterIds[8] = {1005, 1006, 1007, 1008, 1009, 1010, 1011, 1012};

}  // namespace

CFRStatusDlg::CFRStatusDlg(uint8_t fatal, uint8_t status, uint8_t document, uint8_t printer, bool printerNotAvailable,
                           QWidget* parent)
    : tk::CDialog(101, parent),
      m_nFatal(fatal),
      m_nStatus(status),
      m_nDocument(document),
      m_nPrinter(printer),
      m_bNoPrinter(printerNotAvailable) {}

bool CFRStatusDlg::OnInitDialog() {
  auto* filter = new DisplayOnly(this);
  auto show = [this, filter](const int* ids, uint8_t byte) {
    for (int i = 0; i < 8; ++i) {
      if (auto* box = Item<QCheckBox>(ids[i])) {
        box->setChecked((byte >> i) & 1);
        // Display only: the user cannot toggle the boxes.
        box->installEventFilter(filter);
        box->setFocusPolicy(Qt::NoFocus);
      }
    }
  };
  show(kFatalIds, m_nFatal);
  show(kStatusIds, m_nStatus);
  show(kPrinterIds, m_nPrinter);
  if (QWidget* w = Item(1005)) w->hide();
  for (int id : {1011, 1012})
    if (QWidget* w = Item(id)) w->setEnabled(false);
  Item<QLineEdit>(1052)->setText(QString::number(m_nDocument & 0x0F));
  Item<QLineEdit>(1004)->setText(QString::number(m_nDocument >> 4));

  if (m_bNoPrinter) {
    for (int id : kPrinterIds) Item(id)->hide();
    QWidget* printerGroup = Item(1013);
    printerGroup->hide();
    const int shift = Item(1050)->y() - printerGroup->y();
    for (int id : {1050, 1051, 1014, 1015, 1052, 1004, 1}) {
      QWidget* w = Item(id);
      w->move(w->x(), w->y() - shift);
    }
    setFixedSize(width(), height() - shift);
  }
  return true;
}
