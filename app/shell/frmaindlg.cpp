// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmaindlg.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver_api.h"
#include "frfunction.h"
#include "ini.h"
#include "paths.h"
#include "register_worker.h"
#include "shell_wiring.h"
#include "speeds.h"
#include "startup.h"
#include "ui_thread.h"

namespace {

const std::string kBusy = "Не завершилась обработка предыдущей команды\nПовторите операцию позже";

// What start-up asks of the user, answered by the main window: its
// message boxes and the dialogs of the program's wiring.  Start-up runs on
// the register worker; every dialog is shown on the UI thread.
class ShellStartup : public termina::app::StartupDialogs {
 public:
  ShellStartup(CFRMainDlg& main, ShellWiring& wiring) : m_main(main), m_wiring(wiring) {}
  bool RunRecovery(uint16_t version) override {
    return reg::Worker::Get().OnUi([&] { return m_wiring.RunRecoveryDialog(version); });
  }
  void RunInstall() override {
    reg::Worker::Get().OnUi([&] { m_wiring.RunInstallDialog(); });
  }
  bool AskExchangePassword() override { return m_main.AskExchangePassword(); }

 private:
  CFRMainDlg& m_main;
  ShellWiring& m_wiring;
};

// For the length of a register job run from the main window: the window
// takes no input and shows the wait cursor, but keeps repainting.  The
// focus goes back where it was when the wait ends, so that keyboard
// navigation in the tree goes on.
class WindowWaiting {
 public:
  explicit WindowWaiting(CFRMainDlg* dlg) : m_dlg(dlg) { m_dlg->EnableMainWindow(false); }
  ~WindowWaiting() { m_dlg->EnableMainWindow(true); }
  WindowWaiting(const WindowWaiting&) = delete;
  WindowWaiting& operator=(const WindowWaiting&) = delete;

 private:
  CFRMainDlg* m_dlg;
  tk::WaitCursor m_cursor;
};

}  // namespace

CFRMainDlg::CFRMainDlg(ShellWiring& wiring, const std::string& commandLine, tk::Dialog* parent)
    : tk::CDialog(102, parent), m_wiring(wiring), m_commandLine(commandLine) {}

CFRMainDlg::~CFRMainDlg() {
  *m_alive = false;
  if (m_nLockDepth > 0) UnlockInput();
  // No handler of the page can be on the stack when the window goes; a
  // command it started runs on without it.
  if (CFRFunction* page = m_pPage) {
    m_pPage = nullptr;
    page->Dismiss();
    delete page;
  }
}

// ---- Initialisation ------------------------------------------------------------

bool CFRMainDlg::OnInitDialog() {
  SetIcon(144);
  ShowItem(kSaveId, false);
  ShowItem(kLoadId, false);
  std::vector<std::string> ports;
  for (int i = 1; i <= 10; ++i) ports.push_back("COM" + std::to_string(i));
  SetComboItems(kPortId, ports);
  std::vector<std::string> speeds;
  for (unsigned s : termina::app::kProgramSpeeds) speeds.push_back(std::to_string(s));
  SetComboItems(kSpeedId, speeds);
  AddStatusBar(kStatusBarId, 100);

  OnChanged(kTabId, [this] { OnTabChanged(TabIndex(kTabId)); });
  OnChanged(kTreeId, [this] { OnTreeSelectionChanged(); });

  const std::string ini = termina::paths::iniPath();
  unsigned port = termina::ini::readInt(ini, "General", "Port", 0);
  if (port == 0) {
    termina::ini::writeString(ini, "General", "Port", "1");
    port = 1;
  }
  const std::string speed = termina::ini::readString(ini, "General", "Speed", "", 100);
  if (speed.empty()) termina::ini::writeString(ini, "General", "Speed", "19200");
  int speedIndex = -1;
  if (!speed.empty()) {
    const std::string wanted = termina::app::ToUtf8(speed.c_str());
    for (int i = 0; i < ComboCount(kSpeedId) && speedIndex < 0; ++i)
      if (ComboItemText(kSpeedId, i) == wanted) speedIndex = i;
  }
  SetComboIndex(kSpeedId, speedIndex < 0 ? 0 : speedIndex);
  SetComboIndex(kPortId, port <= 10 ? static_cast<int>(port) - 1 : -1);
  // Only a changed choice reconnects: choosing the entry already selected
  // does nothing.
  OnChanged(kPortId, [this] { OnPortChanged(ComboIndex(kPortId)); });
  OnChanged(kSpeedId, [this] { OnSpeedChanged(ComboIndex(kSpeedId)); });
  // Enter on a button of the main window presses nothing: the window has no
  // default action, and a page's command must not start from here.
  SetNotDefault(kSaveId);
  SetNotDefault(kLoadId);
  OnClicked(kSaveId, [this] { m_wiring.SaveSettings(*this); });
  OnClicked(kLoadId, [this] { m_wiring.LoadSettings(*this); });

  if (!Reinitialize()) EndDialog(tk::IDCANCEL);
  return true;
}

