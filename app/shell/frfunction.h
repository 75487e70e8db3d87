// CFRFunction: the base of every function page.  A page is a child dialog
// placed right of the tree; its command button runs the page's Execute()
// on a command thread of its own, its status button shows the register
// status, its interrupt button cancels a running report.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

#include "event.h"
#include "toolkit.h"

class CFRMainDlg;

class CFRFunction : public tk::CDialog {
  Q_OBJECT
 public:
  // Command row identifiers shared by all page templates.
  enum : int { kExecuteId = 1014, kStatusId = 105, kInterruptId = 1056, kExitId = 1 };

  // Accepts the main window and does not keep it: pages reach it through
  // TheMainWnd().
  explicit CFRFunction(CFRMainDlg* main);
  ~CFRFunction() override;

  // ---- Operations pages override ----
  virtual void ShowStatusText(const QString& text);
  // Runs on the command thread.
  virtual void Execute();
  virtual unsigned GetTemplateId() const { return 134; }
  // Runs on the UI thread before a command starts; FALSE starts nothing.
  virtual bool ValidateInput() { return true; }
  virtual void SetInitialFocus() {}

  int TemplateId() const final { return static_cast<int>(GetTemplateId()); }

  // Creates the page window from its template inside the main window and
  // places it at `rect` (main window client coordinates).
  void CreateInFrame(const QRect& rect);
  // Nonzero when the register reports an open shift.  Throws the driver's
  // code on failure.
  bool IsShiftOpen();

  // A command is running: its thread has started and not yet ended.
  bool IsCommandRunning() const { return m_hThread != nullptr; }
  bool m_bBusy = false;

  // ---- Services for Execute() on the command thread (safe on either thread) ----
  // Runs f on the UI thread and returns its result; throws tk::PageGone
  // when the page has been replaced or closed.
  template <class F>
  auto OnUi(F&& f) {
    return m_channel->Call(std::forward<F>(f));
  }
  int MessageBox(const QString& text, const QString& title = tk::kProgramName, tk::Icon icon = tk::Icon::None,
                 tk::Buttons buttons = tk::Buttons::Ok, int defaultButton = tk::IDOK);
  QString GetItemText(int id);
  void SetItemText(int id, const QString& text);
  void EnableItem(int id, bool enable);
  void FocusItem(int id);

  // Called by the main window instead of deleting a page it replaces or
  // closes: the page is hidden and cut off from its thread at once, and
  // deleted once no handler of it is on the stack and its thread has ended.
  // `now` (for the main window's destruction, when no handler can be on the
  // stack) deletes an idle page at once instead of at the next event.
  void Retire(bool now = false);
  bool IsRetired() const { return m_bRetired; }
  // Command threads that have not ended yet, over all pages.
  static int RunningThreads();

 protected:
  bool OnInitDialog() override;
  // "ВЫХОД" ends the program; Escape does nothing.
  void OnOK() override;
  void OnCancel() override {}

  void OnExecuteButton();
  void OnStatusButton();
  void OnInterruptButton();
  // WM_FR_COMMANDSTATE: the command thread reports its start and end.
  void OnCommandState(bool busy, const QString* text);

  QFont m_font;
  std::unique_ptr<termina::sys::ManualResetEvent> m_hIdleEvent;

 private:
  struct CommandThread;
  struct Request {
    int id;
    CFRFunction* page;
  };
  void StartCommand(int id);
  static void CommandThreadProc(Request* request, std::shared_ptr<CommandThread> record);
  void RunStatusCommand();
  void BindCommandButtons();
  void SetCommandControlsEnabled(bool enable);

  std::shared_ptr<CommandThread> m_hThread;     // the running command; null when idle
  std::shared_ptr<CommandThread> m_lastThread;  // the last command started, until it has ended
  std::shared_ptr<tk::UiChannel> m_channel;
  bool m_bRetired = false;
  static std::atomic<int> s_running;
};

// The application's main window.
CFRMainDlg* TheMainWnd();
