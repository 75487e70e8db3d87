// The dialog templates of the program by number.  Each template is a Qt
// Designer form in this folder, named after its number and role.
#include <QWidget>

#include <map>
#include <stdexcept>
#include <string>

#include "toolkit.h"
#include "ui_101_status.h"
#include "ui_102_main.h"
#include "ui_134_function.h"
#include "ui_152_install.h"
#include "ui_162_changepwd.h"

namespace tk {
namespace {

template <class Form>
void Build(QWidget* host) {
  Form form;
  form.setupUi(host);
}

const std::map<int, void (*)(QWidget*)>& Templates() {
  static const std::map<int, void (*)(QWidget*)> table = {
      {101, &Build<Ui::Dlg101>},
      {102, &Build<Ui::Dlg102>},
      {134, &Build<Ui::Dlg134>},
      {152, &Build<Ui::Dlg152>},
      {162, &Build<Ui::Dlg162>},
  };
  return table;
}

}  // namespace

bool HasTemplate(int id) { return Templates().count(id) != 0; }

void LoadTemplate(int id, QWidget* host) {
  auto it = Templates().find(id);
  if (it == Templates().end()) throw std::logic_error("no dialog template " + std::to_string(id));
  it->second(host);
}

}  // namespace tk
