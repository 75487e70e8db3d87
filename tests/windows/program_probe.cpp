// SPDX-License-Identifier: GPL-3.0-or-later
// Starts TerminaTool.exe against a register (the simulator, as the INI file
// names it) and works it from outside by window messages, as a user would:
// the main window comes up with its caption, the status line says "Готов",
// the model's name stands in the second part, the tabs and the first tab's
// tree are those of the register's version; then what the arguments ask
// for; Escape ends the program.
//
//   program_probe.exe VERSION [tabs] [report=LOG] [dates=LOG] [status] [cliche=STATE] [refuse] [silent=DIR]
//
//   tabs          (a version of the first model) its programming tab, clicked,
//                 lists that tab's functions and shows the settings file
//                 buttons; back to the first tab
//   report=LOG    (a fiscal register of the first model) a long fiscal-memory
//                 report interrupted with "ПРЕРВАТЬ"; LOG is the simulator's
//                 --log output (a Windows path)
//   dates=LOG     (the same) the report by dates asks for the dates set in
//                 its date pickers
//   status        the status dialog opens from the page and closes
//   cliche=STATE  the receipt header page shows what the register holds; a
//                 Cyrillic line typed into it and saved arrives in the
//                 simulator's state file STATE (a Windows path)
//   refuse        saving the receipt header is refused because a shift is
//                 open: the status line and a message box titled "Ошибка" say so
//   silent=DIR    the probe asks the script to stop the register (it creates
//                 DIR\stop and waits for DIR\stopped), then the window keeps
//                 answering while a command waits on the silent register
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int g_failures = 0;

void Check(bool ok, const std::string& what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
  std::fflush(stdout);
  if (!ok) ++g_failures;
}

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

std::wstring Text(HWND w) {
  wchar_t buffer[512] = {};
  if (!w) return {};
  SendMessageTimeoutW(w, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000, nullptr);
  return buffer;
}

// Memory in the program's process: the common controls write their answers
// there and read their questions from there.
class Remote {
 public:
  Remote(HANDLE process, std::size_t size) : m_process(process) {
    m_base = static_cast<char*>(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  }
  ~Remote() {
    if (m_base) VirtualFreeEx(m_process, m_base, 0, MEM_RELEASE);
  }
  Remote(const Remote&) = delete;
  Remote& operator=(const Remote&) = delete;
  explicit operator bool() const { return m_base != nullptr; }
  char* At(std::size_t offset) const { return m_base + offset; }
  void Write(std::size_t offset, const void* data, std::size_t size) const {
    WriteProcessMemory(m_process, At(offset), data, size, nullptr);
  }
  std::wstring ReadText(std::size_t offset, std::size_t chars) const {
    std::vector<wchar_t> buffer(chars + 1, L'\0');
    ReadProcessMemory(m_process, At(offset), buffer.data(), chars * sizeof(wchar_t), nullptr);
    return buffer.data();
  }

 private:
  HANDLE m_process;
  char* m_base = nullptr;
};

constexpr std::size_t kTextOffset = 1024;
constexpr std::size_t kTextChars = 512;

// A status bar part's text.
std::wstring PartText(HANDLE process, HWND bar, int part) {
  Remote mem(process, 4096);
  if (!mem || !bar) return {};
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(bar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(mem.At(kTextOffset)), SMTO_ABORTIFHUNG,
                           5000, &result))
    return {};
  return mem.ReadText(kTextOffset, kTextChars);
}

std::vector<std::wstring> TabCaptions(HANDLE process, HWND tab) {
  std::vector<std::wstring> captions;
  Remote mem(process, 4096);
  if (!mem || !tab) return captions;
  const int count = static_cast<int>(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = reinterpret_cast<wchar_t*>(mem.At(kTextOffset));
    item.cchTextMax = kTextChars;
    mem.Write(0, &item, sizeof item);
    SendMessageW(tab, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(mem.At(0)));
    captions.push_back(mem.ReadText(kTextOffset, kTextChars));
  }
  return captions;
}

struct TreeNode {
  HTREEITEM item;
  std::wstring text;
};

