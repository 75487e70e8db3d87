// SPDX-License-Identifier: GPL-3.0-or-later
#include "frconnectparams.h"

#include <optional>

#include "clock.h"
#include "driver_api.h"

namespace {

enum : int {
  kRegisterDateId = 1082,
  kRegisterTimeId = 1026,
  kComputerDateId = 1051,
  kComputerTimeId = 1053,
  kSetId = 1079,
  kReadId = 1081,
  kLastLabelId = 11149,
  kLastDateLabelId = 11150,
  kLastTimeLabelId = 11151,
  kLastDateId = 1052,
  kLastTimeId = 1055,
  kPasswordGroupId = 11165,
  kPasswordLabelId = 11166,
  kPasswordId = 1056,
  kChangeId = 1080,
};

}  // namespace

CFRConnectParams::CFRConnectParams(PageHost& host) : CFRFunction(host) {}

bool CFRConnectParams::OnInitDialog() {
  CFRFunction::OnInitDialog();
  OnClicked(kReadId, [this] { OnReadClock(); });
  OnClicked(kSetId, [this] { OnSetClock(); });
  OnClicked(kChangeId, [this] { OnChangePassword(); });
  ShowItem(kExecuteId, false);

  // The second model keeps its password to itself.
  if (Host() && Host()->Version() == 201)
    for (int id : {kPasswordId, kPasswordLabelId, kPasswordGroupId, kChangeId}) ShowItem(id, false);

  TRMADT date;
  TRMATM time;
  LocalDateTime(&date, &time);
  SetItemTextNow(kComputerDateId, termina::app::DateText(date));
  SetItemTextNow(kComputerTimeId, termina::app::TimeText(time));

  // The computer's time, refreshed every second.
  StartTimer(1000, [this] { ShowComputerTime(); });
  ReadThenFill<termina::app::ClockPageData>(&termina::app::ReadClockPage,
                                            [this](termina::app::ClockPageData& p) { Fill(p); });
  return true;
}

void CFRConnectParams::Fill(const termina::app::ClockPageData& p) {
  if (p.statusRead) {
    SetItemTextNow(kLastDateId, termina::app::DateText(p.lastDate));
    SetItemTextNow(kLastTimeId, termina::app::TimeText(p.lastTime));
    for (int id : {kLastLabelId, kLastDateLabelId, kLastTimeLabelId}) EnableItemNow(id, !p.nonFiscal);
  }
  if (p.clockRead) {
    SetItemTextNow(kRegisterDateId, termina::app::DateText(p.clock.date));
    SetItemTextNow(kRegisterTimeId, termina::app::TimeText(p.clock.time));
  }
  if (p.failure) TellFailure(*p.failure);
  SetItemTextNow(kPasswordId, p.password);
}

void CFRConnectParams::ShowComputerTime() {
  TRMADT date;
  TRMATM time;
  LocalDateTime(&date, &time);
  SetItemTextNow(kComputerTimeId, termina::app::TimeText(time));
}

void CFRConnectParams::OnReadClock() {
  if (RefuseWhileBusy()) return;
  try {
    const termina::app::RegisterClock c = reg::Worker::Get().Run(&termina::app::ReadRegisterClock);
    SetItemTextNow(kRegisterDateId, termina::app::DateText(c.date));
    SetItemTextNow(kRegisterTimeId, termina::app::TimeText(c.time));
  } catch (uint16_t code) { TellFailure(code); }
}

void CFRConnectParams::OnSetClock() {
  if (RefuseWhileBusy()) return;
  std::optional<uint16_t> failure;
  {
    MainWindowDisabled locked(*this);
    TRMADT date;
    TRMATM time;
    LocalDateTime(&date, &time);
    WorkerInteraction ui(this);
    try {
      const termina::app::ClockSetting s =
          reg::Worker::Get().Run([&] { return termina::app::SetRegisterClock(date, time, ui); });
      SetItemTextNow(kRegisterDateId, termina::app::DateText(s.after.date));
      SetItemTextNow(kRegisterTimeId, termina::app::TimeText(s.after.time));
    } catch (uint16_t code) { failure = code; }
  }
  if (!failure) return;
  // The register's refusal of a date before its last fiscal operation has
  // a message of its own.
  if (*failure == 12) {
    tk::ThePrompts().ShowMessage(
        {termina::app::kDateBeforeFiscalText, "Ошибка", tk::Icon::Error, tk::Buttons::Ok, tk::IDOK, this});
    return;
  }
  TellFailure(*failure);
}

void CFRConnectParams::OnChangePassword() {
  if (RefuseWhileBusy()) return;
  const std::string password = ItemText(kPasswordId);
  tk::PromptInteraction ui(this);
  // A password the register cannot take is refused before anything is locked or sent.
  if (const auto problem = termina::app::ExchangePasswordProblem(password)) {
    ui.Tell(*problem, "Ошибка", termina::app::Icon::Error);
    return;
  }
  std::optional<uint16_t> failure;
  {
    MainWindowDisabled locked(*this);
    WorkerInteraction asked(this);
    try {
      reg::Worker::Get().Run([&] { termina::app::ChangeExchangePassword(password, asked); });
    } catch (uint16_t code) { failure = code; }
  }
  if (failure) TellFailure(*failure);
}

void CFRConnectParams::TellFailure(uint16_t code) {
  const auto text = termina::app::ErrorText(code);
  if (!text) return;
  tk::ThePrompts().ShowMessage({*text, tk::kProgramName, tk::Icon::None, tk::Buttons::Ok, tk::IDOK, this});
}

bool CFRConnectParams::RefuseWhileBusy() {
  if (!IsCommandRunning()) return false;
  tk::ThePrompts().ShowMessage({"Не завершилась обработка предыдущей команды", tk::kProgramName, tk::Icon::Exclamation,
                                tk::Buttons::Ok, tk::IDOK, this});
  return true;
}
