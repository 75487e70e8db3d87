// SPDX-License-Identifier: GPL-3.0-or-later
// The seam's Win32 side under a real dialog manager: a window from a
// DIALOGEX template with a control of every kind, read and written through
// tk::CDialog; clicks, keys and selections as the user makes them (window
// messages through the program's own message handling); a page inside the
// window; the UI thread's posts and deferred calls; message boxes and the
// file dialogs' filters; a window's picture.  Run by tools/windows under
// Wine.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "application.h"
#include "toolkit_win32.h"

namespace {

int g_failures = 0;

void Check(bool ok, const std::string& what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
  if (!ok) ++g_failures;
}

// The window's dialog with the class's protected parts reachable.
class TestDialog : public tk::CDialog {
 public:
  explicit TestDialog(int id, tk::Dialog* parent = nullptr) : tk::CDialog(id, parent) {}
  int oks = 0, cancels = 0, windowEnters = 0;
  bool takeEnter = false;

 protected:
  void OnOK() override {
    ++oks;
    EndDialog(tk::IDOK);
  }
  void OnCancel() override {
    ++cancels;
    EndDialog(tk::IDCANCEL);
  }
  bool OnWindowKey(const tk::Key& key) override {
    if (key.kind != tk::Key::Kind::Enter) return false;
    ++windowEnters;
    return takeEnter;
  }
};

HWND Control(const tk::CDialog& d, int id) { return GetDlgItem(d.GetImpl()->hwnd, id); }

// Delivers a message as the event loop would and handles what follows.
void Deliver(HWND to, UINT msg, WPARAM wp, LPARAM lp = 0) {
  PostMessageW(to, msg, wp, lp);
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) tk::ProcessMessage(m);
}

// Types text into a control, one character message at a time.
void Type(HWND to, const std::wstring& text) {
  for (wchar_t c : text) Deliver(to, WM_CHAR, c);
}

