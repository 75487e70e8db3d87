// SPDX-License-Identifier: GPL-3.0-or-later
// What the shell needs from the rest of the program, handed to the main
// window by the program's composition: the page of a tree node, the
// dialogs start-up may open, and the settings file buttons.  The shell
// itself knows no page class.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CFRFunction;
class PageHost;
struct CFRNode;

// One line of the page table: the page class of a node code, or of a code
// and its first argument.
struct PageKind {
  static constexpr int kAnyArgument = -1;
  using Maker = CFRFunction* (*)(PageHost& host, int argument);

  uint8_t code;
  int firstArgument;  // kAnyArgument: every node of the code not named otherwise
  Maker make;         // null: such a node has no page
};

// Looks the node up in the table: first by code and first argument, then by
// code alone.  A code the table does not name gets the plain CFRFunction
// page; a line with no maker gives no page (null).
CFRFunction* CreatePageFromTable(const std::vector<PageKind>& table, const CFRNode& node, PageHost& host);

template <class Page>
CFRFunction* MakePage(PageHost& host, int) {
  return new Page(host);
}
// For pages whose constructor takes the node's first argument (report type).
template <class Page>
CFRFunction* MakePageWithArgument(PageHost& host, int argument) {
  return new Page(host, argument);
}

class ShellWiring {
 public:
  virtual ~ShellWiring() = default;

  virtual CFRFunction* CreatePage(const CFRNode& node, PageHost& host) = 0;

  // Start-up dialogs, run modally without a parent.
  // NVR recovery for a register of this version; true when it ended with OK.
  virtual bool RunRecoveryDialog(uint16_t version) = 0;
  virtual void RunInstallDialog() = 0;
  // The new data-exchange password after the register refused `current`;
  // false when the user cancelled.
  virtual bool AskExchangePassword(const std::string& current, std::string* entered) = 0;

  // "&Save..." and "&Load..." of the main window.
  virtual void SaveSettings(PageHost& host) = 0;
  virtual void LoadSettings(PageHost& host) = 0;
};