void CFRMainDlg::EndNow() {
  std::fflush(nullptr);
  std::_Exit(0);
}

void CFRMainDlg::OnEnded(int) {
  if (!reg::Worker::Started()) return;
  reg::Worker& worker = reg::Worker::Get();
  if (m_pPage) m_pPage->AbandonReads();
  if (worker.UiWaiting() == 0) {
    // Abandoned reads end after the driver call in progress.
    if (worker.WaitIdle(1000)) return;
  } else {
    // A job the window waits for is on the stack below this call: every
    // job from now on ends before its next driver call.
    if (worker.Stop(1000)) return;
  }
  m_endNow();
}

// ---- Start-up --------------------------------------------------------------------

int CFRMainDlg::Say(const std::string& text, const std::string& title, tk::Icon icon) {
  return tk::ThePrompts().ShowMessage({text, title, icon, tk::Buttons::Ok, tk::IDOK, this});
}

void CFRMainDlg::ReportError(uint16_t code) { ::ReportFailure(this, this, code); }

void CFRMainDlg::ReportFailure(const std::string& text) { ::ReportFailure(this, this, text); }

bool CFRMainDlg::Reinitialize() {
  m_wVersion = 120;
  if (m_pPage) m_pPage->AbandonReads();
  termina::app::StartupResult r;
  {
    WindowWaiting waiting(this);
    WorkerInteraction ui(this);
    ShellStartup dialogs(*this, m_wiring);
    const bool nvrSwitch = termina::app::HasNvrSwitch(m_commandLine);
    try {
      r = reg::Worker::Get().Run([&] { return termina::app::RunStartup(nvrSwitch, ui, dialogs); });
    } catch (const reg::JobAbandoned&) {
      return false;  // the program is closing
    }
  }
  m_wVersion = r.version;
  if (!r.proceed) return false;
  if (r.connected) {
    EnableItemNow(kTabId, true);
    EnableItemNow(kTreeId, true);
    SetStatusText(0, termina::app::kReadyText);
  } else if (r.failureText) {
    // The status line keeps the driver's text; the box adds the hint.
    const std::string& text = *r.failureText;
    SetStatusText(0, text);
    Say(r.failureHint ? text + "\n\n" + *r.failureHint : text, "Ошибка", tk::Icon::Error);
  }

  ClearTree();
  m_wLayout = LayoutFor(m_wVersion);
  TabsReset(kTabId, TabCaptions(m_wLayout));
  BuildTreeForTab(0);
  UpdateFileButtons();

  switch (NoticeFor(m_wVersion)) {
    case VersionNotice::NotSupported:
      Say(kNotSupported, "Предупреждение", tk::Icon::Exclamation);
      tk::PostToUi([this, alive = m_alive] {
        if (*alive) EndDialog(tk::IDCANCEL);
      });
      break;
    case VersionNotice::UpdateWarning: Say(kUpdateWarning, "Предупреждение", tk::Icon::Exclamation); break;
    case VersionNotice::None: break;
  }
  SelectFirstAndShow();
  ShowModelName(m_wVersion);
  Repaint();
  return true;
}

bool CFRMainDlg::AskExchangePassword() {
  // Called from start-up on the worker: the dialog on the UI thread, the
  // driver call here.
  std::string entered;
  const bool given = reg::Worker::Get().OnUi([&] {
    const std::string current = termina::ini::readString(termina::paths::iniPath(), "General", "pswd", "WKRD", 100);
    return m_wiring.AskExchangePassword(termina::app::ToUtf8(current.c_str()), &entered);
  });
  if (!given) return false;
  TRMA_STRING password;
  termina::app::ToAnsi(entered, password);
  try {
    reg::Worker::Get().Run([&] { TRMA_ChangePwd(&password, false); });
  } catch (uint16_t code) {
    reg::Worker::Get().OnUi([&] { ReportError(code); });
    return false;
  }
  return true;
}

