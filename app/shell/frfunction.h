// SPDX-License-Identifier: GPL-3.0-or-later
// CFRFunction: the base of every function page.  A page is a child dialog
// placed right of the tree; its command button runs the page's command on
// the register worker, its status button shows the register status, its
// interrupt button cancels a running report.
//
// Data in, outcome out: a page's MakeCommand() takes its inputs from its
// controls on the UI thread into plain values and returns the command,
// which holds those copies and no page.  The worker runs it, the register
// sequence (plain C++ in app/<subsystem>/core) among them, and the page
// shows the outcome if it still exists; a page replaced or closed in the
// meantime simply goes, its command runs to its end.  The guards below
// restore the main window on every path.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "event.h"
#include "interaction.h"
#include "page_host.h"
#include "register_worker.h"
#include "dialog.h"
#include "prompts.h"
#include "ui_thread.h"

// A register sequence's questions asked from the worker: each is shown on
// the UI thread (owned by `owner`) while the worker waits.
class WorkerInteraction : public termina::app::Interaction {
 public:
  explicit WorkerInteraction(const tk::Dialog* owner) : m_owner(owner) {}
  termina::app::Answer Ask(const termina::app::Question& q) override;

 private:
  const tk::Dialog* m_owner;
};

class CFRFunction;

// What a page's command may do while it runs on the register worker.  The
// command holds copies of the page's inputs, not the page: every service
// here is safe when the page has been replaced or closed meanwhile (what
// was meant for the page is then left out, the host's status line still
// gets the outcome while the main window exists).
class CommandJob {
 public:
  CommandJob(std::shared_ptr<CFRFunction* const> page, std::shared_ptr<PageHost* const> host);

  // Questions and messages of a register sequence, owned by the page (or
  // the main window once the page has gone).
  termina::app::Interaction& Ui() { return m_ui; }
  int MessageBox(const std::string& text, const std::string& title = tk::kProgramName, tk::Icon icon = tk::Icon::None,
                 tk::Buttons buttons = tk::Buttons::Ok, int defaultButton = tk::IDOK);
  // The host's status line.
  void ShowStatusText(const std::string& text);
  // Runs f(page) on the UI thread, and waits for it, when the page still
  // exists; false when it has gone.
  template <class P = CFRFunction, class F>
  bool OnPage(F&& f);
  // Runs f on the UI thread and waits for it.
  template <class F>
  auto OnUi(F&& f) {
    return reg::Worker::Get().OnUi(std::forward<F>(f));
  }
  bool IsShiftOpen();
  // UI thread: the window that owns the command's messages.
  const tk::Dialog* Owner() const;
  const std::shared_ptr<PageHost* const>& HostAlive() const { return m_host; }

 private:
  class JobUi : public termina::app::Interaction {
   public:
    explicit JobUi(CommandJob& job) : m_job(job) {}
    termina::app::Answer Ask(const termina::app::Question& q) override;

   private:
    CommandJob& m_job;
  };
  std::shared_ptr<CFRFunction* const> m_page;
  std::shared_ptr<PageHost* const> m_host;
  JobUi m_ui{*this};
};

class CFRFunction : public tk::CDialog {
 public:
  // A page's command: runs on the register worker with copies of the
  // page's inputs (see CommandJob).
  using Command = std::function<void(CommandJob&)>;

  // Command row identifiers shared by all page templates.
  enum : int { kExecuteId = 1014, kStatusId = 105, kInterruptId = 1056, kExitId = 1 };

  explicit CFRFunction(PageHost& host);
  ~CFRFunction() override;

  // ---- Operations pages override ----
  // UI thread: the command the command button runs, made of copies of the
  // page's inputs.  The page without a command of its own says so.
  virtual Command MakeCommand();
  virtual unsigned GetTemplateId() const { return 134; }
  // Runs on the UI thread before a command starts; FALSE starts nothing.
  virtual bool ValidateInput() { return true; }
  virtual void SetInitialFocus() {}

  int TemplateId() const final { return static_cast<int>(GetTemplateId()); }

  // Creates the page window from its template inside the host window, binds
  // the command buttons, places it at `rect` (host client coordinates) and
  // shows it, then runs OnInitDialog.  A failure of the page's reads
  // (thrown driver code) leaves the page placed with working buttons and
  // is passed on for the host to report.
  void CreateInFrame(const tk::Rect& rect);
  bool IsPlaced() const { return m_bPlaced; }

  // Thrown out of a command once it has shown its outcome itself: the
  // command then ends without a text of the framework's own, so the status
  // line keeps what the command put there.
  struct OutcomeShown {};

  // The page's command has been started and its end not yet shown.
  bool IsCommandRunning() const { return m_bBusy; }

  // Points to the page while it exists (read on the UI thread only).
  std::shared_ptr<CFRFunction* const> Alive() const { return m_alive; }
  // The host while the page is shown; null once the host let it go.
  PageHost* Host() const { return m_pHost; }

  // UI thread: the status line, and a message owned by the page.
  void ShowStatusText(const std::string& text);
  int MessageBox(const std::string& text, const std::string& title = tk::kProgramName, tk::Icon icon = tk::Icon::None,
                 tk::Buttons buttons = tk::Buttons::Ok, int defaultButton = tk::IDOK);

