// SPDX-License-Identifier: GPL-3.0-or-later
#include "frfooter.h"

#include <array>
#include <string>

#include "page_support.h"
#include "programming_pages.h"

namespace {

namespace app = termina::app;

constexpr int kRulerId = 1138;
constexpr int kRowLabelIds[2] = {11155, 11156};
constexpr int kLineIds[2] = {1048, 1049};

}  // namespace

CFRFooter::CFRFooter(PageHost& host) : CFRFunction(host) {}

bool CFRFooter::OnInitDialog() {
  CFRFunction::OnInitDialog();
  for (int id : {kRulerId, kRowLabelIds[0], kRowLabelIds[1], kLineIds[0], kLineIds[1]}) SetFixedFont(id);
  AlignRulerOver(kRulerId, kLineIds[0]);

  ReadThenFill<app::LinesRead>(&app::ReadFooter,
                               [this](app::LinesRead& r) { progpage::FillLines(*this, kLineIds, r, m_unread); });
  return true;
}

CFRFunction::Command CFRFooter::MakeCommand() {
  const app::SkipMask skip = m_unread.Skip(*this);
  const std::array<std::string, 2> lines{ItemText(kLineIds[0]), ItemText(kLineIds[1])};
  return [lines, skip](CommandJob& job) {
    app::WriteStatus status;
    {
      MainWindowDisabled locked(job);
      status = app::WriteFooter(lines, skip);
    }
    if (status == app::WriteStatus::ShiftOpen) progpage::RefuseShiftOpen(job);
  };
}