bool CFRMainDlg::CheckDevice() {
  // The window takes no input for the whole check (it runs on the worker,
  // after any job queued before it).
  WindowWaiting waiting(this);
  const bool endedBefore = Ended();
  termina::app::DeviceCheck check;
  try {
    check = reg::Worker::Get().Run([] { return termina::app::CheckSameDevice(); });
  } catch (const reg::JobAbandoned&) {
    return false;  // the program is closing
  }
  // "ВЫХОД", Escape or the close box ended the window meanwhile.
  if (Ended() && !endedBefore) return false;
  if (check.failure) {
    if (!Reinitialize()) EndDialog(tk::IDCANCEL);
    return false;
  }
  if (check.version == m_wVersion) return true;
  m_wVersion = check.version;
  if (!Reinitialize()) EndDialog(tk::IDCANCEL);
  return false;
}

// ---- Services for pages ----------------------------------------------------------

void CFRMainDlg::EnableNavigation(bool enable) {
  EnableItemNow(kTabId, enable);
  EnableItemNow(kTreeId, enable);
}

void CFRMainDlg::EnableMainWindow(bool enable) {
  // Nested locks (a page's guard inside a check) end with the outermost.
  const int before = m_nLockDepth;
  m_nLockDepth += enable ? -1 : 1;
  if (m_nLockDepth < 0) m_nLockDepth = 0;
  if (before == 0 && m_nLockDepth > 0)
    LockInput();
  else if (before > 0 && m_nLockDepth == 0)
    UnlockInput();
}

void CFRMainDlg::LockInput() {
  // Escape keeps its meaning: from the tree, the tabs or the port and speed
  // boxes it ends the program; from inside a page it does nothing.
  const bool escapeEnds = !(m_pPage && m_pPage->HasFocusWithin());
  tk::CDialog::LockInput(m_pPage, CFRFunction::kExitId, [this, escapeEnds] {
    if (escapeEnds) OnCancel();
  });
}

void CFRMainDlg::UnlockInput() { tk::CDialog::UnlockInput(); }

void CFRMainDlg::SetWaitCursor(bool wait) {
  m_bWaitCursor = wait;
  SetWindowWaitCursor(wait);
}

void CFRMainDlg::ShowModelName(uint16_t version) { SetStatusText(1, ModelName(version)); }

void CFRMainDlg::UpdateFileButtons() {
  const bool show = TabIndex(kTabId) == ProgrammingTabIndex(m_wLayout) && FileButtonsAllowed(m_wVersion);
  ShowItem(kSaveId, show);
  ShowItem(kLoadId, show);
}

void CFRMainDlg::SetStatusText(int part, const std::string& text) { SetStatusPart(part, text); }

std::string CFRMainDlg::StatusText(int part) const { return StatusPart(part); }

// ---- Port and speed --------------------------------------------------------------

bool CFRMainDlg::PageBusy() const { return m_pPage && m_pPage->IsCommandRunning(); }

bool CFRMainDlg::RefuseWhileBusy() {
  // A command thread may be inside the driver: reconnecting now would pull
  // the port from under it.
  if (!PageBusy()) return false;
  Say(kBusy, tk::kProgramName, tk::Icon::Exclamation);
  return true;
}

void CFRMainDlg::OnPortChanged(int index) {
  if (RefuseWhileBusy()) return;
  termina::ini::writeString(termina::paths::iniPath(), "General", "Port", std::to_string(index + 1));
  if (!Reinitialize()) EndDialog(tk::IDCANCEL);
}

void CFRMainDlg::OnSpeedChanged(int index) {
  if (RefuseWhileBusy()) return;
  termina::ini::writeString(termina::paths::iniPath(), "General", "Speed", ComboItemText(kSpeedId, index));
  if (!Reinitialize()) EndDialog(tk::IDCANCEL);
}

// ---- Tree and pages --------------------------------------------------------------

void CFRMainDlg::ClearTree() {
  TreeClear(kTreeId);
  m_nodes.clear();
}

void CFRMainDlg::BuildTree(const std::vector<NodeEntry>& entries) {
  for (const NodeEntry& entry : entries) {
    CFRNode node;
    node.code = entry.code;
    node.row = TreeAppend(kTreeId, entry.caption);
    node.name = entry.caption;
    node.value = " " + node.name;
    node.count = static_cast<uint8_t>(entry.arguments.size());
    node.arguments = entry.arguments;
    m_nodes.push_back(std::move(node));
  }
}

