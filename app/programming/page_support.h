// SPDX-License-Identifier: GPL-3.0-or-later
// What the programming pages share: the status texts, the refusal while
// the register's shift is open, the column rulers lined up over their
// boxes, and the keyboard filters of some boxes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "dialog.h"
#include "frfunction.h"

namespace termina::app {
struct LinesRead;
}

namespace progpage {

inline const std::string kWaiting = "Ожидание...";
inline const std::string kReady = "Готов";

// The page has shown the command's outcome itself (see CFRFunction).
using OutcomeShown = CFRFunction::OutcomeShown;

// Worker, inside a page's command: "Смена открыта" on the status line and
// in a box titled "Ошибка"; then ends the command (OutcomeShown).
[[noreturn]] void RefuseShiftOpen(CommandJob& job);

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

// Key filters for boxes (tk::Dialog::SetKeyFilter).
// Typed characters other than the digits 0-9 are not passed to the box.
bool DigitsOnly(const tk::Key& key);
// No key reaches the box: what it shows cannot be changed from the
// keyboard.  Tab and Shift+Tab still move the focus on, so the user is
// not caught in the box.  A shortcut request is taken too, which keeps
// Ctrl+V and the like from being the window's shortcuts.
bool KeysSwallowed(const tk::Key& key);

}  // namespace progpage
