// SPDX-License-Identifier: GPL-3.0-or-later
#include "frlogo.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "driver_api.h"
#include "logo.h"

namespace {

const std::string kReady = "Готов";

enum : int {
  kFileId = 1051,
  kChooseId = 1052,
  kPreviewId = 1088,
  kUploadId = 1080,
  kRemoveId = 1079,
  kPrintId = 1054,
  kSaveId = 1082,
};

// What Execute takes from the page in one visit to the UI thread.
struct LogoInput {
  CFRLogo::Mode mode;
  bool print;
  std::string path;  // the host path, as the driver opens it
};

}  // namespace

CFRLogo::CFRLogo(PageHost& host) : CFRFunction(host) {}

bool CFRLogo::OnInitDialog() {
  CFRFunction::OnInitDialog();
  const auto bind = [this](int id, void (CFRLogo::*handler)()) {
    if (auto* b = Item<QAbstractButton>(id)) connect(b, &QAbstractButton::clicked, this, handler);
  };
  bind(kChooseId, &CFRLogo::OnChooseFile);
  bind(kUploadId, &CFRLogo::OnUpload);
  bind(kSaveId, &CFRLogo::OnStoreSwitch);
  bind(kRemoveId, &CFRLogo::OnRemove);
  // A path typed by hand is previewed too once the user leaves the box.
  if (auto* edit = Item<QLineEdit>(kFileId))
    connect(edit, &QLineEdit::editingFinished, this, [this] { ShowPreview(ItemText(kFileId)); });

  // A failed read is reported; the box stays unticked.
  ReadThenFill<bool>(&termina::app::ReadLogoSwitch, [this](bool& print) { SetChecked(kPrintId, print); });
  return true;
}

void CFRLogo::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      !qobject_cast<QPushButton*>(QApplication::focusWidget())) {
    event->accept();
    if (auto* save = Item<QPushButton>(kSaveId); save && save->isEnabled()) save->click();
    return;
  }
  CFRFunction::keyPressEvent(event);
}

void CFRLogo::OnChooseFile() {
  if (RefuseWhileBusy()) return;
  const std::string chosen = tk::ThePrompts().OpenFileName(this, "Открыть", "Bitmap image(*.bmp)");
  if (chosen.empty()) return;
  std::error_code error;
  std::string file = std::filesystem::absolute(chosen, error).lexically_normal().string();
  if (error) file = chosen;
  // The check's message, if any, comes first; the file is shown either way.
  // The check asks the register for its model.
  {
    MainWindowDisabled locked(*this);
    WorkerInteraction ui(this);
    reg::Worker::Get().Run([&] { termina::app::CheckLogoFileAndTell(file, ui); });
  }
  SetItemTextNow(kFileId, file);
  ShowPreview(chosen);
}

void CFRLogo::ShowPreview(const std::string& path) {
  // A picture larger than the frame is shown whole, scaled down.
  SetPictureFile(kPreviewId, path);
}

void CFRLogo::OnUpload() {
  m_nMode = kUpload;
  OnExecuteButton();
}

void CFRLogo::OnStoreSwitch() {
  m_nMode = kStoreSwitch;
  OnExecuteButton();
}

void CFRLogo::Execute() {
  const LogoInput in = OnUi([&] { return LogoInput{m_nMode, IsChecked(kPrintId), ItemText(kFileId)}; });
  MainWindowDisabled locked(*this);
  if (in.mode == kStoreSwitch)
    termina::app::StoreLogoSwitch(in.print);
  else
    termina::app::UploadLogo(in.path, Ui());
}

void CFRLogo::OnRemove() {
  if (RefuseWhileBusy()) return;
  std::optional<uint16_t> failure;
  {
    MainWindowDisabled locked(*this);
    SetPictureFile(kPreviewId, {});
    SetChecked(kPrintId, false);
    try {
      reg::Worker::Get().Run([] { termina::app::RemoveLogo(); });
    } catch (uint16_t code) { failure = code; }
  }
  // The main window is unlocked before the message.
  if (failure)
    ReportFailure(*failure);
  else
    ShowStatusText(kReady);
}

void CFRLogo::ReportFailure(uint16_t code) { ::ReportFailure(Host(), this, code); }

bool CFRLogo::RefuseWhileBusy() {
  if (!IsCommandRunning()) return false;
  tk::ThePrompts().ShowMessage({"Не завершилась обработка предыдущей команды", tk::kProgramName, tk::Icon::Exclamation,
                                tk::Buttons::Ok, tk::IDOK, this});
  return true;
}
