// SPDX-License-Identifier: GPL-3.0-or-later
#include "frfunction.h"

#include <algorithm>

#include "driver_api.h"
#include "frstatusdlg.h"
#include "startup.h"

namespace {

const std::string kWaiting = "Ожидание...";
const std::string kReady = "Готов";
const std::string kPreviousRunning = "Не завершилась обработка предыдущей команды";

}  // namespace

void ReportFailure(PageHost* host, const tk::Dialog* owner, const std::string& text) {
  if (host) host->SetStatusText(0, text);
  tk::ThePrompts().ShowMessage({text, "Ошибка", tk::Icon::Error, tk::Buttons::Ok, tk::IDOK, owner});
}

void ReportFailure(PageHost* host, const tk::Dialog* owner, uint16_t code) {
  if (const auto text = termina::app::ErrorText(code)) ReportFailure(host, owner, *text);
}

std::string UnexpectedFailureText(const std::exception_ptr& e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& x) { return std::string("Внутренняя ошибка программы: ") + x.what(); } catch (...) {
  }
  return "Внутренняя ошибка программы";
}

// What the UI thread and a command thread share about one command.  The
// thread sets `ended` after its last access to the page.
struct CFRFunction::CommandThread {
  std::atomic<bool> ended{false};
  std::shared_ptr<CFRFunction*> page;  // read on the UI thread only
};

std::atomic<int> CFRFunction::s_running{0};

int CFRFunction::RunningThreads() { return s_running.load(); }

CFRFunction::CFRFunction(PageHost& host)
    : tk::CDialog(134),
      // Made here as well as in OnInitDialog, so that a page whose own
      // initialisation failed still has working command buttons.
      m_hIdleEvent(std::make_shared<termina::sys::ManualResetEvent>(true)),
      m_pHost(&host),
      m_channel(tk::UiChannel::Create()) {}

CFRFunction::~CFRFunction() {
  *m_alive = nullptr;
  m_channel->Close();
}

bool CFRFunction::OnInitDialog() {
  m_hIdleEvent = std::make_shared<termina::sys::ManualResetEvent>(true);
  return true;
}

void CFRFunction::CreateInFrame(const tk::Rect& rect) {
  BecomeChildOf(m_pHost->HostWindow());
  BuildTemplate();
  BindCommandButtons();
  PlaceAt(rect);
  m_bPlaced = true;
  InitDialog();
  BindCommandButtons();  // buttons a page made in its initialisation
}

void CFRFunction::BindCommandButtons() {
  // Only push buttons: a page may use one of these numbers for a control
  // of its own (the parameters page's check box 1056 is no interrupt).
  const auto bind = [this](int id, void (CFRFunction::*handler)()) {
    if (!IsPushButton(id)) return;
    if (std::find(m_boundButtons.begin(), m_boundButtons.end(), id) != m_boundButtons.end()) return;
    m_boundButtons.push_back(id);
    OnClicked(id, [this, handler] { (this->*handler)(); });
  };
  bind(kExecuteId, &CFRFunction::OnExecuteButton);
  bind(kStatusId, &CFRFunction::OnStatusButton);
  bind(kInterruptId, &CFRFunction::OnInterruptButton);
}

void CFRFunction::OnOK() {
  if (m_pHost) m_pHost->Quit();
}

bool CFRFunction::OnWindowKey(const tk::Key& key) {
  if (key.kind != tk::Key::Kind::Enter) return false;
  // The page is a child of the main window, so the dialog's own default
  // button handling does not see it: Enter presses the focused push button
  // of the page, else the command button.
  const int focused = FocusedItem();
  if (focused && IsPushButton(focused)) {
    if (IsItemEnabled(focused)) Press(focused);
    return true;
  }
  if (IsPushButton(kExecuteId)) Press(kExecuteId);
  return true;
}

void CFRFunction::ShowStatusText(const std::string& text) {
  OnUi([&] {
    if (m_pHost) m_pHost->SetStatusText(0, text);
  });
}

termina::app::Answer CFRFunction::ThreadUi::Ask(const termina::app::Question& q) {
  return m_page.OnUi([&] { return tk::PromptInteraction(&m_page).Ask(q); });
}

