// SPDX-License-Identifier: GPL-3.0-or-later
// CFRParams: the device parameters page (template 142): the cash-desk
// number, the option check boxes, the customer display type and the
// receipt design, in configuration tables 1 to 13 and 30.
#pragma once

#include <cstdint>
#include <optional>

#include "frfunction.h"
#include "programming_pages.h"

class CFRParams : public CFRFunction {
 public:
  explicit CFRParams(PageHost& host);

  unsigned GetTemplateId() const override { return 142; }
  // The write sequence under the main-window lock and the wait cursor;
  // after a refusal or a failure the controls show what the register holds
  // then.
  Command MakeCommand() override;

  // The register's version read when the page was created.
  uint16_t m_wVersion = 120;

 protected:
  bool OnInitDialog() override;

 private:
  // Hides the controls the version lacks and, on the second and third
  // model, moves the lower boxes up into the two rows removed.  Once.
  void LayOut();
  void Fill(const termina::app::ParamsValues& values);
  termina::app::ParamsValues Gather();
  void SetDisplayType(std::optional<unsigned> type);

  bool m_bLaidOut = false;
  // Table 11 as last read; written back unchanged where its box is hidden.
  std::optional<bool> m_partialCut;
};
