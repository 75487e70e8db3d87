// SPDX-License-Identifier: GPL-3.0-or-later
// CEditEx: an edit box of at most 40 characters that can be limited to a
// decimal number (digits and one point).
#pragma once

#include <QLineEdit>

class CEditEx : public QLineEdit {
  Q_OBJECT
 public:
  explicit CEditEx(QWidget* parent = nullptr);

  bool m_bNumeric = false;

  // The filter for one typed character: true when it is passed on to the
  // edit box.  Codes 0-16 always pass; the test looks at the text with the
  // character appended at its end, wherever the caret is.
  bool AcceptsChar(char16_t c) const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};
