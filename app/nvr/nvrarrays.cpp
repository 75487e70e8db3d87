// SPDX-License-Identifier: GPL-3.0-or-later
#include "nvrarrays.h"

using termina::app::NvrArray;

CNvrArrayDlg::CNvrArrayDlg(NvrArray kind, double* values, tk::Dialog* parent, const std::string& caption)
    : tk::CDialog(termina::app::NvrArrayDialogFor(kind).templateId, parent),
      m_kind(kind),
      m_pValues(values),
      m_strCaption(caption) {}

bool CNvrArrayDlg::OnInitDialog() {
  if (!m_strCaption.empty()) SetTitle(m_strCaption);
  const auto edits = termina::app::NvrArrayDialogFor(m_kind).edits;
  for (std::size_t i = 0; i < edits.size(); ++i) SetItemTextNow(edits[i], termina::app::FormatMoney(m_pValues[i]));
  FocusItemNow(edits.front());
  return true;
}

void CNvrArrayDlg::OnOK() {
  const auto edits = termina::app::NvrArrayDialogFor(m_kind).edits;
  for (std::size_t i = 0; i < edits.size(); ++i) m_pValues[i] = termina::app::ParseMoneyLenient(ItemText(edits[i]));
  EndDialog(tk::IDOK);
}

CMonByPmnt::CMonByPmnt(bool returns, double* values, tk::Dialog* parent, const std::string& caption)
    : CNvrArrayDlg(returns ? NvrArray::ReturnsByPayment : NvrArray::SalesByPayment, values, parent, caption) {}

CTaxMoney::CTaxMoney(bool returns, double* values, tk::Dialog* parent, const std::string& caption)
    : CNvrArrayDlg(returns ? NvrArray::TaxReturns : NvrArray::TaxSales, values, parent, caption) {}

CDepSum::CDepSum(bool returns, double* values, tk::Dialog* parent, const std::string& caption)
    : CNvrArrayDlg(returns ? NvrArray::DeptReturns : NvrArray::DeptSales, values, parent, caption) {}
