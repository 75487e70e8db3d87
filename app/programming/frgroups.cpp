// SPDX-License-Identifier: GPL-3.0-or-later
#include "frgroups.h"

#include <array>
#include <string>

#include "page_support.h"
#include "programming_pages.h"

namespace {

namespace app = termina::app;

enum : int {
  kZSectionId = 1139,
  kRulerId = 1141,
  kFirstNameId = 1142,
  kFirstRowLabelId = 1149,
};

}  // namespace

CFRGroups::CFRGroups(PageHost& host) : CFRFunction(host) {}

bool CFRGroups::OnInitDialog() {
  CFRFunction::OnInitDialog();
  SetFixedFont(kRulerId);
  for (int i = 0; i < 6; ++i) SetFixedFont(kFirstNameId + i);
  SetTextLimit(kZSectionId, static_cast<int>(app::kLineChars));
  AlignRulerOver(kRulerId, kFirstNameId);

  ReadThenFill<app::DepartmentsRead>(&app::ReadDepartments, [this](app::DepartmentsRead& r) {
    m_wVersion = r.version;
    const auto labels = app::DepartmentRowLabels(m_wVersion);
    for (int i = 0; i < 6; ++i) {
      SetItemTextNow(kFirstRowLabelId + i, labels[i]);
      SetItemTextNow(kFirstNameId + i, r.names[i]);
    }
    SetItemTextNow(kZSectionId, r.zSection);
    // Boxes filled before a failure keep their values; the others are
    // written only once the user has changed them.
    m_unread.Clear();
    if (r.error) {
      for (std::size_t k = r.valuesRead; k < 7; ++k)
        m_unread.Mark(static_cast<unsigned>(k), *this,
                      k < 6 ? kFirstNameId + static_cast<int>(k) : static_cast<int>(kZSectionId));
      progpage::ReportReadFailure(*this, *r.error);
    }
  });
  return true;
}

CFRFunction::Command CFRGroups::MakeCommand() {
  const app::SkipMask skip = m_unread.Skip(*this);
  std::array<std::string, 6> names;
  for (int n = 0; n < 6; ++n) names[n] = ItemText(kFirstNameId + n);
  const std::string zSection = ItemText(kZSectionId);
  return [version = m_wVersion, names, zSection, skip](CommandJob& job) {
    app::WriteStatus status;
    {
      MainWindowDisabled locked(job);
      status = app::WriteDepartments(version, names, zSection, skip);
    }
    if (status == app::WriteStatus::ShiftOpen) progpage::RefuseShiftOpen(job);
  };
}
