// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog toolkit of TerminaTool on Qt Widgets: dialog templates with
// numbered controls, prompts (message boxes, file dialogs, modal dialogs)
// behind one replaceable interface, and the marshalling that lets a command
// thread read and change widgets, which live on the UI thread only.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <vector>

#include "interaction.h"

namespace tk {

// Dialog results and button identifiers, with their classic values (the
// templates use them as control identifiers too).
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// The title of every message that has none of its own.
inline const QString kProgramName = QStringLiteral("TerminaTool");

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

// The same icons and button sets as the register sequences' questions.
using Icon = termina::app::Icon;
using Buttons = termina::app::Buttons;

struct Message {
  QString text;
  QString title = kProgramName;
  Icon icon = Icon::None;
  Buttons buttons = Buttons::Ok;
  int defaultButton = IDOK;
  QWidget* owner = nullptr;
};

class CDialog;

// Every message box, question, file dialog and modal dialog of the program
// goes through here.  Called on the UI thread only (see UiChannel).
class Prompts {
 public:
  virtual ~Prompts() = default;
  // Returns the identifier of the button pressed (IDOK, IDCANCEL, IDYES, IDNO).
  virtual int ShowMessage(const Message& m) = 0;
  // Runs an initialised dialog modally; returns its end code.
  virtual int RunModal(CDialog& dialog) = 0;
  // A file name, or empty when the user cancelled.  `filter` is in Qt's
  // form ("Name (*.ext);;All (*)"); a name typed for saving without an
  // extension gets the first filter's, and an existing file is replaced
  // without asking.
  virtual QString OpenFileName(QWidget* owner, const QString& title, const QString& filter) = 0;
  virtual QString SaveFileName(QWidget* owner, const QString& title, const QString& filter) = 0;
};

class QtPrompts : public Prompts {
 public:
  int ShowMessage(const Message& m) override;
  int RunModal(CDialog& dialog) override;
  QString OpenFileName(QWidget* owner, const QString& title, const QString& filter) override;
  QString SaveFileName(QWidget* owner, const QString& title, const QString& filter) override;
};

// For tests: records everything asked and answers from scripts instead of
// showing a modal box.
class ScriptedPrompts : public Prompts {
 public:
  int ShowMessage(const Message& m) override;
  int RunModal(CDialog& dialog) override;
  QString OpenFileName(QWidget* owner, const QString& title, const QString& filter) override;
  QString SaveFileName(QWidget* owner, const QString& title, const QString& filter) override;

  // Answers to the next messages, in order; with none left a message is
  // answered with its default button.  `onMessage`, when set, is called
  // for every message before the answer is taken.
  std::vector<int> answers;
  std::function<void(const Message&)> onMessage;
  // Plays the user's part in a modal dialog: the dialog is shown (not
  // modally), the script fills it and presses its buttons; the dialog's end
  // code is returned (IDCANCEL when the script did not end it).
  std::function<void(CDialog&)> onDialog;
  QString fileName;

  std::vector<Message> messages;
  std::vector<int> dialogs;  // template ids of the dialogs run, in order
  QStringList Texts() const;
};

Prompts& ThePrompts();

// A register sequence's questions shown through the prompts, owned by
// `owner`.  Ask() runs on the UI thread (a page's command thread goes
// through CFRFunction::Ui()).
class PromptInteraction : public termina::app::Interaction {
 public:
  explicit PromptInteraction(QWidget* owner) : m_owner(owner) {}
  termina::app::Answer Ask(const termina::app::Question& q) override;
  static Message ToMessage(const termina::app::Question& q, QWidget* owner);
  static termina::app::Answer ToAnswer(int id);

 private:
  QPointer<QWidget> m_owner;
};
// Replaces the prompts (null restores the Qt implementation).  The caller
// keeps ownership.
void SetPrompts(Prompts* prompts);

// ---- Dialogs -----------------------------------------------------------

// A dialog built from a numbered template.  Modal dialogs are run with
// DoModal(); pages are children (see CFRFunction).
class CDialog : public QDialog {
  Q_OBJECT
 public:
  explicit CDialog(int templateId, QWidget* parent = nullptr);

  // Pages choose their template through a virtual of their own.
  virtual int TemplateId() const { return m_nTemplate; }
  template <class T = QWidget>
  T* Item(int id) const {
    return tk::Item<T>(this, id);
  }
  // A control only some templates of the kind have: its absence is not noted.
  template <class T = QWidget>
  T* OptionalItem(int id) const {
    return tk::OptionalItem<T>(this, id);
  }

  // Typed access to controls by identifier (UI thread).  A missing control
  // reads as empty / unchecked / -1 and ignores writes.
  QString ItemText(int id) const;
  void SetItemTextNow(int id, const QString& text);
  bool IsChecked(int id) const;  // check boxes and radio buttons
  void SetChecked(int id, bool checked);
  int ComboIndex(int id) const;
  void SetComboIndex(int id, int index);
  void ShowItem(int id, bool show);

  // Builds the template (once), runs OnInitDialog and then the modal loop
  // through the prompts.  A dialog that ended itself inside OnInitDialog
  // returns its code without showing.
  int DoModal();
  // Ends the dialog (modal or not) with the code.
  void EndDialog(int code);
  bool Ended() const { return m_bEnded; }
  int EndCode() const { return m_nEndCode; }

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
};

// ---- UI-thread marshalling ---------------------------------------------

bool OnUiThread();

// Thrown on a worker thread that asks for the UI of a page that has gone.
// Worker code lets it pass; the thread's entry function catches it and ends
// without touching anything of the page.
struct PageGone {};

// The one road from a worker thread to the widgets of one owner (a page).
// Call() runs a function on the UI thread and waits for it.  Once the owner
// closes the channel, calls that have not started throw PageGone in the
// worker; a call that is already running on the UI thread is waited for, so
// its captures stay valid.  The UI thread never waits for a worker.
class UiChannel : public std::enable_shared_from_this<UiChannel> {
 public:
  static std::shared_ptr<UiChannel> Create() { return std::shared_ptr<UiChannel>(new UiChannel); }

  void Close();  // UI thread
  bool IsOpen() const;

  template <class F>
  auto Call(F&& f) -> std::invoke_result_t<F&> {
    using R = std::invoke_result_t<F&>;
    if (OnUiThread()) return f();
    if constexpr (std::is_void_v<R>) {
      Run([&] { f(); });
    } else {
      std::optional<R> result;
      Run([&] { result.emplace(f()); });
      return std::move(*result);
    }
  }

 private:
  UiChannel() = default;
  // Posts `job` to the UI thread and waits until it has run (rethrowing
  // what it threw) or until the channel closed before it started.
  void Run(std::function<void()> job);

  struct Task {
    enum State { Pending, Running, Done } state = Pending;
    std::exception_ptr error;
  };
  mutable std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_bOpen = true;
};

// Posts a function to the UI thread without waiting (safe from any thread).
void PostToUi(std::function<void()> f);

// Runs the UI event loop until `done` returns true or `ms` milliseconds
// have passed; true when done.  For tests and for bounded waits on the UI
// thread that must keep the loop alive.
bool PumpUntil(const std::function<bool()>& done, int ms);

}  // namespace tk
