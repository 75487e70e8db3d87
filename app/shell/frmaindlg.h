// SPDX-License-Identifier: GPL-3.0-or-later
// CFRMainDlg: the main window (template 102).  Connects to the register,
// decides from its answers what the user may do, and shows the page of the
// function selected in the tree.  Pages reach it through PageHost.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dialog.h"
#include "function_tree.h"
#include "page_host.h"
#include "prompts.h"

class CFRFunction;
class ShellWiring;

class CFRMainDlg : public tk::CDialog, public PageHost {
 public:
  // The main window's controls.
  enum : int {
    kTabId = 1000,
    kTreeId = 1001,
    kStatusBarId = 104,
    kPortId = 1087,
    kSpeedId = 1129,
    kSaveId = 1089,
    kLoadId = 1090
  };

  // `commandLine` is searched for the "/NVR" switch.
  explicit CFRMainDlg(ShellWiring& wiring, const std::string& commandLine = std::string(),
                      tk::Dialog* parent = nullptr);
  ~CFRMainDlg() override;

  bool Reinitialize();
  // Shows the page of the tree's node in that row (nothing for -1).
  void ShowPage(int row);
  // Selects the tree's node in that row as the user does by clicking it:
  // the register is checked, the node's page shown and given the focus.
  void ChooseTreeRow(int row);
  void ShowModelName(uint16_t version);
  void UpdateFileButtons();
  bool AskExchangePassword();

  void BuildInspectorTree();
  void BuildEEJTree();
  void BuildProgrammingTree();

  // ---- PageHost ----
  tk::CDialog* HostWindow() override { return this; }
  tk::Dialog* HostDialog() override { return this; }
  void SetStatusText(int part, const std::string& text) override;
  std::string StatusText(int part) const override;
  bool CheckDevice() override;
  void EnableNavigation(bool enable) override;
  void EnableMainWindow(bool enable) override;
  void SetWaitCursor(bool wait) override;
  void ShowSelectedPage() override;
  uint16_t Version() const override { return m_wVersion; }
  void SetVersion(uint16_t version) override { m_wVersion = version; }
  void Quit() override { EndDialog(tk::IDOK); }

  // Ends the process at once: the window has been closed while the worker
  // is inside the driver, and unloading the driver under it is not safe.
  // Everything the program writes is replaced atomically, so nothing is
  // left half-written.
  static void EndNow();
  // Replaces EndNow for this window (tests).
  void SetEndNow(std::function<void()> endNow) { m_endNow = std::move(endNow); }

  CFRFunction* CurrentPage() const { return m_pPage; }
  // The window waits on the register (see LockInput).
  bool InputLocked() const { return m_nLockDepth > 0; }
  // The current page is running a command.
  bool PageBusy() const override;
  const std::vector<CFRNode>& Nodes() const { return m_nodes; }

  // Replaces the wiring's page creation (tests).
  using PageFactory = std::function<CFRFunction*(const CFRNode&, PageHost&)>;
  void SetPageFactory(PageFactory factory) { m_pageFactory = std::move(factory); }
  // The rectangle a page gets, in client coordinates.
  tk::Rect PageRect() const;

  uint16_t m_wVersion = 120;
  std::vector<CFRNode> m_nodes;
  uint16_t m_wLayout = kLayoutInspectorFirst;
  bool m_bWaitCursor = false;
  CFRFunction* m_pPage = nullptr;

 protected:
  bool OnInitDialog() override;
  void OnOK() override {}  // Enter has no default action here
  void OnCancel() override { EndDialog(tk::IDCANCEL); }
  // Every way out of the window ends here: the worker gets a second to
  // finish what it does, else the program ends without waiting for it.
  void OnEnded(int result) override;
  // Enter runs nothing here.
  bool OnWindowKey(const tk::Key& key) override;

 private:
  // The window waits on the register: every control but the page's
  // "ВЫХОД" takes no input (and looks it), the window itself stays enabled
  // so that "ВЫХОД", Escape and the close box end the program at any time.
  void LockInput();
  void UnlockInput();
  void OnPortChanged(int index);
  void OnSpeedChanged(int index);
  void OnTabChanged(int index);
  void OnTreeSelectionChanged();
  bool RefuseWhileBusy();
  void ReportError(uint16_t code);
  void ReportFailure(const std::string& text);
  int Say(const std::string& text, const std::string& title = tk::kProgramName, tk::Icon icon = tk::Icon::None);
  void ClearTree();
  void BuildTree(const std::vector<NodeEntry>& entries);
  void BuildTreeForTab(int index);
  void SelectFirstAndShow();
  void DropPage();

  ShellWiring& m_wiring;
  std::string m_commandLine;
  PageFactory m_pageFactory;
  int m_nLockDepth = 0;
  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
  std::function<void()> m_endNow = &CFRMainDlg::EndNow;
};
