#include "program_wiring.h"

#include "changepwd.h"
#include "eejpages.h"
#include "fiscregister.h"
#include "frconnectparams.h"
#include "frfunction.h"
#include "frinstall.h"
#include "frlogo.h"
#include "rangereports.h"
#include "repairnvr.h"
#include "synchro.h"
#include "testsell.h"

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
      // Tables whose page class is still to come show the plain page.
      {0xA1, 0, &MakePage<CFRFunction>},
      {0xA1, 5, &MakePage<CFRLogo>},
      {0xA1, 20, &MakePage<CFRFunction>},
      {0xA1, 21, &MakePage<CFRFunction>},
      {0xA1, 22, &MakePage<CFRFunction>},
      {0xA1, 23, &MakePage<CFRFunction>},
      {0xA1, 24, &MakePage<CFRFunction>},
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

bool ProgramWiring::AskExchangePassword(const QString& current, QString* entered) {
  CChangePwd dlg(current, nullptr);
  if (dlg.DoModal() != tk::IDOK) return false;
  *entered = dlg.m_strNew;
  return true;
}

// ---- Settings file -------------------------------------------------------------

void ProgramWiring::SaveSettings(PageHost&) {}
void ProgramWiring::LoadSettings(PageHost&) {}
