// SPDX-License-Identifier: GPL-3.0-or-later
// tk::CDialog on Win32: the window is made by the dialog manager from the
// DIALOGEX resource of the template's number; controls are found with
// GetDlgItem and read and written with their messages.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include "editex_rules.h"
#include "toolkit_win32.h"

namespace tk {

// ---- Text ----------------------------------------------------------------------

HINSTANCE ResourceModule() { return GetModuleHandleW(nullptr); }

namespace {

const wchar_t kDialogProperty[] = L"TerminaTool.Dialog";

std::wstring WindowText(HWND w) {
  if (!w) return {};
  const int n = GetWindowTextLengthW(w);
  std::wstring s(static_cast<std::size_t>(n) + 1, L'\0');
  const int got = GetWindowTextW(w, s.data(), n + 1);
  s.resize(static_cast<std::size_t>(std::max(got, 0)));
  return s;
}

enum class Kind {
  None,
  Edit,
  Combo,
  PushButton,
  CheckBox,
  Radio,
  GroupBox,
  Static,
  DateTime,
  UpDown,
  Tree,
  Tab,
  Other
};

// The templates' date format (tools/dialog_templates.py admits no other).
const wchar_t kDateFormat[] = L"dd.MM.yyyy";

Kind KindOf(HWND w) {
  if (!w) return Kind::None;
  wchar_t cls[64] = {};
  GetClassNameW(w, cls, 64);
  if (!lstrcmpiW(cls, L"Edit")) return Kind::Edit;
  if (!lstrcmpiW(cls, L"ComboBox")) return Kind::Combo;
  if (!lstrcmpiW(cls, L"Static")) return Kind::Static;
  if (!lstrcmpiW(cls, DATETIMEPICK_CLASSW)) return Kind::DateTime;
  if (!lstrcmpiW(cls, UPDOWN_CLASSW)) return Kind::UpDown;
  if (!lstrcmpiW(cls, WC_TREEVIEWW)) return Kind::Tree;
  if (!lstrcmpiW(cls, WC_TABCONTROLW)) return Kind::Tab;
  if (!lstrcmpiW(cls, L"Button")) {
    switch (GetWindowLongW(w, GWL_STYLE) & BS_TYPEMASK) {
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
      case BS_3STATE:
      case BS_AUTO3STATE: return Kind::CheckBox;
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON: return Kind::Radio;
      case BS_GROUPBOX: return Kind::GroupBox;
      case BS_OWNERDRAW: return Kind::Other;
      default: return Kind::PushButton;
    }
  }
  return Kind::Other;
}

bool IsToggle(Kind k) { return k == Kind::CheckBox || k == Kind::Radio; }

UINT DpiOf(HWND w) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpi && w) {
    if (const UINT dpi = getDpi(w)) return dpi;
  }
  HDC dc = GetDC(nullptr);
  const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
  ReleaseDC(nullptr, dc);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

// The direct children of a window, in template (z) order.
std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> out;
  if (!parent) return out;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
  return out;
}

// The dialogs alive now, so that a message whose owner has gone is shown
// without one instead of over a dangling pointer.
std::mutex g_liveMutex;
std::set<const Dialog*>& LiveDialogs() {
  static std::set<const Dialog*> live;
  return live;
}

// ---- The template resource -------------------------------------------------------

// A DIALOGEX resource copied so that its style can be set for the place the
// window takes (a top-level window or a page inside another), and the
// bitmap numbers of its picture controls, by position.
struct TemplateCopy {
  std::vector<BYTE> bytes;
  struct Item {
    int bitmap = 0;  // the bitmap a picture control names, else 0
    short cx = 0, cy = 0;
  };
  std::vector<Item> items;
};

const WORD* SkipSzOrOrd(const WORD* p, int* ordinal) {
  *ordinal = 0;
  if (*p == 0) return p + 1;
  if (*p == 0xFFFF) {
    *ordinal = p[1];
    return p + 2;
  }
  while (*p) ++p;
  return p + 1;
}

const BYTE* AlignDword(const BYTE* base, const BYTE* p) {
  const auto off = static_cast<std::size_t>(p - base);
  return base + ((off + 3) & ~static_cast<std::size_t>(3));
}

bool ReadTemplate(int id, TemplateCopy& out) {
  HINSTANCE module = ResourceModule();
  HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
  if (!res) return false;
  HGLOBAL data = LoadResource(module, res);
  const auto* p = static_cast<const BYTE*>(data ? LockResource(data) : nullptr);
  const DWORD size = SizeofResource(module, res);
  if (!p || size < 26) return false;
  out.bytes.assign(p, p + size);
  const BYTE* base = out.bytes.data();
  const auto* w = reinterpret_cast<const WORD*>(base);
  if (w[0] != 1 || w[1] != 0xFFFF) return true;  // a plain DLGTEMPLATE: no pictures known
  DWORD style;
  std::memcpy(&style, base + 12, 4);
  WORD count;
  std::memcpy(&count, base + 16, 2);
  int ordinal;
  const WORD* q = reinterpret_cast<const WORD*>(base + 26);
  q = SkipSzOrOrd(q, &ordinal);  // menu
  q = SkipSzOrOrd(q, &ordinal);  // class
  q = SkipSzOrOrd(q, &ordinal);  // title
  if (style & (DS_SETFONT | DS_SHELLFONT)) {
    q += 3;  // point size, weight, italic and character set
    while (*q) ++q;
    ++q;
  }
  const BYTE* item = reinterpret_cast<const BYTE*>(q);
  const BYTE* end = base + size;
  for (WORD i = 0; i < count; ++i) {
    item = AlignDword(base, item);
    if (item + 24 > end) break;
    TemplateCopy::Item info;
    std::memcpy(&info.cx, item + 16, 2);
    std::memcpy(&info.cy, item + 18, 2);
    DWORD itemStyle;
    std::memcpy(&itemStyle, item + 8, 4);
    int cls = 0, title = 0;
    const auto* className = reinterpret_cast<const wchar_t*>(item + 24);
    q = SkipSzOrOrd(reinterpret_cast<const WORD*>(item + 24), &cls);
    // The static class by its ordinal or by its name.
    const bool isStatic = cls == 0x0082 || (cls == 0 && *className && !lstrcmpiW(className, L"Static"));
    q = SkipSzOrOrd(q, &title);
    if (isStatic && (itemStyle & SS_TYPEMASK) == SS_BITMAP) info.bitmap = title;
    const WORD extra = *q++;
    item = reinterpret_cast<const BYTE*>(q) + extra;
    out.items.push_back(info);
  }
  return true;
}

// The place a window takes: a page (a child without a frame) or a
// top-level dialog with a caption.  Neither is shown by its creation.
void SetTemplateStyle(std::vector<BYTE>& bytes, bool child) {
  const bool ex = reinterpret_cast<const WORD*>(bytes.data())[1] == 0xFFFF;
  const std::size_t styleAt = ex ? 12 : 0, exStyleAt = ex ? 8 : 4;
  DWORD style, exStyle;
  std::memcpy(&style, bytes.data() + styleAt, 4);
  std::memcpy(&exStyle, bytes.data() + exStyleAt, 4);
  style &= ~static_cast<DWORD>(WS_VISIBLE);
  if (child) {
    style &= ~static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_THICKFRAME);
    style |= WS_CHILD | DS_CONTROL;
    exStyle |= WS_EX_CONTROLPARENT;
  } else if (style & WS_CHILD) {
    style &= ~static_cast<DWORD>(WS_CHILD | DS_CONTROL);
    style |= WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  }
  std::memcpy(bytes.data() + styleAt, &style, 4);
  std::memcpy(bytes.data() + exStyleAt, &exStyle, 4);
}

