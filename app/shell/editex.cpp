// SPDX-License-Identifier: GPL-3.0-or-later
#include "editex.h"

#include <QKeyEvent>

CEditEx::CEditEx(QWidget* parent) : QLineEdit(parent) { setMaxLength(40); }

bool CEditEx::AcceptsChar(char16_t c) const {
  if (c <= 16) return true;
  const QString current = text();
  if (current.size() >= 40) return false;
  if (m_bNumeric) {
    const QString next = current + QChar(c);
    int points = 0;
    for (QChar ch : next) {
      if (ch == QLatin1Char('.')) {
        if (++points > 1) return false;
      } else if (ch < QLatin1Char('0') || ch > QLatin1Char('9')) {
        return false;
      }
    }
  }
  return true;
}

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