void CFRMainDlg::BuildInspectorTree() { BuildTree(InspectorNodes()); }
void CFRMainDlg::BuildEEJTree() { BuildTree(EEJNodes()); }
void CFRMainDlg::BuildProgrammingTree() { BuildTree(ProgrammingNodes(m_wVersion)); }

void CFRMainDlg::BuildTreeForTab(int index) {
  TreeSetRedraw(kTreeId, false);
  switch (TabAt(m_wLayout, index)) {
    case TabKind::Inspector: BuildInspectorTree(); break;
    case TabKind::EEJ: BuildEEJTree(); break;
    case TabKind::Programming: BuildProgrammingTree(); break;
  }
}

void CFRMainDlg::SelectFirstAndShow() {
  const int first = TreeCount(kTreeId) > 0 ? 0 : -1;
  if (first >= 0) TreeSelect(kTreeId, first);
  TreeSetRedraw(kTreeId, true);
  ShowPage(first);
}

void CFRMainDlg::OnTabChanged(int index) {
  // The page shown reads no more; the check and the new page follow.
  if (m_pPage) m_pPage->AbandonReads();
  if (!CheckDevice()) return;
  ClearTree();
  BuildTreeForTab(index);
  SelectFirstAndShow();
  UpdateFileButtons();
}

void CFRMainDlg::OnTreeSelectionChanged() {
  // Only selections made by the user arrive here: the program blocks the
  // tree's signals while it changes the selection itself.  The page shown
  // reads no more; the check and the new page follow.
  if (m_pPage) m_pPage->AbandonReads();
  if (!CheckDevice()) return;
  ShowPage(TreeSelection(kTreeId));
  if (m_pPage) m_pPage->SetInitialFocus();
}

void CFRMainDlg::ChooseTreeRow(int row) {
  TreeSelect(kTreeId, row);
  OnTreeSelectionChanged();
}

tk::Rect CFRMainDlg::PageRect() const {
  const tk::Rect header = TabHeaderRect(kTabId, 0);
  const tk::Rect tab = ItemRect(kTabId);
  const tk::Rect tree = ItemRect(kTreeId);
  const int left = tab.x + tree.width + 10;
  const int top = tab.y + header.height + 5;
  const int right = tab.x + tab.width - 5;
  const int bottom = tab.y + tab.height - 5;
  return tk::Rect{left, top, right - left, bottom - top};
}

void CFRMainDlg::DropPage() {
  if (!m_pPage) return;
  CFRFunction* page = m_pPage;
  m_pPage = nullptr;
  page->Dismiss();
  // A handler of the page may be on the stack (its command button's device
  // check replaced it): it is deleted once control is back in the loop.
  tk::DeferToLoop([alive = page->Alive()] { delete *alive; });
}

void CFRMainDlg::ShowSelectedPage() {
  int row = TreeSelection(kTreeId);
  if (row < 0 && TreeCount(kTreeId) > 0) {
    row = 0;
    TreeSelect(kTreeId, row);
  }
  if (row >= 0) ShowPage(row);
}

void CFRMainDlg::ShowPage(int row) {
  const CFRNode* node = nullptr;
  for (const CFRNode& n : m_nodes)
    if (row >= 0 && n.row == row) {
      node = &n;
      break;
    }
  if (!node) return;
  DropPage();
  try {
    m_pPage = m_pageFactory ? m_pageFactory(*node, *this) : m_wiring.CreatePage(*node, *this);
  } catch (const std::exception& e) {
    ReportFailure(std::string("Страница не создана: ") + e.what());
    return;
  }
  if (!m_pPage) return;
  // A page whose reads fail is still placed and shown with its command
  // buttons working; the failure is reported once, here.
  try {
    m_pPage->CreateInFrame(PageRect());
  } catch (uint16_t code) { ReportError(code); } catch (const std::exception& e) {
    ReportFailure(std::string("Страница не создана: ") + e.what());
    if (!m_pPage->IsPlaced()) DropPage();
  }
}

bool CFRMainDlg::OnWindowKey(const tk::Key& key) {
  // Enter reaches the main window from the tree, the combo boxes and its
  // buttons; the window has no default action, so it runs nothing (a
  // page's own fields hand Enter to the page first).
  return key.kind == tk::Key::Kind::Enter;
}
