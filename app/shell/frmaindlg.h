// CFRMainDlg: the main window (template 102).  Connects to the register,
// decides from its answers what the user may do, and shows the page of the
// function selected in the tree.
#pragma once

#include <QIcon>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

#include "function_tree.h"
#include "toolkit.h"

class CFRFunction;
class QComboBox;
class QLabel;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

class CFRMainDlg : public tk::CDialog {
  Q_OBJECT
 public:
  // `commandLine` is searched for the "/NVR" switch.
  explicit CFRMainDlg(const QString& commandLine = QString(), QWidget* parent = nullptr);
  ~CFRMainDlg() override;

  bool Reinitialize();
  bool CheckDevice();
  void ShowPage(QTreeWidgetItem* item);
  void EnableNavigation(bool enable);
  void SetWaitCursor(bool wait);
  void ShowModelName(uint16_t version);
  void UpdateFileButtons();
  bool AskExchangePassword();

  void BuildInspectorTree();
  void BuildEEJTree();
  void BuildProgrammingTree();

  // Status bar: part 0 the message line, part 1 the model name.
  void SetStatusText(int part, const QString& text);
  QString StatusText(int part) const;

  CFRFunction* CurrentPage() const { return m_pPage; }
  const std::vector<CFRNode>& Nodes() const { return m_nodes; }

  // Creates the page of a node (null for a node without a page).  Replaced
  // only by tests.
  using PageFactory = std::function<CFRFunction*(const CFRNode&, CFRMainDlg*)>;
  void SetPageFactory(PageFactory factory) { m_pageFactory = std::move(factory); }
  // The rectangle a page gets, in client coordinates.
  QRect PageRect() const;

  QTabWidget* m_tab = nullptr;
  QTreeWidget* m_tree = nullptr;
  uint16_t m_wVersion = 120;
  std::vector<CFRNode> m_nodes;
  uint16_t m_wLayout = kLayoutInspectorFirst;
  QIcon m_hIcon;
  bool m_bWaitCursor = false;
  QStatusBar* m_status = nullptr;
  QPushButton* m_btnSave = nullptr;
  QPushButton* m_btnLoad = nullptr;
  CFRFunction* m_pPage = nullptr;

 protected:
  bool OnInitDialog() override;
  void OnOK() override {}  // Enter has no default action here
  void OnCancel() override { EndDialog(tk::IDCANCEL); }
  void resizeEvent(QResizeEvent* event) override;

 private:
  void OnPortChanged(int index);
  void OnSpeedChanged(int index);
  void OnTabChanged(int index);
  void OnTreeSelectionChanged(QTreeWidgetItem* current);
  bool RefuseWhileBusy();
  void ReportError(uint16_t code);
  int Say(const QString& text, const QString& title = tk::kProgramName, tk::Icon icon = tk::Icon::None);
  void ClearTree();
  void BuildTree(const std::vector<NodeEntry>& entries);
  void BuildTreeForTab(int index);
  void SelectFirstAndShow();
  void DropPage();

  QString m_commandLine;
  PageFactory m_pageFactory;
  QLabel* m_statusPart[2] = {nullptr, nullptr};
  QComboBox* m_port = nullptr;
  QComboBox* m_speed = nullptr;
};

// The page class of a node code, as far as the program has one; other
// codes get the plain CFRFunction page.
CFRFunction* CreatePageForNode(const CFRNode& node, CFRMainDlg* main);
