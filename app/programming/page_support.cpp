// SPDX-License-Identifier: GPL-3.0-or-later
#include "page_support.h"

#include <QKeyEvent>
#include <QLineEdit>

#include "driver_api.h"
#include "frfunction.h"
#include "programming_pages.h"

namespace progpage {

void RefuseShiftOpen(CFRFunction& page) {
  page.ShowStatusText(termina::app::kShiftOpenText);
  page.MessageBox(termina::app::kShiftOpenText, termina::app::kErrorTitle, tk::Icon::Error);
  throw OutcomeShown{};
}

void ReportReadFailure(CFRFunction& page, uint16_t code) { ReportFailure(page.Host(), &page, code); }

void UnreadBoxes::Mark(unsigned bit, const tk::Dialog& page, int id) {
  if (page.HasItem(id)) m_boxes.push_back({bit, id, page.ItemText(id)});
}

uint32_t UnreadBoxes::Skip(const tk::Dialog& page) const {
  uint32_t skip = 0;
  for (const Box& b : m_boxes)
    if (page.ItemText(b.id) == b.shown && b.bit < 32) skip |= 1u << b.bit;
  return skip;
}

bool DigitsOnly::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const QString typed = static_cast<QKeyEvent*>(event)->text();
    if (typed.size() == 1 && typed.at(0).isPrint() &&
        (typed.at(0) < QLatin1Char('0') || typed.at(0) > QLatin1Char('9')))
      return true;
  }
  return QObject::eventFilter(watched, event);
}

bool KeysSwallowed::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab) return QObject::eventFilter(watched, event);
    // Accepting the shortcut request keeps Ctrl+V and the like from being
    // taken as the window's shortcuts; the key itself is then swallowed.
    event->accept();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

TypingLimit::TypingLimit(QLineEdit* box, int limit) : QValidator(box), m_box(box), m_limit(limit) {
  m_accepted = box->text();
  box->setValidator(this);
  QObject::connect(box, &QLineEdit::textChanged, this, [this](const QString& t) { m_accepted = t; });
}

void TypingLimit::SetText(const QString& text) {
  m_accepted = text;
  m_box->setText(text);
}

QValidator::State TypingLimit::validate(QString& input, int& pos) const {
  const int room = std::max<int>(m_limit, static_cast<int>(m_accepted.size()));
  const int excess = static_cast<int>(input.size()) - room;
  if (excess <= 0) return Acceptable;
  // The text grew past the limit by typing or pasting at the caret, which
  // stands after the inserted characters: drop the inserted characters
  // that do not fit.
  if (pos < excess) return Invalid;
  input.remove(pos - excess, excess);
  pos -= excess;
  return Acceptable;
}

void FillLines(CFRFunction& page, std::span<const int> ids, const termina::app::LinesRead& r, UnreadBoxes& unread) {
  for (std::size_t i = 0; i < r.lines.size() && i < ids.size(); ++i) page.SetItemTextNow(ids[i], r.lines[i]);
  unread.Clear();
  if (!r.error) return;
  for (unsigned i = 0; i < ids.size(); ++i) unread.Mark(i, page, ids[i]);
  ReportReadFailure(page, *r.error);
}

}  // namespace progpage
