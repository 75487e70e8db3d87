// SPDX-License-Identifier: GPL-3.0-or-later
// CFRLogo: the logo page (template 146).  Chooses and previews a bitmap
// file, uploads it to the register ("ЗАГРУЗИТЬ"), removes the register's
// logo ("УДАЛИТЬ") and stores whether the logo is printed ("СОХРАНИТЬ").
#pragma once

#include "frfunction.h"

class CFRLogo : public CFRFunction {
 public:
  explicit CFRLogo(PageHost& host);

  unsigned GetTemplateId() const override { return 146; }
  // Stores the print switch (mode 0) or uploads the logo (mode 1).
  Command MakeCommand() override;

  enum Mode { kStoreSwitch = 0, kUpload = 1 };

 protected:
  bool OnInitDialog() override;

 private:
  void OnChooseFile();
  void OnUpload();
  void OnStoreSwitch();
  void OnRemove();
  // The driver takes one exchange at a time: while a command of the page
  // runs, the page's own buttons say so and do nothing.
  bool RefuseWhileBusy();
  void ShowPreview(const std::string& path);
  void ReportFailure(uint16_t code);

  Mode m_nMode = kStoreSwitch;
};
