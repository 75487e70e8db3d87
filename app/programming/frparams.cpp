// SPDX-License-Identifier: GPL-3.0-or-later
#include "frparams.h"

#include <initializer_list>
#include <string>
#include <vector>

#include "config_map.h"
#include "page_support.h"

namespace {

namespace app = termina::app;

enum : int {
  kCashDeskId = 1039,
  kCompactPrintId = 1091,
  kExternalNumberingId = 1056,
  kAutoDrawerId = 1055,
  kNoCashControlId = 1083,
  kPartialCutId = 1087,
  kAutoDisplayId = 1086,
  kCollectToZeroId = 1084,
  kRunningTotalOffId = 1085,
  kRunningTotalAtStartId = 11154,
  kAutoPaymentId = 1088,
  kDisplayGroupId = 1097,
  kDisplayBA63Id = 1100,
  kDisplayLD202Id = 1101,
  kDesignId = 1104,
};

// The boxes below the two rows the second and third model do not have.
constexpr int kMovedUp[] = {1084, 1085, 1089, 1088, 1090, 1092, 1125, 1126, 11154, 11153};

}  // namespace

CFRParams::CFRParams(PageHost& host) : CFRFunction(host) {}

bool CFRParams::OnInitDialog() {
  CFRFunction::OnInitDialog();
  SetKeyFilter(kCashDeskId, progpage::DigitsOnly);
  const auto designs = app::ReceiptDesignNames();
  SetComboItems(kDesignId, std::vector<std::string>(designs.begin(), designs.end()));

  ReadThenFill<app::ParamsRead>(&app::ReadParams, [this](app::ParamsRead& r) {
    m_wVersion = r.version;
    LayOut();
    // A failed read is reported here; the page then shows what was read and
    // ends as "Готов", the settings not read appearing empty.
    if (r.error) progpage::ReportReadFailure(*this, *r.error);
    ShowStatusText(progpage::kReady);
    m_partialCut = r.values.partialCut;
    Fill(r.values);
  });
  return true;
}

void CFRParams::LayOut() {
  if (m_bLaidOut) return;
  m_bLaidOut = true;
  for (uint16_t id : app::HiddenParamsControls(m_wVersion)) ShowItem(id, false);
  if (!app::MovesParamsRowsUp(m_wVersion)) return;
  for (int id : {kNoCashControlId, kAutoDrawerId, kCollectToZeroId})
    if (!HasItem(id)) return;
  // The boxes stand in one column of the page: the rows removed are the
  // gap below "no cash control" less the row height above it.
  const int drawer = ItemRect(kAutoDrawerId).y;
  const int cashControl = ItemRect(kNoCashControlId).y;
  const int collect = ItemRect(kCollectToZeroId).y;
  const int offset = (collect - cashControl) - (cashControl - drawer);
  for (int id : kMovedUp) MoveItemBy(id, 0, -offset);
}

void CFRParams::SetDisplayType(std::optional<unsigned> type) {
  if (!HasItem(kDisplayBA63Id) || !HasItem(kDisplayLD202Id)) return;
  // A register value that is neither list entry selects neither button.
  SetChecked(kDisplayBA63Id, type && *type == 0);
  SetChecked(kDisplayLD202Id, type && *type == 1);
}

void CFRParams::Fill(const app::ParamsValues& v) {
  SetItemTextNow(kCashDeskId, v.cashDesk);
  SetChecked(kCompactPrintId, v.compactPrint);
  SetChecked(kExternalNumberingId, v.externalNumbering);
  SetChecked(kAutoDrawerId, v.autoDrawer);
  SetChecked(kNoCashControlId, v.noCashControl);
  if (m_wVersion >= app::kVersionZReport) {
    for (const app::BitEntry& b : app::ZReportBits())
      if (m_wVersion >= b.fromVersion) SetChecked(b.controlId, (v.zReport >> b.bit) & 1);
    SetChecked(kCollectToZeroId, v.collectToZero);
    SetDisplayType(v.displayType);
    SetChecked(kAutoDisplayId, v.autoDisplay);
    if (!app::HidesDisplayRows(m_wVersion)) SetChecked(kPartialCutId, v.partialCut.value_or(false));
  }
  if (m_wVersion >= app::kVersionTaxOptions) {
    SetComboIndex(kDesignId, v.design ? static_cast<int>(*v.design) : -1);
    SetChecked(kAutoPaymentId, v.autoPayment);
  }
  if (m_wVersion >= app::kVersionSecondModel)
    ShowItem(kRunningTotalAtStartId, app::ShowsRunningTotalAtShiftStart(m_wVersion, IsChecked(kRunningTotalOffId)));
}

app::ParamsValues CFRParams::Gather() {
  app::ParamsValues v;
  v.cashDesk = ItemText(kCashDeskId);
  v.compactPrint = IsChecked(kCompactPrintId);
  v.externalNumbering = IsChecked(kExternalNumberingId);
  v.autoDrawer = IsChecked(kAutoDrawerId);
  v.noCashControl = IsChecked(kNoCashControlId);
  for (const app::BitEntry& b : app::ZReportBits())
    if (IsChecked(b.controlId)) v.zReport = static_cast<uint8_t>(v.zReport | (1u << b.bit));
  v.collectToZero = IsChecked(kCollectToZeroId);
  if (IsChecked(kDisplayBA63Id))
    v.displayType = 0;
  else if (IsChecked(kDisplayLD202Id))
    v.displayType = 1;
  v.autoDisplay = IsChecked(kAutoDisplayId);
  v.partialCut = app::HidesDisplayRows(m_wVersion) ? m_partialCut : std::optional<bool>(IsChecked(kPartialCutId));
  if (const int design = ComboIndex(kDesignId); design >= 0) v.design = static_cast<unsigned>(design);
  v.autoPayment = IsChecked(kAutoPaymentId);
  // The box of bit 7 shows or hides by bit 0 as it does after reading.
  if (m_wVersion >= app::kVersionSecondModel)
    ShowItem(kRunningTotalAtStartId, app::ShowsRunningTotalAtShiftStart(m_wVersion, IsChecked(kRunningTotalOffId)));
  return v;
}

CFRFunction::Command CFRParams::MakeCommand() {
  return [version = m_wVersion, in = Gather()](CommandJob& job) {
    app::ParamsWrite w;
    {
      MainWindowDisabled locked(job);
      WaitCursorShown wait(job);
      w = app::WriteParams(version, in);
    }
    // The controls show what the register holds now.
    if (w.reread) {
      job.OnPage<CFRParams>([&](CFRParams& page) {
        page.m_partialCut = w.reread->values.partialCut;
        page.Fill(w.reread->values);
      });
    }
    if (w.error) throw *w.error;
    if (w.status == app::WriteStatus::ShiftOpen) {
      if (w.reread && w.reread->error) {
        // The refusal, then the failure of the read that followed it.
        job.MessageBox(app::kShiftOpenText, app::kErrorTitle, tk::Icon::Error);
        throw *w.reread->error;
      }
      progpage::RefuseShiftOpen(job);
    }
  };
}