termina::app::Answer WorkerInteraction::Ask(const termina::app::Question& q) {
  return reg::Worker::Get().OnUi([&] { return tk::PromptInteraction(m_owner).Ask(q); });
}

CFRFunction::HostGuard::HostGuard(CFRFunction& page, void (PageHost::*set)(bool), bool during)
    : m_set(set), m_during(during) {
  page.OnUi([&] {
    if (PageHost* host = page.m_pHost) {
      m_host = host->Alive();
      (host->*m_set)(m_during);
      m_applied = true;
    }
  });
}

CFRFunction::HostGuard::HostGuard(CommandJob& job, void (PageHost::*set)(bool), bool during)
    : m_set(set), m_during(during) {
  job.OnUi([&] {
    if (PageHost* host = *job.HostAlive()) {
      m_host = job.HostAlive();
      (host->*m_set)(m_during);
      m_applied = true;
    }
  });
}

CFRFunction::HostGuard::~HostGuard() {
  if (!m_applied) return;
  // The page may have gone meanwhile; the host is reached through its
  // liveness pointer, and from the command thread by a posted call, which
  // runs before any later call of the same thread.
  auto restore = [host = m_host, set = m_set, value = !m_during] {
    if (PageHost* h = *host) (h->*set)(value);
  };
  if (tk::OnUiThread())
    restore();
  else
    tk::PostToUi(restore);
}

void CFRFunction::Execute() { MessageBox("Выберите команду"); }

CFRFunction::Command CFRFunction::MakeCommand() { return {}; }

// ---- Commands on the worker ------------------------------------------------------

CommandJob::CommandJob(std::shared_ptr<CFRFunction* const> page, std::shared_ptr<PageHost* const> host)
    : m_page(std::move(page)), m_host(std::move(host)) {}

const tk::Dialog* CommandJob::Owner() const {
  if (CFRFunction* page = *m_page; page && !page->IsRetired()) return page;
  if (PageHost* host = *m_host) return host->HostDialog();
  return nullptr;
}

termina::app::Answer CommandJob::JobUi::Ask(const termina::app::Question& q) {
  return m_job.OnUi([&] { return tk::PromptInteraction(m_job.Owner()).Ask(q); });
}

int CommandJob::MessageBox(const std::string& text, const std::string& title, tk::Icon icon, tk::Buttons buttons,
                           int defaultButton) {
  return OnUi([&] { return tk::ThePrompts().ShowMessage({text, title, icon, buttons, defaultButton, Owner()}); });
}

void CommandJob::ShowStatusText(const std::string& text) {
  OnUi([&] {
    if (PageHost* host = *m_host) host->SetStatusText(0, text);
  });
}

bool CommandJob::IsShiftOpen() { return termina::app::IsShiftOpen(); }

bool CFRFunction::IsShiftOpen() { return termina::app::IsShiftOpen(); }

// ---- Services usable from the command thread ---------------------------------

int CFRFunction::MessageBox(const std::string& text, const std::string& title, tk::Icon icon, tk::Buttons buttons,
                            int defaultButton) {
  return OnUi([&] {
    tk::Message m{text, title, icon, buttons, defaultButton, this};
    return tk::ThePrompts().ShowMessage(m);
  });
}

std::string CFRFunction::GetItemText(int id) {
  return OnUi([&] { return ItemText(id); });
}

void CFRFunction::SetItemText(int id, const std::string& text) {
  OnUi([&] { SetItemTextNow(id, text); });
}

void CFRFunction::EnableItem(int id, bool enable) {
  OnUi([&] { EnableItemNow(id, enable); });
}

void CFRFunction::FocusItem(int id) {
  OnUi([&] { FocusItemNow(id); });
}

// ---- Commands ------------------------------------------------------------------

void CFRFunction::OnExecuteButton() {
  if (m_hThread) {
    tk::ThePrompts().ShowMessage(
        {kPreviousRunning, tk::kProgramName, tk::Icon::Exclamation, tk::Buttons::Ok, tk::IDOK, this});
    return;
  }
  if (!ValidateInput()) return;
  // A device change re-initialises the main window, which replaces this
  // page; leave without touching it.
  if (!m_pHost || !m_pHost->CheckDevice()) return;
  SetCommandControlsEnabled(false);
  StartCommand(kExecuteId);
}

