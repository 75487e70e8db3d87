// SPDX-License-Identifier: GPL-3.0-or-later
// The system prompts on Win32: message boxes, the modal run of a dialog,
// and the classic open and save dialogs.
#include "toolkit_win32.h"

namespace tk {
namespace {

// The top-level window a prompt belongs to, or null when its owner has gone.
HWND OwnerWindow(const Dialog* owner) {
  HWND w = WindowOf(owner);
  return w ? GetAncestor(w, GA_ROOT) : nullptr;
}

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

std::string RunFileDialog(const Dialog* owner, const std::string& title, const std::string& filter, bool save) {
  std::wstring defaultExtension;
  const std::wstring filters = FileFilter(filter, &defaultExtension);
  const std::wstring caption = Wide(title);
  std::wstring file(32768, L'\0');
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = OwnerWindow(owner);
  ofn.lpstrFilter = filters.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrTitle = caption.empty() ? nullptr : caption.c_str();
  ofn.lpstrDefExt = defaultExtension.empty() ? nullptr : defaultExtension.c_str();
  // The program's save dialogs replace an existing file without asking.
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST;
  if (!save) ofn.Flags |= OFN_FILEMUSTEXIST;
  const LoopLevel level;
  const BOOL ok = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
  if (!ok) return {};
  return Utf8(std::wstring(file.c_str()));
}

}  // namespace

std::wstring FileFilter(const std::string& filter, std::wstring* defaultExtension) {
  std::wstring out;
  defaultExtension->clear();
  std::size_t from = 0;
  while (from <= filter.size()) {
    std::size_t to = filter.find(";;", from);
    if (to == std::string::npos) to = filter.size();
    const std::string entry = Trim(filter.substr(from, to - from));
    from = to + 2;
    if (entry.empty()) continue;
    // "Name (*.a *.b)": the patterns inside the last parentheses.
    std::string patterns = "*";
    const auto open = entry.rfind('('), close = entry.rfind(')');
    if (open != std::string::npos && close != std::string::npos && close > open)
      patterns = Trim(entry.substr(open + 1, close - open - 1));
    std::string list;
    std::size_t p = 0;
    while (p < patterns.size()) {
      const std::size_t q = std::min(patterns.find(' ', p), patterns.size());
      std::string one = patterns.substr(p, q - p);
      p = q + 1;
      if (one.empty()) continue;
      if (one == "*") one = "*.*";
      if (defaultExtension->empty() && out.empty() && one.rfind("*.", 0) == 0 && one != "*.*")
        *defaultExtension = Wide(one.substr(2));
      list += (list.empty() ? "" : ";") + one;
    }
    out += Wide(entry);
    out.push_back(L'\0');
    out += Wide(list.empty() ? "*.*" : list);
    out.push_back(L'\0');
  }
  out.push_back(L'\0');
  return out;
}

Prompts& SystemPrompts() {
  static Win32Prompts prompts;
  return prompts;
}

int Win32Prompts::ShowMessage(const Message& m) {
  UINT flags = MB_SETFOREGROUND;
  switch (m.icon) {
    case Icon::Error: flags |= MB_ICONERROR; break;
    case Icon::Exclamation: flags |= MB_ICONEXCLAMATION; break;
    case Icon::Information: flags |= MB_ICONINFORMATION; break;
    case Icon::Question: flags |= MB_ICONQUESTION; break;
    case Icon::None: break;
  }
  std::vector<int> order;
  switch (m.buttons) {
    case Buttons::Ok: flags |= MB_OK, order = {IDOK}; break;
    case Buttons::OkCancel: flags |= MB_OKCANCEL, order = {IDOK, IDCANCEL}; break;
    case Buttons::YesNo: flags |= MB_YESNO, order = {IDYES, IDNO}; break;
    case Buttons::YesNoCancel: flags |= MB_YESNOCANCEL, order = {IDYES, IDNO, IDCANCEL}; break;
  }
  static constexpr UINT kDefault[] = {MB_DEFBUTTON1, MB_DEFBUTTON2, MB_DEFBUTTON3};
  for (std::size_t i = 0; i < order.size(); ++i)
    if (order[i] == m.defaultButton) flags |= kDefault[i];
  HWND owner = OwnerWindow(m.owner);
  if (!owner) flags |= MB_TASKMODAL;
  const LoopLevel level;
  const int r = MessageBoxW(owner, Wide(m.text).c_str(), Wide(m.title).c_str(), flags);
  switch (r) {
    case IDYES:
    case IDNO:
    case IDCANCEL: return r;
    default: return IDOK;
  }
}

int Win32Prompts::RunModal(Dialog& dialog) {
  auto* d = dynamic_cast<CDialog*>(&dialog);
  if (!d) return IDCANCEL;
  d->BuildTemplate();
  HWND w = d->GetImpl()->hwnd;
  if (!w) return IDCANCEL;
  const std::weak_ptr<bool> life = d->GetImpl()->alive;
  // The window's owner takes no input while it runs.
  HWND owner = GetWindow(w, GW_OWNER);
  const bool ownerEnabled = owner && IsWindowEnabled(owner);
  if (ownerEnabled) EnableWindow(owner, FALSE);
  SetPropW(w, L"TerminaTool.Modal", reinterpret_cast<HANDLE>(1));
  d->ShowModeless(true);
  SetForegroundWindow(w);
  {
    const LoopLevel level;
    MSG msg;
    while (!life.expired() && !d->Ended()) {
      const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
      if (got <= 0) {
        if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));  // for the outer loop
        break;
      }
      ProcessMessage(msg);
    }
  }
  // The owner comes back before the window goes, so that it is the one
  // activated.
  if (ownerEnabled && IsWindow(owner)) EnableWindow(owner, TRUE);
  if (life.expired()) return IDCANCEL;
  if (d->GetImpl()->hwnd) {
    RemovePropW(d->GetImpl()->hwnd, L"TerminaTool.Modal");
    ShowWindow(d->GetImpl()->hwnd, SW_HIDE);
  }
  return d->Ended() ? d->EndCode() : IDCANCEL;
}

std::string Win32Prompts::OpenFileName(const Dialog* owner, const std::string& title, const std::string& filter) {
  return RunFileDialog(owner, title, filter, false);
}

std::string Win32Prompts::SaveFileName(const Dialog* owner, const std::string& title, const std::string& filter) {
  return RunFileDialog(owner, title, filter, true);
}

}  // namespace tk
