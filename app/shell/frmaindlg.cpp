// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmaindlg.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <QKeyEvent>

#include "driver_api.h"
#include "frfunction.h"
#include "ini.h"
#include "paths.h"
#include "register_worker.h"
#include "shell_wiring.h"
#include "speeds.h"
#include "startup.h"

namespace {

const std::string kBusy = "Не завершилась обработка предыдущей команды\nПовторите операцию позже";

// The application's wait cursor for the life of the object.
struct WaitCursor {
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

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
// takes no input and shows the wait cursor, but keeps repainting.  Qt moves
// the focus out of a disabled window; it goes back where it was, so that
// keyboard navigation in the tree goes on.
class WindowWaiting {
 public:
  explicit WindowWaiting(CFRMainDlg* dlg) : m_dlg(dlg), m_focus(QApplication::focusWidget()) {
    m_dlg->EnableMainWindow(false);
  }
  ~WindowWaiting() {
    m_dlg->EnableMainWindow(true);
    if (m_focus && m_focus->isVisible() && m_focus->window() == m_dlg) m_focus->setFocus();
  }
  WindowWaiting(const WindowWaiting&) = delete;
  WindowWaiting& operator=(const WindowWaiting&) = delete;

 private:
  CFRMainDlg* m_dlg;
  QPointer<QWidget> m_focus;
  WaitCursor m_cursor;
};

}  // namespace

CFRMainDlg::CFRMainDlg(ShellWiring& wiring, const QString& commandLine, QWidget* parent)
    : tk::CDialog(102, parent), m_hIcon(tk::LoadIcon(144)), m_wiring(wiring), m_commandLine(commandLine) {}

CFRMainDlg::~CFRMainDlg() {
  if (m_nLockDepth > 0) qApp->removeEventFilter(this);
  if (CFRFunction* page = m_pPage) {
    m_pPage = nullptr;
    page->Retire(true);
  }
}

// ---- Initialisation ------------------------------------------------------------

bool CFRMainDlg::OnInitDialog() {
  setWindowIcon(m_hIcon);
  m_tab = Item<QTabWidget>(1000);
  m_tree = Item<QTreeWidget>(1001);
  m_port = Item<QComboBox>(1087);
  m_speed = Item<QComboBox>(1129);
  m_btnSave = Item<QPushButton>(1089);
  m_btnLoad = Item<QPushButton>(1090);
  m_tab->tabBar()->setFocusPolicy(Qt::NoFocus);
  m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
  m_tree->setStyleSheet(QStringLiteral("QTreeView::item { padding: 1px 2px; }"));
  m_btnSave->hide();
  m_btnLoad->hide();
  for (QLabel* label : findChildren<QLabel*>()) {
    const QVariant id = label->property("bitmapId");
    if (id.isValid()) label->setPixmap(tk::LoadBitmap(id.toInt()));
  }
  for (int i = 1; i <= 10; ++i) m_port->addItem(QStringLiteral("COM%1").arg(i));
  for (unsigned s : termina::app::kProgramSpeeds) m_speed->addItem(QString::number(s));

  m_status = new QStatusBar(this);
  m_status->setProperty("ctrlId", 104);
  m_status->setSizeGripEnabled(false);
  for (int i = 0; i < 2; ++i) {
    m_statusPart[i] = new QLabel(m_status);
    m_statusPart[i]->setMargin(2);
  }
  m_status->addWidget(m_statusPart[0], 1);
  m_statusPart[1]->setFixedWidth(100);
  m_status->addPermanentWidget(m_statusPart[1]);
  m_status->setGeometry(0, height() - m_status->sizeHint().height(), width(), m_status->sizeHint().height());

  connect(m_tab, &QTabWidget::currentChanged, this, &CFRMainDlg::OnTabChanged);
  connect(m_tree, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem*) { OnTreeSelectionChanged(current); });

  const std::string ini = termina::paths::iniPath();
  unsigned port = termina::ini::readInt(ini, "General", "Port", 0);
  if (port == 0) {
    termina::ini::writeString(ini, "General", "Port", "1");
    port = 1;
  }
  const std::string speed = termina::ini::readString(ini, "General", "Speed", "", 100);
  if (speed.empty()) termina::ini::writeString(ini, "General", "Speed", "19200");
  const int speedIndex = speed.empty() ? -1 : m_speed->findText(FromAnsi(speed.c_str()), Qt::MatchFixedString);
  m_speed->setCurrentIndex(speedIndex < 0 ? 0 : speedIndex);
  m_port->setCurrentIndex(port <= 10 ? static_cast<int>(port) - 1 : -1);
  // Only a changed choice reconnects: choosing the entry already selected
  // does nothing.
  connect(m_port, qOverload<int>(&QComboBox::currentIndexChanged), this, &CFRMainDlg::OnPortChanged);
  connect(m_speed, qOverload<int>(&QComboBox::currentIndexChanged), this, &CFRMainDlg::OnSpeedChanged);
  // Enter on a button of the main window presses nothing: the window has no
  // default action, and a page's command must not start from here.
  for (QPushButton* b : {m_btnSave, m_btnLoad}) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }
  connect(m_btnSave, &QPushButton::clicked, this, [this] { m_wiring.SaveSettings(*this); });
  connect(m_btnLoad, &QPushButton::clicked, this, [this] { m_wiring.LoadSettings(*this); });

  if (!Reinitialize()) EndDialog(tk::IDCANCEL);
  return true;
}

