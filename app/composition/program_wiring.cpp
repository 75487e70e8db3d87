// SPDX-License-Identifier: GPL-3.0-or-later
#include "program_wiring.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "changepwd.h"
#include "eejpages.h"
#include "fiscregister.h"
#include "frcliche.h"
#include "frconnectparams.h"
#include "frfooter.h"
#include "frfunction.h"
#include "frgroups.h"
#include "frinstall.h"
#include "frlogo.h"
#include "frparams.h"
#include "frpayment.h"
#include "frtaxes.h"
#include "page_host.h"
#include "rangereports.h"
#include "register_worker.h"
#include "repairnvr.h"
#include "settings_file.h"
#include "synchro.h"
#include "testsell.h"
#include "ui_thread.h"

// ---- The page table --------------------------------------------------------
// Adding a page: its own files in its subsystem's folder and one line here.
// A code the table does not name shows the plain CFRFunction page.

const std::vector<PageKind>& ProgramPages() {
  static const std::vector<PageKind> table = {
      {8, PageKind::kAnyArgument, &MakePage<CFiscRegister>},
      {0x77, PageKind::kAnyArgument, &MakePage<CTestSell>},
      {0xA3, PageKind::kAnyArgument, &MakePage<CSynchro>},
      // Programming tables: the first argument names the table; a table the
      // program has no page for leaves the area empty.
      {0xA1, PageKind::kAnyArgument, nullptr},
      {0xA1, 0, &MakePage<CFRParams>},
      {0xA1, 5, &MakePage<CFRLogo>},
      {0xA1, 20, &MakePage<CFRCliche>},
      {0xA1, 21, &MakePage<CFRFooter>},
      {0xA1, 22, &MakePage<CFRPayment>},
      {0xA1, 23, &MakePage<CFRTaxes>},
      {0xA1, 24, &MakePage<CFRGroups>},
      // The register's clock and the data-exchange password.
      {0xF3, PageKind::kAnyArgument, &MakePage<CFRConnectParams>},
      // Fiscal-memory reports; the first argument is the report type.
      {0x62, PageKind::kAnyArgument, &MakePageWithArgument<CFiscShiftReport>},
      {0x63, PageKind::kAnyArgument, &MakePageWithArgument<CFiscDateReport>},
      // The EEJ.
      {9, PageKind::kAnyArgument, &MakePage<CEEJActivate>},
      {10, PageKind::kAnyArgument, &MakePage<CEEJCloseArchive>},
      {0x64, PageKind::kAnyArgument, &MakePage<CEEJReport>},
      {0x65, PageKind::kAnyArgument, &MakePage<CEEJReceipt>},
      {0x66, PageKind::kAnyArgument, &MakePageWithArgument<CEEJShiftReport>},
      {0x67, PageKind::kAnyArgument, &MakePageWithArgument<CEEJDateReport>},
      {0x68, PageKind::kAnyArgument, &MakePage<CEEJActivateReport>},
      {0x69, PageKind::kAnyArgument, &MakePage<CEEJGetShift>},
  };
  return table;
}

CFRFunction* ProgramWiring::CreatePage(const CFRNode& node, PageHost& host) {
  return CreatePageFromTable(ProgramPages(), node, host);
}

// ---- Start-up dialogs --------------------------------------------------------

bool ProgramWiring::RunRecoveryDialog(uint16_t) {
  // The dialog asks the register for its version itself when it opens.
  CRepairNVR recovery(nullptr);
  return recovery.DoModal() == tk::IDOK;
}

void ProgramWiring::RunInstallDialog() {
  CFRInstall install(nullptr);
  install.DoModal();
}

bool ProgramWiring::AskExchangePassword(const std::string& current, std::string* entered) {
  CChangePwd dlg(current, nullptr);
  if (dlg.DoModal() != tk::IDOK) return false;
  *entered = dlg.m_strNew;
  return true;
}

// ---- Settings file -------------------------------------------------------------

// "&Save..." and "&Load..." run their sequences on the register worker
// while the main window waits for them, repainting but taking no input.

namespace {

namespace app = termina::app;

const std::string kBusyText = "Не завершилась обработка предыдущей команды\nПовторите операцию позже";

// The settings file's "name|pattern|...||" filter in the file dialogs'
// form: "name (pattern)" entries joined by ";;".  "*.*" means every file,
// with or without a dot.
std::string DialogFilter() {
  std::vector<std::string> parts;
  std::string part;
  for (const char* c = app::kFileFilter;; ++c) {
    if (*c == '|' || *c == '\0') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
      if (*c == '\0') break;
    } else {
      part += *c;
    }
  }
  std::string filters;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::string name = parts[i];
    if (const auto open = name.find('('); open != std::string::npos && open > 0) {
      name.erase(open);
      while (!name.empty() && name.back() == ' ') name.pop_back();
    }
    const std::string pattern = parts[i + 1] == "*.*" ? "*" : parts[i + 1];
    if (!filters.empty()) filters += ";;";
    filters += name + " (" + pattern + ")";
  }
  return filters;
}

