// SPDX-License-Identifier: GPL-3.0-or-later
#include "frcliche.h"

#include <array>
#include <string>

#include "page_support.h"
#include "programming_pages.h"

namespace {

namespace app = termina::app;

constexpr int kRulerId = 1135;
constexpr int kLineIds[4] = {1046, 1047, 1048, 1049};

}  // namespace

CFRCliche::CFRCliche(PageHost& host) : CFRFunction(host) {}

bool CFRCliche::OnInitDialog() {
  CFRFunction::OnInitDialog();
  // Each character stands under the ruler digit of its column.
  SetFixedFont(kRulerId);
  for (int id : kLineIds) SetFixedFont(id);
  AlignRulerOver(kRulerId, kLineIds[0]);

  ReadThenFill<app::LinesRead>(&app::ReadHeader, [this](app::LinesRead& r) {
    // A failed read leaves every box empty; the status line keeps its text,
    // and the lines are written only once the user has changed them.
    progpage::FillLines(*this, kLineIds, r, m_unread);
  });
  return true;
}

CFRFunction::Command CFRCliche::MakeCommand() {
  std::array<std::string, 4> lines;
  for (std::size_t i = 0; i < lines.size(); ++i) lines[i] = ItemText(kLineIds[i]);
  const app::SkipMask skip = m_unread.Skip(*this);
  return [lines, skip](CommandJob& job) {
    app::WriteStatus status;
    {
      MainWindowDisabled locked(job);
      status = app::WriteHeader(lines, skip);
    }
    if (status == app::WriteStatus::ShiftOpen) progpage::RefuseShiftOpen(job);
  };
}
