// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog templates of the program by number.  Each template is a Qt
// Designer form in this folder, named after its number and role.
#include <QWidget>

#include <map>
#include <stdexcept>
#include <string>

#include "toolkit_qt.h"
#include "ui_101_status.h"
#include "ui_102_main.h"
#include "ui_134_function.h"

namespace tk {
namespace {

// The shell's own templates; pages and dialogs register theirs.
std::map<int, void (*)(QWidget*)>& Templates() {
  static std::map<int, void (*)(QWidget*)> table = {
      {101, &BuildForm<Ui::Dlg101>},
      {102, &BuildForm<Ui::Dlg102>},
      {134, &BuildForm<Ui::Dlg134>},
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