// A name typed without an extension gets ".frc"; when opening, a file of
// exactly the typed name is taken if there is one and no ".frc" file.
std::string WithDefaultExtension(const std::string& name, bool opening) {
  namespace fs = std::filesystem;
  if (name.empty() || !fs::path(name).extension().empty()) return name;
  const std::string withExtension = name + app::kFileExtension;
  std::error_code ec;
  if (opening && fs::is_regular_file(name, ec) && !fs::exists(withExtension, ec)) return name;
  return withExtension;
}

// The register takes one exchange at a time: while the page's command is
// on the register, the buttons say so and do nothing.
bool RefuseWhileCommandRuns(PageHost& host) {
  if (!host.PageBusy()) return false;
  tk::ThePrompts().ShowMessage(
      {kBusyText, tk::kProgramName, tk::Icon::Exclamation, tk::Buttons::Ok, tk::IDOK, host.HostDialog()});
  return true;
}

bool Confirmed(const tk::Dialog* owner, const char* question) {
  return tk::ThePrompts().ShowMessage(
             {question, app::kConfirmTitle, tk::Icon::Question, tk::Buttons::YesNo, tk::IDNO, owner}) == tk::IDYES;
}

// A question in the middle of a load is shown with the normal cursor.
class QuestionWithoutWaitCursor : public app::Interaction {
 public:
  explicit QuestionWithoutWaitCursor(const tk::Dialog* owner) : m_ui(owner) {}
  app::Answer Ask(const app::Question& q) override {
    const tk::WaitCursor normal(false);
    return m_ui.Ask(q);
  }

 private:
  tk::PromptInteraction m_ui;
};

// A load's questions, asked from the worker and shown on the UI thread.
class WorkerQuestions : public app::Interaction {
 public:
  explicit WorkerQuestions(app::Interaction& shown) : m_shown(shown) {}
  app::Answer Ask(const app::Question& q) override {
    return reg::Worker::Get().OnUi([&] { return m_shown.Ask(q); });
  }

 private:
  app::Interaction& m_shown;
};

// The main window takes no input while the file's sequence runs on the
// register worker; it keeps repainting.
struct HostLocked {
  explicit HostLocked(PageHost& host) : m_host(host) { m_host.EnableMainWindow(false); }
  ~HostLocked() { m_host.EnableMainWindow(true); }
  HostLocked(const HostLocked&) = delete;
  HostLocked& operator=(const HostLocked&) = delete;
  PageHost& m_host;
};

void ShowOutcome(PageHost& host, const app::SettingsResult& r) {
  if (r.message.empty()) return;
  if (r.outcome == app::SettingsOutcome::DriverFailure) host.SetStatusText(0, r.message);
  tk::ThePrompts().ShowMessage({r.message, r.title, r.icon, tk::Buttons::Ok, tk::IDOK, host.HostDialog()});
}

}  // namespace

void ProgramWiring::SaveSettings(PageHost& host) {
  const tk::Dialog* owner = host.HostDialog();
  if (RefuseWhileCommandRuns(host) || !Confirmed(owner, app::kSaveQuestion)) return;
  const std::string path =
      WithDefaultExtension(tk::ThePrompts().SaveFileName(owner, "Сохранить как", DialogFilter()), false);
  if (path.empty()) return;
  app::SettingsResult r;
  {
    tk::WaitCursor wait;
    HostLocked locked(host);
    r = reg::Worker::Get().Run([&] { return app::SaveSettings(path); });
  }
  ShowOutcome(host, r);
}

void ProgramWiring::LoadSettings(PageHost& host) {
  const tk::Dialog* owner = host.HostDialog();
  if (RefuseWhileCommandRuns(host) || !Confirmed(owner, app::kLoadQuestion)) return;
  const std::string path = WithDefaultExtension(tk::ThePrompts().OpenFileName(owner, "Открыть", DialogFilter()), true);
  if (path.empty()) return;
  app::SettingsResult r;
  {
    tk::WaitCursor wait;
    HostLocked locked(host);
    QuestionWithoutWaitCursor shown(owner);
    WorkerQuestions ui(shown);
    const uint16_t version = host.Version();
    r = reg::Worker::Get().Run([&] { return app::LoadSettings(path, version, ui); });
  }
  // The load read the register's version before writing to it.
  if (r.outcome == app::SettingsOutcome::Loaded || (r.outcome == app::SettingsOutcome::DriverFailure && r.version != 0))
    host.SetVersion(r.version);
  ShowOutcome(host, r);
  // The page shown reads the new values back from the register.
  if (r.outcome == app::SettingsOutcome::Loaded) host.ShowSelectedPage();
}
