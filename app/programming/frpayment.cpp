// SPDX-License-Identifier: GPL-3.0-or-later
#include "frpayment.h"

#include <string>

#include "page_support.h"
#include "programming_pages.h"

namespace {

namespace app = termina::app;

constexpr int kRulerId = 1140;
constexpr int kFirstNameId = 11165;

}  // namespace

CFRPayment::CFRPayment(PageHost& host) : CFRFunction(host) {}

bool CFRPayment::OnInitDialog() {
  CFRFunction::OnInitDialog();
  SetFixedFont(kRulerId);
  for (int n = 0; n < 16; ++n) {
    SetFixedFont(kFirstNameId + n);
    // What the register holds is shown and saved back whole, even when it
    // is longer than a name may be typed.
    SetTypingLimit(kFirstNameId + n, static_cast<int>(app::kPaymentNameChars));
  }
  // Cash, payment type 0, is fixed in the register: every key meant for its
  // box is taken before the box sees it.
  SetKeyFilter(kFirstNameId, progpage::KeysSwallowed);
  AlignRulerOver(kRulerId, kFirstNameId);

  ReadThenFill<app::PaymentsRead>(&app::ReadPayments, [this](app::PaymentsRead& r) {
    for (std::size_t n = 0; n < r.names.size(); ++n) SetItemTextNow(kFirstNameId + static_cast<int>(n), r.names[n]);
    // Names read before a failure stay shown; the others are written only
    // once the user has changed them.
    m_unread.Clear();
    if (r.error) {
      for (std::size_t n = r.namesRead; n < r.names.size(); ++n)
        m_unread.Mark(static_cast<unsigned>(n), *this, kFirstNameId + static_cast<int>(n));
      progpage::ReportReadFailure(*this, *r.error);
    }
  });
  return true;
}

CFRFunction::Command CFRPayment::MakeCommand() {
  const app::SkipMask skip = m_unread.Skip(*this);
  std::array<std::string, 16> names;
  for (std::size_t i = 0; i < names.size(); ++i) names[i] = ItemText(kFirstNameId + static_cast<int>(i));
  return [names, skip](CommandJob& job) {
    app::WriteStatus status;
    {
      MainWindowDisabled locked(job);
      status = app::WritePayments(names, skip);
    }
    if (status == app::WriteStatus::ShiftOpen) progpage::RefuseShiftOpen(job);
  };
}
