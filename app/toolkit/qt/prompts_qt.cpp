// SPDX-License-Identifier: GPL-3.0-or-later
// The system prompts on Qt: message boxes and file dialogs.
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>

#include "toolkit_qt.h"

namespace tk {
namespace {

QMessageBox::StandardButton ToQt(int id) {
  switch (id) {
    case IDCANCEL: return QMessageBox::Cancel;
    case IDYES: return QMessageBox::Yes;
    case IDNO: return QMessageBox::No;
    default: return QMessageBox::Ok;
  }
}

int FromQt(int b) {
  switch (b) {
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return IDOK;
  }
}

// The extension of the first filter's first pattern ("NVR Files (*.nvr)"
// gives "nvr"): a name typed without an extension gets it, as the classic
// file dialogs do with their default extension.
QString DefaultSuffix(const QString& filter) {
  static const QRegularExpression pattern(QStringLiteral("\\(\\*\\.(\\w+)"));
  const QRegularExpressionMatch m = pattern.match(filter);
  return m.hasMatch() ? m.captured(1) : QString();
}

std::string RunFileDialog(const Dialog* owner, const std::string& title, const std::string& filter, bool save) {
  QFileDialog dlg(WidgetOf(owner), Q(title), QString(), Q(filter));
  dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // The program's save dialogs replace an existing file without asking.
  dlg.setOption(QFileDialog::DontConfirmOverwrite, save);
  dlg.setDefaultSuffix(DefaultSuffix(Q(filter)));
  if (dlg.exec() != QDialog::Accepted) return {};
  const QStringList files = dlg.selectedFiles();
  return files.isEmpty() ? std::string() : S(files.front());
}

}  // namespace

Prompts& SystemPrompts() {
  static QtPrompts prompts;
  return prompts;
}

int QtPrompts::ShowMessage(const Message& m) {
  QMessageBox box(WidgetOf(m.owner));
  box.setWindowTitle(Q(m.title));
  box.setText(Q(m.text));
  switch (m.icon) {
    case Icon::Error: box.setIcon(QMessageBox::Critical); break;
    case Icon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    case Icon::None: break;
  }
  QMessageBox::StandardButtons buttons;
  switch (m.buttons) {
    case Buttons::Ok: buttons = QMessageBox::Ok; break;
    case Buttons::OkCancel: buttons = QMessageBox::Ok | QMessageBox::Cancel; break;
    case Buttons::YesNo: buttons = QMessageBox::Yes | QMessageBox::No; break;
    case Buttons::YesNoCancel: buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
  }
  box.setStandardButtons(buttons);
  box.setDefaultButton(ToQt(m.defaultButton));
  return FromQt(box.exec());
}

int QtPrompts::RunModal(Dialog& dialog) {
  auto* w = dynamic_cast<CDialog*>(&dialog);
  if (!w) return IDCANCEL;
  return w->GetImpl()->exec();
}

std::string QtPrompts::OpenFileName(const Dialog* owner, const std::string& title, const std::string& filter) {
  return RunFileDialog(owner, title, filter, false);
}

std::string QtPrompts::SaveFileName(const Dialog* owner, const std::string& title, const std::string& filter) {
  return RunFileDialog(owner, title, filter, true);
}

}  // namespace tk
