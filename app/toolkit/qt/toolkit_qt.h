// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt Widgets side of the window-system seam: dialog templates built as
// Qt forms with numbered controls, the seam's typed access on them, the
// system prompts (message boxes, file dialogs) and the dialog fonts.
#pragma once

#include <QDialog>
#include <QMetaObject>
#include <QString>
#include <QWidget>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "dialog.h"
#include "prompts.h"
#include "ui_thread.h"

class QKeyEvent;
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

// A dialog built from a numbered template.  Modal dialogs are run with
// DoModal(); pages are children (see CFRFunction).
class CDialog : public QDialog, public Dialog {
  Q_OBJECT
 public:
  explicit CDialog(int templateId, QWidget* parent = nullptr);
  // A dialog owned by another window of the seam (null: none).
  CDialog(int templateId, Dialog* parent);
  ~CDialog() override;

  // Pages choose their template through a virtual of their own.
  int TemplateId() const override { return m_nTemplate; }
  template <class T = QWidget>
  T* Item(int id) const {
    return tk::Item<T>(this, id);
  }
  // A control only some templates of the kind have: its absence is not noted.
  template <class T = QWidget>
  T* OptionalItem(int id) const {
    return tk::OptionalItem<T>(this, id);
  }

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

  // Builds the template (once), runs OnInitDialog and then the modal loop
  // through the prompts.  A dialog that ended itself inside OnInitDialog
  // returns its code without showing.
  int DoModal();

  // Builds the template and calls OnInitDialog once.
  void InitDialog();
  // Builds the template's controls only (once).
  void BuildTemplate();
  bool IsBuilt() const { return m_bBuilt; }

 protected:
  virtual bool OnInitDialog() { return true; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // Connects the buttons with identifiers IDOK and IDCANCEL to OnOK and
  // OnCancel; called after the template is built.
  void BindStandardButtons();

  void reject() override { OnCancel(); }
  void accept() override { OnOK(); }

 private:
  int m_nTemplate;
  bool m_bBuilt = false;
  bool m_bInitDone = false;
  bool m_bEnded = false;
  int m_nEndCode = IDCANCEL;
  // One connection per control and kind of event, so that a later
  // handler replaces the earlier one.
  std::map<std::pair<int, int>, QMetaObject::Connection> m_handlers;
  // The key filters by control number, the window's under 0.
  std::map<int, QObject*> m_keyFilters;
  std::map<int, QTimer*> m_timers;
  int m_nextTimer = 1;
  void Connect(int id, int kind, QMetaObject::Connection c);
};

// The seam's view of a key event.
Key KeyOf(const QKeyEvent* event, bool shortcutRequest);

// The widget of a dialog of the seam, or null when it has gone (a message
// owned by a page that was closed meanwhile shows without an owner).
QWidget* WidgetOf(const Dialog* dialog);

}  // namespace tk
