// SPDX-License-Identifier: GPL-3.0-or-later
// The program's window-system seam: a window made from a numbered dialog
// template, its controls found by their numbers and read and written with
// plain types.  Text crosses the seam as UTF-8.  The pages, the page
// framework and the tests speak only to this; each window system has its
// own implementation beside it (qt/ for Qt Widgets).
#pragma once

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

  // Ends the window's modal run (or hides a modeless one) with the code.
  virtual void EndDialog(int code) = 0;
  virtual bool Ended() const = 0;
  virtual int EndCode() const = 0;
  // Shows or hides the window without a modal loop of its own (a test
  // script plays the user meanwhile).
  virtual void ShowModeless(bool show) = 0;
};

}  // namespace tk
