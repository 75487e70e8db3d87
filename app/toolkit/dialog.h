// SPDX-License-Identifier: GPL-3.0-or-later
// The program's window-system seam: a window made from a numbered dialog
// template, its controls found by their numbers and read and written with
// plain types.  Text crosses the seam as UTF-8.  The pages, the page
// framework and the tests speak only to this; each window system has its
// own implementation beside it (qt/ for Qt Widgets).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tk {

// Dialog results and button identifiers, with their classic values (the
// templates use them as control identifiers too).
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// The title of every message that has none of its own.
inline const std::string kProgramName = "TerminaTool";

// A control's place in its window, in the window system's own units (the
// same units for every call on one window).
struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
};

// A calendar day and a time of day as a picker shows them.
struct Date {
  int year = 0, month = 0, day = 0;
};
struct Time {
  int hour = 0, minute = 0, second = 0;
};

// A key on its way to a control, for a key filter.
struct Key {
  enum class Kind { Typed, Tab, BackTab, Enter, Escape, Other };
  Kind kind = Kind::Other;
  // What the key types (UTF-8), empty when it types nothing printable.
  std::string text;
  // The window system asks whether the control wants the key before it
  // may take it as a shortcut (Ctrl+V and the like); a filter that takes
  // the key keeps it from being a shortcut too.
  bool shortcutRequest = false;
};

// A key filter returns true for a key the control must not get.
using KeyFilter = std::function<bool(const Key&)>;

class Dialog {
 public:
  virtual ~Dialog() = default;

  // The template the window was made from.
  virtual int TemplateId() const = 0;
  virtual std::string Title() const = 0;

  // Typed access to controls by number, on the UI thread.  A control the
  // template lacks reads as empty / unchecked / -1 and ignores writes.
  // Text of an edit box, a combo box's current entry, a button, a label or
  // a group box.
  virtual std::string ItemText(int id) const = 0;
  virtual void SetItemTextNow(int id, const std::string& text) = 0;
  // Check boxes and radio buttons.
  virtual bool IsChecked(int id) const = 0;
  virtual void SetChecked(int id, bool checked) = 0;
  // Combo boxes: the selection (-1 for none) and the list.
  virtual int ComboIndex(int id) const = 0;
  virtual void SetComboIndex(int id, int index) = 0;
  virtual int ComboCount(int id) const = 0;
  virtual std::string ComboItemText(int id, int index) const = 0;
  // Visibility, enabled state and focus.
  virtual void ShowItem(int id, bool show) = 0;
  virtual bool IsItemShown(int id) const = 0;
  virtual void EnableItemNow(int id, bool enable) = 0;
  virtual bool IsItemEnabled(int id) const = 0;
  virtual void FocusItemNow(int id) = 0;
  // A picture control shows the image in the file, scaled down to fit when
  // it is larger; an empty path or an unreadable file clears it.  False
  // when nothing is shown.
  virtual bool SetPictureFile(int id, const std::string& path) = 0;
  // The program's fixed-pitch font on a control (text in columns).
  virtual void SetFixedFont(int id) = 0;
  // Moves a ruler label sideways so that its first character stands over
  // the first character cell of the edit box (both in the fixed font).
  virtual void AlignRulerOver(int rulerId, int boxId) = 0;
  // At most `chars` characters in an edit box (a longer text put there is
  // cut).
  virtual void SetTextLimit(int id, int chars) = 0;
  // A check box that shows a state the user cannot change.
  virtual void SetDisplayOnly(int id) = 0;
  // Places: a control's rectangle, moving a control, making the window
  // shorter (rows of controls hidden and those below moved up).
  virtual Rect ItemRect(int id) const = 0;
  virtual void MoveItemBy(int id, int dx, int dy) = 0;
  virtual void ShortenBy(int dy) = 0;
  // Whether the template has a control of this number.
  virtual bool HasItem(int id) const = 0;
  // The numbers of the window's push buttons, in template order.
  virtual std::vector<int> PushButtonIds() const = 0;
  // Clicks a button (push button, check box, radio button) as the user
  // would: only when it is shown and enabled.  True when it was clicked.
  virtual bool Press(int id) = 0;

