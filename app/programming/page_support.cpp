// SPDX-License-Identifier: GPL-3.0-or-later
#include "page_support.h"

#include "driver_api.h"
#include "frfunction.h"
#include "programming_pages.h"

namespace progpage {

void RefuseShiftOpen(CommandJob& job) {
  job.ShowStatusText(termina::app::kShiftOpenText);
  job.MessageBox(termina::app::kShiftOpenText, termina::app::kErrorTitle, tk::Icon::Error);
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

bool DigitsOnly(const tk::Key& key) {
  // Only what is typed; the window system's shortcut request for the same
  // key passes.
  if (key.shortcutRequest || key.text.empty()) return false;
  return !(key.text.size() == 1 && key.text[0] >= '0' && key.text[0] <= '9');
}

bool KeysSwallowed(const tk::Key& key) { return key.kind != tk::Key::Kind::Tab && key.kind != tk::Key::Kind::BackTab; }

void FillLines(CFRFunction& page, std::span<const int> ids, const termina::app::LinesRead& r, UnreadBoxes& unread) {
  for (std::size_t i = 0; i < r.lines.size() && i < ids.size(); ++i) page.SetItemTextNow(ids[i], r.lines[i]);
  unread.Clear();
  if (!r.error) return;
  for (unsigned i = 0; i < ids.size(); ++i) unread.Mark(i, page, ids[i]);
  ReportReadFailure(page, *r.error);
}

}  // namespace progpage