INT_PTR CALLBACK DialogProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_INITDIALOG) {
    auto* impl = reinterpret_cast<CDialog::Impl*>(lp);
    impl->hwnd = w;
    SetPropW(w, kDialogProperty, impl);
    return FALSE;  // the focus is set when the window is shown
  }
  auto* impl = static_cast<CDialog::Impl*>(GetPropW(w, kDialogProperty));
  if (!impl) return FALSE;
  if (msg == WM_NCDESTROY) {
    RemovePropW(w, kDialogProperty);
    impl->hwnd = nullptr;
    return FALSE;
  }
  return impl->Proc(msg, wp, lp);
}

// ---- Edit boxes and display-only buttons ---------------------------------------

// The edit box's text with its selection replaced by `insert`.
std::wstring TextAfterInsert(HWND edit, const std::wstring& insert, std::size_t* oldLength, std::size_t* selected) {
  std::wstring text = WindowText(edit);
  DWORD start = 0, end = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  start = std::min<DWORD>(start, static_cast<DWORD>(text.size()));
  end = std::min<DWORD>(std::max(end, start), static_cast<DWORD>(text.size()));
  *oldLength = text.size();
  *selected = end - start;
  text.replace(start, end - start, insert);
  return text;
}

std::wstring ClipboardText(HWND owner) {
  std::wstring text;
  if (!OpenClipboard(owner)) return text;
  if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* p = static_cast<const wchar_t*>(GlobalLock(h))) {
      text = p;
      GlobalUnlock(h);
    }
  }
  CloseClipboard();
  // A single-line box takes the first line only.
  const std::size_t nl = text.find_first_of(L"\r\n");
  if (nl != std::wstring::npos) text.resize(nl);
  return text;
}

LRESULT CALLBACK ControlSubclass(HWND w, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
  auto* impl = reinterpret_cast<CDialog::Impl*>(ref);
  const int id = GetDlgCtrlID(w);
  if (msg == WM_NCDESTROY) {
    RemoveWindowSubclass(w, ControlSubclass, 1);
    return DefSubclassProc(w, msg, wp, lp);
  }
  if (impl->displayOnly.count(id)) {
    switch (msg) {
      case WM_LBUTTONDOWN:
      case WM_LBUTTONUP:
      case WM_LBUTTONDBLCLK:
      case WM_KEYDOWN:
      case WM_KEYUP:
      case WM_CHAR: return 0;
      default: return DefSubclassProc(w, msg, wp, lp);
    }
  }
  auto rules = impl->editRules.find(id);
  if (rules == impl->editRules.end()) return DefSubclassProc(w, msg, wp, lp);
  const EditRules& r = rules->second;
  if (msg == WM_CHAR && wp >= 0x20 && wp != 0x7F) {
    const std::wstring typed(1, static_cast<wchar_t>(wp));
    std::size_t oldLength = 0, selected = 0;
    const std::wstring after = TextAfterInsert(w, typed, &oldLength, &selected);
    if (r.typingLimit >= 0 && after.size() > std::max<std::size_t>(static_cast<std::size_t>(r.typingLimit), oldLength))
      return 0;
    if (r.decimal && !editex::AcceptsChar(Utf8(WindowText(w)), static_cast<char32_t>(wp), true)) return 0;
    if (r.hasPattern && !std::regex_match(Utf8(after), r.pattern)) return 0;
  } else if (msg == WM_PASTE && (r.typingLimit >= 0 || r.hasPattern)) {
    std::wstring text = ClipboardText(w);
    std::size_t oldLength = 0, selected = 0;
    TextAfterInsert(w, L"", &oldLength, &selected);
    if (r.typingLimit >= 0) {
      // A paste keeps what fits.
      const std::size_t room = std::max<std::size_t>(static_cast<std::size_t>(r.typingLimit), oldLength);
      const std::size_t rest = oldLength - selected;
      text.resize(std::min(text.size(), room > rest ? room - rest : 0));
    }
    const std::wstring after = TextAfterInsert(w, text, &oldLength, &selected);
    if (text.empty() || (r.hasPattern && !std::regex_match(Utf8(after), r.pattern))) return 0;
    SendMessageW(w, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
    return 0;
  }
  return DefSubclassProc(w, msg, wp, lp);
}

void Subclass(HWND control, CDialog::Impl* impl) {
  if (impl->subclassed.insert(control).second)
    SetWindowSubclass(control, ControlSubclass, 1, reinterpret_cast<DWORD_PTR>(impl));
}

// Whether a control takes input: it is enabled, and no window it lies in
// (a page, the page's host) was disabled as a whole.  A window disabled
// only while a modal dialog of its own runs does not count.
bool TakesInput(HWND control) {
  if (!control || !IsWindowEnabled(control)) return false;
  for (HWND w = GetParent(control); w; w = GetParent(w))
    if (const auto* d = static_cast<const CDialog::Impl*>(GetPropW(w, kDialogProperty)); d && d->windowDisabled)
      return false;
  return true;
}

}  // namespace

HWND WindowOf(const Dialog* dialog) {
  if (!dialog) return nullptr;
  {
    std::lock_guard lock(g_liveMutex);
    if (!LiveDialogs().count(dialog)) return nullptr;
  }
  const auto* d = dynamic_cast<const CDialog*>(dialog);
  return d && d->GetImpl() ? d->GetImpl()->hwnd : nullptr;
}

// ---- The window ------------------------------------------------------------------

CDialog::Impl::Impl(CDialog& o, HWND ownerW) : owner(o), ownerWindow(ownerW) {}

CDialog::Impl::~Impl() { Destroy(); }

CDialog::Impl* CDialog::Impl::FromWindow(HWND w) {
  return w ? static_cast<Impl*>(GetPropW(w, kDialogProperty)) : nullptr;
}

