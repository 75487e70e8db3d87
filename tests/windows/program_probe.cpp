// SPDX-License-Identifier: GPL-3.0-or-later
// Starts TerminaTool.exe against a register (the simulator, as the INI file
// names it) and looks at it from outside, as a user would: the main window
// comes up with its caption, the status line says "Готов", the model's
// name stands in the second part, the settings file buttons are shown for
// a model that has them; Escape then ends the program.
//
//   program_probe.exe MODEL
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

namespace {

int g_failures = 0;

void Check(bool ok, const char* what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
  if (!ok) ++g_failures;
}

std::wstring Text(HWND w) {
  wchar_t buffer[256] = {};
  SendMessageTimeoutW(w, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000, nullptr);
  return buffer;
}

// A status bar part's text: the bar writes it into memory of its own
// process, read from there.
std::wstring PartText(HANDLE process, HWND bar, int part) {
  void* remote = VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!remote) return {};
  wchar_t buffer[2048] = {};
  DWORD_PTR result = 0;
  if (SendMessageTimeoutW(bar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, 5000, &result))
    ReadProcessMemory(process, remote, buffer, sizeof buffer - sizeof(wchar_t), nullptr);
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  return buffer;
}

// Waits for a condition, looking again every 50 ms.
template <class F>
bool WaitFor(F done, DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  while (!done()) {
    if (GetTickCount64() > end) return false;
    Sleep(50);
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring model = argc > 1 ? argv[1] : L"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  wchar_t command[] = L"TerminaTool.exe";
  if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::printf("FAILED: TerminaTool.exe does not start (%lu)\n", GetLastError());
    return 1;
  }
  const wchar_t* caption = L"Программа управления ФР версия 1.29.1.12";
  HWND main = nullptr;
  Check(WaitFor([&] { return (main = FindWindowW(nullptr, caption)) && IsWindowVisible(main); }, 60000),
        "the main window comes up with its caption");
  HWND status = main ? GetDlgItem(main, 104) : nullptr;
  // The status line's first part is the status bar's text.
  Check(WaitFor([&] { return Text(status) == L"Готов"; }, 30000), "the status line says it is ready");
  Check(main && IsWindowVisible(GetDlgItem(main, 1089)) && IsWindowVisible(GetDlgItem(main, 1090)),
        "the settings file buttons are shown for the model");
  Check(PartText(pi.hProcess, status, 1) == model, "the model's name stands in the second part");
  // A page is shown inside the main window.
  bool page = false;
  for (HWND c = main ? GetWindow(main, GW_CHILD) : nullptr; c; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t cls[32] = {};
    GetClassNameW(c, cls, 32);
    if (std::wstring(cls) == L"#32770" && IsWindowVisible(c)) page = true;
  }
  Check(page, "a page is shown inside the main window");
  // Escape ends the program.
  if (main) {
    SetForegroundWindow(main);
    PostMessageW(main, WM_KEYDOWN, VK_ESCAPE, 0);
  }
  const bool ended = WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0;
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  Check(ended, "Escape ends the program");
  if (!ended) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  std::printf("%s: %d failed\n", g_failures ? "FAILED" : "passed", g_failures);
  return g_failures ? 1 : 0;
}
