// SPDX-License-Identifier: GPL-3.0-or-later
// What the programming pages share: the status texts, the refusal while
// the register's shift is open, the column rulers lined up over their
// boxes, and the keyboard filters of some boxes.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QValidator>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "frfunction.h"
class QLabel;
class QLineEdit;
namespace termina::app {
struct LinesRead;
}

namespace progpage {

inline const std::string kWaiting = "Ожидание...";
inline const std::string kReady = "Готов";

// The page has shown the command's outcome itself (see CFRFunction).
using OutcomeShown = CFRFunction::OutcomeShown;

// Command thread: "Смена открыта" on the status line and in a box titled
// "Ошибка"; then ends the command (OutcomeShown).
[[noreturn]] void RefuseShiftOpen(CFRFunction& page);

// UI thread: the driver's text for a failed read on the status line and in
// an "Ошибка" box (for a page that goes on after reporting it itself).
void ReportReadFailure(CFRFunction& page, uint16_t code);

// The boxes of a page whose values could not be read, with the text each
// showed after the read.  A box the user has not changed since is left out
// of the page's write, so that the register keeps what it holds.
class UnreadBoxes {
 public:
  void Clear() { m_boxes.clear(); }
  // `bit` is the value's bit in the write's skip mask; box `id` of `page`.
  void Mark(unsigned bit, const tk::Dialog& page, int id);
  // The skip mask: the marked boxes whose text is still as it was.
  uint32_t Skip(const tk::Dialog& page) const;

 private:
  struct Box {
    unsigned bit;
    int id;
    std::string shown;
  };
  std::vector<Box> m_boxes;
};

// UI thread: the text lines of a read into their boxes.  After a failed
// read every box is marked unread, so that it is written only once the user
// has changed it, and the failure is reported.
void FillLines(CFRFunction& page, std::span<const int> ids, const termina::app::LinesRead& r, UnreadBoxes& unread);

// Typed characters other than the digits 0-9 are not passed to the box.
class DigitsOnly : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override;
};

// No key reaches the box: what it shows cannot be changed from the
// keyboard.  Tab and Shift+Tab still move the focus on, so the user is
// not caught in the box.
class KeysSwallowed : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override;
};

// A typing limit that, unlike QLineEdit's maximum length, never cuts a
// text the program puts into the box: what the register holds is shown
// and saved back whole.  Typing or pasting cannot make the text longer
// than the limit (a paste keeps what fits); a longer text the program put
// there can still be shortened and edited.
class TypingLimit : public QValidator {
 public:
  // Installs itself on the box.
  TypingLimit(QLineEdit* box, int limit);
  State validate(QString& input, int& pos) const override;
  // Puts a text into the box without the limit.
  void SetText(const QString& text);

 private:
  QLineEdit* m_box;
  int m_limit;
  QString m_accepted;  // the box's text before the change being validated
};

}  // namespace progpage