void CDialog::Impl::Create(int templateId) {
  TemplateCopy copy;
  if (!ReadTemplate(templateId, copy)) throw std::logic_error("no dialog template " + std::to_string(templateId));
  SetTemplateStyle(copy.bytes, host != nullptr);
  HWND parent = host ? host : ownerWindow;
  HWND w = CreateDialogIndirectParamW(ResourceModule(), reinterpret_cast<LPCDLGTEMPLATEW>(copy.bytes.data()), parent,
                                      DialogProc, reinterpret_cast<LPARAM>(this));
  if (!w)
    throw std::runtime_error("dialog template " + std::to_string(templateId) + " cannot be made a window (error " +
                             std::to_string(GetLastError()) + ")");
  hwnd = w;
  // Pictures the template names by bitmap number and the program draws.
  const std::vector<HWND> children = Children(hwnd);
  for (std::size_t i = 0; i < children.size() && i < copy.items.size(); ++i) {
    const TemplateCopy::Item& item = copy.items[i];
    if (!item.bitmap || SendMessageW(children[i], STM_GETIMAGE, IMAGE_BITMAP, 0)) continue;
    RECT r{0, 0, item.cx, item.cy};
    MapDialogRect(hwnd, &r);
    if (HBITMAP b = MakeBitmap(item.bitmap, r.right, r.bottom)) {
      SetWindowLongW(children[i], GWL_STYLE, GetWindowLongW(children[i], GWL_STYLE) | SS_CENTERIMAGE);
      SetWindowPos(children[i], nullptr, 0, 0, r.right, r.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      templateBitmaps.push_back(b);
      SendMessageW(children[i], STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(b));
    }
  }
  // A tab control is the background of the controls that lie on it (the
  // function tree): it goes under them and does not paint over them.  It
  // takes no focus, so the keyboard order it leaves does not matter.
  for (HWND c : children) {
    if (KindOf(c) != Kind::Tab) continue;
    SetWindowLongW(c, GWL_STYLE, GetWindowLongW(c, GWL_STYLE) | WS_CLIPSIBLINGS);
    SetWindowPos(c, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  // Dates as the templates show them, the same on every machine (the
  // system's short date format differs from one to the next).
  for (HWND c : children)
    if (KindOf(c) == Kind::DateTime && (GetWindowLongW(c, GWL_STYLE) & DTS_TIMEFORMAT) != DTS_TIMEFORMAT)
      SendMessageW(c, DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(kDateFormat));
  for (const auto& [timer, ms] : pendingTimers)
    SetTimer(hwnd, static_cast<UINT_PTR>(timer), static_cast<UINT>(ms), nullptr);
  pendingTimers.clear();
}

void CDialog::Impl::Destroy() {
  destroying = true;
  if (hwnd) {
    // Pages inside belong to their own dialogs, which destroy them: they
    // leave this window first, for the hidden message window.
    for (HWND c : Children(hwnd)) {
      if (Impl* page = FromWindow(c)) {
        ShowWindow(c, SW_HIDE);
        SetParent(c, HWND_MESSAGE);
        page->host = nullptr;
      }
    }
    for (const auto& [timer, handler] : timers) KillTimer(hwnd, static_cast<UINT_PTR>(timer));
    for (const auto& [id, bitmap] : pictures) {
      const auto shown = reinterpret_cast<HBITMAP>(SendMessageW(Item(id), STM_SETIMAGE, IMAGE_BITMAP, 0));
      if (shown && shown != bitmap) DeleteObject(shown);
    }
    HWND w = hwnd;
    DestroyWindow(w);
    hwnd = nullptr;
  }
  timers.clear();
  for (auto& [id, bitmap] : pictures)
    if (bitmap) DeleteObject(bitmap);
  pictures.clear();
  for (HBITMAP b : templateBitmaps) DeleteObject(b);
  templateBitmaps.clear();
  if (fixedFont) DeleteObject(fixedFont);
  fixedFont = nullptr;
  for (HICON& icon : icons) {
    if (icon) DestroyIcon(icon);
    icon = nullptr;
  }
}

void CDialog::Impl::ApplyChildStyle(bool child) {
  if (!hwnd) return;
  LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  LONG exStyle = GetWindowLongW(hwnd, GWL_EXSTYLE);
  if (child) {
    style &= ~static_cast<LONG>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_THICKFRAME);
    style |= WS_CHILD | DS_CONTROL;
    exStyle |= WS_EX_CONTROLPARENT;
    exStyle &= ~static_cast<LONG>(WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE);
  } else {
    style &= ~static_cast<LONG>(WS_CHILD | DS_CONTROL);
    style |= WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  }
  SetWindowLongW(hwnd, GWL_STYLE, style);
  SetWindowLongW(hwnd, GWL_EXSTYLE, exStyle);
  SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void CDialog::Impl::RunHandler(int id, int kind) {
  auto it = handlers.find({id, kind});
  if (it == handlers.end() || !it->second) return;
  // A copy: the handler may replace itself or end the window.
  const std::function<void()> h = it->second;
  h();
}

void CDialog::Impl::SyncCheckStates() {
  const std::weak_ptr<bool> life = alive;
  for (auto& [id, state] : std::map<int, bool>(checkStates)) {
    if (life.expired()) return;
    const bool now = SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (now == state) continue;
    checkStates[id] = now;
    RunHandler(id, 1);
  }
}

void CDialog::Impl::OnCommand(int id, int code, HWND control) {
  const std::weak_ptr<bool> life = alive;
  if (!control) {
    // Enter or Escape through the dialog manager with no such button.
    if (code == 0 && id == IDOK) owner.OnOK();
    if (code == 0 && id == IDCANCEL) owner.OnCancel();
    return;
  }
  const Kind kind = KindOf(control);
  switch (kind) {
    case Kind::PushButton:
    case Kind::CheckBox:
    case Kind::Radio:
      if (code != BN_CLICKED) return;
      if (id == IDOK) owner.OnOK();
      if (id == IDCANCEL) owner.OnCancel();
      if (life.expired()) return;
      RunHandler(id, 0);
      if (!life.expired()) SyncCheckStates();
      return;
    case Kind::Edit:
      if (code == EN_CHANGE && !blockChange) {
        if (!programChange) editDirty.insert(id);
        RunHandler(id, 1);
      } else if (code == EN_KILLFOCUS && editDirty.erase(id)) {
        RunHandler(id, 2);
      }
      return;
    case Kind::Combo:
      if (code == CBN_SELCHANGE && !blockChange) RunHandler(id, 1);
      return;
    default: return;
  }
}

void CDialog::Impl::OnNotify(const NMHDR* n) {
  const int id = static_cast<int>(n->idFrom);
  switch (n->code) {
    case TVN_SELCHANGEDW: {
      const auto* tv = reinterpret_cast<const NMTREEVIEWW*>(n);
      if (!blockChange && (tv->action == TVC_BYMOUSE || tv->action == TVC_BYKEYBOARD)) RunHandler(id, 1);
      break;
    }
    case TCN_SELCHANGE:
    case DTN_DATETIMECHANGE:
      if (!blockChange) RunHandler(id, 1);
      break;
    default: break;
  }
}

void CDialog::Impl::LayoutStatusBar() {
  if (!statusBar || !hwnd) return;
  SendMessageW(statusBar, WM_SIZE, 0, 0);
  RECT r;
  GetClientRect(statusBar, &r);
  const int second = MulDiv(statusSecondWidth, static_cast<int>(DpiOf(hwnd)), 96);
  int parts[2] = {std::max<int>(0, r.right - second), -1};
  SendMessageW(statusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
}

INT_PTR CDialog::Impl::Proc(UINT msg, WPARAM wp, LPARAM lp) {
  if (destroying) return FALSE;
  switch (msg) {
    case WM_COMMAND: OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp)); return TRUE;
    case WM_NOTIFY: OnNotify(reinterpret_cast<const NMHDR*>(lp)); return FALSE;
    case WM_VSCROLL:
    case WM_HSCROLL: {
      // An up-down control reports the number its arrows (or the arrow
      // keys in its edit box) made.
      HWND ud = reinterpret_cast<HWND>(lp);
      if (LOWORD(wp) == SB_THUMBPOSITION && KindOf(ud) == Kind::UpDown && !blockChange) RunHandler(GetDlgCtrlID(ud), 1);
      return TRUE;
    }
    case WM_TIMER: {
      auto it = timers.find(static_cast<int>(wp));
      if (it != timers.end()) {
        const std::function<void()> h = it->second;
        h();
      }
      return TRUE;
    }
    case WM_SIZE: LayoutStatusBar(); return FALSE;
    case WM_SETCURSOR: {
      bool wait = waitCursor;
      if (bool programWait; WaitCursorActive(&programWait)) wait = programWait;
      if (!wait && !waitCursor) return FALSE;
      SetCursor(LoadCursorW(nullptr, wait ? IDC_WAIT : IDC_ARROW));
      SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, TRUE);
      return TRUE;
    }
    case WM_CLOSE:
      // The close box: the window's own cancel, not its button's handler.
      owner.OnCancel();
      return TRUE;
    default: return FALSE;
  }
}

bool CDialog::Impl::WindowKey(const Key& key) {
  if (windowKeys) {
    const KeyFilter f = windowKeys;
    if (f(key)) return true;
  }
  return owner.OnWindowKey(key);
}

bool CDialog::Impl::ControlKey(HWND control, const Key& key) {
  auto it = keyFilters.find(GetDlgCtrlID(control));
  if (it == keyFilters.end() || !it->second) return false;
  const KeyFilter f = it->second;
  return f(key);
}

// ---- CDialog -----------------------------------------------------------------------

CDialog::CDialog(int templateId, Dialog* parent)
    : m_impl(std::make_unique<Impl>(*this, WindowOf(parent))), m_nTemplate(templateId) {
  std::lock_guard lock(g_liveMutex);
  LiveDialogs().insert(this);
}

CDialog::~CDialog() {
  {
    std::lock_guard lock(g_liveMutex);
    LiveDialogs().erase(this);
  }
  m_impl.reset();
}

void CDialog::BuildTemplate() {
  if (m_bBuilt) return;
  m_impl->Create(TemplateId());
  m_bBuilt = true;
}

void CDialog::InitDialog() {
  if (m_bInitDone) return;
  BuildTemplate();
  m_bInitDone = true;
  OnInitDialog();
}

std::string CDialog::Title() const { return Utf8(WindowText(m_impl->hwnd)); }

std::string CDialog::ItemText(int id) const {
  HWND w = m_impl->Item(id);
  if (KindOf(w) == Kind::Combo) {
    const auto sel = static_cast<int>(SendMessageW(w, CB_GETCURSEL, 0, 0));
    return sel >= 0 ? ComboItemText(id, sel) : Utf8(WindowText(w));
  }
  return Utf8(WindowText(w));
}

void CDialog::SetItemTextNow(int id, const std::string& utf8) {
  HWND w = m_impl->Item(id);
  const Kind kind = KindOf(w);
  if (kind == Kind::None || kind == Kind::Tree || kind == Kind::Tab || kind == Kind::UpDown || kind == Kind::DateTime)
    return;
  if (kind == Kind::Combo && (GetWindowLongW(w, GWL_STYLE) & 3) == CBS_DROPDOWNLIST) return;
  std::wstring text = Wide(utf8);
  if (kind == Kind::Edit) {
    auto limit = m_impl->textLimits.find(id);
    if (limit != m_impl->textLimits.end() && text.size() > static_cast<std::size_t>(limit->second))
      text.resize(static_cast<std::size_t>(limit->second));
    if (text == WindowText(w)) return;  // no change, no change handler
  }
  ++m_impl->programChange;
  SetWindowTextW(w, text.c_str());
  --m_impl->programChange;
}

bool CDialog::IsChecked(int id) const {
  HWND w = m_impl->Item(id);
  return IsToggle(KindOf(w)) && SendMessageW(w, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CDialog::SetChecked(int id, bool checked) {
  HWND w = m_impl->Item(id);
  const Kind kind = KindOf(w);
  if (!IsToggle(kind)) return;
  if (checked && kind == Kind::Radio) {
    // One choice of a group at a time, as a click makes it.
    for (HWND other = GetNextDlgGroupItem(m_impl->hwnd, w, FALSE); other && other != w;
         other = GetNextDlgGroupItem(m_impl->hwnd, other, FALSE))
      if (KindOf(other) == Kind::Radio) SendMessageW(other, BM_SETCHECK, BST_UNCHECKED, 0);
  }
  SendMessageW(w, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  m_impl->SyncCheckStates();
}

int CDialog::ComboIndex(int id) const {
  HWND w = m_impl->Item(id);
  return KindOf(w) == Kind::Combo ? static_cast<int>(SendMessageW(w, CB_GETCURSEL, 0, 0)) : -1;
}

void CDialog::SetComboIndex(int id, int index) {
  HWND w = m_impl->Item(id);
  if (KindOf(w) != Kind::Combo) return;
  const auto before = SendMessageW(w, CB_GETCURSEL, 0, 0);
  if (index < 0 || index >= ComboCount(id)) index = -1;
  SendMessageW(w, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  if (SendMessageW(w, CB_GETCURSEL, 0, 0) != before && !m_impl->blockChange) m_impl->RunHandler(id, 1);
}

int CDialog::ComboCount(int id) const {
  HWND w = m_impl->Item(id);
  return KindOf(w) == Kind::Combo ? static_cast<int>(SendMessageW(w, CB_GETCOUNT, 0, 0)) : 0;
}

std::string CDialog::ComboItemText(int id, int index) const {
  HWND w = m_impl->Item(id);
  if (KindOf(w) != Kind::Combo || index < 0) return {};
  const auto n = SendMessageW(w, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (n == CB_ERR) return {};
  std::wstring s(static_cast<std::size_t>(n) + 1, L'\0');
  const auto got = SendMessageW(w, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(s.data()));
  return got == CB_ERR ? std::string() : Utf8(s.data(), static_cast<int>(got));
}

void CDialog::ShowItem(int id, bool show) {
  if (HWND w = m_impl->Item(id)) ShowWindow(w, show ? SW_SHOWNA : SW_HIDE);
}

bool CDialog::IsItemShown(int id) const {
  HWND w = m_impl->Item(id);
  return w && (GetWindowLongW(w, GWL_STYLE) & WS_VISIBLE);
}

void CDialog::EnableItemNow(int id, bool enable) {
  if (HWND w = m_impl->Item(id)) EnableWindow(w, enable);
}

bool CDialog::IsItemEnabled(int id) const { return TakesInput(m_impl->Item(id)); }

void CDialog::FocusItemNow(int id) {
  HWND w = m_impl->Item(id);
  if (!w) return;
  HWND root = GetAncestor(m_impl->hwnd, GA_ROOT);
  // Focusing a control activates its window.  A window not shown yet (a
  // dialog's initialisation) gets the focus when it is shown: activated
  // while hidden, Wine keeps drawing its caption as inactive.
  if (!IsWindowVisible(root)) {
    if (Impl* r = Impl::FromWindow(root)) {
      r->pendingFocus = w;
      return;
    }
  }
  // Through the top-level dialog, which keeps its default button in step.
  SendMessageW(root, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(w), TRUE);
}

bool CDialog::Impl::TakePendingFocus() {
  HWND f = pendingFocus;
  pendingFocus = nullptr;
  if (!f || !hwnd || !IsWindowVisible(hwnd) || !IsWindow(f) || !IsChild(hwnd, f)) return false;
  SendMessageW(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(f), TRUE);
  return true;
}

bool CDialog::SetPictureFile(int id, const std::string& path) {
  HWND w = m_impl->Item(id);
  if (KindOf(w) != Kind::Static) return false;
  LONG style = GetWindowLongW(w, GWL_STYLE);
  if ((style & SS_TYPEMASK) != SS_BITMAP || !(style & SS_CENTERIMAGE)) {
    // Centred in the control's own rectangle, which keeps its size.
    style = (style & ~static_cast<LONG>(SS_TYPEMASK)) | SS_BITMAP | SS_CENTERIMAGE;
    SetWindowLongW(w, GWL_STYLE, style);
  }
  RECT room;
  GetClientRect(w, &room);
  HBITMAP picture = path.empty() ? nullptr : LoadPictureFile(Wide(path), room.right, room.bottom);
  HBITMAP previous = m_impl->pictures[id];
  const auto old =
      reinterpret_cast<HBITMAP>(SendMessageW(w, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture)));
  // The control shows a copy of a bitmap with an alpha channel; the copy is
  // its own and is given back here.
  if (old && old != previous) DeleteObject(old);
  if (previous) DeleteObject(previous);
  m_impl->pictures[id] = nullptr;
  if (picture) {
    if (reinterpret_cast<HBITMAP>(SendMessageW(w, STM_GETIMAGE, IMAGE_BITMAP, 0)) == picture)
      m_impl->pictures[id] = picture;
    else
      DeleteObject(picture);
  }
  InvalidateRect(w, nullptr, TRUE);
  return picture != nullptr;
}

void CDialog::SetFixedFont(int id) {
  HWND w = m_impl->Item(id);
  if (!w) return;
  if (!m_impl->fixedFont) {
    // The cell height the page templates were laid out for, at the
    // window's resolution.
    const int cell = MulDiv(14, static_cast<int>(DpiOf(m_impl->hwnd)), 96);
    m_impl->fixedFont = CreateFontW(cell, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                    CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, FIXED_PITCH | FF_MODERN, L"Courier New");
  }
  SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(m_impl->fixedFont), TRUE);
}

void CDialog::AlignRulerOver(int rulerId, int boxId) {
  HWND ruler = m_impl->Item(rulerId);
  HWND box = m_impl->Item(boxId);
  if (!ruler || KindOf(box) != Kind::Edit) return;
  // The first character cell of the box: the left edge of its formatting
  // rectangle (the client area less the margins), in the window's
  // coordinates.
  RECT format{};
  SendMessageW(box, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
  POINT origin{format.left, 0};
  MapWindowPoints(box, m_impl->hwnd, &origin, 1);
  const int textLeft = origin.x;
  const Rect r = ItemRect(rulerId);
  SetWindowPos(ruler, nullptr, textLeft, r.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CDialog::SetTextLimit(int id, int chars) {
  HWND w = m_impl->Item(id);
  if (KindOf(w) != Kind::Edit) return;
  m_impl->textLimits[id] = chars;
  SendMessageW(w, EM_SETLIMITTEXT, static_cast<WPARAM>(std::max(chars, 1)), 0);
  const std::wstring text = WindowText(w);
  if (text.size() > static_cast<std::size_t>(chars)) {
    ++m_impl->programChange;
    SetWindowTextW(w, text.substr(0, static_cast<std::size_t>(chars)).c_str());
    --m_impl->programChange;
  }
}

void CDialog::SetDisplayOnly(int id) {
  HWND w = m_impl->Item(id);
  if (!IsToggle(KindOf(w))) return;
  m_impl->displayOnly.insert(id);
  SetWindowLongW(w, GWL_STYLE, GetWindowLongW(w, GWL_STYLE) & ~static_cast<LONG>(WS_TABSTOP));
  Subclass(w, m_impl.get());
}

Rect CDialog::ItemRect(int id) const {
  HWND w = m_impl->Item(id);
  if (!w) return {};
  RECT r;
  GetWindowRect(w, &r);
  MapWindowPoints(nullptr, m_impl->hwnd, reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void CDialog::MoveItemBy(int id, int dx, int dy) {
  HWND w = m_impl->Item(id);
  if (!w) return;
  const Rect r = ItemRect(id);
  SetWindowPos(w, nullptr, r.x + dx, r.y + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CDialog::ShortenBy(int dy) {
  if (!m_impl->hwnd) return;
  RECT r;
  GetWindowRect(m_impl->hwnd, &r);
  SetWindowPos(m_impl->hwnd, nullptr, 0, 0, r.right - r.left, r.bottom - r.top - dy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CDialog::HasItem(int id) const { return m_impl->Item(id) != nullptr; }

std::vector<int> CDialog::PushButtonIds() const {
  std::vector<int> ids;
  for (HWND c : Children(m_impl->hwnd))
    if (KindOf(c) == Kind::PushButton)
      if (const int id = GetDlgCtrlID(c); id > 0) ids.push_back(id);
  return ids;
}

bool CDialog::Press(int id) {
  HWND w = m_impl->Item(id);
  const Kind kind = KindOf(w);
  if (kind != Kind::PushButton && !IsToggle(kind)) return false;
  if (!IsWindowVisible(w) || !TakesInput(w)) return false;
  const LONG type = GetWindowLongW(w, GWL_STYLE) & BS_TYPEMASK;
  // What a click does to an automatic check box or radio button.
  if (type == BS_AUTOCHECKBOX) {
    SendMessageW(w, BM_SETCHECK, IsChecked(id) ? BST_UNCHECKED : BST_CHECKED, 0);
  } else if (type == BS_AUTORADIOBUTTON) {
    for (HWND other = GetNextDlgGroupItem(m_impl->hwnd, w, FALSE); other && other != w;
         other = GetNextDlgGroupItem(m_impl->hwnd, other, FALSE))
      if (KindOf(other) == Kind::Radio) SendMessageW(other, BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageW(w, BM_SETCHECK, BST_CHECKED, 0);
  }
  SendMessageW(m_impl->hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(w));
  return true;
}

Date CDialog::GetDate(int id) const {
  HWND w = m_impl->Item(id);
  SYSTEMTIME st{};
  if (KindOf(w) != Kind::DateTime || SendMessageW(w, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) != GDT_VALID)
    return {};
  return {st.wYear, st.wMonth, st.wDay};
}

void CDialog::SetDate(int id, const Date& date) {
  HWND w = m_impl->Item(id);
  SYSTEMTIME st{};
  if (KindOf(w) != Kind::DateTime) return;
  if (SendMessageW(w, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) != GDT_VALID) GetLocalTime(&st);
  st.wYear = static_cast<WORD>(date.year);
  st.wMonth = static_cast<WORD>(date.month);
  st.wDay = static_cast<WORD>(date.day);
  st.wDayOfWeek = 0;
  ++m_impl->blockChange;
  SendMessageW(w, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
  --m_impl->blockChange;
}

Time CDialog::GetTime(int id) const {
  HWND w = m_impl->Item(id);
  SYSTEMTIME st{};
  if (KindOf(w) != Kind::DateTime || SendMessageW(w, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) != GDT_VALID)
    return {};
  return {st.wHour, st.wMinute, st.wSecond};
}

void CDialog::SetTime(int id, const Time& time) {
  HWND w = m_impl->Item(id);
  SYSTEMTIME st{};
  if (KindOf(w) != Kind::DateTime) return;
  if (SendMessageW(w, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) != GDT_VALID) GetLocalTime(&st);
  st.wHour = static_cast<WORD>(time.hour);
  st.wMinute = static_cast<WORD>(time.minute);
  st.wSecond = static_cast<WORD>(time.second);
  st.wMilliseconds = 0;
  ++m_impl->blockChange;
  SendMessageW(w, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
  --m_impl->blockChange;
}

int CDialog::GetNumber(int id) const {
  HWND w = m_impl->Item(id);
  if (KindOf(w) != Kind::UpDown) return 0;
  BOOL failed = FALSE;
  const auto v = static_cast<int>(SendMessageW(w, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed)));
  return v;
}

void CDialog::SetNumber(int id, int value) {
  HWND w = m_impl->Item(id);
  if (KindOf(w) != Kind::UpDown) return;
  ++m_impl->blockChange;
  SendMessageW(w, UDM_SETPOS32, 0, value);
  --m_impl->blockChange;
}

void CDialog::SetNumberRange(int id, int low, int high) {
  HWND w = m_impl->Item(id);
  if (KindOf(w) != Kind::UpDown) return;
  ++m_impl->blockChange;
  const int value = GetNumber(id);
  SendMessageW(w, UDM_SETRANGE32, static_cast<WPARAM>(low), high);
  // The number stays within the range, as a spin box keeps it.
  SendMessageW(w, UDM_SETPOS32, 0, std::clamp(value, std::min(low, high), std::max(low, high)));
  --m_impl->blockChange;
}

void CDialog::SetUpDownBuddy(int upDownId, int editId) {
  HWND ud = m_impl->Item(upDownId);
  HWND edit = m_impl->Item(editId);
  if (KindOf(ud) != Kind::UpDown || !edit) return;
  // The template placed the control at the box's right edge.  The number
  // is the control's own, as a spin box's is: its arrows do not write it
  // into the box and typing there does not change it (the page keeps the
  // two in step through their change handlers), so the box is no buddy
  // the control would write into.
  ++m_impl->blockChange;
  if (reinterpret_cast<HWND>(SendMessageW(ud, UDM_GETBUDDY, 0, 0)) == edit) SendMessageW(ud, UDM_SETBUDDY, 0, 0);
  --m_impl->blockChange;
}

void CDialog::SetComboItems(int id, const std::vector<std::string>& items) {
  HWND w = m_impl->Item(id);
  if (KindOf(w) != Kind::Combo) return;
  ++m_impl->blockChange;
  SendMessageW(w, CB_RESETCONTENT, 0, 0);
  for (const std::string& item : items) SendMessageW(w, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
  SendMessageW(w, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  --m_impl->blockChange;
}

void CDialog::SetPasswordEntry(int id) {
  HWND w = m_impl->Item(id);
  if (KindOf(w) != Kind::Edit) return;
  SendMessageW(w, EM_SETPASSWORDCHAR, 0x25CF, 0);
  InvalidateRect(w, nullptr, TRUE);
}

void CDialog::SetTextPattern(int id, const std::string& pattern) {
  HWND w = m_impl->Item(id);
  if (KindOf(w) != Kind::Edit) return;
  EditRules& r = m_impl->editRules[id];
  r.pattern = std::regex(pattern, std::regex::ECMAScript);
  r.hasPattern = true;
  Subclass(w, m_impl.get());
}

void CDialog::SetTypingLimit(int id, int chars) {
  HWND w = m_impl->Item(id);
  if (KindOf(w) != Kind::Edit) return;
  m_impl->editRules[id].typingLimit = chars;
  // The box itself takes any text the program puts there.
  SendMessageW(w, EM_SETLIMITTEXT, 0, 0);
  Subclass(w, m_impl.get());
}

void CDialog::SetDecimalOnly(int id) {
  HWND w = m_impl->Item(id);
  if (KindOf(w) != Kind::Edit) return;
  m_impl->editRules[id].decimal = true;
  Subclass(w, m_impl.get());
}

int CDialog::FocusedItem() const {
  HWND f = GetFocus();
  // A window not shown yet: the control it will focus.
  if (Impl* r = m_impl->hwnd ? Impl::FromWindow(GetAncestor(m_impl->hwnd, GA_ROOT)) : nullptr; r && r->pendingFocus)
    f = r->pendingFocus;
  if (!f || !m_impl->hwnd || !IsChild(m_impl->hwnd, f)) return 0;
  // The control (not a part of it, like a combo box's edit) that holds
  // the focus, in this window or a page inside it.
  for (HWND w = f; w && w != m_impl->hwnd; w = GetParent(w))
    if (Impl::FromWindow(GetParent(w))) return std::max(GetDlgCtrlID(w), 0);
  return 0;
}

bool CDialog::IsPushButton(int id) const { return KindOf(m_impl->Item(id)) == Kind::PushButton; }

void CDialog::OnClicked(int id, std::function<void()> handler) {
  if (!m_impl->Item(id)) return;
  m_impl->handlers[{id, 0}] = std::move(handler);
}

void CDialog::OnChanged(int id, std::function<void()> handler) {
  HWND w = m_impl->Item(id);
  if (!w) return;
  if (IsToggle(KindOf(w))) m_impl->checkStates[id] = SendMessageW(w, BM_GETCHECK, 0, 0) == BST_CHECKED;
  m_impl->handlers[{id, 1}] = std::move(handler);
}

void CDialog::OnEditDone(int id, std::function<void()> handler) {
  if (KindOf(m_impl->Item(id)) != Kind::Edit) return;
  m_impl->handlers[{id, 2}] = std::move(handler);
}

void CDialog::SetKeyFilter(int id, KeyFilter filter) {
  if (id == 0) {
    m_impl->windowKeys = std::move(filter);
    return;
  }
  if (!m_impl->Item(id)) return;
  if (filter)
    m_impl->keyFilters[id] = std::move(filter);
  else
    m_impl->keyFilters.erase(id);
}

int CDialog::StartTimer(int ms, std::function<void()> handler) {
  const int id = m_impl->nextTimer++;
  m_impl->timers[id] = std::move(handler);
  if (m_impl->hwnd)
    SetTimer(m_impl->hwnd, static_cast<UINT_PTR>(id), static_cast<UINT>(std::max(ms, 1)), nullptr);
  else
    m_impl->pendingTimers[id] = std::max(ms, 1);
  return id;
}

void CDialog::StopTimer(int timer) {
  if (m_impl->hwnd) KillTimer(m_impl->hwnd, static_cast<UINT_PTR>(timer));
  m_impl->pendingTimers.erase(timer);
  m_impl->timers.erase(timer);
}

void CDialog::ShowModeless(bool show) {
  HWND w = m_impl->hwnd;
  if (!w) return;
  if (!show) {
    ShowWindow(w, SW_HIDE);
    return;
  }
  ShowWindow(w, SW_SHOW);
  // The focus goes where the dialog's initialisation put it, else to the
  // first control that takes it.
  if (m_impl->TakePendingFocus()) return;
  HWND f = GetFocus();
  if (!f || !IsChild(w, f))
    if (HWND first = GetNextDlgTabItem(w, nullptr, FALSE))
      SendMessageW(w, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
}

void CDialog::SetTitle(const std::string& title) {
  if (m_impl->hwnd) SetWindowTextW(m_impl->hwnd, Wide(title).c_str());
}

void CDialog::SelectItemText(int id) {
  HWND w = m_impl->Item(id);
  if (KindOf(w) == Kind::Edit) SendMessageW(w, EM_SETSEL, 0, -1);
}

void CDialog::EnableWindowNow(bool enable) {
  m_impl->windowDisabled = !enable;
  if (m_impl->hwnd) EnableWindow(m_impl->hwnd, enable);
}

int CDialog::DoModal() {
  InitDialog();
  if (m_bEnded) return m_nEndCode;
  const int r = ThePrompts().RunModal(*this);
  return m_bEnded ? m_nEndCode : r;
}

void CDialog::EndDialog(int code) {
  m_bEnded = true;
  m_nEndCode = code;
  // A modal run hides the window itself once its owner is enabled again.
  if (m_impl->hwnd && !GetPropW(m_impl->hwnd, L"TerminaTool.Modal")) ShowWindow(m_impl->hwnd, SW_HIDE);
  OnEnded(code);
}

// ---- The window as a whole ---------------------------------------------------------

void CDialog::BecomeChildOf(CDialog* host) {
  Impl* d = m_impl.get();
  if (host) {
    if (!host->IsBuilt()) host->BuildTemplate();
    d->host = host->GetImpl()->hwnd;
    if (d->hwnd) {
      d->ApplyChildStyle(true);
      SetParent(d->hwnd, d->host);
    }
  } else {
    d->host = nullptr;
    if (d->hwnd) {
      ShowWindow(d->hwnd, SW_HIDE);
      SetParent(d->hwnd, nullptr);
      d->ApplyChildStyle(false);
    }
  }
}

void CDialog::PlaceAt(const Rect& r) {
  if (!m_impl->hwnd) return;
  SetWindowPos(m_impl->hwnd, HWND_TOP, r.x, r.y, r.width, r.height, SWP_SHOWWINDOW | SWP_NOACTIVATE);
}

void CDialog::SetVisible(bool visible) {
  if (!m_impl->hwnd) return;
  ShowWindow(m_impl->hwnd, visible ? SW_SHOW : SW_HIDE);
  if (visible) m_impl->TakePendingFocus();
}

bool CDialog::IsVisible() const { return m_impl->hwnd && IsWindowVisible(m_impl->hwnd); }

void CDialog::SetIcon(int iconId) {
  Impl* d = m_impl.get();
  if (!d->hwnd) return;
  const int sizes[2] = {GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CXSMICON)};
  for (int i = 0; i < 2; ++i) {
    // The program's icon resource, else the same picture drawn.
    auto icon = static_cast<HICON>(
        LoadImageW(ResourceModule(), MAKEINTRESOURCEW(iconId), IMAGE_ICON, sizes[i], sizes[i], LR_DEFAULTCOLOR));
    if (!icon) icon = MakeIcon(iconId, sizes[i]);
    if (!icon) continue;
    if (d->icons[i]) DestroyIcon(d->icons[i]);
    d->icons[i] = icon;
    SendMessageW(d->hwnd, WM_SETICON, i == 0 ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  }
}

void CDialog::SetWindowWaitCursor(bool wait) {
  m_impl->waitCursor = wait;
  POINT p;
  if (!m_impl->hwnd || !GetCursorPos(&p)) return;
  HWND under = WindowFromPoint(p);
  if (under == m_impl->hwnd || IsChild(m_impl->hwnd, under))
    SetCursor(LoadCursorW(nullptr, wait ? IDC_WAIT : IDC_ARROW));
}

bool CDialog::HasFocusWithin() const {
  HWND f = GetFocus();
  return f && m_impl->hwnd && (f == m_impl->hwnd || IsChild(m_impl->hwnd, f));
}

void CDialog::Repaint() {
  if (m_impl->hwnd)
    RedrawWindow(m_impl->hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void CDialog::LockInput(CDialog* child, int keep, std::function<void()> onEscape) {
  Impl* d = m_impl.get();
  if (!d->hwnd) return;
  HWND focus = GetFocus();
  d->focusBeforeLock = focus && IsChild(d->hwnd, focus) ? focus : nullptr;
  const auto lock = [d](HWND c) {
    if (!IsWindowEnabled(c)) return;
    EnableWindow(c, FALSE);
    d->locked.push_back(c);
  };
  HWND page = child ? child->GetImpl()->hwnd : nullptr;
  for (HWND c : Children(d->hwnd))
    if (c != page) lock(c);
  if (page) {
    HWND kept = child->GetImpl()->Item(keep);
    for (HWND c : Children(page))
      if (c != kept) lock(c);
  }
  // No control keeps the focus while the window waits, as in a disabled
  // window: keys reach the active window itself (Escape), and Enter cannot
  // press the kept button.
  focus = GetFocus();
  if (focus && IsChild(d->hwnd, focus)) SetFocus(nullptr);
  d->onEscape = std::move(onEscape);
  d->inputLocked = true;
}

void CDialog::UnlockInput() {
  Impl* d = m_impl.get();
  d->inputLocked = false;
  d->onEscape = nullptr;
  for (HWND c : d->locked)
    if (IsWindow(c)) EnableWindow(c, TRUE);
  d->locked.clear();
  // The focus goes back where it was, so that keyboard navigation (in the
  // tree, say) goes on.
  HWND focus = d->focusBeforeLock;
  d->focusBeforeLock = nullptr;
  if (focus && d->hwnd && IsWindow(focus) && IsChild(d->hwnd, focus) && IsWindowVisible(focus) &&
      IsWindowEnabled(focus))
    SetFocus(focus);
}

void CDialog::DisableControlsExcept(int keep) {
  Impl* d = m_impl.get();
  HWND kept = d->Item(keep);
  for (HWND c : Children(d->hwnd)) {
    if (c == kept || !IsWindowEnabled(c)) continue;
    EnableWindow(c, FALSE);
    d->disabled.push_back(c);
  }
}

void CDialog::EnableControlsAgain() {
  for (HWND c : m_impl->disabled)
    if (IsWindow(c)) EnableWindow(c, TRUE);
  m_impl->disabled.clear();
}

void CDialog::SetNotDefault(int id) {
  HWND w = m_impl->Item(id);
  if (KindOf(w) != Kind::PushButton) return;
  m_impl->notDefault.insert(id);
  SendMessageW(w, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
}

// ---- Tree view ---------------------------------------------------------------------

void CDialog::TreeClear(int id) {
  HWND t = m_impl->Item(id);
  if (KindOf(t) != Kind::Tree) return;
  ++m_impl->blockChange;
  SendMessageW(t, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
  --m_impl->blockChange;
  m_impl->treeItems[id].clear();
}

int CDialog::TreeAppend(int id, const std::string& text) {
  HWND t = m_impl->Item(id);
  if (KindOf(t) != Kind::Tree) return -1;
  std::wstring w = Wide(text);
  TVINSERTSTRUCTW ins{};
  ins.hParent = TVI_ROOT;
  ins.hInsertAfter = TVI_LAST;
  ins.item.mask = TVIF_TEXT;
  ins.item.pszText = w.data();
  ++m_impl->blockChange;
  auto item = reinterpret_cast<HTREEITEM>(SendMessageW(t, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins)));
  --m_impl->blockChange;
  if (!item) return -1;
  auto& items = m_impl->treeItems[id];
  items.push_back(item);
  return static_cast<int>(items.size()) - 1;
}

int CDialog::TreeCount(int id) const {
  auto it = m_impl->treeItems.find(id);
  return it == m_impl->treeItems.end() ? 0 : static_cast<int>(it->second.size());
}

std::string CDialog::TreeText(int id, int row) const {
  HWND t = m_impl->Item(id);
  auto it = m_impl->treeItems.find(id);
  if (!t || it == m_impl->treeItems.end() || row < 0 || row >= static_cast<int>(it->second.size())) return {};
  wchar_t buffer[512] = {};
  TVITEMW item{};
  item.mask = TVIF_TEXT;
  item.hItem = it->second[static_cast<std::size_t>(row)];
  item.pszText = buffer;
  item.cchTextMax = 512;
  SendMessageW(t, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  return Utf8(std::wstring(buffer));
}

int CDialog::TreeSelection(int id) const {
  HWND t = m_impl->Item(id);
  auto it = m_impl->treeItems.find(id);
  if (!t || it == m_impl->treeItems.end()) return -1;
  auto caret = reinterpret_cast<HTREEITEM>(SendMessageW(t, TVM_GETNEXTITEM, TVGN_CARET, 0));
  auto found = std::find(it->second.begin(), it->second.end(), caret);
  return found == it->second.end() || !caret ? -1 : static_cast<int>(found - it->second.begin());
}

void CDialog::TreeSelect(int id, int row) {
  HWND t = m_impl->Item(id);
  auto it = m_impl->treeItems.find(id);
  if (!t || it == m_impl->treeItems.end() || row < 0 || row >= static_cast<int>(it->second.size())) return;
  ++m_impl->blockChange;
  SendMessageW(t, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(it->second[static_cast<std::size_t>(row)]));
  --m_impl->blockChange;
}

void CDialog::TreeSetRedraw(int id, bool redraw) {
  HWND t = m_impl->Item(id);
  if (KindOf(t) != Kind::Tree) return;
  SendMessageW(t, WM_SETREDRAW, redraw, 0);
  if (redraw) InvalidateRect(t, nullptr, TRUE);
}

// ---- Tab control -------------------------------------------------------------------

void CDialog::TabsReset(int id, const std::vector<std::string>& captions) {
  HWND t = m_impl->Item(id);
  if (KindOf(t) != Kind::Tab) return;
  ++m_impl->blockChange;
  SendMessageW(t, TCM_DELETEALLITEMS, 0, 0);
  int index = 0;
  for (const std::string& caption : captions) {
    std::wstring w = Wide(caption);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = w.data();
    SendMessageW(t, TCM_INSERTITEMW, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&item));
  }
  SendMessageW(t, TCM_SETCURSEL, 0, 0);
  --m_impl->blockChange;
}

int CDialog::TabCount(int id) const {
  HWND t = m_impl->Item(id);
  return KindOf(t) == Kind::Tab ? static_cast<int>(SendMessageW(t, TCM_GETITEMCOUNT, 0, 0)) : 0;
}

std::string CDialog::TabText(int id, int index) const {
  HWND t = m_impl->Item(id);
  if (KindOf(t) != Kind::Tab) return {};
  wchar_t buffer[256] = {};
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = buffer;
  item.cchTextMax = 256;
  if (!SendMessageW(t, TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item))) return {};
  return Utf8(std::wstring(item.pszText));
}

int CDialog::TabIndex(int id) const {
  HWND t = m_impl->Item(id);
  return KindOf(t) == Kind::Tab ? static_cast<int>(SendMessageW(t, TCM_GETCURSEL, 0, 0)) : -1;
}

void CDialog::SetTabIndex(int id, int index) {
  HWND t = m_impl->Item(id);
  if (KindOf(t) != Kind::Tab || index < 0 || index >= TabCount(id)) return;
  const int before = TabIndex(id);
  SendMessageW(t, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
  if (before != index && !m_impl->blockChange) m_impl->RunHandler(id, 1);
}

Rect CDialog::TabHeaderRect(int id, int index) const {
  HWND t = m_impl->Item(id);
  RECT r{};
  if (KindOf(t) != Kind::Tab ||
      !SendMessageW(t, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r)))
    return {};
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// ---- Status bar --------------------------------------------------------------------

void CDialog::AddStatusBar(int id, int secondWidth) {
  Impl* d = m_impl.get();
  if (d->statusBar || !d->hwnd) return;
  d->statusSecondWidth = secondWidth;
  d->statusBar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, d->hwnd,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ResourceModule(), nullptr);
  d->LayoutStatusBar();
}

void CDialog::SetStatusPart(int part, const std::string& text) {
  Impl* d = m_impl.get();
  if (part < 0 || part > 1 || !d->statusBar) return;
  d->statusText[part] = text;
  SendMessageW(d->statusBar, SB_SETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(Wide(text).c_str()));
}

std::string CDialog::StatusPart(int part) const {
  return part >= 0 && part < 2 && m_impl->statusBar ? m_impl->statusText[part] : std::string();
}

// ---- Keys on their way ---------------------------------------------------------------

namespace {

// The seam's view of a key message; false for one it does not describe.
bool KeyOf(const MSG& msg, Key& key) {
  if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
    switch (msg.wParam) {
      case VK_TAB: key.kind = GetKeyState(VK_SHIFT) < 0 ? Key::Kind::BackTab : Key::Kind::Tab; return true;
      case VK_RETURN: key.kind = Key::Kind::Enter; return true;
      case VK_ESCAPE: key.kind = Key::Kind::Escape; return true;
      default:
        // Keys that type something arrive again as characters.
        key.kind = Key::Kind::Other;
        return msg.message == WM_KEYDOWN;
    }
  }
  if (msg.message == WM_CHAR && msg.wParam >= 0x20 && msg.wParam != 0x7F) {
    const auto c = static_cast<wchar_t>(msg.wParam);
    if (c >= 0xD800 && c <= 0xDFFF) return false;  // half of a pair
    key.kind = Key::Kind::Typed;
    key.text = Utf8(&c, 1);
    return true;
  }
  return false;
}

// The innermost dialog of ours that holds window `w`.
CDialog::Impl* DialogAbove(HWND w) {
  for (; w; w = GetParent(w))
    if (CDialog::Impl* d = CDialog::Impl::FromWindow(w)) return d;
  return nullptr;
}

// Key filters, the Enter that finishes an edit, Escape while a window
// waits, and the window keys; true when the key has been taken.
bool PreTranslateKey(MSG& msg) {
  Key key;
  if (!KeyOf(msg, key)) return false;
  HWND root = GetAncestor(msg.hwnd, GA_ROOT);
  CDialog::Impl* top = CDialog::Impl::FromWindow(root);
  if (top && top->inputLocked) {
    if (key.kind == Key::Kind::Escape) {
      const std::function<void()> f = top->onEscape;
      if (f) f();
      return true;
    }
  }
  // The control's own filter.
  HWND control = msg.hwnd;
  CDialog::Impl* owner = CDialog::Impl::FromWindow(GetParent(control));
  if (!owner && GetParent(control)) {
    control = GetParent(control);  // a part of a control (a combo box's edit)
    owner = CDialog::Impl::FromWindow(GetParent(control));
  }
  if (owner && owner->ControlKey(control, key)) return true;
  if (key.kind != Key::Kind::Enter && key.kind != Key::Kind::Escape) return false;
  if (msg.message != WM_KEYDOWN) return false;
  // A control that wants Enter or Escape itself (an open list, a box of
  // several lines) keeps it.
  if (msg.hwnd != root) {
    const auto code = SendMessageW(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg));
    if (code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) return false;
  }
  if (owner && key.kind == Key::Kind::Enter && KindOf(control) == Kind::Edit) {
    const int id = GetDlgCtrlID(control);
    if (owner->editDirty.erase(id)) {
      const std::weak_ptr<bool> life = owner->alive;
      owner->RunHandler(id, 2);
      if (life.expired()) return true;
    }
  }
  // The window keys, from the innermost window outwards.
  for (CDialog::Impl* d = DialogAbove(msg.hwnd); d; d = d->hwnd ? DialogAbove(GetParent(d->hwnd)) : nullptr) {
    const std::weak_ptr<bool> life = d->alive;
    if (d->WindowKey(key)) return true;
    if (life.expired()) return true;
  }
  // Enter does not press a button that is no default one.
  if (key.kind == Key::Kind::Enter && owner && owner->notDefault.count(GetDlgCtrlID(control)) &&
      KindOf(control) == Kind::PushButton)
    return true;
  return false;
}

}  // namespace

void ProcessMessage(MSG& msg) {
  if (msg.hwnd && PreTranslateKey(msg)) return;
  HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (root && CDialog::Impl::FromWindow(root) && IsDialogMessageW(root, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

}  // namespace tk
