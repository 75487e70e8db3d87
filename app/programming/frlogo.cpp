// SPDX-License-Identifier: GPL-3.0-or-later
#include "frlogo.h"

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

}  // namespace

CFRLogo::CFRLogo(PageHost& host) : CFRFunction(host) {}

bool CFRLogo::OnInitDialog() {
  CFRFunction::OnInitDialog();
  OnClicked(kChooseId, [this] { OnChooseFile(); });
  OnClicked(kUploadId, [this] { OnUpload(); });
  OnClicked(kSaveId, [this] { OnStoreSwitch(); });
  OnClicked(kRemoveId, [this] { OnRemove(); });
  // A path typed by hand is previewed too once the user leaves the box.
  OnEditDone(kFileId, [this] { ShowPreview(ItemText(kFileId)); });
  // Enter presses the focused push button of the page, anywhere else
  // "СОХРАНИТЬ", the page's default button (the page has no command button
  // of the framework's own).
  SetKeyFilter(0, [this](const tk::Key& key) {
    if (key.kind != tk::Key::Kind::Enter) return false;
    const int focused = FocusedItem();
    Press(focused && IsPushButton(focused) ? focused : static_cast<int>(kSaveId));
    return true;
  });

  // A failed read is reported; the box stays unticked.
  ReadThenFill<bool>(&termina::app::ReadLogoSwitch, [this](bool& print) { SetChecked(kPrintId, print); });
  return true;
}

void CFRLogo::OnChooseFile() {
  if (RefuseWhileBusy()) return;
  const std::string chosen = tk::ThePrompts().OpenFileName(this, "Открыть", "Bitmap image(*.bmp)");
  if (chosen.empty()) return;
  // The path is UTF-8 text: made a path and back as such (a narrow path
  // is in the ANSI code page on Windows, which would garble a Cyrillic
  // name).
  std::error_code error;
  const std::u8string absolute =
      std::filesystem::absolute(std::filesystem::path(std::u8string(chosen.begin(), chosen.end())), error)
          .lexically_normal()
          .u8string();
  const std::string file = error ? chosen : std::string(absolute.begin(), absolute.end());
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

CFRFunction::Command CFRLogo::MakeCommand() {
  if (m_nMode == kStoreSwitch)
    return [print = IsChecked(kPrintId)](CommandJob& job) {
      MainWindowDisabled locked(job);
      termina::app::StoreLogoSwitch(print);
    };
  // The host path, as the driver opens it.
  return [path = ItemText(kFileId)](CommandJob& job) {
    MainWindowDisabled locked(job);
    termina::app::UploadLogo(path, job.Ui());
  };
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
