// SPDX-License-Identifier: GPL-3.0-or-later
#include "frinstall.h"

#include "driver_api.h"
#include "prompts.h"
#include "register_worker.h"

CFRInstall::CFRInstall(tk::Dialog* parent) : tk::CDialog(152, parent) {}

bool CFRInstall::OnInitDialog() {
  SetTextLimit(1051, 12);
  return true;
}

void CFRInstall::OnOK() {
  TRMADT date;
  TRMATM time;
  LocalDateTime(&date, &time);
  TRMA_SERIAL_NUMBER serial;
  termina::app::ToAnsi(ItemText(1051), serial);
  try {
    reg::Worker::Get().Run([&] { TRMA_Install(&date, &time, &serial); });
  } catch (uint16_t code) {
    // The dialog stays open so that the user can correct the number.
    if (const auto text = termina::app::ErrorText(code))
      tk::ThePrompts().ShowMessage({*text, tk::kProgramName, tk::Icon::None, tk::Buttons::Ok, tk::IDOK, this});
    return;
  }
  tk::ThePrompts().ShowMessage({"Выключите и заново включите регистратор. Нажмите ОК", tk::kProgramName, tk::Icon::None,
                                tk::Buttons::Ok, tk::IDOK, this});
  EndDialog(tk::IDOK);
}
