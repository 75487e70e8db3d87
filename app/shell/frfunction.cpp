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

CFRFunction::CFRFunction(PageHost& host) : tk::CDialog(134), m_pHost(&host) {}

CFRFunction::~CFRFunction() {
  *m_alive = nullptr;
  if (m_readToken) m_readToken->Abandon();
}

bool CFRFunction::OnInitDialog() { return true; }

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
  if (m_pHost) m_pHost->SetStatusText(0, text);
}

int CFRFunction::MessageBox(const std::string& text, const std::string& title, tk::Icon icon, tk::Buttons buttons,
                            int defaultButton) {
  return tk::ThePrompts().ShowMessage({text, title, icon, buttons, defaultButton, this});
}

termina::app::Answer WorkerInteraction::Ask(const termina::app::Question& q) {
  return reg::Worker::Get().OnUi([&] { return tk::PromptInteraction(m_owner).Ask(q); });
}

CFRFunction::HostGuard::HostGuard(CFRFunction& page, void (PageHost::*set)(bool), bool during)
    : m_set(set), m_during(during) {
  if (PageHost* host = page.Host()) {
    m_host = host->Alive();
    (host->*m_set)(m_during);
    m_applied = true;
  }
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

CFRFunction::Command CFRFunction::MakeCommand() {
  return [](CommandJob& job) { job.MessageBox("Выберите команду"); };
}

// ---- Commands on the worker ------------------------------------------------------

CommandJob::CommandJob(std::shared_ptr<CFRFunction* const> page, std::shared_ptr<PageHost* const> host)
    : m_page(std::move(page)), m_host(std::move(host)) {}

const tk::Dialog* CommandJob::Owner() const {
  if (CFRFunction* page = *m_page; page && page->Host()) return page;
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

// ---- Commands ------------------------------------------------------------------

void CFRFunction::OnExecuteButton() {
  if (m_bBusy) {
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
  if (m_bBusy) {
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
  if (!command) {
    SetCommandControlsEnabled(true);
    return;
  }
  const unsigned serial = ++m_nCommand;
  auto job = std::make_shared<CommandJob>(m_alive, m_pHost ? m_pHost->Alive() : std::make_shared<PageHost*>(nullptr));
  std::shared_ptr<termina::sys::ManualResetEvent> idle = m_hIdleEvent;
  idle->set();
  OnCommandState(true, &kWaiting);
  reg::Worker::Get().Post([command = std::move(command), job, idle, serial, alive = m_alive] {
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
    tk::PostToUi([alive, job, text, haveText, idle, serial] {
      // The interrupt button is free again only together with the end of
      // the command: set from here, a second press between the two would
      // send another cancel to a register whose report has already ended.
      idle->set();
      if (CFRFunction* page = *alive; page && page->Host()) {
        if (page->m_nCommand == serial) page->OnCommandState(false, haveText ? &text : nullptr);
        return;
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

void CFRFunction::OnCommandState(bool busy, const std::string* text) {
  m_bBusy = busy;
  if (!busy) SetCommandControlsEnabled(true);
  if (text) {
    if (*text != kReady && *text != kWaiting)
      ReportFailure(m_pHost, this, *text);
    else
      ShowStatusText(*text);
  }
}

void CFRFunction::OnInterruptButton() {
  if (!m_bBusy || !m_hIdleEvent->waitFor(std::chrono::milliseconds(0))) return;
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

void CFRFunction::Dismiss() {
  // The status line is the next page's: no "Готов" from here.
  if (m_readToken) m_readToken->Abandon();
  m_pHost = nullptr;
  SetVisible(false);
  BecomeChildOf(nullptr);
}