  // ---- More kinds of control ----
  // A date picker's day (a date-time picker's date part) and a time
  // picker's time.  Setting one from the program does not run its change
  // handler.
  virtual Date GetDate(int id) const = 0;
  virtual void SetDate(int id, const Date& date) = 0;
  virtual Time GetTime(int id) const = 0;
  virtual void SetTime(int id, const Time& time) = 0;
  // An up-down control: its value and range.  Setting the value from the
  // program does not run its change handler.
  virtual int GetNumber(int id) const = 0;
  virtual void SetNumber(int id, int value) = 0;
  virtual void SetNumberRange(int id, int low, int high) = 0;
  // The up-down control's arrows step the number of the edit box beside
  // it: the control itself takes no focus, typing goes into the edit.
  virtual void SetUpDownBuddy(int upDownId, int editId) = 0;
  // A combo box's list, replaced whole (no selection afterwards).
  virtual void SetComboItems(int id, const std::vector<std::string>& items) = 0;
  // An edit box that shows its text masked.
  virtual void SetPasswordEntry(int id) = 0;
  // An edit box that takes only the text the regular expression (ECMAScript,
  // matched whole) allows: typing or pasting anything else changes nothing.
  virtual void SetTextPattern(int id, const std::string& pattern) = 0;
  // A typing limit that never cuts a text the program puts into the box:
  // typing or pasting cannot make the text longer than `chars` (a paste
  // keeps what fits), while a longer text the program put there is shown
  // whole and can still be shortened and edited.
  virtual void SetTypingLimit(int id, int chars) = 0;
  // The program's edit boxes of 40 characters: limited to a decimal
  // number (digits and one point) from now on.
  virtual void SetDecimalOnly(int id) = 0;
  // The control that has the keyboard focus (0 when none of the window's).
  virtual int FocusedItem() const = 0;
  virtual bool IsPushButton(int id) const = 0;

  // ---- Events, on the UI thread ----
  // A push button, check box or radio button clicked (by the user or by
  // Press).  One handler per control; a later one replaces it.
  virtual void OnClicked(int id, std::function<void()> handler) = 0;
  // An edit box's text changed (by typing or by the program), a combo
  // box's selection, a picker's date or time or an up-down control's value
  // changed by the user; a tab control's tab or a tree view's selected
  // node changed (by the user, or by the program through SetTabIndex).
  virtual void OnChanged(int id, std::function<void()> handler) = 0;
  // The user left an edit box or pressed Enter in it after changing it.
  virtual void OnEditDone(int id, std::function<void()> handler) = 0;
  // Keys meant for control `id`, or for the window itself with id 0 (keys
  // no control took), pass the filter first.
  virtual void SetKeyFilter(int id, KeyFilter filter) = 0;
  // Calls `handler` every `ms` milliseconds until stopped or the window
  // goes; returns the timer's number.
  virtual int StartTimer(int ms, std::function<void()> handler) = 0;
  virtual void StopTimer(int timer) = 0;

  // Ends the window's modal run (or hides a modeless one) with the code.
  virtual void EndDialog(int code) = 0;
  virtual bool Ended() const = 0;
  virtual int EndCode() const = 0;
  // Shows or hides the window without a modal loop of its own (a test
  // script plays the user meanwhile).
  virtual void ShowModeless(bool show) = 0;

  // Replaces the window's title.
  virtual void SetTitle(const std::string& title) = 0;
  // Selects the whole text of an edit box.
  virtual void SelectItemText(int id) = 0;
  // The whole window takes no input while disabled (it keeps repainting);
  // the controls keep their own enabled states for when it is enabled again.
  virtual void EnableWindowNow(bool enable) = 0;
};

// Writes the window, as it is shown now, to a PNG file: what the window
// system shows of it, on Windows with the frame and caption it draws, in
// Qt the window's inside (a window manager draws the frame).  False when
// the window is not shown or the file cannot be written.
bool SaveImage(const Dialog& dialog, const std::string& path);

// A window made from a numbered template, for the pages and dialogs to
// derive from.  The class is the same on every window system; each has
// its own definition of the members below and of `Impl`, the window
// itself (qt/dialog_qt.cpp for Qt Widgets).
class CDialog : public Dialog {
 public:
  explicit CDialog(int templateId, Dialog* parent = nullptr);
  ~CDialog() override;
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  int TemplateId() const override { return m_nTemplate; }

  // ---- Dialog ----
  std::string Title() const override;
  std::string ItemText(int id) const override;
  void SetItemTextNow(int id, const std::string& text) override;
  bool IsChecked(int id) const override;
  void SetChecked(int id, bool checked) override;
  int ComboIndex(int id) const override;
  void SetComboIndex(int id, int index) override;
  int ComboCount(int id) const override;
  std::string ComboItemText(int id, int index) const override;
  void ShowItem(int id, bool show) override;
  bool IsItemShown(int id) const override;
  void EnableItemNow(int id, bool enable) override;
  bool IsItemEnabled(int id) const override;
  void FocusItemNow(int id) override;
  bool SetPictureFile(int id, const std::string& path) override;
  void SetFixedFont(int id) override;
  void AlignRulerOver(int rulerId, int boxId) override;
  void SetTextLimit(int id, int chars) override;
  void SetDisplayOnly(int id) override;
  Rect ItemRect(int id) const override;
  void MoveItemBy(int id, int dx, int dy) override;
  void ShortenBy(int dy) override;
  bool HasItem(int id) const override;
  std::vector<int> PushButtonIds() const override;
  bool Press(int id) override;
  Date GetDate(int id) const override;
  void SetDate(int id, const Date& date) override;
  Time GetTime(int id) const override;
  void SetTime(int id, const Time& time) override;
  int GetNumber(int id) const override;
  void SetNumber(int id, int value) override;
  void SetNumberRange(int id, int low, int high) override;
  void SetUpDownBuddy(int upDownId, int editId) override;
  void SetComboItems(int id, const std::vector<std::string>& items) override;
  void SetPasswordEntry(int id) override;
  void SetTextPattern(int id, const std::string& pattern) override;
  void SetTypingLimit(int id, int chars) override;
  void SetDecimalOnly(int id) override;
  int FocusedItem() const override;
  bool IsPushButton(int id) const override;
  void OnClicked(int id, std::function<void()> handler) override;
  void OnChanged(int id, std::function<void()> handler) override;
  void OnEditDone(int id, std::function<void()> handler) override;
  void SetKeyFilter(int id, KeyFilter filter) override;
  int StartTimer(int ms, std::function<void()> handler) override;
  void StopTimer(int timer) override;
  // Ends the dialog (modal or not) with the code.
  void EndDialog(int code) override;
  bool Ended() const override { return m_bEnded; }
  int EndCode() const override { return m_nEndCode; }
  void ShowModeless(bool show) override;
  void SetTitle(const std::string& title) override;
  void SelectItemText(int id) override;
  void EnableWindowNow(bool enable) override;