void CFRMainDlg::EndNow() {
  std::fflush(nullptr);
  std::_Exit(0);
}

void CFRMainDlg::done(int result) {
  tk::CDialog::done(result);
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

void CFRMainDlg::resizeEvent(QResizeEvent* event) {
  tk::CDialog::resizeEvent(event);
  if (m_status) {
    const int h = m_status->sizeHint().height();
    m_status->setGeometry(0, height() - h, width(), h);
  }
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
    const bool nvrSwitch = termina::app::HasNvrSwitch(m_commandLine.toStdString());
    try {
      r = reg::Worker::Get().Run([&] { return termina::app::RunStartup(nvrSwitch, ui, dialogs); });
    } catch (const reg::JobAbandoned&) {
      return false;  // the program is closing
    }
  }
  m_wVersion = r.version;
  if (!r.proceed) return false;
  if (r.connected) {
    m_tab->setEnabled(true);
    m_tree->setEnabled(true);
    SetStatusText(0, termina::app::kReadyText);
  } else if (r.failureText) {
    // The status line keeps the driver's text; the box adds the hint.
    const std::string& text = *r.failureText;
    SetStatusText(0, text);
    Say(r.failureHint ? text + "\n\n" + *r.failureHint : text, "Ошибка", tk::Icon::Error);
  }

  {
    const QSignalBlocker blockTab(m_tab);
    while (m_tab->count() > 0) {
      QWidget* w = m_tab->widget(0);
      m_tab->removeTab(0);
      delete w;
    }
    ClearTree();
    m_wLayout = LayoutFor(m_wVersion);
    for (const std::string& caption : TabCaptions(m_wLayout)) m_tab->addTab(new QWidget, tk::Q(caption));
    m_tab->setCurrentIndex(0);
  }
  BuildTreeForTab(0);
  UpdateFileButtons();

  switch (NoticeFor(m_wVersion)) {
    case VersionNotice::NotSupported:
      Say(kNotSupported, "Предупреждение", tk::Icon::Exclamation);
      QMetaObject::invokeMethod(
          this, [this] { EndDialog(tk::IDCANCEL); }, Qt::QueuedConnection);
      break;
    case VersionNotice::UpdateWarning: Say(kUpdateWarning, "Предупреждение", tk::Icon::Exclamation); break;
    case VersionNotice::None: break;
  }
  SelectFirstAndShow();
  ShowModelName(m_wVersion);
  update();
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
  m_tab->setEnabled(enable);
  m_tree->setEnabled(enable);
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
  m_focusBeforeLock = QApplication::focusWidget();
  QWidget* page = m_pPage;
  // Escape keeps its meaning: from the tree, the tabs or the port and speed
  // boxes it ends the program; from inside a page it does nothing.
  m_escapeEnds = !(m_focusBeforeLock && page && page->isAncestorOf(m_focusBeforeLock));
  // No control keeps the focus while the window waits, as in a disabled
  // window: keys reach the window itself (Escape), and the focus is not
  // handed to "ВЫХОД", where Enter would end the program.
  if (m_focusBeforeLock && m_focusBeforeLock->window() == this) m_focusBeforeLock->clearFocus();
  const auto lock = [this](QWidget* w) {
    if (!w->isEnabled()) return;
    w->setEnabled(false);
    m_locked.emplace_back(w);
  };
  for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (w == page || w->isWindow()) continue;
    lock(w);
  }
  if (page) {
    QWidget* exit = m_pPage->OptionalItem(CFRFunction::kExitId);
    for (QWidget* w : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (w != exit && !w->isWindow()) lock(w);
  }
  qApp->installEventFilter(this);
}

void CFRMainDlg::UnlockInput() {
  qApp->removeEventFilter(this);
  for (const QPointer<QWidget>& w : m_locked)
    if (w) w->setEnabled(true);
  m_locked.clear();
  m_focusBeforeLock = nullptr;
}

bool CFRMainDlg::eventFilter(QObject* watched, QEvent* event) {
  if (m_nLockDepth > 0 && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (w && w->window() == this) {
      if (m_escapeEnds) OnCancel();
      return true;
    }
  }
  return tk::CDialog::eventFilter(watched, event);
}