std::vector<TreeNode> TreeNodes(HANDLE process, HWND tree) {
  std::vector<TreeNode> nodes;
  Remote mem(process, 4096);
  if (!mem || !tree) return nodes;
  auto next = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
  for (; next; next = reinterpret_cast<HTREEITEM>(
                   SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(next)))) {
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = next;
    item.pszText = reinterpret_cast<wchar_t*>(mem.At(kTextOffset));
    item.cchTextMax = kTextChars;
    mem.Write(0, &item, sizeof item);
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(mem.At(0)));
    nodes.push_back({next, mem.ReadText(kTextOffset, kTextChars)});
  }
  return nodes;
}

std::string Join(const std::vector<std::wstring>& list) {
  std::string s;
  for (const auto& w : list) s += (s.empty() ? "" : " | ") + Utf8(w);
  return s;
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

// The page shown inside the main window: a visible child dialog.
HWND ShownPage(HWND main) {
  for (HWND c = main ? GetWindow(main, GW_CHILD) : nullptr; c; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t cls[32] = {};
    GetClassNameW(c, cls, 32);
    if (std::wstring(cls) == L"#32770" && IsWindowVisible(c)) return c;
  }
  return nullptr;
}

// The program's visible top-level windows.
struct WindowsOf {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND w, LPARAM lp) {
  auto* s = reinterpret_cast<WindowsOf*>(lp);
  DWORD owner = 0;
  GetWindowThreadProcessId(w, &owner);
  if (owner == s->pid && IsWindowVisible(w)) s->found.push_back(w);
  return TRUE;
}

std::vector<HWND> ProgramWindows(DWORD pid) {
  WindowsOf s{pid, {}};
  EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

// A top-level window of the program with that caption.
HWND ProgramWindow(DWORD pid, const wchar_t* caption) {
  for (HWND w : ProgramWindows(pid))
    if (Text(w) == caption) return w;
  return nullptr;
}

// Every static text of a window, one after the other.
std::wstring StaticTexts(HWND w) {
  std::wstring all;
  for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t cls[32] = {};
    GetClassNameW(c, cls, 32);
    if (lstrcmpiW(cls, L"Static") == 0) all += Text(c);
  }
  return all;
}

std::string FileText(const std::wstring& path) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return {};
  std::string content;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got) content.append(buffer, got);
  CloseHandle(f);
  return content;
}

bool FileHolds(const std::wstring& path, const std::string& line) {
  return ("\n" + FileText(path)).find("\n" + line + "\n") != std::string::npos;
}