  // Builds the template (once), runs OnInitDialog and then the modal loop
  // through the prompts.  A dialog that ended itself inside OnInitDialog
  // returns its code without showing.
  int DoModal();
  // Builds the template and calls OnInitDialog once.
  void InitDialog();
  // Builds the template's controls only (once).
  void BuildTemplate();
  bool IsBuilt() const { return m_bBuilt; }

  // ---- The window as a whole ----
  // Makes the window a child of `host` without a frame (a page); null
  // makes it a window of its own again, hidden.
  void BecomeChildOf(CDialog* host);
  // Places a child window at `r` in its host's client area (in the host's
  // units), shows it and raises it over its siblings.
  void PlaceAt(const Rect& r);
  void SetVisible(bool visible);
  bool IsVisible() const;
  // The window's icon from the program's resources.
  void SetIcon(int iconId);
  // The wait cursor over this window.
  void SetWindowWaitCursor(bool wait);
  // Whether the keyboard focus is on this window or a control inside it
  // (a child window's controls included).
  bool HasFocusWithin() const;
  // Paints the window again now.
  void Repaint();
  // The window waits on the register: every control of this window and of
  // `child` (a page placed inside it) but `keep` of the child takes no
  // input and looks it, and no control keeps the focus.  The window itself
  // stays enabled, so that the kept control, Escape and the close box work.
  // Escape then calls `onEscape`.  UnlockInput gives back exactly what
  // LockInput took and puts the focus back where it was.
  void LockInput(CDialog* child, int keep, std::function<void()> onEscape);
  void UnlockInput();
  // The same for this window alone, without the focus and Escape: every
  // control but `keep` takes no input until EnableControlsAgain.
  void DisableControlsExcept(int keep);
  void EnableControlsAgain();
  // Enter does not press this push button, even when it has the focus.
  void SetNotDefault(int id);

  // ---- A tree view (single level) by control number ----
  void TreeClear(int id);
  // Appends a top-level node; returns its row.
  int TreeAppend(int id, const std::string& text);
  int TreeCount(int id) const;
  std::string TreeText(int id, int row) const;
  // The selected row (-1 for none), and selecting one without running the
  // change handler.  OnChanged(id) runs when the user selects a node.
  int TreeSelection(int id) const;
  void TreeSelect(int id, int row);
  // No painting while the tree is rebuilt.
  void TreeSetRedraw(int id, bool redraw);

  // ---- A tab control by control number ----
  // Replaces the tabs (the first one current) without running the change
  // handler.  OnChanged(id) runs when the user picks another tab.
  void TabsReset(int id, const std::vector<std::string>& captions);
  int TabCount(int id) const;
  std::string TabText(int id, int index) const;
  int TabIndex(int id) const;
  void SetTabIndex(int id, int index);
  // The rectangle of a tab's header, relative to the tab control.
  Rect TabHeaderRect(int id, int index) const;

  // ---- A status bar of two parts along the window's bottom ----
  // Adds the bar with control number `id`; the second part is `secondWidth`
  // wide, the first takes the rest.
  void AddStatusBar(int id, int secondWidth);
  void SetStatusPart(int part, const std::string& text);
  std::string StatusPart(int part) const;

  // The window system's window (for its own side of the program).
  struct Impl;
  Impl* GetImpl() const { return m_impl.get(); }

 protected:
  virtual bool OnInitDialog() { return true; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // A key that no control took and the window's key filter let pass;
  // true when it has been handled.
  virtual bool OnWindowKey(const Key& /*key*/) { return false; }
  // The window has ended, by whatever way (a button, Escape, the close
  // box, EndDialog).
  virtual void OnEnded(int /*code*/) {}

 private:
  friend struct Impl;
  std::unique_ptr<Impl> m_impl;
  int m_nTemplate;
  bool m_bBuilt = false;
  bool m_bInitDone = false;
  bool m_bEnded = false;
  int m_nEndCode = IDCANCEL;
};

}  // namespace tk
