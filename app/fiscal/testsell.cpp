// SPDX-License-Identifier: GPL-3.0-or-later
#include "testsell.h"

#include "test_sale.h"

namespace {

constexpr int kOperatorId = 1092;
constexpr int kAmountId = 1093;
constexpr int kCloseShiftId = 1094;

}  // namespace

CTestSell::CTestSell(PageHost& host) : CFRFunction(host) {}

bool CTestSell::OnInitDialog() {
  CFRFunction::OnInitDialog();
  const termina::app::TestSaleInput defaults;
  SetItemTextNow(kOperatorId, defaults.operatorName);
  SetItemTextNow(kAmountId, defaults.amount);
  SetTextPattern(kAmountId, "[0-9]*");
  SetChecked(kCloseShiftId, defaults.closeShift);
  return true;
}

CFRFunction::Command CTestSell::MakeCommand() {
  termina::app::TestSaleInput in;
  in.operatorName = ItemText(kOperatorId);
  in.amount = ItemText(kAmountId);
  in.closeShift = IsChecked(kCloseShiftId);
  return [in](CommandJob& job) {
    WaitCursorShown wait(job);
    MainWindowDisabled locked(job);
    termina::app::RunTestSale(in, job.Ui());
  };
}
