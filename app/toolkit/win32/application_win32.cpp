// SPDX-License-Identifier: GPL-3.0-or-later
// The program's start on Win32: the common controls, COM for the imaging
// component and the file dialogs, the UI thread's message window, and the
// command line in UTF-8.
#include "application.h"
#include "toolkit_win32.h"

namespace tk {

int RunApplication(int /*argc*/, char** /*argv*/, const std::string& /*desktopName*/,
                   const std::function<int(const std::string& commandLine)>& body) {
  INITCOMMONCONTROLSEX icc{};
  icc.dwSize = sizeof icc;
  icc.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_TAB_CLASSES | ICC_TREEVIEW_CLASSES |
              ICC_BAR_CLASSES | ICC_UPDOWN_CLASS;
  InitCommonControlsEx(&icc);
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  InitUiThread();
  // The arguments as the system has them (UTF-16), not the narrow argv of
  // the C runtime's code page, joined by spaces.
  std::string commandLine;
  int count = 0;
  if (LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) {
      if (i > 1) commandLine += ' ';
      commandLine += Utf8(std::wstring(args[i]));
    }
    LocalFree(args);
  }
  const int result = body(commandLine);
  if (SUCCEEDED(com)) CoUninitialize();
  return result;
}

}  // namespace tk
