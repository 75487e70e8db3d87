// SPDX-License-Identifier: GPL-3.0-or-later
// CFRConnectParams: the date/time and data-password page (template 156).
// Shows the register's clock beside the computer's and the last fiscal
// operation, sets the register's clock from the computer's, and changes the
// data-exchange password.  Its own buttons act at once on the UI thread;
// the command button is hidden.
#pragma once

#include "clock.h"
#include "frfunction.h"

class CFRConnectParams : public CFRFunction {
 public:
  explicit CFRConnectParams(PageHost& host);

  unsigned GetTemplateId() const override { return 156; }

 protected:
  bool OnInitDialog() override;

 private:
  void OnReadClock();
  void OnSetClock();
  void OnChangePassword();
  void ShowComputerTime();
  void Fill(const termina::app::ClockPageData& p);
  // The driver takes one exchange at a time: while a command of the page
  // runs, the page's own buttons say so and do nothing.
  bool RefuseWhileBusy();
  // A driver failure in the program's own message box (no icon).
  void TellFailure(uint16_t code);
};