void CFRFunction::OnStatusButton() {
  if (m_hThread) {
    tk::ThePrompts().ShowMessage(
        {kPreviousRunning, tk::kProgramName, tk::Icon::Exclamation, tk::Buttons::Ok, tk::IDOK, this});
    return;
  }
  StartCommand(kStatusId);
}

void CFRFunction::SetCommandControlsEnabled(bool enable) {
  for (int id : {static_cast<int>(kStatusId), 1087, 1129})
    if (HasItem(id)) EnableItemNow(id, enable);
}

void CFRFunction::StartCommand(int id) {
  Command command = id == kStatusId ? StatusCommand() : MakeCommand();
  if (command) {
    RunCommand(std::move(command));
    return;
  }
  auto record = std::make_shared<CommandThread>();
  record->page = m_alive;
  m_hThread = record;
  m_lastThread = record;
  ++s_running;
  auto* request = new Request{id, this};
  reg::Worker::Get().Post([request, record] { CommandThreadProc(request, record); });
}

void CFRFunction::CommandThreadProc(Request* request, std::shared_ptr<CommandThread> record) {
  std::unique_ptr<Request> req(request);
  CFRFunction* page = req->page;
  // The page is not deleted before `record->ended` is set below, but once it
  // is retired every UI call throws PageGone and the thread winds down.
  try {
    page->m_hIdleEvent->set();
    page->OnUi([&] { page->OnCommandState(true, &kWaiting); });
    std::string text = kReady;
    bool haveText = true;
    try {
      if (req->id == kStatusId)
        page->RunStatusCommand();
      else
        page->Execute();
    } catch (uint16_t code) {
      const auto t = termina::app::ErrorText(code);
      haveText = t.has_value();
      text = t.value_or(std::string());
    } catch (const tk::PageGone&) { throw; } catch (const OutcomeShown&) {
      // The page has shown the outcome itself.
      haveText = false;
    } catch (const reg::JobAbandoned&) { throw; } catch (...) {
      // A fault of the program, not of the register: said so, not hidden.
      text = UnexpectedFailureText(std::current_exception());
    }
    req.reset();
    page->OnUi([&] { page->OnCommandState(false, haveText ? &text : nullptr); });
    page->m_hIdleEvent->set();
  } catch (const tk::PageGone&) {
    // The page was replaced or the program is closing: touch nothing more.
  } catch (const reg::JobAbandoned&) {
    // The program is closing: the command ends before its next driver call.
  }
  --s_running;
  record->ended = true;
  tk::PostToUi([record] {
    if (CFRFunction* p = *record->page; p && p->m_bRetired)
      tk::DeferToLoop([alive = record->page] {
        if (CFRFunction* q = *alive) delete q;
      });
  });
}

void CFRFunction::RunCommand(Command command) {
  auto record = std::make_shared<CommandThread>();
  record->page = m_alive;
  m_hThread = record;
  m_lastThread = record;
  ++s_running;
  auto job = std::make_shared<CommandJob>(m_alive, m_pHost ? m_pHost->Alive() : std::make_shared<PageHost*>(nullptr));
  // The event is shared with the command, which may outlive the page.
  std::shared_ptr<termina::sys::ManualResetEvent> idle = m_hIdleEvent;
  idle->set();
  OnCommandState(true, &kWaiting);
  reg::Worker::Get().Post([command = std::move(command), job, record, idle] {
    std::string text = kReady;
    bool haveText = true;
    try {
      command(*job);
    } catch (uint16_t code) {
      const auto t = termina::app::ErrorText(code);
      haveText = t.has_value();
      text = t.value_or(std::string());
    } catch (const OutcomeShown&) {
      // The command has shown its outcome itself.
      haveText = false;
    } catch (const reg::JobAbandoned&) {
      // The program is closing: the command ended before its next driver call.
      haveText = false;
    } catch (...) {
      // A fault of the program, not of the register: said so, not hidden.
      text = UnexpectedFailureText(std::current_exception());
    }
    idle->set();
    --s_running;
    record->ended = true;
    tk::PostToUi([record, job, text, haveText] {
      if (CFRFunction* page = *record->page) {
        if (!page->IsRetired()) {
          if (page->m_hThread == record) page->OnCommandState(false, haveText ? &text : nullptr);
          return;
        }
        // Retired while the command ran: Retire left its deletion to the
        // command's end.
        tk::DeferToLoop([alive = record->page] {
          if (CFRFunction* q = *alive) delete q;
        });
      }
      // The page went while its command ran: the outcome still reaches the
      // status line, and a failure its box.
      PageHost* host = *job->HostAlive();
      if (!host || !haveText) return;
      if (text != kReady && text != kWaiting)
        ReportFailure(host, host->HostDialog(), text);
      else
        host->SetStatusText(0, text);
    });
  });
}

