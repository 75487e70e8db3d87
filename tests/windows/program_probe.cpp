// SPDX-License-Identifier: GPL-3.0-or-later
// Starts TerminaTool.exe against a register (the simulator, as the INI file
// names it) and works it from outside by window messages, as a user would:
// the main window comes up with its caption, the status line says "Готов",
// the model's name stands in the second part, the tabs and the first tab's
// tree are those of the register's version; then what the arguments ask
// for; Escape ends the program.
//
//   program_probe.exe VERSION [nvr] [notice] [tabs] [report=LOG] [dates=LOG] [pages=STATE]
//                     [password=STATE] [settings=FILE] [status] [cliche=STATE] [refuse] [silent=DIR]
//
// Before the main window:
//   nvr           the program is started with "/NVR": its notice, then the
//                 recovery dialog with the register's totals (the shift
//                 number 57 the simulator is given) and every button of the
//                 third model's layout; "Cancel" closes it and the start goes
//                 on with no further notice
//   notice        (a version the program knows only in part) the version's
//                 notice; after the one of a version it does not support the
//                 program ends by itself
// Then, in the order given:
//   tabs          (a version of the first model) its programming tab, clicked,
//                 lists that tab's functions and shows the settings file
//                 buttons; back to the first tab
//   report=LOG    (a fiscal register of the first model) a long fiscal-memory
//                 report interrupted with "ПРЕРВАТЬ"; LOG is the simulator's
//                 --log output (a Windows path)
//   dates=LOG     (the same) the report by dates asks for the dates set in
//                 its date pickers
//   pages=STATE   every page of the programming tab but the receipt header
//                 and the advertising text shows what the register holds;
//                 values typed (Cyrillic where the page takes text), ticked
//                 and chosen in it and saved arrive in the simulator's state
//                 file STATE (a Windows path).  The first page sets the
//                 register's clock (given 30 hours behind) to the computer's:
//                 synchronisation on the first model, the clock page (with
//                 its question) on the second.  The second model's logo page
//                 also uploads a bitmap chosen through the file dialog from a
//                 folder named in Cyrillic.  The values the pages show are
//                 the simulator's own, or those tools/windows gives it.
//   password=STATE (the third model) the clock page changes the data-exchange
//                 password to a Cyrillic one: the register and the INI file
//                 get it
//   settings=FILE (after pages=, the second model) "Save..." writes the
//                 settings file FILE through the common file dialog; its
//                 bytes hold the register's texts; the advertising text page
//                 then changes a line, and "Load..." of FILE lists that one
//                 change, writes the saved line back and the page shows it
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
#include <cstdlib>
#include <cstring>
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

// A zero-filled code page 1251 record of a file, as text.
std::wstring Record1251(const std::string& bytes, std::size_t offset, std::size_t size) {
  if (offset + size > bytes.size()) return L"<past the end>";
  const std::string record = bytes.substr(offset, size);
  const std::string text = record.substr(0, record.find('\0'));
  std::wstring w(text.size(), L'\0');
  if (!text.empty())
    w.resize(static_cast<std::size_t>(MultiByteToWideChar(1251, 0, text.data(), static_cast<int>(text.size()), w.data(),
                                                          static_cast<int>(w.size()))));
  return w;
}