void TestControls() {
  TestDialog d(900);
  d.InitDialog();
  d.ShowModeless(true);
  Check(d.Title() == "Проверка окна", "the caption crosses as UTF-8");
  d.SetTitle("Ошибка");
  Check(d.Title() == "Ошибка", "a new title");
  d.SetItemTextNow(1001, "Касса №1");
  Check(d.ItemText(1001) == "Касса №1", "an edit box's Cyrillic text round-trips");
  Check(d.ItemText(1013) == "Метка" && d.ItemText(1003) == "Флажок", "labels and buttons read their text");
  Check(!d.HasItem(4242) && d.ItemText(4242).empty() && d.ComboIndex(4242) == -1 && !d.IsChecked(4242),
        "a control the template lacks reads as empty");
  Check(d.PushButtonIds() == std::vector<int>{1006, 1, 2}, "the push buttons in template order");
  Check(d.IsPushButton(1006) && !d.IsPushButton(1003) && !d.IsPushButton(1001), "push buttons are told apart");

  // Combo box: a program change of the selection runs the handler as a
  // user's would; replacing the list does not.
  int comboChanges = 0;
  d.OnChanged(1002, [&] { ++comboChanges; });
  d.SetComboItems(1002, {"COM1", "COM2", "Скорость"});
  Check(d.ComboCount(1002) == 3 && d.ComboIndex(1002) == -1 && comboChanges == 0,
        "a new list has no selection and runs no handler");
  d.SetComboIndex(1002, 2);
  Check(d.ComboIndex(1002) == 2 && d.ItemText(1002) == "Скорость" && d.ComboItemText(1002, 1) == "COM2",
        "the combo box's entries and selection");
  d.SetComboIndex(1002, 2);
  Check(comboChanges == 1, "selecting the same entry again changes nothing");

  // Check box and radio buttons: clicks toggle them, run the click and the
  // change handlers; radio buttons take turns.
  int clicks = 0, checkChanges = 0, radioChanges = 0;
  d.OnClicked(1003, [&] { ++clicks; });
  d.OnChanged(1003, [&] { ++checkChanges; });
  d.OnChanged(1005, [&] { ++radioChanges; });
  Check(d.Press(1003) && d.IsChecked(1003) && clicks == 1 && checkChanges == 1, "pressing a check box ticks it");
  d.SetChecked(1003, false);
  Check(!d.IsChecked(1003) && checkChanges == 2 && clicks == 1, "clearing it from the program is a change, no click");
  d.Press(1004);
  d.Press(1005);
  Check(!d.IsChecked(1004) && d.IsChecked(1005) && radioChanges == 1, "the second radio button clears the first");
  d.SetChecked(1004, true);
  Check(d.IsChecked(1004) && !d.IsChecked(1005) && radioChanges == 2, "so does a radio button set by the program");
  d.SetDisplayOnly(1003);
  HWND box = Control(d, 1003);
  Deliver(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  Deliver(box, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  Deliver(box, WM_KEYDOWN, VK_SPACE);
  Deliver(box, WM_KEYUP, VK_SPACE);
  Check(!d.IsChecked(1003) && clicks == 1, "a display-only check box ignores the mouse and the keyboard");
  int buttonClicks = 0;
  d.OnClicked(1006, [&] { ++buttonClicks; });
  d.EnableItemNow(1006, false);
  const bool pressedDisabled = d.Press(1006);
  d.EnableItemNow(1006, true);
  d.ShowItem(1006, false);
  const bool pressedHidden = d.Press(1006);
  Check(!pressedDisabled && !pressedHidden && buttonClicks == 0 && !d.IsItemShown(1006),
        "a disabled or hidden button cannot be pressed");
  d.ShowItem(1006, true);
  Check(d.Press(1006) && buttonClicks == 1 && d.IsItemShown(1006) && d.IsItemEnabled(1006),
        "shown and enabled again it can");

  // The whole window disabled: its controls keep their own states but take
  // no input, and come back as they were.
  d.EnableItemNow(1002, false);
  d.EnableWindowNow(false);
  Check(!IsWindowEnabled(d.GetImpl()->hwnd) && !d.IsItemEnabled(1006) && !d.Press(1006) && buttonClicks == 1,
        "a disabled window's buttons cannot be pressed");
  d.EnableWindowNow(true);
  Check(d.IsItemEnabled(1006) && !d.IsItemEnabled(1002), "enabled again, each control as it was");
  d.EnableItemNow(1002, true);
  d.SetItemTextNow(1001, "Пароль");
  d.SelectItemText(1001);
  DWORD selStart = 1, selEnd = 0;
  SendMessageW(Control(d, 1001), EM_GETSEL, reinterpret_cast<WPARAM>(&selStart), reinterpret_cast<LPARAM>(&selEnd));
  Check(selStart == 0 && selEnd == 6, "an edit box's whole text selected");

  // Date-time picker: the date and the time parts; the program's changes
  // run no handler.
  int dateChanges = 0;
  d.OnChanged(1007, [&] { ++dateChanges; });
  d.SetDate(1007, {2024, 2, 29});
  d.SetTime(1007, {23, 58, 7});
  const tk::Date day = d.GetDate(1007);
  const tk::Time time = d.GetTime(1007);
  Check(day.year == 2024 && day.month == 2 && day.day == 29 && time.hour == 23 && time.minute == 58 &&
            time.second == 7 && dateChanges == 0,
        "a picker keeps the date and the time set, without its handler");

  // Up-down control beside its edit box: range and number of its own, as
  // a spin box has; its arrows change the number and tell, typing into the
  // box does not.
  int numberChanges = 0;
  d.SetUpDownBuddy(1008, 1009);
  d.SetNumberRange(1008, 1, 16);
  d.OnChanged(1008, [&] { ++numberChanges; });
  d.SetItemTextNow(1009, "3");
  d.SetNumber(1008, 12);
  Check(d.GetNumber(1008) == 12 && d.ItemText(1009) == "3" && numberChanges == 0,
        "the program sets the number, without the handler and without the box");
  d.SetNumber(1008, 99);
  Check(d.GetNumber(1008) == 16, "the number stays within the range");
  HWND buddy = Control(d, 1009);
  SetFocus(buddy);
  SendMessageW(buddy, EM_SETSEL, 0, -1);
  Type(buddy, L"7");
  Check(d.GetNumber(1008) == 16 && numberChanges == 0 && d.ItemText(1009) == "7", "typing changes the box only");
  // A click on the lower arrow.
  HWND ud = Control(d, 1008);
  RECT arrows;
  GetClientRect(ud, &arrows);
  const LPARAM lower = MAKELPARAM(arrows.right / 2, arrows.bottom * 3 / 4);
  Deliver(ud, WM_LBUTTONDOWN, MK_LBUTTON, lower);
  Deliver(ud, WM_LBUTTONUP, 0, lower);
  Check(d.GetNumber(1008) == 15 && numberChanges == 1 && d.ItemText(1009) == "7",
        "the lower arrow steps the number down and tells");

  // Tree view: one level; the program's selection runs no handler, the
  // user's does.
  int treeChanges = 0;
  d.OnChanged(1010, [&] { ++treeChanges; });
  d.TreeSetRedraw(1010, false);
  d.TreeClear(1010);
  for (const char* caption : {"Фискализация", "Тестовая продажа", "Налоги"}) d.TreeAppend(1010, caption);
  d.TreeSetRedraw(1010, true);
  d.TreeSelect(1010, 0);
  Check(d.TreeCount(1010) == 3 && d.TreeText(1010, 1) == "Тестовая продажа" && d.TreeSelection(1010) == 0 &&
            treeChanges == 0,
        "the tree's nodes and a selection by the program");
  SetFocus(Control(d, 1010));
  Deliver(Control(d, 1010), WM_KEYDOWN, VK_DOWN);
  Check(d.TreeSelection(1010) == 1 && treeChanges == 1, "the arrow key selects the next node and tells");
  d.TreeClear(1010);
  Check(d.TreeCount(1010) == 0 && d.TreeSelection(1010) == -1 && treeChanges == 1, "an emptied tree");

  // Tab control.
  int tabChanges = 0;
  d.OnChanged(1011, [&] { ++tabChanges; });
  d.TabsReset(1011, {"Налоговый инспектор", "ЭКЛЗ", "Программирование"});
  Check(d.TabCount(1011) == 3 && d.TabIndex(1011) == 0 && d.TabText(1011, 2) == "Программирование" && tabChanges == 0,
        "new tabs, the first current, no handler");
  d.SetTabIndex(1011, 1);
  const tk::Rect header = d.TabHeaderRect(1011, 0);
  Check(d.TabIndex(1011) == 1 && tabChanges == 1 && header.width > 0 && header.height > 0,
        "another tab is current and tells; a header has a size");

  // Status bar of two parts, the second 100 pixels at 96 dots per inch.
  d.AddStatusBar(104, 100);
  d.SetStatusPart(0, "Готов");
  d.SetStatusPart(1, "ТЕРМИНА-1");
  HWND bar = Control(d, 104);
  int rights[2] = {};
  const auto parts = SendMessageW(bar, SB_GETPARTS, 2, reinterpret_cast<LPARAM>(rights));
  RECT client;
  GetClientRect(bar, &client);
  wchar_t text[64] = {};
  SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
  const int dpi = GetDeviceCaps(GetDC(nullptr), LOGPIXELSX);
  Check(parts == 2 && rights[0] == client.right - MulDiv(100, dpi, 96) && rights[1] == -1 &&
            std::wstring(text) == L"Готов" && d.StatusPart(1) == "ТЕРМИНА-1",
        "the status bar's parts and texts");

  // Places: moving, the ruler over an edit box's first character.
  const tk::Rect before = d.ItemRect(1013);
  d.MoveItemBy(1013, 7, -3);
  const tk::Rect after = d.ItemRect(1013);
  Check(after.x == before.x + 7 && after.y == before.y - 3 && after.width == before.width,
        "a control moves by the pixels asked");
  d.SetFixedFont(1014);
  d.SetFixedFont(1017);
  d.SetItemTextNow(1014, "1234567890");
  d.AlignRulerOver(1017, 1014);
  POINT first{0, 0};
  const auto pos = SendMessageW(Control(d, 1014), EM_POSFROMCHAR, 0, 0);
  first.x = static_cast<short>(LOWORD(pos));
  MapWindowPoints(Control(d, 1014), d.GetImpl()->hwnd, &first, 1);
  Check(d.ItemRect(1017).x == first.x, "the ruler starts over the box's first character");
  RECT wr;
  GetWindowRect(d.GetImpl()->hwnd, &wr);
  d.ShortenBy(20);
  RECT shorter;
  GetWindowRect(d.GetImpl()->hwnd, &shorter);
  Check(shorter.bottom - shorter.top == wr.bottom - wr.top - 20, "the window is shortened");

  d.SetIcon(144);
  Check(SendMessageW(d.GetImpl()->hwnd, WM_GETICON, ICON_BIG, 0) &&
            SendMessageW(d.GetImpl()->hwnd, WM_GETICON, ICON_SMALL, 0),
        "icon 144 on the window, large and small");

  // The title bitmap the template names is drawn.
  bool titleShown = false;
  for (HWND c = GetWindow(d.GetImpl()->hwnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP && SendMessageW(c, STM_GETIMAGE, IMAGE_BITMAP, 0))
      titleShown = true;
  Check(titleShown, "bitmap 138 of the template is shown");

  // Wait cursors: the window's own over its controls; the program's, the
  // latest alive winning, over every window.
  HWND hwnd = d.GetImpl()->hwnd;
  const auto cursorOver = [&](HWND over) {
    SetCursor(LoadCursorW(nullptr, IDC_IBEAM));
    SendMessageW(over, WM_SETCURSOR, reinterpret_cast<WPARAM>(over), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return GetCursor();
  };
  const HCURSOR waitShape = LoadCursorW(nullptr, IDC_WAIT), arrow = LoadCursorW(nullptr, IDC_ARROW);
  d.SetWindowWaitCursor(true);
  const bool windowWait = cursorOver(Control(d, 1006)) == waitShape;
  d.SetWindowWaitCursor(false);
  Check(windowWait && cursorOver(hwnd) != waitShape, "the window's wait cursor, over a control, and gone again");
  {
    tk::WaitCursor wait;
    const bool programWait = cursorOver(hwnd) == waitShape;
    bool arrowInside = false;
    {
      tk::WaitCursor question(false);
      arrowInside = cursorOver(hwnd) == arrow;
    }
    Check(programWait && arrowInside && cursorOver(hwnd) == waitShape,
          "the program's wait cursor; the arrow for a question inside it; the wait again after");
  }
  Check(cursorOver(hwnd) != waitShape, "no wait cursor once the last one has gone");

  // Timers: one stopped, one running.
  int ticksA = 0, ticksB = 0;
  const int a = d.StartTimer(10, [&] { ++ticksA; });
  d.StartTimer(10, [&] { ++ticksB; });
  Check(tk::PumpUntil([&] { return ticksA >= 2; }, 5000), "a timer calls again and again");
  d.StopTimer(a);
  const int stoppedAt = ticksA;
  const int bAt = ticksB;
  tk::PumpUntil([&] { return ticksB >= bAt + 3; }, 5000);
  Check(ticksA == stoppedAt && ticksB >= bAt + 3, "a stopped timer calls no more");
}

void TestEditRules() {
  TestDialog d(900);
  d.InitDialog();
  d.ShowModeless(true);
  // The typing limit never cuts the program's text.
  d.SetTypingLimit(1014, 4);
  d.SetItemTextNow(1014, "123456");
  HWND limited = Control(d, 1014);
  SendMessageW(limited, EM_SETSEL, 6, 6);
  Type(limited, L"7");
  Check(d.ItemText(1014) == "123456", "a longer text put there stays whole; typing cannot grow it");
  d.SetItemTextNow(1014, "12");
  SendMessageW(limited, EM_SETSEL, 2, 2);
  Type(limited, L"абв");
  Check(d.ItemText(1014) == "12аб", "typing stops at the limit");
  // SetTextLimit cuts.
  d.SetItemTextNow(1001, "123456");
  d.SetTextLimit(1001, 3);
  d.SetItemTextNow(1016, "");
  Check(d.ItemText(1001) == "123", "a text limit cuts the text");
  // A pattern matched whole.
  d.SetTextPattern(1015, "[0-9]*");
  HWND digits = Control(d, 1015);
  Type(digits, L"1a2-3");
  Check(d.ItemText(1015) == "123", "a pattern lets only its text be typed");
  // A decimal number: digits and one point.
  d.SetDecimalOnly(1016);
  HWND decimal = Control(d, 1016);
  Type(decimal, L"12.5.x3");
  Check(d.ItemText(1016) == "12.53", "a decimal box takes digits and one point");
  // A paste keeps what fits.
  if (OpenClipboard(d.GetImpl()->hwnd)) {
    EmptyClipboard();
    const std::wstring clip = L"ABCDEFG";
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, (clip.size() + 1) * sizeof(wchar_t));
    std::memcpy(GlobalLock(g), clip.c_str(), (clip.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(g);
    SetClipboardData(CF_UNICODETEXT, g);
    CloseClipboard();
    d.SetItemTextNow(1014, "xy");
    SendMessageW(limited, EM_SETSEL, 2, 2);
    SendMessageW(limited, WM_PASTE, 0, 0);
    Check(d.ItemText(1014) == "xyAB", "a paste keeps what fits under the typing limit");
  } else {
    Check(false, "the clipboard opens");
  }
  // Key filters: the control's own first.
  d.SetKeyFilter(1001, [](const tk::Key& k) { return k.kind == tk::Key::Kind::Typed && k.text == "ж"; });
  d.SetItemTextNow(1001, "");
  Type(Control(d, 1001), L"ажб");
  Check(d.ItemText(1001) == "аб", "a key filter takes the key it refuses");
  // Changes and the end of an edit: typed changes, then Enter.  An Enter
  // first ends what the typing above began.
  d.takeEnter = true;
  SetFocus(digits);
  Deliver(digits, WM_KEYDOWN, VK_RETURN);
  const int entersBefore = d.windowEnters;
  int changes = 0, done = 0;
  d.OnChanged(1015, [&] { ++changes; });
  d.OnEditDone(1015, [&] { ++done; });
  d.SetItemTextNow(1015, "9");
  Check(changes == 1 && done == 0, "a program change runs the change handler only");
  Deliver(digits, WM_KEYDOWN, VK_RETURN);
  Check(done == 0, "Enter after no typing finishes nothing");
  Type(digits, L"8");
  Deliver(digits, WM_KEYDOWN, VK_RETURN);
  Check(done == 1 && changes == 2 && d.windowEnters == entersBefore + 2 && !d.Ended(),
        "Enter after typing finishes the edit, then reaches the window");
  d.takeEnter = false;
  d.SetPasswordEntry(1001);
  Check(SendMessageW(Control(d, 1001), EM_GETPASSWORDCHAR, 0, 0) != 0, "a password box masks its text");
}

void TestPageAndLock() {
  TestDialog host(900);
  host.InitDialog();
  host.ShowModeless(true);
  auto page = std::make_unique<TestDialog>(901);
  page->BecomeChildOf(&host);
  page->BuildTemplate();
  page->PlaceAt({200, 30, 200, 100});
  page->InitDialog();
  Check(GetParent(page->GetImpl()->hwnd) == host.GetImpl()->hwnd && page->IsVisible() &&
            (GetWindowLongW(page->GetImpl()->hwnd, GWL_STYLE) & WS_CHILD),
        "a page is a child window of its host");
  RECT pr;
  GetWindowRect(page->GetImpl()->hwnd, &pr);
  MapWindowPoints(nullptr, host.GetImpl()->hwnd, reinterpret_cast<POINT*>(&pr), 2);
  Check(pr.left == 200 && pr.top == 30 && pr.right - pr.left == 200, "the page sits where it was placed");
  page->FocusItemNow(2001);
  Check(page->FocusedItem() == 2001 && page->HasFocusWithin() && host.HasFocusWithin() && host.FocusedItem() == 2001,
        "the focus in a page is within the host too");
  // Enter in a page's box: the page's window keys first, then the host's.
  int pageKeys = 0;
  page->SetKeyFilter(0, [&](const tk::Key& k) {
    if (k.kind == tk::Key::Kind::Enter) ++pageKeys;
    return false;
  });
  Deliver(page->GetImpl()->hwnd ? GetDlgItem(page->GetImpl()->hwnd, 2001) : nullptr, WM_KEYDOWN, VK_RETURN);
  Check(pageKeys == 1 && page->windowEnters == 1 && host.windowEnters == 1 && host.oks == 1,
        "Enter goes through the page's filter and window, then the host's, then the dialog's default");
  host.ShowModeless(true);

  // The host waits: everything but the page's kept button is locked;
  // Escape calls back; unlocking gives back exactly what was taken.
  host.EnableItemNow(1006, false);
  int escapes = 0;
  host.LockInput(page.get(), 2002, [&] { ++escapes; });
  Check(!host.IsItemEnabled(1001) && !page->IsItemEnabled(2001) && !page->IsItemEnabled(2003) &&
            page->IsItemEnabled(2002) && !page->HasFocusWithin(),
        "locked: only the kept button takes input, no control keeps the focus");
  Deliver(host.GetImpl()->hwnd, WM_KEYDOWN, VK_ESCAPE);
  Check(escapes == 1 && host.cancels == 0, "Escape while locked calls back instead of cancelling");
  host.UnlockInput();
  Check(
      host.IsItemEnabled(1001) && page->IsItemEnabled(2001) && !host.IsItemEnabled(1006) && page->FocusedItem() == 2001,
      "unlocked: what was enabled is again, the focus is back");
  page->DisableControlsExcept(2002);
  Check(!page->IsItemEnabled(2001) && page->IsItemEnabled(2002), "a page disables its controls but one");
  page->EnableControlsAgain();
  Check(page->IsItemEnabled(2001), "and enables them again");

  // A page outlives nothing of its host's: deleted first or last.
  HWND pageWindow = page->GetImpl()->hwnd;
  page.reset();
  Check(!IsWindow(pageWindow) && IsWindow(host.GetImpl()->hwnd), "deleting the page destroys its window only");
  auto second = std::make_unique<TestDialog>(901);
  {
    TestDialog shortLived(900);
    shortLived.InitDialog();
    second->BecomeChildOf(&shortLived);
    second->InitDialog();
  }
  second->SetItemTextNow(2001, "жив");
  Check(second->ItemText(2001) == "жив", "a page whose host went first still works");
}

int g_focusInBox = 0;

// Finds the question box, notes its focused button and answers No.
void CALLBACK AnswerQuestion(HWND, UINT, UINT_PTR id, DWORD) {
  HWND box = FindWindowW(L"#32770", L"Вопрос");
  if (!box) return;
  KillTimer(nullptr, id);
  // The default button has the focus: Enter would press it.
  g_focusInBox = GetDlgCtrlID(GetFocus());
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(tk::IDNO, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, tk::IDNO)));
}

void TestModalAndThreads() {
  // A modal run ends by a button pressed from a posted call.
  TestDialog d(900);
  tk::PostToUi([&] { d.Press(tk::IDOK); });
  Check(d.DoModal() == tk::IDOK && d.oks == 1, "a modal run ends with its button's code");
  TestDialog closing(900);
  tk::PostToUi([&] { SendMessageW(closing.GetImpl()->hwnd, WM_CLOSE, 0, 0); });
  Check(closing.DoModal() == tk::IDCANCEL && closing.cancels == 1, "the close box cancels");

  // Posted calls from another thread run in order.
  std::vector<int> order;
  std::thread worker([&] {
    for (int i = 0; i < 5; ++i) tk::PostToUi([&order, i] { order.push_back(i); });
  });
  worker.join();
  Check(tk::OnUiThread() && tk::PumpUntil([&] { return order.size() == 5; }, 5000) &&
            order == std::vector<int>{0, 1, 2, 3, 4},
        "calls posted from another thread run on the UI thread in order");

  // A deferred call waits for the loop it was deferred from.
  bool deferredRan = false, ranInNested = false, outerDone = false;
  tk::PostToUi([&] {
    tk::DeferToLoop([&] { deferredRan = true; });
    // A nested loop, as a modal dialog would run.
    tk::PumpUntil([&] { return deferredRan; }, 100);
    ranInNested = deferredRan;
    outerDone = true;
  });
  tk::PumpUntil([&] { return outerDone && deferredRan; }, 5000);
  Check(outerDone && deferredRan && !ranInNested, "a deferred call runs in its own loop, not a nested one");
  // Deferred before any loop runs (as in a window's initialisation before
  // its modal run): the first loop runs it.
  bool early = false;
  TestDialog later(900);
  later.InitDialog();
  tk::DeferToLoop([&] { early = true; });
  tk::PostToUi([&] { later.Press(tk::IDOK); });
  later.DoModal();
  Check(early, "a call deferred before any loop runs in the first one");

  // A message box: its title, its buttons and its default; answered
  // by a timer that finds it.
  SetTimer(nullptr, 0, 20, AnswerQuestion);
  const int r = tk::SystemPrompts().ShowMessage(
      {"Продолжить?", "Вопрос", tk::Icon::Question, tk::Buttons::YesNo, tk::IDNO, nullptr});
  Check(r == tk::IDNO && g_focusInBox == tk::IDNO, "a question box with its title, No as default, answered No");
}

void TestFiltersAndPictures(const std::string& folder) {
  std::wstring ext;
  const std::wstring one = tk::FileFilter("Bitmap image(*.bmp)", &ext);
  static const wchar_t kOne[] = L"Bitmap image(*.bmp)\0*.bmp\0";
  Check(one == std::wstring(kOne, sizeof kOne / sizeof kOne[0]) && ext == L"bmp", "a one-entry filter");
  const std::wstring two = tk::FileFilter("Файлы NVR (*.nvr);;Все файлы (*)", &ext);
  static const wchar_t kTwo[] = L"Файлы NVR (*.nvr)\0*.nvr\0Все файлы (*)\0*.*\0";
  Check(two == std::wstring(kTwo, sizeof kTwo / sizeof kTwo[0]) && ext == L"nvr", "two entries; all files");
  tk::FileFilter("Images (*.bmp *.png)", &ext);
  Check(ext == L"bmp", "the first pattern gives the default extension");

  // Pictures from files: a bitmap larger than the control is scaled down,
  // a PNG is read, a missing file clears the picture.
  const std::string bmp = folder + "\\picture.bmp";
  {
    const int w = 400, h = 100, stride = w * 3;
    BITMAPFILEHEADER fh{};
    BITMAPINFOHEADER ih{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = fh.bfOffBits + stride * h;
    ih.biSize = sizeof ih;
    ih.biWidth = w;
    ih.biHeight = h;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    std::ofstream f(std::filesystem::path(tk::Wide(bmp)), std::ios::binary);
    f.write(reinterpret_cast<const char*>(&fh), sizeof fh);
    f.write(reinterpret_cast<const char*>(&ih), sizeof ih);
    const std::string row(stride, '\x40');
    for (int y = 0; y < h; ++y) f.write(row.data(), stride);
  }
  static const unsigned char kPng[] = {
      0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00,
      0x00, 0x00, 0x28, 0x00, 0x00, 0x00, 0x14, 0x08, 0x06, 0x00, 0x00, 0x00, 0xff, 0x46, 0x7f, 0xbb, 0x00,
      0x00, 0x00, 0x2c, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0xed, 0xce, 0x31, 0x0d, 0x00, 0x00, 0x08, 0x03,
      0x30, 0x94, 0xcc, 0xbf, 0x14, 0x5c, 0x81, 0x0d, 0x42, 0x7a, 0xf4, 0x6f, 0x75, 0x32, 0x97, 0x95, 0xa0,
      0xa0, 0xa0, 0xa0, 0xa0, 0xa0, 0xa0, 0xa0, 0xa0, 0xa0, 0xe0, 0xe7, 0xe0, 0x02, 0xd1, 0x9a, 0x49, 0xbb,
      0x28, 0x83, 0x00, 0xc8, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
  const std::string png = folder + "\\рисунок.png";
  {
    std::ofstream f(std::filesystem::path(tk::Wide(png)), std::ios::binary);
    f.write(reinterpret_cast<const char*>(kPng), sizeof kPng);
  }
  TestDialog d(900);
  d.InitDialog();
  HWND frame = GetDlgItem(d.GetImpl()->hwnd, 1012);
  RECT room;
  GetClientRect(frame, &room);
  const auto shown = [&](BITMAP* info) {
    auto b = reinterpret_cast<HBITMAP>(SendMessageW(frame, STM_GETIMAGE, IMAGE_BITMAP, 0));
    return b && GetObjectW(b, sizeof *info, info) == sizeof *info;
  };
  BITMAP info{};
  Check(d.SetPictureFile(1012, bmp) && shown(&info) && info.bmWidth == room.right && info.bmHeight <= room.bottom &&
            info.bmHeight == room.right * 100 / 400,
        "a large bitmap file is shown scaled down to the control, in proportion");
  Check(d.SetPictureFile(1012, png) && shown(&info) && info.bmWidth == std::min<LONG>(40, room.right),
        "a PNG file with a Cyrillic name is shown");
  Check(!d.SetPictureFile(1012, folder + "\\missing.bmp") && !shown(&info), "a missing file clears the picture");

  bool threw = false;
  try {
    TestDialog none(4711);
    none.BuildTemplate();
  } catch (const std::logic_error&) { threw = true; }
  Check(threw, "a template that does not exist is refused");
}

// A window's focus set before it is shown, its date format, and its
// picture once shown.
void TestShownWindow(const std::string& folder) {
  TestDialog d(900);
  d.InitDialog();
  HWND w = d.GetImpl()->hwnd;
  d.FocusItemNow(1009);
  Check(GetActiveWindow() != w && d.FocusedItem() == 1009,
        "focusing a control of a window not shown yet does not activate it; the control is remembered");
  const std::string path = folder + "\\окно.png";
  Check(!tk::SaveImage(d, path), "a window not shown has no picture");
  d.ShowModeless(true);
  Check(GetActiveWindow() == w && GetFocus() == Control(d, 1009) && d.FocusedItem() == 1009,
        "shown, the window is active with that control focused");

  // A date as the templates show it, whatever the system's format.
  d.SetDate(1007, {2026, 5, 14});
  wchar_t date[32] = {};
  GetWindowTextW(Control(d, 1007), date, 32);
  Check(std::wstring(date) == L"14.05.2026", "a date picker shows dd.MM.yyyy (" + tk::Utf8(std::wstring(date)) + ")");

  // The picture: a PNG of the window's size, frame included, with the
  // window's colours in it.
  RECT r;
  GetWindowRect(w, &r);
  BITMAP info{};
  HBITMAP picture = tk::SaveImage(d, path) ? tk::LoadPictureFile(tk::Wide(path), 0, 0) : nullptr;
  const bool sized = picture && GetObjectW(picture, sizeof info, &info) == sizeof info &&
                     info.bmWidth == r.right - r.left && info.bmHeight == r.bottom - r.top;
  std::vector<DWORD> colours;
  if (sized && info.bmBits) {
    const auto* px = static_cast<const DWORD*>(info.bmBits);
    for (LONG i = 0; i < info.bmWidth * info.bmHeight && colours.size() < 4; ++i)
      if (std::find(colours.begin(), colours.end(), px[i] & 0xFFFFFF) == colours.end())
        colours.push_back(px[i] & 0xFFFFFF);
  }
  if (picture) DeleteObject(picture);
  Check(sized && colours.size() >= 4, "the window's picture is a PNG of its size with its colours (" +
                                          std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top) +
                                          ", " + std::to_string(colours.size()) + " colours)");
}

BOOL CALLBACK NoteTemplate(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR ids) {
  if (IS_INTRESOURCE(name) && reinterpret_cast<ULONG_PTR>(name) < 900)
    reinterpret_cast<std::vector<int>*>(ids)->push_back(static_cast<int>(reinterpret_cast<ULONG_PTR>(name)));
  return TRUE;
}

// Every template of the program (made from the one template source) as a
// window of its own and as a page; the main window's controls as the
// shell uses them.
void TestProgramTemplates() {
  std::vector<int> ids;
  EnumResourceNamesW(nullptr, MAKEINTRESOURCEW(5) /* RT_DIALOG */, NoteTemplate, reinterpret_cast<LONG_PTR>(&ids));
  Check(ids.size() >= 20, "the program's templates are resources (" + std::to_string(ids.size()) + ")");
  TestDialog host(900);
  host.InitDialog();
  std::string failed;
  for (int id : ids) {
    try {
      TestDialog alone(id);
      alone.InitDialog();
      TestDialog page(id);
      page.BecomeChildOf(&host);
      page.InitDialog();
      if (alone.PushButtonIds() != page.PushButtonIds() || !IsWindow(page.GetImpl()->hwnd) ||
          GetParent(page.GetImpl()->hwnd) != host.GetImpl()->hwnd)
        failed += " " + std::to_string(id);
    } catch (const std::exception& e) { failed += " " + std::to_string(id) + " (" + e.what() + ")"; }
  }
  Check(failed.empty(), "every template is made a window and a page" + (failed.empty() ? "" : ":" + failed));

  TestDialog main(102);
  main.InitDialog();
  HWND w = main.GetImpl()->hwnd;
  wchar_t cls[64] = {};
  GetClassNameW(GetDlgItem(w, 1000), cls, 64);
  const std::wstring tabClass = cls;
  GetClassNameW(GetDlgItem(w, 1001), cls, 64);
  Check(tabClass == WC_TABCONTROLW && std::wstring(cls) == WC_TREEVIEWW, "the main window's tab control and tree");
  main.SetComboItems(1129, {"19200", "4800"});
  main.SetComboIndex(1129, 1);
  Check(main.ItemText(1129) == "4800" && main.IsPushButton(1089) && main.IsPushButton(1090),
        "its speed list and the settings file buttons");
  int pictures = 0;
  for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP && SendMessageW(c, STM_GETIMAGE, IMAGE_BITMAP, 0))
      ++pictures;
  Check(pictures == 2, "the title and the logo bitmaps are drawn in the header");
}

}  // namespace

int main(int argc, char** argv) {
  return tk::RunApplication(argc, argv, "", [&](const std::string& commandLine) {
    // The test is started with a Cyrillic argument and a folder to write in.
    const auto space = commandLine.find(' ');
    Check(commandLine.substr(0, space) == "/проверка", "the command line arrives in UTF-8");
    const std::string folder = space == std::string::npos ? "." : commandLine.substr(space + 1);
    Check(tk::OnUiThread(), "the thread that started is the UI thread");
    TestControls();
    TestEditRules();
    TestPageAndLock();
    TestModalAndThreads();
    TestFiltersAndPictures(folder);
    TestShownWindow(folder);
    TestProgramTemplates();
    std::printf("%s: %d failed\n", g_failures ? "FAILED" : "passed", g_failures);
    return g_failures ? 1 : 0;
  });
}
