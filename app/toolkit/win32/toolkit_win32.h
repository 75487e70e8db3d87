// SPDX-License-Identifier: GPL-3.0-or-later
// The Win32 side of the window-system seam: dialog templates are DIALOGEX
// resources of the program, made into windows by the dialog manager; the
// common controls are read and written with their messages.  Text is UTF-8
// at the seam and UTF-16 at every W function.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

// The seam first: the system's headers define the dialog results as
// macros, which the seam declares as constants of its own (the same values).
#include "dialog.h"
#include "prompts.h"
#include "ui_thread.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <objbase.h>
#include <shellapi.h>

#include "wide_text_win32.h"
#undef IDOK
#undef IDCANCEL
#undef IDYES
#undef IDNO

namespace tk {

// UTF-8 at the seam, UTF-16 at the system's W functions.
using termina::app::Utf8;
using termina::app::Wide;

// The module whose resources hold the templates, bitmaps and icons.
HINSTANCE ResourceModule();

// ---- Message loop ------------------------------------------------------------

// Handles one message as the program's loops do: key filters and window
// keys first, then the dialog manager of the message's top-level dialog,
// else the usual translation and dispatch.
void ProcessMessage(MSG& msg);
// Loops nested in the event loop count their depth, so that DeferToLoop
// can wait for the loop it was called from.
class LoopLevel {
 public:
  LoopLevel();
  ~LoopLevel();
  LoopLevel(const LoopLevel&) = delete;
  LoopLevel& operator=(const LoopLevel&) = delete;
};
// Creates the UI thread's hidden message window (the calling thread
// becomes the UI thread).
void InitUiThread();
// Whether a program-wide wait cursor is in force, and which.
bool WaitCursorActive(bool* wait);

// ---- Images ------------------------------------------------------------------

// A 32-bit top-down DIB section of the given size and its pixels (one
// 0x00RRGGBB word each); null when it cannot be made.  The caller owns it.
HBITMAP MakeDib(int width, int height, DWORD** bits);

// Bitmaps 138 (program title) and 143 (logo), drawn at the size of the
// control that shows them; null for another number.  The caller owns the
// bitmap.
HBITMAP MakeBitmap(int id, int width, int height);
// Icon 144 at the given size; the caller owns the icon.
HICON MakeIcon(int id, int size);
// An image file (BMP, PNG and whatever else the system's imaging
// component reads) as a 32-bit top-down bitmap scaled down to fit
// `width` x `height` when larger; null when the file cannot be read.
HBITMAP LoadPictureFile(const std::wstring& path, int width, int height);

// ---- Dialogs -----------------------------------------------------------------

// What a subclassed edit box lets through.
struct EditRules {
  int typingLimit = -1;  // SetTypingLimit
  bool decimal = false;  // SetDecimalOnly
  bool hasPattern = false;
  std::regex pattern;  // SetTextPattern
};

// The window of a CDialog: an HWND made from the DIALOGEX resource of the
// template's number, as a top-level window or as a child of another
// dialog (a page).
struct CDialog::Impl {
  Impl(CDialog& owner, HWND ownerWindow);
  ~Impl();

  CDialog& owner;
  HWND ownerWindow;     // the parent dialog's window (owner of a top-level window)
  HWND host = nullptr;  // the window a page is a child of
  HWND hwnd = nullptr;
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);

  // Handlers by control and kind (0 clicked, 1 changed, 2 edit done).
  std::map<std::pair<int, int>, std::function<void()>> handlers;
  std::map<int, KeyFilter> keyFilters;
  KeyFilter windowKeys;
  std::map<int, std::function<void()>> timers;
  std::map<int, int> pendingTimers;  // started before the window existed
  int nextTimer = 1;
  // Check boxes and radio buttons as last seen, for their change handlers.
  std::map<int, bool> checkStates;
  // Edit boxes the user changed since their last "done".
  std::set<int> editDirty;
  std::map<int, int> textLimits;
  std::map<int, EditRules> editRules;
  std::set<int> notDefault;
  std::set<int> displayOnly;
  std::set<HWND> subclassed;
  // Program changes in progress: change handlers of the user's own
  // changes do not count them.
  int programChange = 0;
  int blockChange = 0;
  // Tree items by row.
  std::map<int, std::vector<HTREEITEM>> treeItems;
  // Status bar.
  HWND statusBar = nullptr;
  int statusSecondWidth = 0;
  std::string statusText[2];
  // Pictures this window owns.
  std::map<int, HBITMAP> pictures;
  std::vector<HBITMAP> templateBitmaps;
  HFONT fixedFont = nullptr;
  HICON icons[2] = {nullptr, nullptr};
  // LockInput's state.
  std::vector<HWND> locked;
  HWND focusBeforeLock = nullptr;
  std::function<void()> onEscape;
  bool inputLocked = false;
  std::vector<HWND> disabled;
  bool waitCursor = false;
  bool windowDisabled = false;  // EnableWindowNow(false)
  bool destroying = false;
  // The control to get the focus once this top-level window is shown
  // (FocusItemNow while it was hidden).
  HWND pendingFocus = nullptr;

  HWND Item(int id) const { return hwnd ? GetDlgItem(hwnd, id) : nullptr; }
  void Create(int templateId);
  void Destroy();
  INT_PTR Proc(UINT msg, WPARAM wp, LPARAM lp);
  void OnCommand(int id, int code, HWND control);
  void OnNotify(const NMHDR* n);
  void RunHandler(int id, int kind);
  void SyncCheckStates();
  void LayoutStatusBar();
  void ApplyChildStyle(bool child);
  // Gives the focus FocusItemNow kept for when the window is shown; false
  // when there was none.
  bool TakePendingFocus();
  // Calls the window's key filter and OnWindowKey.
  bool WindowKey(const Key& key);
  bool ControlKey(HWND control, const Key& key);
  static Impl* FromWindow(HWND w);
};

// The window of a dialog of the seam, or null when it has gone.
HWND WindowOf(const Dialog* dialog);

class Win32Prompts : public Prompts {
 public:
  int ShowMessage(const Message& m) override;
  int RunModal(Dialog& dialog) override;
  std::string OpenFileName(const Dialog* owner, const std::string& title, const std::string& filter) override;
  std::string SaveFileName(const Dialog* owner, const std::string& title, const std::string& filter) override;
};

// The classic file dialogs' filter ("Name\0pattern\0...\0\0") from the
// seam's "Name (*.a *.b);;All (*)", and the first filter's extension.
std::wstring FileFilter(const std::string& filter, std::wstring* defaultExtension);

}  // namespace tk