  // For the length of a scope in a command on the worker (or, from the
  // page itself, on the UI thread): the host's navigation disabled, the
  // whole main window disabled, or the wait cursor shown.  Restored on
  // every path out of the scope (a driver code, any other exception), even
  // when the page has gone meanwhile.
  class HostGuard {
   public:
    HostGuard(CommandJob& job, void (PageHost::*set)(bool), bool during);
    HostGuard(CFRFunction& page, void (PageHost::*set)(bool), bool during);
    ~HostGuard();
    HostGuard(const HostGuard&) = delete;
    HostGuard& operator=(const HostGuard&) = delete;

   private:
    std::shared_ptr<PageHost* const> m_host;
    void (PageHost::*m_set)(bool);
    bool m_during;
    bool m_applied = false;
  };
  struct NavigationDisabled : HostGuard {
    explicit NavigationDisabled(CommandJob& j) : HostGuard(j, &PageHost::EnableNavigation, false) {}
    explicit NavigationDisabled(CFRFunction& p) : HostGuard(p, &PageHost::EnableNavigation, false) {}
  };
  struct MainWindowDisabled : HostGuard {
    explicit MainWindowDisabled(CommandJob& j) : HostGuard(j, &PageHost::EnableMainWindow, false) {}
    explicit MainWindowDisabled(CFRFunction& p) : HostGuard(p, &PageHost::EnableMainWindow, false) {}
  };
  struct WaitCursorShown : HostGuard {
    explicit WaitCursorShown(CommandJob& j) : HostGuard(j, &PageHost::SetWaitCursor, true) {}
    explicit WaitCursorShown(CFRFunction& p) : HostGuard(p, &PageHost::SetWaitCursor, true) {}
  };

  // The host lets the page go (it replaces or closes it): the page is
  // hidden, reads no more and reaches the host no more.  The host deletes
  // it once no handler of it is on the stack; a command it started runs on
  // without it.
  void Dismiss();

  // The page's reads are queued or running on the worker: its controls
  // are disabled, except "ВЫХОД", until they arrive.
  bool IsReading() const { return m_readToken != nullptr; }
  // Abandons the rest of the page's reads: the driver call in progress
  // finishes, no later one starts, and nothing is filled in.
  void AbandonReads();

 protected:
  bool OnInitDialog() override;
  // "ВЫХОД" ends the program; Escape does nothing.
  void OnOK() override;
  void OnCancel() override {}
  // Enter anywhere in the page runs the command button (or the page's
  // push button that has the focus), whatever had the focus before.
  bool OnWindowKey(const tk::Key& key) override;

  void OnExecuteButton();
  void OnStatusButton();
  void OnInterruptButton();
  // The command's start and end, on the UI thread.
  void OnCommandState(bool busy, const std::string* text);

  // Runs `read` on the register worker and then `fill` with its result on
  // the UI thread, unless the page has gone or abandoned its reads by then.
  // Meanwhile the page's controls other than "ВЫХОД" are disabled, the
  // status line says "Ожидание..." and the wait cursor is over the page.
  // `read` must not touch the page: it gets what it needs by value.  A
  // driver code thrown by `read` is reported as any failure is.
  template <class R>
  void ReadThenFill(std::function<R()> read, std::function<void(R&)> fill);

  bool m_bBusy = false;
  // Set while a report may be interrupted: shared with the command, which
  // may outlive the page.
  const std::shared_ptr<termina::sys::ManualResetEvent> m_hIdleEvent =
      std::make_shared<termina::sys::ManualResetEvent>(true);

 private:
  void StartCommand(int id);
  Command StatusCommand();
  void BindCommandButtons();
  void SetCommandControlsEnabled(bool enable);
  void BeginReading();
  void EndReading();
  void ReportReadCode(uint16_t code);
  void ReportReadFault(const std::string& text);

  std::shared_ptr<reg::JobToken> m_readToken;
  // Points to the page while it exists (read on the UI thread only).
  std::shared_ptr<CFRFunction*> m_alive = std::make_shared<CFRFunction*>(this);
  std::vector<int> m_boundButtons;
  PageHost* m_pHost;
  // Numbers the page's commands, so that the end of an earlier one is not
  // taken for the end of the one running.
  unsigned m_nCommand = 0;
  bool m_bPlaced = false;
};

template <class P, class F>
bool CommandJob::OnPage(F&& f) {
  return OnUi([&] {
    CFRFunction* page = *m_page;
    if (!page || !page->Host()) return false;
    f(static_cast<P&>(*page));
    return true;
  });
}

template <class R>
void CFRFunction::ReadThenFill(std::function<R()> read, std::function<void(R&)> fill) {
  BeginReading();
  std::shared_ptr<reg::JobToken> token = m_readToken;
  std::shared_ptr<CFRFunction*> alive = m_alive;
  reg::Worker::Get().Post(
      [alive, token, read = std::move(read), fill = std::move(fill)] {
        // Evaluated on the UI thread only.
        auto current = [alive, token] { return *alive && (*alive)->m_readToken == token && !token->Abandoned(); };
        try {
          auto result = std::make_shared<R>(read());
          reg::PostToUiThread([current, alive, result, fill] {
            if (!current()) return;
            (*alive)->EndReading();
            fill(*result);
          });
        } catch (uint16_t code) {
          reg::PostToUiThread([current, alive, code] {
            if (!current()) return;
            (*alive)->EndReading();
            (*alive)->ReportReadCode(code);
          });
        } catch (const reg::JobAbandoned&) { throw; } catch (...) {
          const std::string text = UnexpectedFailureText(std::current_exception());
          reg::PostToUiThread([current, alive, text] {
            if (!current()) return;
            (*alive)->EndReading();
            (*alive)->ReportReadFault(text);
          });
        }
      },
      token);
}