// Writes a monochrome bitmap file of width x height pixels (a frame of
// black dots on white); true when written.
bool WriteMonochromeBitmap(const std::wstring& path, int width, int height) {
  const int stride = (width + 31) / 32 * 4;
  const DWORD bits = static_cast<DWORD>(stride * height), offset = 14 + 40 + 8;
  std::string file(offset + bits, '\0');
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfSize = offset + bits;
  fh.bfOffBits = offset;
  BITMAPINFOHEADER ih{};
  ih.biSize = sizeof ih;
  ih.biWidth = width;
  ih.biHeight = height;
  ih.biPlanes = 1;
  ih.biBitCount = 1;
  ih.biSizeImage = bits;
  const RGBQUAD palette[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  std::memcpy(file.data(), &fh, 14);
  std::memcpy(file.data() + 14, &ih, 40);
  std::memcpy(file.data() + 54, palette, 8);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (y != 0 && y != height - 1 && x != 0 && x != width - 1)  // white inside the frame
        file[offset + static_cast<std::size_t>(y * stride + x / 8)] |= static_cast<char>(0x80 >> (x % 8));
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      WriteFile(f, file.data(), static_cast<DWORD>(file.size()), &written, nullptr) && written == file.size();
  CloseHandle(f);
  return ok;
}

// The local date `secondsAgo` seconds ago as DD/MM/YY, or MM/DD/YY.
std::wstring LocalDate(long long secondsAgo, bool monthFirst = false) {
  FILETIME utc{}, local{};
  GetSystemTimeAsFileTime(&utc);
  FileTimeToLocalFileTime(&utc, &local);
  ULARGE_INTEGER t{};
  t.LowPart = local.dwLowDateTime;
  t.HighPart = local.dwHighDateTime;
  t.QuadPart -= static_cast<ULONGLONG>(secondsAgo) * 10000000ULL;
  local.dwLowDateTime = t.LowPart;
  local.dwHighDateTime = t.HighPart;
  SYSTEMTIME st{};
  FileTimeToSystemTime(&local, &st);
  wchar_t text[16];
  const unsigned a = monthFirst ? st.wMonth : st.wDay, b = monthFirst ? st.wDay : st.wMonth;
  swprintf(text, 16, L"%02u/%02u/%02u", a, b, st.wYear % 100u);
  return text;
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
  bool fileButtons;  // on the first tab
};

// Versions past the first model other than the second and the third: the
// program knows them only in part.
bool PartlyKnown(int version) { return version > 129 && version != 201 && version != 301; }
bool Unsupported(int version) { return version >= 230 && version <= 300; }

Expected ExpectedFor(int version) {
  const std::wstring inspector = L"Налоговый инспектор", eej = L"ЭКЛЗ", programming = L"Программирование";
  if (version <= 128)
    return {L"ТЕРМИНА-1",
            {inspector, eej, programming},
            {L"Фискализация / перерегистрация", L"Краткий фиск. отчет по сменам", L"Полный фиск. отчет по сменам",
             L"Краткий фиск. отчет по датам", L"Полный фиск. отчет по датам", L"Тестовая продажа"},
            false};
  if (PartlyKnown(version)) return {L"", {programming, eej, inspector}, {L"Клише предприятия"}, false};
  return {version == 201 ? L"ТЕРМИНА-2" : L"ТЕРМИНА-3",
          {programming, eej, inspector},
          {L"Параметры связи", L"Параметры кассы", L"Логотип предприятия", L"Клише предприятия", L"Рекламный текст",
           L"Типы платежей", L"Налоги", L"Товарные группы"},
          true};
}

// A programming page worked as a user does: what it shows of the register
// (the simulator's state as tools/windows gives it), what is typed, ticked
// and chosen in it, and the lines of the simulator's state once it is saved.
struct PageCase {
  std::wstring node;
  int control = 0;  // one the page has once it is made
  std::vector<std::pair<int, std::wstring>> shows{};
  std::vector<std::pair<int, bool>> ticked{};
  std::vector<std::pair<int, int>> chosen{};  // a list's selected index
  std::vector<int> hidden{};
  std::vector<std::pair<int, std::wstring>> type{};
  std::vector<int> click{};
  std::vector<std::pair<int, int>> choose{};
  int save = 1014;
  std::vector<std::wstring> arrives{};
};

// The advertising text page; the settings file case changes its second line
// between saving the file and loading it again.
const std::wstring kFooterHeld = L"Приходите ещё", kFooterTyped = L"Ждём вас снова №1";
PageCase FooterCase() {
  return {.node = L"Рекламный текст",
          .control = 1049,
          .shows = {{1048, L"СПАСИБО ЗА ПОКУПКУ"}, {1049, kFooterHeld}},
          .type = {{1049, kFooterTyped}},
          .arrives = {L"table.21.1=" + kFooterTyped}};
}

// The pages of the programming tab but the first (the clock, its own case),
// the receipt header (its own case) and the advertising text (above).
std::vector<PageCase> PagesFor(int version) {
  if (version <= 128)
    return {{.node = L"Параметры кассы",
             .control = 1039,
             .shows = {{1039, L"1"}},
             .ticked = {{1091, true}, {1056, false}},
             .hidden = {1085, 1084, 1097, 1100, 1101, 1086, 1087, 1089, 1104, 1105, 1088, 1090, 1092, 1125, 1126, 11153,
                        11154},
             .type = {{1039, L"77"}},
             .click = {1056},
             .arrives = {L"table.1.0=77", L"table.2.0=1", L"table.3.0=1"}}};
  return {
      // The second and third models: no display rows; bit 7 of table 7
      // shown while bit 0 is clear; automatic payment inverted; partial
      // cutting, hidden, written as off.
      {.node = L"Параметры кассы",
       .control = 1039,
       .shows = {{1039, L"1"}},
       .ticked = {{1091, true}, {1085, false}, {11154, true}, {1088, true}},
       .chosen = {{1104, 1}},
       .hidden = {1087, 1086, 1097, 1100, 1101},
       .type = {{1039, L"4321"}},
       .click = {1091, 1085, 1088},
       .choose = {{1104, 2}},
       .arrives = {L"table.1.0=4321", L"table.2.0=0", L"table.7.0=129", L"table.11.0=0", L"table.13.0=2",
                   L"table.30.0=1"}},
      {.node = L"Логотип предприятия",
       .control = 1054,
       .ticked = {{1054, true}},
       .click = {1054},
       .save = 1082,
       .arrives = {L"table.5.0=0"}},
      // Payment type 0 is shown but never written.
      {.node = L"Типы платежей",
       .control = 11165,
       .shows = {{11165, L"НАЛИЧНЫЕ"}, {11166, L"БЕЗНАЛИЧНЫЕ"}},
       .type = {{11165, L"ЧУЖОЕ"}, {11168, L"Подарочный сертиф"}},
       .arrives = {L"table.22.3=Подарочный сертиф", L"table.22.0=НАЛИЧНЫЕ"}},
      // Rounding per item (index 0) with both print boxes: 19 in every
      // field of table 12.
      {.node = L"Налоги",
       .control = 1104,
       .shows = {{1104, L"НДС 18%"}, {1110, L"18.00"}},
       .ticked = {{1085, true}, {1119, true}, {1127, false}},
       .chosen = {{1117, 1}},
       .type = {{1108, L"Налог на ёлки"}, {1114, L"12.5"}, {1040, L"В том числе налоги:"}},
       .choose = {{1117, 0}},
       .arrives = {L"table.23.4=Налог на ёлки", L"table.24.4=12.5", L"table.12.0=19", L"table.12.5=19",
                   L"table.25.0=В том числе налоги:"}},
      // Rows 1 to 6 from the second model on.
      {.node = L"Товарные группы",
       .control = 1142,
       .shows = {{1149, L"1"}, {1154, L"6"}, {1142, L"ОТДЕЛ 1"}, {1147, L"ОТДЕЛ 6"}},
       .type = {{1147, L"Бакалея и чай"}, {1139, L"Итоги по отделам"}},
       .arrives = {L"table.26.6=Бакалея и чай", L"table.27.0=Итоги по отделам", L"table.26.0=ОТДЕЛ 0"}},
  };
}

class Probe {
 public:
  explicit Probe(const PROCESS_INFORMATION& pi) : m_pi(pi) {}

  // ---- Driving controls and boxes ----

  static void SetText(HWND control, const std::wstring& text) {
    SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 5000,
                        nullptr);
  }
  static void SetText(HWND w, int id, const std::wstring& text) { SetText(GetDlgItem(w, id), text); }
  static void Click(HWND w, int id) { PostMessageW(GetDlgItem(w, id), BM_CLICK, 0, 0); }
  static bool Ticked(HWND w, int id) { return SendMessageW(GetDlgItem(w, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  static bool Shown(HWND w, int id) { return IsWindowVisible(GetDlgItem(w, id)) != FALSE; }

  // A message box (or dialog) of the program with that title, once shown.
  HWND WaitWindow(const wchar_t* title, DWORD ms = 15000) {
    HWND w = nullptr;
    WaitFor([&] { return (w = ProgramWindow(m_pi.dwProcessId, title)) != nullptr; }, ms);
    return w;
  }
  // Answers a box with one of its buttons; true once it has gone.
  static bool Answer(HWND box, int button = IDOK) {
    PostMessageW(box, WM_COMMAND, button, 0);
    return WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 10000);
  }
  // A box titled `title` saying `text` is shown and answered with `button`.
  bool Box(const wchar_t* title, const std::wstring& text, int button, const std::string& what, DWORD ms = 15000) {
    HWND box = WaitWindow(title, ms);
    Check(box && StaticTexts(box) == text, what + ": " + (box ? Utf8(StaticTexts(box)) : "no box"));
    return box && Answer(box, button);
  }

  // The common file dialog the program opened (found by its file name
  // field: Wine's combo box 1148, or the older edit 1152) takes a path
  // and OK.
  bool ChooseFile(const std::wstring& caption, const std::wstring& path) {
    HWND dialog = nullptr, name = nullptr;
    WaitFor(
        [&] {
          for (HWND w : ProgramWindows(m_pi.dwProcessId)) {
            wchar_t cls[32] = {};
            GetClassNameW(w, cls, 32);
            if (std::wstring(cls) != L"#32770") continue;
            if ((name = GetDlgItem(w, 1148)) || (name = GetDlgItem(w, 1152))) return (dialog = w) != nullptr;
          }
          return false;
        },
        15000);
    Check(dialog && Text(dialog) == caption, "the file dialog \"" + Utf8(caption) + "\" opens: " + Utf8(Text(dialog)));
    if (!dialog) return false;
    SetText(name, path);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    const bool closed = WaitFor([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, 10000);
    Check(closed, "the file dialog takes the path and closes");
    return closed;
  }

  // The lines of the simulator's state all hold (within `ms`).
  bool StateHolds(const std::vector<std::wstring>& lines, DWORD ms, std::string* missing) {
    const bool all = WaitFor(
        [&] {
          for (const auto& line : lines)
            if (!FileHolds(m_state, Utf8(line))) {
              *missing = Utf8(line);
              return false;
            }
          return true;
        },
        ms);
    if (all) missing->clear();
    return all;
  }

  void SetState(const std::wstring& path) { m_state = path; }

  // ---- The main window ----

  bool Start(int version) {
    const wchar_t* caption = L"Программа управления ФР версия 1.29.1.12";
    Check(WaitFor([&] { return (m_main = FindWindowW(nullptr, caption)) && IsWindowVisible(m_main); }, 60000),
          "the main window comes up with its caption");
    if (!m_main) return false;
    m_status = GetDlgItem(m_main, 104);
    Check(WaitForReady(30000), "the status line says it is ready");
    const Expected e = ExpectedFor(version);
    // The settings file buttons stand on the programming tab of a version
    // the program knows.
    Check(FileButtonsShown() == e.fileButtons, e.fileButtons ? "the settings file buttons are shown on the first tab"
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
  // settings file buttons show on the programming tab (with `ready`, the
  // status line then says "Готов"; a page that reads nothing leaves it as
  // it was).  (The click makes
  // the tab control send the window its TCN_SELCHANGE: one sent from this
  // process with the header in the program's memory changed nothing under
  // Wine.)
  void ChooseTab(int index, const std::vector<std::wstring>& functions, bool fileButtons, bool ready = true) {
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
          return texts == functions && (ready ? Ready() : !InputLocked());
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
    SetText(page, 1028, L"0");
    Click(page, 1014);
    const bool running =
        WaitFor([&] { return Text(m_status) == L"Ожидание..." && IsWindowEnabled(GetDlgItem(page, 1056)); }, 10000);
    Check(running, "\"ВЫПОЛНИТЬ\" starts the report and \"ПРЕРВАТЬ\" may be pressed: " + Utf8(Text(m_status)));
    Click(page, 1056);
    HWND box = WaitWindow(L"Предупреждение", 10000);
    Check(box != nullptr, "\"ПРЕРВАТЬ\" shows a box titled \"Предупреждение\"");
    if (box) {
      Check(StaticTexts(box).find(L"Отчет прерван") != std::wstring::npos,
            "the box says the report was interrupted: " + Utf8(StaticTexts(box)));
      Answer(box);
    }
    // The register's answer to the cancelled report follows in a box and on
    // the status line.
    HWND answer = WaitWindow(L"Ошибка", 10000);
    Check(answer != nullptr, "the register's answer to the cancelled report is shown in a box titled \"Ошибка\"");
    if (answer) {
      Check(StaticTexts(answer) == L"Отрицательный результат" && Text(m_status) == L"Отрицательный результат",
            "the box and the status line say: " + Utf8(StaticTexts(answer)) + " / " + Utf8(Text(m_status)));
      Answer(answer);
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
      // The picker finds the field under a click from where its last
      // painting put the fields: a picker not painted since its date was
      // set takes the click on no field, and the key then moves nothing.
      // So it is painted first, and the whole gesture is tried again while
      // the date stays where it was set.
      SYSTEMTIME shown{};
      std::string outcome = "unmoved";
      WaitFor(
          [&] {
            mem.Write(0, &st, sizeof st);
            if (!SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(mem.At(0)))) {
              outcome = "not taken";
              return true;
            }
            RedrawWindow(picker, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            RECT r{};
            GetClientRect(picker, &r);
            const LPARAM at = MAKELPARAM(6, (r.top + r.bottom) / 2);
            SendMessageW(picker, WM_LBUTTONDOWN, MK_LBUTTON, at);
            SendMessageW(picker, WM_LBUTTONUP, 0, at);
            SendMessageW(picker, WM_KEYDOWN, key, 0);
            SendMessageW(picker, WM_KEYUP, key, 0);
            if (SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(mem.At(0))) != GDT_VALID ||
                !ReadProcessMemory(m_pi.hProcess, mem.At(0), &shown, sizeof shown, nullptr)) {
              outcome = "unreadable";
              return true;
            }
            if (shown.wYear == st.wYear && shown.wMonth == st.wMonth && shown.wDay == st.wDay) return false;
            outcome.clear();
            return true;
          },
          5000);
      if (!outcome.empty()) return outcome;
      char text[16];
      std::snprintf(text, sizeof text, "%02u%02u%02u", shown.wDay, shown.wMonth, shown.wYear % 100u);
      return text;
    };
    const std::string first = set(1021, 10, VK_DOWN), last = set(1022, 20, VK_UP);
    Check(first.size() == 6 && last.size() == 6, "the date pickers take dates and move them: " + first + " " + last);
    SetText(page, 1028, L"0");
    Click(page, 1014);
    std::vector<std::string> requests;
    const bool sent = WaitFor(
        [&] {
          requests = FileLines(log, "63 ");
          return !requests.empty();
        },
        10000);
    Check(sent && requests.front().rfind("63 [0] [" + first + "] [" + last + "] [0] -> ", 0) == 0,
          "the report by dates asks for the dates set: " + (sent ? requests.front() : std::string("nothing")));
    if (HWND box = WaitWindow(L"Ошибка", 10000)) Answer(box);
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
    if (row >= nodes.size() || nodes.size() < 2) {
      Check(false, "the tree has the node " + Utf8(caption) + " and another");
      return nullptr;
    }
    // Selecting from outside shows nothing; the arrow key from the node
    // next to it selects it as a user does.
    const bool first = row == 0;
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(nodes[first ? 1 : row - 1].item));
    HWND before = ShownPage(m_main);
    PostMessageW(tree, WM_KEYDOWN, first ? VK_UP : VK_DOWN, 0);
    HWND page = nullptr;
    const bool shown = WaitFor(
        [&] {
          page = ShownPage(m_main);
          return page && page != before && GetDlgItem(page, id) && (ready ? Ready() : !InputLocked());
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
    HWND dialog = WaitWindow(L"Статус ФР", 10000);
    Check(dialog != nullptr, "\"СТАТУС\" opens the status dialog titled \"Статус ФР\"");
    if (!dialog) return;
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    Check(WaitFor([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, 10000) && WaitForReady(10000),
          "its \"ВЫХОД\" closes it");
  }

  void SaveCliche(HWND page, const std::wstring& statePath) {
    const std::wstring line = L"Ёлочка №2 съешь";
    SetText(page, 1047, line);
    Click(page, 1014);
    Check(WaitFor([&] { return FileHolds(statePath, "table.20.1=" + Utf8(line)); }, 15000),
          "\"СОХРАНИТЬ\" sends the typed Cyrillic line to the register intact");
    Check(WaitForReady(15000), "the status line is ready again after saving");
  }

  void RefuseCliche(HWND page) {
    SetText(page, 1047, L"КАССА 2");
    Click(page, 1014);
    HWND box = WaitWindow(L"Ошибка", 15000);
    Check(box != nullptr, "a refused save shows a message box titled \"Ошибка\"");
    if (!box) return;
    Check(StaticTexts(box).find(L"Смена открыта") != std::wstring::npos,
          "the message box says the shift is open: " + Utf8(StaticTexts(box)));
    Check(Text(m_status) == L"Смена открыта", "the status line says the shift is open: " + Utf8(Text(m_status)));
    Check(Answer(box), "the message box closes");
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
    Click(page, 105);
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

  // ---- The programming pages ----

  // A page chosen from the tree shows the register's values and hides the
  // controls of other versions; what is typed, ticked and chosen in it is
  // saved and arrives in the register.  Returns the page.
  HWND RunPage(const PageCase& c) {
    HWND page = ChooseNode(c.node, c.control);
    if (!page) return nullptr;
    const std::string name = Utf8(c.node) + ": ";
    for (const auto& [id, text] : c.shows)
      Check(Text(GetDlgItem(page, id)) == text,
            name + std::to_string(id) + " shows \"" + Utf8(Text(GetDlgItem(page, id))) + "\"");
    for (const auto& [id, on] : c.ticked)
      Check(Shown(page, id) && Ticked(page, id) == on,
            name + std::to_string(id) + (on ? " is shown ticked" : " is shown unticked"));
    for (const auto& [id, index] : c.chosen) {
      const auto got = SendMessageW(GetDlgItem(page, id), CB_GETCURSEL, 0, 0);
      Check(got == index, name + std::to_string(id) + " has entry " + std::to_string(got) + " selected");
    }
    std::string hidden;
    for (int id : c.hidden)
      if (Shown(page, id)) hidden += " " + std::to_string(id);
    if (!c.hidden.empty()) Check(hidden.empty(), name + "the controls of other versions are hidden" + hidden);
    for (const auto& [id, text] : c.type) SetText(page, id, text);
    for (int id : c.click) {
      const bool before = Ticked(page, id);
      Click(page, id);
      WaitFor([&] { return Ticked(page, id) != before; }, 5000);
    }
    for (const auto& [id, index] : c.choose) SendMessageW(GetDlgItem(page, id), CB_SETCURSEL, index, 0);
    Click(page, c.save);
    std::string missing;
    Check(StateHolds(c.arrives, 15000, &missing) && WaitForReady(15000),
          name + "saved, the register holds what was set" + (missing.empty() ? "" : ", not " + missing));
    return page;
  }

  // The clock page of the second and third models (the first node).  It
  // leaves the status line as it was.
  HWND ClockPage() { return ChooseNode(L"Параметры связи", 1079, false); }

  // Against a register 30 hours behind, the second model's clock page
  // shows both clocks and no password field, and "<-Установить" asks
  // before setting the register's clock a day back.
  void SetClock() {
    HWND page = ClockPage();
    if (!page) return;
    Check(WaitFor([&] { return !Text(GetDlgItem(page, 1082)).empty(); }, 10000) &&
              Text(GetDlgItem(page, 1082)) == LocalDate(30 * 3600) && Text(GetDlgItem(page, 1051)) == LocalDate(0),
          "the clock page shows the register's date 30 hours back and the computer's: " +
              Utf8(Text(GetDlgItem(page, 1082))) + " " + Utf8(Text(GetDlgItem(page, 1051))));
    Check(!Shown(page, 1056) && !Shown(page, 1080), "the password field is hidden");
    Click(page, 1079);
    HWND question = WaitWindow(L"Предупреждение");
    Check(question && StaticTexts(question).find(L"более чем на сутки") != std::wstring::npos,
          "\"<-Установить\" asks before setting the clock a day back: " + Utf8(StaticTexts(question)));
    if (question) Answer(question, IDYES);
    std::string offset;
    const bool set = WaitFor([&] { return ClockSet(&offset); }, 15000);
    Check(set && WaitFor([&] { return Text(GetDlgItem(page, 1082)) == LocalDate(0); }, 10000),
          "the register's clock is set to the computer's and shown (offset " + offset + " s)");
  }

  // The register's clock in the simulator's state is the computer's.
  bool ClockSet(std::string* offset) {
    const auto lines = FileLines(m_state, "clockOffset=");
    *offset = lines.empty() ? "" : lines.front().substr(12);
    return !offset->empty() && std::abs(std::atol(offset->c_str())) <= 5;
  }

  // The third model's clock page changes the data-exchange password (also
  // while a shift is open): the register and the driver's INI file get it.
  void ChangePassword() {
    HWND page = ClockPage();
    if (!page) return;
    Check(WaitFor([&] { return Shown(page, 1056) && Shown(page, 1080) && Text(GetDlgItem(page, 1056)) == L"WKRD"; },
                  10000),
          "the password field shows the password in use: " + Utf8(Text(GetDlgItem(page, 1056))));
    const std::wstring typed = L"ПЁС1";
    SetText(page, 1056, typed);
    Click(page, 1080);
    Check(WaitFor([&] { return FileHolds(m_state, "password=" + Utf8(typed)); }, 15000),
          "\"Изменить\" sends the Cyrillic data-exchange password to the register");
    Check(WaitFor(
              [&] {
                return FileHolds(L"C:\\Program Files\\Orvelsoft\\TERMINA.INI",
                                 "pswd=\xcf\xa8\xd1"
                                 "1\r");
              },
              5000),
          "the driver keeps it in its INI file in code page 1251");
  }

  // The logo page uploads a monochrome bitmap chosen with "..." from a
  // folder with a Cyrillic name, as a user's folders are named: the
  // register receives the file.
  void UploadLogo() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"Логотип предприятия";
    const std::wstring file = folder + L"\\логотип.bmp";
    CreateDirectoryW(folder.c_str(), nullptr);
    if (!WriteMonochromeBitmap(file, 64, 16)) {
      Check(false, "the probe writes a bitmap file");
      return;
    }
    HWND page = ChooseNode(L"Логотип предприятия", 1080);
    if (!page) return;
    Click(page, 1052);
    if (!ChooseFile(L"Открыть", file)) return;
    const bool shown = WaitFor([&] { return Text(GetDlgItem(page, 1051)) == file; }, 10000);
    Check(shown, "the chosen file's path is shown: " + Utf8(Text(GetDlgItem(page, 1051))));
    Click(page, 1080);
    // The register keeps the stream it received: ESC, then the file.
    std::string stream = "logo=1B";
    for (const unsigned char c : FileText(file)) {
      char digits[3];
      std::snprintf(digits, sizeof digits, "%02X", c);
      stream += digits;
    }
    const bool sent = WaitFor([&] { return FileHolds(m_state, stream) && Ready(); }, 20000);
    Check(sent, "\"ЗАГРУЗИТЬ\" sends the file to the register");
    if (!sent)
      if (HWND box = WaitWindow(L"Ошибка", 1000)) {
        Check(false, "the upload failed: " + Utf8(StaticTexts(box)));
        Answer(box);
      }
  }

  // The first model's synchronisation page (the programming tab's first
  // node) shows the computer's date and sets the register's clock to it.
  void SynchroPage() {
    HWND page = ShownPage(m_main);
    if (!page || !GetDlgItem(page, 1082) || !GetDlgItem(page, 1014)) {
      Check(false, "the synchronisation page is shown");
      return;
    }
    Check(Text(GetDlgItem(page, 1082)) == LocalDate(0, true),
          "the synchronisation page shows the computer's date: " + Utf8(Text(GetDlgItem(page, 1082))));
    Click(page, 1014);
    std::string offset;
    const bool set = WaitFor([&] { return ClockSet(&offset); }, 15000);
    Check(set && WaitForReady(10000),
          "\"ВЫПОЛНИТЬ\" sets the register's clock to the computer's (offset " + offset + " s)");
  }

  // Every page of the programming tab read and saved.
  void Pages(int version) {
    if (version <= 128) {
      ChooseTab(2,
                {L"Синхронизация", L"Параметры кассы", L"Логотип предприятия", L"Клише предприятия", L"Рекламный текст",
                 L"Типы платежей"},
                true, false);
      SynchroPage();
    } else {
      SetClock();
    }
    for (const PageCase& c : PagesFor(version)) RunPage(c);
    if (version > 128) UploadLogo();
  }

  // The settings file: "Save..." writes the register's settings to FILE;
  // the advertising text is then changed on its page; "Load..." lists that
  // one change, and on OK puts the saved line back in the register and on
  // the page.
  void SettingsFile(int version, const std::wstring& file) {
    DeleteFileW(file.c_str());
    Click(m_main, 1089);
    if (!Box(L"Подтверждение", L"Сохранить текущие настройки регистратора в файл?", IDYES, "\"Save...\" asks first") ||
        !ChooseFile(L"Сохранить как", file) ||
        !Box(L"Информация", L"Настройки сохранены", IDOK, "the save says it is done", 30000))
      return;
    const std::string bytes = FileText(file);
    Check(bytes.size() == 1749 && bytes.compare(0, 2, "fr") == 0 &&
              static_cast<unsigned char>(bytes[2]) + 256 * static_cast<unsigned char>(bytes[3]) == version,
          "the file holds 1749 bytes, its mark and the register's version (" + std::to_string(bytes.size()) + ")");
    Check(Record1251(bytes, 537, 41) == L"ТЕСТОВЫЙ МАГАЗИН" && Record1251(bytes, 742, 41) == kFooterHeld &&
              Record1251(bytes, 783 + 3 * 41, 41) == L"Подарочный сертиф",
          "the file holds the register's Cyrillic texts in code page 1251: " + Utf8(Record1251(bytes, 742, 41)));
    HWND page = RunPage(FooterCase());
    if (!page) return;
    Click(m_main, 1090);
    const std::wstring changes = L"Загрузка изменит настройки регистратора, всего 1:\nРекламный текст 2: \"" +
                                 kFooterTyped + L"\" -> \"" + kFooterHeld +
                                 L"\"\nЗаписать эти настройки в регистратор?";
    if (!Box(L"Подтверждение", L"Загрузить настройки из файла в регистратор?", IDYES, "\"Load...\" asks first") ||
        !ChooseFile(L"Открыть", file) ||
        !Box(L"Подтверждение", changes, IDOK, "the load lists the one setting it changes", 30000) ||
        !Box(L"Информация", L"Настройки загружены в регистратор", IDOK, "the load says it is done", 30000))
      return;
    Check(FileHolds(m_state, "table.21.1=" + Utf8(kFooterHeld)), "the load puts the saved line back in the register");
    Check(WaitFor(
              [&] {
                HWND shown = ShownPage(m_main);
                return shown && Text(GetDlgItem(shown, 1049)) == kFooterHeld && Ready();
              },
              15000),
          "the page shown reads the line back");
  }

  // ---- Start-up ----

  // "/NVR" on the command line: the notice, then the recovery dialog with
  // the register's totals in the third model's full layout; "Cancel" closes
  // it, and start-up goes on without the power-cycle notice.
  void NvrAtStart() {
    if (!Box(L"TerminaTool", L"ФАТАЛЬНАЯ ОШИБКА NVR.\nПереходим в режим аварийного\nвосстановления данных.", IDOK,
             "\"/NVR\" gives the notice of the recovery", 60000))
      return;
    HWND dialog = WaitWindow(L"Аварийное восстановление NVR");
    Check(dialog != nullptr, "the recovery dialog \"Аварийное восстановление NVR\" opens");
    if (!dialog) return;
    Check(WaitFor([&] { return Text(GetDlgItem(dialog, 1051)) == L"57"; }, 10000) &&
              Text(GetDlgItem(dialog, 1056)) == L"0.00",
          "it shows the register's shift number and its cash as money: " + Utf8(Text(GetDlgItem(dialog, 1051))) + " " +
              Utf8(Text(GetDlgItem(dialog, 1056))));
    const std::vector<std::pair<int, std::wstring>> buttons = {{1079, L"Сумма продаж по платежам"},
                                                               {1080, L"Сумма возвратов по платежам"},
                                                               {1081, L"Суммы по налогам (продажи)"},
                                                               {1082, L"Суммы по налогам (возвраты)"},
                                                               {11147, L"Cуммы по учетным группам (продажи)"},
                                                               {11148, L"Суммы по учетным группам (возвраты)"},
                                                               {IDOK, L"OK"},
                                                               {IDCANCEL, L"Cancel"},
                                                               {3, L"Save..."},
                                                               {4, L"Load..."}};
    std::string wrong;
    for (const auto& [id, text] : buttons)
      if (!Shown(dialog, id) || Text(GetDlgItem(dialog, id)) != text)
        wrong += " " + std::to_string(id) + "=" + Utf8(Text(GetDlgItem(dialog, id)));
    Check(wrong.empty(), "all its buttons are shown, the tax and department ones too" + wrong);
    Check(Shown(dialog, 1068) && !IsWindowEnabled(GetDlgItem(dialog, 1062)),
          "the deferred receipts row is shown and the sales total is read only");
    Click(dialog, IDCANCEL);
    Check(WaitFor([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, 10000), "\"Cancel\" closes it");
  }

  // A version the program knows only in part: its notice before the window.
  // Returns whether the program is to close by itself after it.
  bool NoticeAtStart(int version) {
    const bool closes = Unsupported(version);
    Box(L"Предупреждение",
        closes ? L"Программа TerminaTool не поддерживает работу с данным типом фискального регистратора."
               : L"Для работы с данным типом фискального регистратора необходимо обновление версии TerminaTool. "
                 L"\nВ текущей версии часть функций будет заблокирована.",
        IDOK, closes ? "the version is not supported" : "the version asks for an update of the program", 60000);
    return closes;
  }

  // No notice of the program's own title is left standing.
  void NoProgramNotice() {
    Check(ProgramWindow(m_pi.dwProcessId, L"TerminaTool") == nullptr, "no further notice is shown");
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
  std::wstring m_state;  // the simulator's state file
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int version = argc > 1 ? _wtoi(argv[1]) : 0;
  if (version <= 0) {
    std::printf(
        "usage: program_probe.exe VERSION [nvr] [notice] [tabs] [report=LOG] [dates=LOG] [pages=STATE] "
        "[password=STATE] [settings=FILE] [status] [cliche=STATE] [refuse] [silent=DIR]\n");
    return 2;
  }
  std::vector<std::pair<std::wstring, std::wstring>> checks;
  bool nvr = false, notice = false;
  for (int i = 2; i < argc; ++i) {
    const std::wstring a = argv[i];
    const auto eq = a.find(L'=');
    const std::wstring name = a.substr(0, eq), value = eq == std::wstring::npos ? L"" : a.substr(eq + 1);
    if (name == L"nvr")
      nvr = true;
    else if (name == L"notice")
      notice = true;
    else
      checks.emplace_back(name, value);
  }
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::wstring line = nvr ? L"TerminaTool.exe /NVR" : L"TerminaTool.exe";
  std::vector<wchar_t> command(line.begin(), line.end());
  command.push_back(L'\0');
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::printf("FAILED: TerminaTool.exe does not start (%lu)\n", GetLastError());
    return 1;
  }
  Probe probe(pi);
  bool silenced = false, closes = false;
  if (nvr) probe.NvrAtStart();
  if (notice) closes = probe.NoticeAtStart(version);
  if (!closes && probe.Start(version)) {
    if (nvr) probe.NoProgramNotice();
    HWND page = nullptr;
    for (const auto& [name, value] : checks) {
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
      if (name == L"pages") {
        probe.SetState(value);
        probe.Pages(version);
        page = nullptr;
        continue;
      }
      if (name == L"password") {
        probe.SetState(value);
        probe.ChangePassword();
        continue;
      }
      if (name == L"settings") {
        probe.SettingsFile(version, value);
        page = nullptr;
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
  // Escape ends the program (at any time, the register silent or not); a
  // version it does not support ends it by itself.
  if (HWND main = closes ? nullptr : probe.Main()) {
    SetForegroundWindow(main);
    PostMessageW(main, WM_KEYDOWN, VK_ESCAPE, 0);
  }
  const bool ended = WaitForSingleObject(pi.hProcess, silenced ? 15000 : 30000) == WAIT_OBJECT_0;
  Check(ended, closes ? "the program ends after the notice" : "Escape ends the program");
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