// The lines of a file that begin with `prefix`.
std::vector<std::string> FileLines(const std::wstring& path, const std::string& prefix) {
  std::vector<std::string> lines;
  const std::string text = FileText(path);
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

struct Expected {
  const wchar_t* model;
  std::vector<std::wstring> tabs;
  std::vector<std::wstring> firstTab;
};

Expected ExpectedFor(int version) {
  const std::wstring inspector = L"Налоговый инспектор", eej = L"ЭКЛЗ", programming = L"Программирование";
  if (version <= 128)
    return {L"ТЕРМИНА-1",
            {inspector, eej, programming},
            {L"Фискализация / перерегистрация", L"Краткий фиск. отчет по сменам", L"Полный фиск. отчет по сменам",
             L"Краткий фиск. отчет по датам", L"Полный фиск. отчет по датам", L"Тестовая продажа"}};
  return {version == 201 ? L"ТЕРМИНА-2" : L"ТЕРМИНА-3",
          {programming, eej, inspector},
          {L"Параметры связи", L"Параметры кассы", L"Логотип предприятия", L"Клише предприятия", L"Рекламный текст",
           L"Типы платежей", L"Налоги", L"Товарные группы"}};
}

class Probe {
 public:
  explicit Probe(const PROCESS_INFORMATION& pi) : m_pi(pi) {}

  bool Start(int version) {
    const wchar_t* caption = L"Программа управления ФР версия 1.29.1.12";
    Check(WaitFor([&] { return (m_main = FindWindowW(nullptr, caption)) && IsWindowVisible(m_main); }, 60000),
          "the main window comes up with its caption");
    if (!m_main) return false;
    m_status = GetDlgItem(m_main, 104);
    Check(WaitForReady(30000), "the status line says it is ready");
    const Expected e = ExpectedFor(version);
    // The settings file buttons stand on the programming tab only.
    const bool programmingFirst = e.tabs.front() == L"Программирование";
    Check(FileButtonsShown() == programmingFirst, programmingFirst
                                                      ? "the settings file buttons are shown on the first tab"
                                                      : "the settings file buttons are hidden on the first tab");
    const std::wstring model = PartText(m_pi.hProcess, m_status, 1);
    Check(model == e.model, "the model's name stands in the second part: " + Utf8(model));
    const auto tabs = TabCaptions(m_pi.hProcess, GetDlgItem(m_main, 1000));
    Check(tabs == e.tabs, "the tabs in their order: " + Join(tabs));
    const auto nodes = TreeNodes(m_pi.hProcess, GetDlgItem(m_main, 1001));
    std::vector<std::wstring> texts;
    for (const auto& n : nodes) texts.push_back(n.text);
    Check(texts == e.firstTab, "the first tab's functions: " + Join(texts));
    Check(ShownPage(m_main) != nullptr, "a page is shown inside the main window");
    return true;
  }

  // Another tab clicked: the tree then holds that tab's functions, and the
  // settings file buttons show on the programming tab.  (The click makes
  // the tab control send the window its TCN_SELCHANGE: one sent from this
  // process with the header in the program's memory changed nothing under
  // Wine.)
  void ChooseTab(int index, const std::vector<std::wstring>& functions, bool fileButtons) {
    HWND tab = GetDlgItem(m_main, 1000);
    Remote mem(m_pi.hProcess, sizeof(RECT));
    RECT r{};
    if (SendMessageW(tab, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(mem.At(0))))
      ReadProcessMemory(m_pi.hProcess, mem.At(0), &r, sizeof r, nullptr);
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(tab, WM_LBUTTONUP, 0, at);
    std::vector<std::wstring> texts;
    const bool shown = WaitFor(
        [&] {
          texts.clear();
          for (const auto& node : TreeNodes(m_pi.hProcess, GetDlgItem(m_main, 1001))) texts.push_back(node.text);
          return texts == functions && Ready();
        },
        15000);
    Check(shown, "tab " + std::to_string(index) + " lists its functions: " + Join(texts));
    Check(FileButtonsShown() == fileButtons, fileButtons ? "the settings file buttons are shown on that tab"
                                                         : "the settings file buttons are hidden on that tab");
  }

  bool FileButtonsShown() {
    return IsWindowVisible(GetDlgItem(m_main, 1089)) && IsWindowVisible(GetDlgItem(m_main, 1090));
  }

  // The short fiscal-memory report by shifts, run and then interrupted
  // with "ПРЕРВАТЬ": the program says so in a box, and the register's log
  // (LOG) shows one CAN and the report answered with the cancelled result
  // at once rather than after its long printout.
  void InterruptReport(const std::wstring& log) {
    HWND page = ChooseNode(L"Краткий фиск. отчет по сменам", 1028);
    if (!page) return;
    SendMessageTimeoutW(GetDlgItem(page, 1028), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"0"), SMTO_ABORTIFHUNG, 5000,
                        nullptr);
    PostMessageW(GetDlgItem(page, 1014), BM_CLICK, 0, 0);
    const bool running =
        WaitFor([&] { return Text(m_status) == L"Ожидание..." && IsWindowEnabled(GetDlgItem(page, 1056)); }, 10000);
    Check(running, "\"ВЫПОЛНИТЬ\" starts the report and \"ПРЕРВАТЬ\" may be pressed: " + Utf8(Text(m_status)));
    PostMessageW(GetDlgItem(page, 1056), BM_CLICK, 0, 0);
    HWND box = nullptr;
    Check(WaitFor([&] { return (box = ProgramWindow(m_pi.dwProcessId, L"Предупреждение")) != nullptr; }, 10000),
          "\"ПРЕРВАТЬ\" shows a box titled \"Предупреждение\"");
    if (box) {
      Check(StaticTexts(box).find(L"Отчет прерван") != std::wstring::npos,
            "the box says the report was interrupted: " + Utf8(StaticTexts(box)));
      PostMessageW(box, WM_COMMAND, IDOK, 0);
      WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 10000);
    }
    // The register's answer to the cancelled report follows in a box and on
    // the status line.
    HWND answer = nullptr;
    Check(WaitFor([&] { return (answer = ProgramWindow(m_pi.dwProcessId, L"Ошибка")) != nullptr; }, 10000),
          "the register's answer to the cancelled report is shown in a box titled \"Ошибка\"");
    if (answer) {
      Check(StaticTexts(answer) == L"Отрицательный результат" && Text(m_status) == L"Отрицательный результат",
            "the box and the status line say: " + Utf8(StaticTexts(answer)) + " / " + Utf8(Text(m_status)));
      PostMessageW(answer, WM_COMMAND, IDOK, 0);
    }
    Check(WaitFor([&] { return FileLines(log, "62 ") == std::vector<std::string>{"62 [0] [1] [1] [0] -> 0E"}; }, 10000),
          "the register ended the one report as cancelled");
    Check(WaitFor([&] { return !InputLocked() && IsWindowEnabled(GetDlgItem(page, 1014)); }, 10000),
          "the window takes input again");
    const std::size_t cans = FileLines(log, "CAN").size();
    Check(cans == 1, "one CAN reached the register (" + std::to_string(cans) + ")");
  }

  // The short fiscal-memory report by dates with both dates changed in
  // their date pickers: the request carries them as the user set them.  No
  // shift was closed in that range: the register refuses it, and the box
  // saying so is closed.
  void ReportByDates(const std::wstring& log) {
    HWND page = ChooseNode(L"Краткий фиск. отчет по датам", 1021, false);
    if (!page) return;
    // A date set from outside is not a change the page hears of: each
    // picker is given a date, and a field of it (the one the click at its
    // left edge selects) then moved with an arrow key, as a user does.
    // The request is to carry what the pickers then show.
    Remote mem(m_pi.hProcess, sizeof(SYSTEMTIME));
    const auto set = [&](int id, WORD day, WORD key) -> std::string {
      HWND picker = GetDlgItem(page, id);
      // A disabled picker (the window still waits on the register) takes
      // no click and no key.
      if (!WaitFor([&] { return !InputLocked() && IsWindowEnabled(picker); }, 10000)) return "disabled";
      SYSTEMTIME st{};
      st.wYear = 2020;
      st.wMonth = 6;
      st.wDay = day;
      mem.Write(0, &st, sizeof st);
      if (!SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(mem.At(0)))) return "not taken";
      RECT r{};
      GetClientRect(picker, &r);
      const LPARAM at = MAKELPARAM(6, (r.top + r.bottom) / 2);
      SendMessageW(picker, WM_LBUTTONDOWN, MK_LBUTTON, at);
      SendMessageW(picker, WM_LBUTTONUP, 0, at);
      SendMessageW(picker, WM_KEYDOWN, key, 0);
      SendMessageW(picker, WM_KEYUP, key, 0);
      SYSTEMTIME shown{};
      if (SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(mem.At(0))) != GDT_VALID ||
          !ReadProcessMemory(m_pi.hProcess, mem.At(0), &shown, sizeof shown, nullptr))
        return "unreadable";
      if (shown.wYear == st.wYear && shown.wMonth == st.wMonth && shown.wDay == st.wDay) return "unmoved";
      char text[16];
      std::snprintf(text, sizeof text, "%02u%02u%02u", shown.wDay, shown.wMonth, shown.wYear % 100u);
      return text;
    };
    const std::string first = set(1021, 10, VK_DOWN), last = set(1022, 20, VK_UP);
    Check(first.size() == 6 && last.size() == 6, "the date pickers take dates and move them: " + first + " " + last);
    SendMessageTimeoutW(GetDlgItem(page, 1028), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"0"), SMTO_ABORTIFHUNG, 5000,
                        nullptr);
    PostMessageW(GetDlgItem(page, 1014), BM_CLICK, 0, 0);
    std::vector<std::string> requests;
    const bool sent = WaitFor(
        [&] {
          requests = FileLines(log, "63 ");
          return !requests.empty();
        },
        10000);
    Check(sent && requests.front().rfind("63 [0] [" + first + "] [" + last + "] [0] -> ", 0) == 0,
          "the report by dates asks for the dates set: " + (sent ? requests.front() : std::string("nothing")));
    HWND box = nullptr;
    if (WaitFor([&] { return (box = ProgramWindow(m_pi.dwProcessId, L"Ошибка")) != nullptr; }, 10000))
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    Check(WaitFor([&] { return !InputLocked() && IsWindowEnabled(GetDlgItem(page, 1014)); }, 10000),
          "the window takes input again");
  }

  // A node of the current tab chosen with the keyboard, as a user does,
  // and its page once it shows the control `id` and takes input (and, when
  // `ready`, has said "Готов": a page that reads nothing leaves the status
  // line as it was).
  HWND ChooseNode(const std::wstring& caption, int id, bool ready = true) {
    HWND tree = GetDlgItem(m_main, 1001);
    const auto nodes = TreeNodes(m_pi.hProcess, tree);
    std::size_t row = 0;
    while (row < nodes.size() && nodes[row].text != caption) ++row;
    if (row == 0 || row >= nodes.size()) {
      Check(false, "the tree has the node " + Utf8(caption) + " past its first");
      return nullptr;
    }
    // Selecting from outside shows nothing; the arrow key down from the
    // node before it selects it as a user does.
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(nodes[row - 1].item));
    PostMessageW(tree, WM_KEYDOWN, VK_DOWN, 0);
    HWND page = nullptr;
    const bool shown = WaitFor(
        [&] {
          page = ShownPage(m_main);
          return page && GetDlgItem(page, id) && (ready ? Ready() : !InputLocked());
        },
        15000);
    Check(shown, "the node " + Utf8(caption) + " shows its page");
    return shown ? page : nullptr;
  }

  // The receipt header page, chosen from the tree with the keyboard, shows
  // the register's lines.
  HWND OpenCliche(const std::wstring& line1) {
    HWND page = ChooseNode(L"Клише предприятия", 1046);
    if (!page) return nullptr;
    Check(Text(GetDlgItem(page, 1046)) == line1,
          "the receipt header page shows the register's first line: " + Utf8(Text(GetDlgItem(page, 1046))));
    return page;
  }

  void StatusDialog(HWND page) {
    HWND button = page ? GetDlgItem(page, 105) : nullptr;
    PostMessageW(button, BM_CLICK, 0, 0);
    HWND dialog = nullptr;
    Check(WaitFor([&] { return (dialog = ProgramWindow(m_pi.dwProcessId, L"Статус ФР")) != nullptr; }, 10000),
          "\"СТАТУС\" opens the status dialog titled \"Статус ФР\"");
    if (!dialog) return;
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    Check(WaitFor([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, 10000) && WaitForReady(10000),
          "its \"ВЫХОД\" closes it");
  }

  void SaveCliche(HWND page, const std::wstring& statePath) {
    const std::wstring line = L"Ёлочка №2 съешь";
    SendMessageTimeoutW(GetDlgItem(page, 1047), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(line.c_str()), SMTO_ABORTIFHUNG,
                        5000, nullptr);
    PostMessageW(GetDlgItem(page, 1014), BM_CLICK, 0, 0);
    Check(WaitFor([&] { return FileHolds(statePath, "table.20.1=" + Utf8(line)); }, 15000),
          "\"СОХРАНИТЬ\" sends the typed Cyrillic line to the register intact");
    Check(WaitForReady(15000), "the status line is ready again after saving");
  }

  void RefuseCliche(HWND page) {
    SendMessageTimeoutW(GetDlgItem(page, 1047), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"КАССА 2"), SMTO_ABORTIFHUNG,
                        5000, nullptr);
    PostMessageW(GetDlgItem(page, 1014), BM_CLICK, 0, 0);
    HWND box = nullptr;
    Check(WaitFor([&] { return (box = ProgramWindow(m_pi.dwProcessId, L"Ошибка")) != nullptr; }, 15000),
          "a refused save shows a message box titled \"Ошибка\"");
    if (!box) return;
    Check(StaticTexts(box).find(L"Смена открыта") != std::wstring::npos,
          "the message box says the shift is open: " + Utf8(StaticTexts(box)));
    Check(Text(m_status) == L"Смена открыта", "the status line says the shift is open: " + Utf8(Text(m_status)));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    Check(WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 10000), "the message box closes");
  }

  // The register falls silent; a command then waits on it, and the window
  // answers and repaints all the while.
  void Silent(HWND page, const std::wstring& dir) {
    const std::wstring stop = dir + L"\\stop", stopped = dir + L"\\stopped";
    HANDLE f = CreateFileW(stop.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    if (!WaitFor([&] { return GetFileAttributesW(stopped.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000)) {
      Check(false, "the script stops the register");
      return;
    }
    const std::wstring before = Text(m_status);
    PostMessageW(GetDlgItem(page, 105), BM_CLICK, 0, 0);
    const bool waiting = WaitFor([&] { return Text(m_status) != before; }, 5000);
    Check(waiting && Text(m_status) == L"Ожидание...",
          "a command on the silent register shows the wait on the status line: " + Utf8(Text(m_status)));
    bool answers = true;
    for (int i = 0; i < 20 && answers; ++i) {
      DWORD_PTR result = 0;
      answers = SendMessageTimeoutW(m_main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 500, &result) != 0 &&
                RedrawWindow(m_main, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN) &&
                SendMessageTimeoutW(m_main, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 500, &result) != 0;
      Sleep(50);
    }
    Check(answers && Text(m_status) == L"Ожидание...",
          "the main window answers within 0.5 s while the command waits on the silent register");
  }

  bool Ready() { return Text(m_status) == L"Готов" && !InputLocked(); }
  bool WaitForReady(DWORD ms) {
    return WaitFor([&] { return Ready(); }, ms);
  }

  // The window takes no input while it waits on the register (its tree is
  // disabled then).
  bool InputLocked() { return !IsWindowEnabled(GetDlgItem(m_main, 1001)); }

  HWND Main() const { return m_main; }

 private:
  const PROCESS_INFORMATION& m_pi;
  HWND m_main = nullptr;
  HWND m_status = nullptr;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int version = argc > 1 ? _wtoi(argv[1]) : 0;
  if (version <= 0) {
    std::printf(
        "usage: program_probe.exe VERSION [tabs] [report=LOG] [dates=LOG] [status] [cliche=STATE] [refuse] "
        "[silent=DIR]\n");
    return 2;
  }
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  wchar_t command[] = L"TerminaTool.exe";
  if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::printf("FAILED: TerminaTool.exe does not start (%lu)\n", GetLastError());
    return 1;
  }
  Probe probe(pi);
  bool silenced = false;
  if (probe.Start(version)) {
    HWND page = nullptr;
    for (int i = 2; i < argc; ++i) {
      const std::wstring a = argv[i];
      const auto eq = a.find(L'=');
      const std::wstring name = a.substr(0, eq), value = eq == std::wstring::npos ? L"" : a.substr(eq + 1);
      if (name == L"tabs") {
        // The first model's programming tab (the third) and back.
        probe.ChooseTab(2,
                        {L"Синхронизация", L"Параметры кассы", L"Логотип предприятия", L"Клише предприятия",
                         L"Рекламный текст", L"Типы платежей"},
                        true);
        probe.ChooseTab(0, ExpectedFor(version).firstTab, false);
        continue;
      }
      if (name == L"report") {
        probe.InterruptReport(value);
        continue;
      }
      if (name == L"dates") {
        probe.ReportByDates(value);
        continue;
      }
      if (!page) page = probe.OpenCliche(L"ТЕСТОВЫЙ МАГАЗИН");
      if (!page) break;
      if (name == L"status")
        probe.StatusDialog(page);
      else if (name == L"cliche")
        probe.SaveCliche(page, value);
      else if (name == L"refuse")
        probe.RefuseCliche(page);
      else if (name == L"silent") {
        probe.Silent(page, value);
        silenced = true;
      } else {
        Check(false, "unknown check " + Utf8(name));
      }
    }
  }
  // Escape ends the program (at any time, the register silent or not).
  if (HWND main = probe.Main()) {
    SetForegroundWindow(main);
    PostMessageW(main, WM_KEYDOWN, VK_ESCAPE, 0);
  }
  const bool ended = WaitForSingleObject(pi.hProcess, silenced ? 15000 : 30000) == WAIT_OBJECT_0;
  Check(ended, "Escape ends the program");
  if (!ended) {
    // What stands in the way: the program's windows still shown.
    for (HWND w : ProgramWindows(pi.dwProcessId))
      std::printf("  a window is still shown: \"%s\" %s\n", Utf8(Text(w)).c_str(), Utf8(StaticTexts(w)).c_str());
  }
  if (!ended) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  std::printf("%s: %d failed\n", g_failures ? "FAILED" : "passed", g_failures);
  return g_failures ? 1 : 0;
}
