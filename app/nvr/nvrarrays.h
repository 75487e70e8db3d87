// SPDX-License-Identifier: GPL-3.0-or-later
// The array dialogs of the NVR recovery: the sixteen sums by payment type
// (CMonByPmnt, template 150), the six sums by tax (CTaxMoney, 155) and the
// six sums by department (CDepSum, 161).  Each edits an array of the
// recovery record in place: OK takes every edit (text that is not a number
// gives 0), Cancel leaves the array as it was.
#pragma once

#include <string>

#include "nvr_form.h"
#include "dialog.h"
#include "prompts.h"

class CNvrArrayDlg : public tk::CDialog {
 public:
  // `values` points at the array the dialog edits (16 or 6 values, as the
  // kind says); `caption`, when given, replaces the template's title.
  CNvrArrayDlg(termina::app::NvrArray kind, double* values, tk::Dialog* parent = nullptr,
               const std::string& caption = {});

  termina::app::NvrArray Kind() const { return m_kind; }

 protected:
  bool OnInitDialog() override;
  void OnOK() override;

 private:
  termina::app::NvrArray m_kind;
  double* m_pValues;
  std::string m_strCaption;  // UTF-8
};

// Sales or returns by payment type: cash and payment types 1 to 15.
class CMonByPmnt : public CNvrArrayDlg {
 public:
  CMonByPmnt(bool returns, double* values, tk::Dialog* parent = nullptr, const std::string& caption = {});
};

// Sales or returns by tax 0 to 5.
class CTaxMoney : public CNvrArrayDlg {
 public:
  CTaxMoney(bool returns, double* values, tk::Dialog* parent = nullptr, const std::string& caption = {});
};

// Sales or returns by department 1 to 6.
class CDepSum : public CNvrArrayDlg {
 public:
  CDepSum(bool returns, double* values, tk::Dialog* parent = nullptr, const std::string& caption = {});
};
