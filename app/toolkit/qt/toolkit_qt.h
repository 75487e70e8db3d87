// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt Widgets side of the window-system seam: dialog templates built as
// Qt forms with numbered controls, the seam's typed access on them, the
// system prompts (message boxes, file dialogs) and the dialog fonts.
#pragma once

#include <QDialog>
#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "dialog.h"
#include "prompts.h"
#include "ui_thread.h"

class QKeyEvent;
class QLabel;
class QStatusBar;
class QTimer;

namespace tk {

// UTF-8 at the seam, QString inside the Qt side.
inline QString Q(const std::string& s) { return QString::fromStdString(s); }
inline std::string S(const QString& s) { return s.toStdString(); }

// ---- Templates ---------------------------------------------------------

// Builds the controls of dialog template `id` into `host` and sizes it.
// Throws std::logic_error for a template that does not exist.
void LoadTemplate(int id, QWidget* host);
bool HasTemplate(int id);
// Makes template `id` known; pages register their own templates from
// their source file:
//   static const bool registered = tk::RegisterTemplate(142, &tk::BuildForm<Ui::Dlg142>);
// Registering an id again with the same builder is harmless.
bool RegisterTemplate(int id, void (*build)(QWidget* host));
template <class Form>
void BuildForm(QWidget* host) {
  Form form;
  form.setupUi(host);
}

// The numeric identifier a template gave a control (0 when none).
int ControlId(const QObject* control);

// A missing control reads as empty without a word, so a wrong number in
// the code goes unseen.  While the check is on, every lookup that finds no
// control of that number at all is noted with the template of the dialog
// it was made in; tests open every page and dialog and expect none.
namespace lookups {
struct Miss {
  int templateId;
  int id;
  bool operator<(const Miss& o) const { return templateId != o.templateId ? templateId < o.templateId : id < o.id; }
};
void SetChecking(bool on);
bool Checking();
// The misses noted since the check was last turned on.
std::vector<Miss> Misses();
void NoteIfAbsent(const QWidget* root, int id);
}  // namespace lookups

// The control with identifier `id` inside `root` if it is a T, else null.
template <class T = QWidget>
T* OptionalItem(const QWidget* root, int id) {
  if (!root) return nullptr;
  for (QWidget* w : root->findChildren<QWidget*>()) {
    if (ControlId(w) == id) {
      if (T* t = qobject_cast<T*>(w)) return t;
    }
  }
  return nullptr;
}
// The same for a control the template must have (see `lookups`).
template <class T = QWidget>
T* Item(const QWidget* root, int id) {
  T* t = OptionalItem<T>(root, id);
  if (!t && lookups::Checking()) lookups::NoteIfAbsent(root, id);
  return t;
}

// Bitmaps 138 (program title) and 143 (logo) and icon 144.
QPixmap LoadBitmap(int id);
QIcon LoadIcon(int id);

// The dialog fonts: "MS Shell Dlg" 8 and "Courier New" fall back, by family
// and by style hint, to installed metric-compatible free fonts (Debian's
// fonts-liberation).
void InstallFonts();
QFont DialogFont();
// A fixed-pitch font of the given cell height in pixels.
QFont FixedFont(int cellHeight);

// ---- Prompts -----------------------------------------------------------

class QtPrompts : public Prompts {
 public:
  int ShowMessage(const Message& m) override;
  int RunModal(Dialog& dialog) override;
  std::string OpenFileName(const Dialog* owner, const std::string& title, const std::string& filter) override;
  std::string SaveFileName(const Dialog* owner, const std::string& title, const std::string& filter) override;
};

// ---- Dialogs -----------------------------------------------------------

// The Qt window of a CDialog: the template's controls are its children.
struct CDialog::Impl : QDialog {
  Impl(CDialog& owner, QWidget* parent);
  ~Impl() override;

  CDialog& owner;
  // One connection per control and kind of event, so that a later
  // handler replaces the earlier one.
  std::map<std::pair<int, int>, QMetaObject::Connection> handlers;
  std::map<int, QObject*> keyFilters;
  KeyFilter windowKeys;
  std::map<int, QTimer*> timers;
  int nextTimer = 1;
  QStatusBar* statusBar = nullptr;
  QLabel* statusPart[2] = {nullptr, nullptr};
  // LockInput's state.
  std::vector<QPointer<QWidget>> locked;
  QPointer<QWidget> focusBeforeLock;
  std::function<void()> onEscape;
  bool lockFilterInstalled = false;
  // DisableControlsExcept's controls.
  std::vector<QPointer<QWidget>> disabled;

  void Connect(int id, int kind, QMetaObject::Connection c);
  template <class T = QWidget>
  T* Item(int id) const {
    return tk::Item<T>(this, id);
  }
  template <class T = QWidget>
  T* OptionalItem(int id) const {
    return tk::OptionalItem<T>(this, id);
  }

  void reject() override { owner.OnCancel(); }
  void accept() override { owner.OnOK(); }
  void done(int code) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
};

// The Qt widget of a dialog of the seam, or null when it has gone (a
// message owned by a page that was closed meanwhile shows without an
// owner).
QWidget* WidgetOf(const Dialog* dialog);
// The control with that number of a dialog of the seam (tests, the Qt side).
template <class T = QWidget>
T* ItemOf(const Dialog* dialog, int id) {
  return Item<T>(WidgetOf(dialog), id);
}
template <class T = QWidget>
T* Item(const Dialog* dialog, int id) {
  return Item<T>(WidgetOf(dialog), id);
}
template <class T = QWidget>
T* OptionalItem(const Dialog* dialog, int id) {
  return OptionalItem<T>(WidgetOf(dialog), id);
}

// The seam's view of a key event.
Key KeyOf(const QKeyEvent* event, bool shortcutRequest);

}  // namespace tk