CFRFunction::Command CFRFunction::StatusCommand() {
  return [](CommandJob& job) {
    const termina::app::StatusReport r = termina::app::ReadStatusReport();
    job.OnUi([&] {
      CFRStatusDlg dlg(r.bytes.fatal.byte, r.bytes.status.byte, r.bytes.doc.byte, r.printer.byte, !r.printerAvailable,
                       const_cast<tk::Dialog*>(job.Owner()));
      dlg.DoModal();
    });
  };
}

void CFRFunction::RunStatusCommand() {
  const termina::app::StatusReport r = termina::app::ReadStatusReport();
  OnUi([&] {
    CFRStatusDlg dlg(r.bytes.fatal.byte, r.bytes.status.byte, r.bytes.doc.byte, r.printer.byte, !r.printerAvailable,
                     this);
    dlg.DoModal();
  });
}

void CFRFunction::OnCommandState(bool busy, const std::string* text) {
  m_bBusy = busy;
  if (!busy) {
    m_hThread.reset();
    SetCommandControlsEnabled(true);
  }
  if (text) {
    if (*text != kReady && *text != kWaiting)
      ReportFailure(m_pHost, this, *text);
    else
      ShowStatusText(*text);
  }
}

void CFRFunction::OnInterruptButton() {
  if (!m_hThread || !m_hIdleEvent || !m_hIdleEvent->waitFor(std::chrono::milliseconds(0))) return;
  m_hIdleEvent->reset();
  try {
    TRMA_CancelReport();
    tk::ThePrompts().ShowMessage({"Отчет прерван", "Предупреждение", tk::Icon::Error, tk::Buttons::Ok, tk::IDOK, this});
  } catch (uint16_t code) {
    // Shown in the box only: the status line is the running report's.
    ReportFailure(nullptr, this, code);
  }
}

// ---- Lifetime ------------------------------------------------------------------

void CFRFunction::BeginReading() {
  if (m_readToken) m_readToken->Abandon();
  m_readToken = std::make_shared<reg::JobToken>();
  DisableControlsExcept(kExitId);
  SetWindowWaitCursor(true);
  if (m_pHost) m_pHost->SetStatusText(0, kWaiting);
}

void CFRFunction::EndReading() {
  m_readToken.reset();
  EnableControlsAgain();
  SetWindowWaitCursor(false);
  if (m_pHost) m_pHost->SetStatusText(0, kReady);
}

void CFRFunction::AbandonReads() {
  if (!m_readToken) return;
  m_readToken->Abandon();
  EndReading();
}

void CFRFunction::ReportReadCode(uint16_t code) { ReportFailure(m_pHost, this, code); }

void CFRFunction::ReportReadFault(const std::string& text) { ReportFailure(m_pHost, this, text); }

void CFRFunction::Retire(bool now) {
  if (m_bRetired) return;
  if (m_readToken) m_readToken->Abandon();
  m_bRetired = true;
  m_pHost = nullptr;
  m_channel->Close();
  SetVisible(false);
  BecomeChildOf(nullptr);
  // The deletion waits until control is back in the event loop that is
  // running now, so no handler of this page is on the stack any more.
  if (m_lastThread && !m_lastThread->ended) return;  // the thread's end deletes it
  if (now)
    delete this;
  else
    tk::DeferToLoop([alive = m_alive] {
      if (CFRFunction* p = *alive) delete p;
    });
}
