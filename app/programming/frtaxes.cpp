// SPDX-License-Identifier: GPL-3.0-or-later
#include "frtaxes.h"

#include <initializer_list>
#include <string>
#include <vector>

#include "config_map.h"
#include "page_support.h"
#include "programming_pages.h"

namespace {

namespace app = termina::app;

enum : int {
  kNameRulerId = 1132,
  kRateRulerId = 1133,
  kFirstNameId = 1104,
  kFirstRateId = 1110,
  kPrintReceiptId = 1119,
  kPrintZId = 1085,
  kNoZeroSumsId = 1127,
  kCalculationLabelId = 1116,
  kCalculationId = 1117,
  kTaxLineLabelId = 1118,
  kTaxLineId = 1040,
};

// The option controls a register below 125 (or a failed read) does not show.
constexpr int kOptionIds[] = {kTaxLineId,          kTaxLineLabelId, kCalculationId,
                              kCalculationLabelId, kPrintZId,       kPrintReceiptId};

}  // namespace

CFRTaxes::CFRTaxes(PageHost& host) : CFRFunction(host) {}

bool CFRTaxes::OnInitDialog() {
  CFRFunction::OnInitDialog();
  for (int id : {kNameRulerId, kRateRulerId}) SetFixedFont(id);
  for (int i = 0; i < 6; ++i) {
    SetFixedFont(kFirstNameId + i);
    SetFixedFont(kFirstRateId + i);
    SetDecimalOnly(kFirstRateId + i);
  }
  AlignRulerOver(kNameRulerId, kFirstNameId);
  AlignRulerOver(kRateRulerId, kFirstRateId);
  const auto calculations = app::TaxCalculationNames();
  SetComboItems(kCalculationId, std::vector<std::string>(calculations.begin(), calculations.end()));
  OnClicked(kPrintZId, [this] { OnPrintZClicked(); });

  ReadThenFill<app::TaxesRead>(&app::ReadTaxes, [this](app::TaxesRead& r) { Fill(r); });
  return true;
}

void CFRTaxes::Fill(const app::TaxesRead& r) {
  m_wVersion = r.version;
  m_bOptionsKnown = r.values.optionsKnown;
  const app::TaxValues& t = r.values;
  for (int i = 0; i < 6; ++i) {
    SetItemTextNow(kFirstNameId + i, t.names[i]);
    SetItemTextNow(kFirstRateId + i, t.rates[i]);
  }
  if (r.showOptions) {
    SetItemTextNow(kTaxLineId, t.taxLine);
    SetChecked(kPrintZId, t.printZ);
    SetChecked(kPrintReceiptId, t.printReceipt);
    SetChecked(kNoZeroSumsId, t.noZeroSums);
    SetComboIndex(kCalculationId, t.calculation ? static_cast<int>(*t.calculation) : -1);
  }
  for (int id : kOptionIds) ShowItem(id, r.showOptions);
  ShowItem(kNoZeroSumsId, r.showNoZeroSums);
  // Boxes filled before a failure keep their values; the others are
  // written only once the user has changed them.
  m_unread.Clear();
  if (r.error) {
    for (std::size_t k = r.pairsValuesRead; k < 12; ++k) {
      const unsigned i = static_cast<unsigned>(k / 2);
      if (k % 2 == 0)
        m_unread.Mark(i, *this, kFirstNameId + static_cast<int>(i));
      else
        m_unread.Mark(6 + i, *this, kFirstRateId + static_cast<int>(i));
    }
    progpage::ReportReadFailure(*this, *r.error);
  }
}

void CFRTaxes::OnPrintZClicked() {
  if (m_wVersion >= app::kVersionZReportMore)
    ShowItem(kNoZeroSumsId, app::ShowsNoZeroSums(m_wVersion, IsChecked(kPrintZId)));
}

CFRFunction::Command CFRTaxes::MakeCommand() {
  const app::SkipMask skip = m_unread.Skip(*this);
  app::TaxValues in;
  for (int i = 0; i < 6; ++i) {
    in.names[i] = ItemText(kFirstNameId + i);
    in.rates[i] = ItemText(kFirstRateId + i);
  }
  in.printZ = IsChecked(kPrintZId);
  in.printReceipt = IsChecked(kPrintReceiptId);
  // Counted also while its box is hidden.
  in.noZeroSums = IsChecked(kNoZeroSumsId);
  if (const int index = ComboIndex(kCalculationId); index >= 0) in.calculation = static_cast<unsigned>(index);
  in.taxLine = ItemText(kTaxLineId);
  in.optionsKnown = m_bOptionsKnown;
  return [version = m_wVersion, in, skip](CommandJob& job) {
    app::WriteStatus status;
    {
      MainWindowDisabled locked(job);
      status = app::WriteTaxes(version, in, skip);
    }
    if (status == app::WriteStatus::ShiftOpen) progpage::RefuseShiftOpen(job);
  };
}
