// SPDX-License-Identifier: GPL-3.0-or-later
#include "frapp.h"

#include "application.h"
#include "frmaindlg.h"
#include "register_worker.h"

int CFRApp::Run(int argc, char** argv, ShellWiring& wiring) {
  return tk::RunApplication(argc, argv, "ru.termina.TerminaTool", [&](const std::string& commandLine) {
    {
      CFRMainDlg dlg(wiring, commandLine);
      dlg.DoModal();
    }
    // The register worker may still be inside the driver (a report running
    // when the window was closed): ended unless it is idle within a second.
    if (!reg::Worker::Get().Stop(1000)) CFRMainDlg::EndNow();
    return 0;
  });
}
