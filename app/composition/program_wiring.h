// SPDX-License-Identifier: GPL-3.0-or-later
// The program's composition: which page class each tree node gets, and the
// dialogs and buttons the shell reaches through ShellWiring.
#pragma once

#include <vector>

#include "shell_wiring.h"

// The page table: one line per page class.
const std::vector<PageKind>& ProgramPages();

class ProgramWiring : public ShellWiring {
 public:
  CFRFunction* CreatePage(const CFRNode& node, PageHost& host) override;
  bool RunRecoveryDialog(uint16_t version) override;
  void RunInstallDialog() override;
  bool AskExchangePassword(const std::string& current, std::string* entered) override;
  void SaveSettings(PageHost& host) override;
  void LoadSettings(PageHost& host) override;
};