void CFRMainDlg::SetWaitCursor(bool wait) {
  m_bWaitCursor = wait;
  if (wait)
    setCursor(Qt::WaitCursor);
  else
    unsetCursor();
}

void CFRMainDlg::ShowModelName(uint16_t version) { SetStatusText(1, ModelName(version)); }

void CFRMainDlg::UpdateFileButtons() {
  const bool show = m_tab->currentIndex() == ProgrammingTabIndex(m_wLayout) && FileButtonsAllowed(m_wVersion);
  m_btnSave->setVisible(show);
  m_btnLoad->setVisible(show);
}

void CFRMainDlg::SetStatusText(int part, const std::string& text) {
  if (part >= 0 && part < 2 && m_statusPart[part]) m_statusPart[part]->setText(tk::Q(text));
}

std::string CFRMainDlg::StatusText(int part) const {
  return part >= 0 && part < 2 && m_statusPart[part] ? tk::S(m_statusPart[part]->text()) : std::string();
}

// ---- Port and speed --------------------------------------------------------------

bool CFRMainDlg::PageBusy() const { return m_pPage && (m_pPage->IsBusy() || m_pPage->IsCommandRunning()); }

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
  termina::ini::writeString(termina::paths::iniPath(), "General", "Speed", m_speed->itemText(index).toStdString());
  if (!Reinitialize()) EndDialog(tk::IDCANCEL);
}

// ---- Tree and pages --------------------------------------------------------------

void CFRMainDlg::ClearTree() {
  const QSignalBlocker block(m_tree);
  m_tree->clear();
  m_nodes.clear();
}

void CFRMainDlg::BuildTree(const std::vector<NodeEntry>& entries) {
  const QSignalBlocker block(m_tree);
  for (const NodeEntry& entry : entries) {
    auto* item = new QTreeWidgetItem(m_tree, QStringList{tk::Q(entry.caption)});
    CFRNode node;
    node.code = entry.code;
    node.row = m_tree->indexOfTopLevelItem(item);
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
  m_tree->setUpdatesEnabled(false);
  switch (TabAt(m_wLayout, index)) {
    case TabKind::Inspector: BuildInspectorTree(); break;
    case TabKind::EEJ: BuildEEJTree(); break;
    case TabKind::Programming: BuildProgrammingTree(); break;
  }
}

void CFRMainDlg::SelectFirstAndShow() {
  QTreeWidgetItem* first = m_tree->topLevelItem(0);
  {
    const QSignalBlocker block(m_tree);
    if (first) m_tree->setCurrentItem(first);
  }
  m_tree->setUpdatesEnabled(true);
  m_tree->update();
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

void CFRMainDlg::OnTreeSelectionChanged(QTreeWidgetItem* current) {
  // Only selections made by the user arrive here: the program blocks the
  // tree's signals while it changes the selection itself.  The page shown
  // reads no more; the check and the new page follow.
  if (m_pPage) m_pPage->AbandonReads();
  if (!CheckDevice()) return;
  ShowPage(current);
  if (m_pPage) m_pPage->SetInitialFocus();
}

QRect CFRMainDlg::PageRect() const {
  const QRect header = m_tab->tabBar()->tabRect(0);
  const QRect tab = m_tab->geometry();
  const QRect tree = m_tree->geometry();
  const int left = tab.x() + tree.width() + 10;
  const int top = tab.y() + header.height() + 5;
  const int right = tab.x() + tab.width() - 5;
  const int bottom = tab.y() + tab.height() - 5;
  return QRect(left, top, right - left, bottom - top);
}

void CFRMainDlg::DropPage() {
  if (!m_pPage) return;
  CFRFunction* page = m_pPage;
  m_pPage = nullptr;
  page->Retire();
}

void CFRMainDlg::ShowSelectedPage() {
  QTreeWidgetItem* item = m_tree->currentItem();
  if (!item && (item = m_tree->topLevelItem(0))) {
    const QSignalBlocker block(m_tree);
    m_tree->setCurrentItem(item);
  }
  if (item) ShowPage(item);
}

void CFRMainDlg::ShowPage(QTreeWidgetItem* item) {
  const CFRNode* node = nullptr;
  const int row = item ? m_tree->indexOfTopLevelItem(item) : -1;
  for (const CFRNode& n : m_nodes)
    if (n.row == row) {
      node = &n;
      break;
    }
  if (!item || !node) return;
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

void CFRMainDlg::keyPressEvent(QKeyEvent* event) {
  // Enter reaches the main window from the tree, the combo boxes and its
  // buttons; the window has no default action, so it runs nothing (a
  // page's own fields hand Enter to the page first).
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  tk::CDialog::keyPressEvent(event);
}
