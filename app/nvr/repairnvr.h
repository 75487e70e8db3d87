// SPDX-License-Identifier: GPL-3.0-or-later
// CRepairNVR: the NVR emergency recovery dialog (template 147,
// "Аварийное восстановление NVR").  Opening reads what is left of the
// register's NVR image into the recovery record; the engineer corrects the
// totals by hand, in the array dialogs or from a saved .nvr file; OK
// writes a freshly built image and ends the dialog with IDOK, Cancel ends
// it with IDCANCEL and writes nothing.
#pragma once

#include <optional>

#include "nvr_recovery.h"
#include "dialog.h"
#include "prompts.h"

class CRepairNVR : public tk::CDialog {
 public:
  explicit CRepairNVR(tk::Dialog* parent = nullptr);

  // The record the controls show; money in roubles.
  termina::app::NvrRecord m_record;
  termina::app::NvrRecord m_opened;  // as read at opening: kept as a backup before a write

  // Texts of the number-format messages, shown when an edit does not hold a
  // number of its kind.
  static const std::string kMoneyFormatText;
  static const std::string kCountFormatText;

 protected:
  bool OnInitDialog() override;
  // Writes the image; the dialog stays open when an edit does not parse or
  // the register refuses the write.
  void OnOK() override;

 private:
  // Record -> controls.
  void ShowRecord();
  // Controls -> record in the dialog's order.  On an edit that does not
  // parse: the message, the edit focused, false; the record then holds the
  // edits before it.
  bool TakeControls();
  void AdaptLayout();
  void OnArray(termina::app::NvrArray array);
  void OnSave();
  void OnLoad();
};
