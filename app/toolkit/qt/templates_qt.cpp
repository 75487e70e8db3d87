// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog templates of the program by number.  The build makes a Qt
// Designer form of each template's table (app/resources/templates) and
// lists them all in templates_table.inc.
#include <QWidget>

#include <map>
#include <stdexcept>
#include <string>

#include "toolkit_qt.h"
#include "templates_forms.inc"

namespace tk {
namespace {

// Every template of the program.
std::map<int, void (*)(QWidget*)>& Templates() {
  static std::map<int, void (*)(QWidget*)> table = {
#include "templates_table.inc"
  };
  return table;
}

}  // namespace

bool RegisterTemplate(int id, void (*build)(QWidget* host)) {
  Templates()[id] = build;
  return true;
}

bool HasTemplate(int id) { return Templates().count(id) != 0; }

void LoadTemplate(int id, QWidget* host) {
  auto it = Templates().find(id);
  if (it == Templates().end()) throw std::logic_error("no dialog template " + std::to_string(id));
  it->second(host);
}

}  // namespace tk
