// SPDX-License-Identifier: GPL-3.0-or-later
// Every message box, question, file dialog and modal dialog of the program
// goes through one replaceable interface: the window system's side shows
// them, a scripted implementation answers them in tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "dialog.h"
#include "interaction.h"

namespace tk {

// The same icons and button sets as the register sequences' questions.
using Icon = termina::app::Icon;
using Buttons = termina::app::Buttons;

struct Message {
  std::string text;
  std::string title = kProgramName;
  Icon icon = Icon::None;
  Buttons buttons = Buttons::Ok;
  int defaultButton = IDOK;
  const Dialog* owner = nullptr;
};

// Called on the UI thread only.
class Prompts {
 public:
  virtual ~Prompts() = default;
  // Returns the identifier of the button pressed (IDOK, IDCANCEL, IDYES, IDNO).
  virtual int ShowMessage(const Message& m) = 0;
  // Runs an initialised dialog modally; returns its end code.
  virtual int RunModal(Dialog& dialog) = 0;
  // A file name, or empty when the user cancelled.  `filter` lists the
  // choices as "Name (*.ext);;All (*)"; a name typed for saving without an
  // extension gets the first filter's, and an existing file is replaced
  // without asking.
  virtual std::string OpenFileName(const Dialog* owner, const std::string& title, const std::string& filter) = 0;
  virtual std::string SaveFileName(const Dialog* owner, const std::string& title, const std::string& filter) = 0;
};

// The window system's prompts (defined by its side of the seam).
Prompts& SystemPrompts();
// The prompts in use: the system's unless replaced.
Prompts& ThePrompts();
// Replaces the prompts (null restores the system's).  The caller keeps
// ownership.
void SetPrompts(Prompts* prompts);

// For tests: records everything asked and answers from scripts instead of
// showing a modal box.
class ScriptedPrompts : public Prompts {
 public:
  int ShowMessage(const Message& m) override;
  int RunModal(Dialog& dialog) override;
  std::string OpenFileName(const Dialog* owner, const std::string& title, const std::string& filter) override;
  std::string SaveFileName(const Dialog* owner, const std::string& title, const std::string& filter) override;

  // Answers to the next messages, in order; with none left a message is
  // answered with its default button.  `onMessage`, when set, is called
  // for every message before the answer is taken.
  std::vector<int> answers;
  std::function<void(const Message&)> onMessage;
  // Plays the user's part in a modal dialog: the dialog is shown (not
  // modally), the script fills it and presses its buttons; the dialog's end
  // code is returned (IDCANCEL when the script did not end it).
  std::function<void(Dialog&)> onDialog;
  std::string fileName;

  std::vector<Message> messages;
  std::vector<int> dialogs;  // template ids of the dialogs run, in order
  std::vector<std::string> Texts() const;
  // How many messages had this text.
  int Count(const std::string& text) const;
};

// A register sequence's questions shown through the prompts, owned by
// `owner`.  Ask() runs on the UI thread.
class PromptInteraction : public termina::app::Interaction {
 public:
  explicit PromptInteraction(const Dialog* owner) : m_owner(owner) {}
  termina::app::Answer Ask(const termina::app::Question& q) override;
  static Message ToMessage(const termina::app::Question& q, const Dialog* owner);
  static termina::app::Answer ToAnswer(int id);

 private:
  const Dialog* m_owner;
};

}  // namespace tk
