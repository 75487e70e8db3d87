// SPDX-License-Identifier: GPL-3.0-or-later
#include "editex.h"

#include <QKeyEvent>

#include "editex_rules.h"

CEditEx::CEditEx(QWidget* parent) : QLineEdit(parent) { setMaxLength(static_cast<int>(editex::kMaxChars)); }

bool CEditEx::AcceptsChar(char16_t c) const { return editex::AcceptsChar(text().toStdString(), c, m_bNumeric); }

void CEditEx::keyPressEvent(QKeyEvent* event) {
  // Only typed characters are filtered.  Keys that type nothing printable
  // (Delete carries 0x7F on X11, Escape 0x1B) keep their editing and
  // dialog meaning even in a full box.
  const QString typed = event->text();
  if (typed.size() == 1 && typed.at(0).isPrint() && !AcceptsChar(typed.at(0).unicode())) {
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}
