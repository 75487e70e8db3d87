// SPDX-License-Identifier: GPL-3.0-or-later
#include "synchro.h"

#include "clock_sync.h"

namespace {

constexpr int kDateId = 1082;
constexpr int kTimeId = 1026;

}  // namespace

CSynchro::CSynchro(PageHost& host) : CFRFunction(host) {}

bool CSynchro::OnInitDialog() {
  CFRFunction::OnInitDialog();
  std::tm now{};
  if (termina::app::LocalNow(now)) {
    SetItemTextNow(kDateId, termina::app::SynchroDateText(now));
    SetItemTextNow(kTimeId, termina::app::SynchroTimeText(now));
  }
  m_nTimer = StartTimer(1000, [this] { OnTimer(); });
  return true;
}

// Only the time is refreshed: the date stays that of the page's creation.
void CSynchro::OnTimer() {
  std::tm now{};
  if (termina::app::LocalNow(now)) SetItemTextNow(kTimeId, termina::app::SynchroTimeText(now));
}

CFRFunction::Command CSynchro::MakeCommand() {
  return [](CommandJob& job) {
    MainWindowDisabled locked(job);
    termina::app::RunSynchro();
  };
}
