// SPDX-License-Identifier: GPL-3.0-or-later
// How a register sequence asks the user something or tells the user
// something without knowing who the user is: the program answers with its
// message boxes, trma with a flag or the terminal, tests with a script.
// Texts are UTF-8.
#pragma once

#include <string>

namespace termina::app {

enum class Icon { None, Error, Exclamation, Information, Question };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };

// The title of every message that has none of its own.
inline constexpr const char* kProgramTitle = "TerminaTool";

struct Question {
  std::string text;
  std::string title = kProgramTitle;
  Icon icon = Icon::None;
  Buttons buttons = Buttons::Ok;
  Answer defaultAnswer = Answer::Ok;
};

class Interaction {
 public:
  virtual ~Interaction() = default;
  // Shows the question and returns the button chosen.
  virtual Answer Ask(const Question& q) = 0;
  // A message with only an OK button.
  void Tell(const std::string& text, const std::string& title = kProgramTitle, Icon icon = Icon::None) {
    Ask(Question{text, title, icon, Buttons::Ok, Answer::Ok});
  }
};

}  // namespace termina::app
