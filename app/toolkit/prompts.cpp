// SPDX-License-Identifier: GPL-3.0-or-later
#include "prompts.h"

#include <algorithm>

namespace tk {
namespace {

Prompts* g_prompts = nullptr;

}  // namespace

Prompts& ThePrompts() { return g_prompts ? *g_prompts : SystemPrompts(); }
void SetPrompts(Prompts* prompts) { g_prompts = prompts; }

// ---- Questions of register sequences ----------------------------------------

Message PromptInteraction::ToMessage(const termina::app::Question& q, const Dialog* owner) {
  using termina::app::Answer;
  Message m;
  m.text = q.text;
  m.title = q.title;
  m.icon = q.icon;
  m.buttons = q.buttons;
  switch (q.defaultAnswer) {
    case Answer::Ok: m.defaultButton = IDOK; break;
    case Answer::Cancel: m.defaultButton = IDCANCEL; break;
    case Answer::Yes: m.defaultButton = IDYES; break;
    case Answer::No: m.defaultButton = IDNO; break;
  }
  m.owner = owner;
  return m;
}

termina::app::Answer PromptInteraction::ToAnswer(int id) {
  using termina::app::Answer;
  switch (id) {
    case IDYES: return Answer::Yes;
    case IDNO: return Answer::No;
    case IDCANCEL: return Answer::Cancel;
    default: return Answer::Ok;
  }
}

termina::app::Answer PromptInteraction::Ask(const termina::app::Question& q) {
  return ToAnswer(ThePrompts().ShowMessage(ToMessage(q, m_owner)));
}

// ---- Scripted prompts --------------------------------------------------------

int ScriptedPrompts::ShowMessage(const Message& m) {
  messages.push_back(m);
  if (onMessage) onMessage(m);
  if (answers.empty()) return m.defaultButton;
  const int a = answers.front();
  answers.erase(answers.begin());
  return a;
}

int ScriptedPrompts::RunModal(Dialog& dialog) {
  dialogs.push_back(dialog.TemplateId());
  dialog.ShowModeless(true);
  if (onDialog) onDialog(dialog);
  dialog.ShowModeless(false);
  return dialog.Ended() ? dialog.EndCode() : IDCANCEL;
}

std::string ScriptedPrompts::OpenFileName(const Dialog*, const std::string&, const std::string&) { return fileName; }
std::string ScriptedPrompts::SaveFileName(const Dialog*, const std::string&, const std::string&) { return fileName; }

std::vector<std::string> ScriptedPrompts::Texts() const {
  std::vector<std::string> l;
  for (const Message& m : messages) l.push_back(m.text);
  return l;
}

int ScriptedPrompts::Count(const std::string& text) const {
  return static_cast<int>(
      std::count_if(messages.begin(), messages.end(), [&](const Message& m) { return m.text == text; }));
}

}  // namespace tk
