// SPDX-License-Identifier: GPL-3.0-or-later
#include "frparams.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include <initializer_list>

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
  if (auto* edit = Item<QLineEdit>(kCashDeskId)) edit->installEventFilter(new progpage::DigitsOnly(edit));
  if (auto* design = Item<QComboBox>(kDesignId)) {
    for (const char* name : app::ReceiptDesignNames()) design->addItem(QString::fromUtf8(name));
    design->setCurrentIndex(-1);
  }

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
  QWidget* cashControl = Item(kNoCashControlId);
  QWidget* drawer = Item(kAutoDrawerId);
  QWidget* collect = Item(kCollectToZeroId);
  if (!cashControl || !drawer || !collect) return;
  const int offset = (collect->mapToGlobal(QPoint()).y() - cashControl->mapToGlobal(QPoint()).y()) -
                     (cashControl->mapToGlobal(QPoint()).y() - drawer->mapToGlobal(QPoint()).y());
  for (int id : kMovedUp)
    if (QWidget* w = Item(id)) w->move(w->x(), w->y() - offset);
}

void CFRParams::SetDisplayType(std::optional<unsigned> type) {
  auto* ba63 = Item<QRadioButton>(kDisplayBA63Id);
  auto* ld202 = Item<QRadioButton>(kDisplayLD202Id);
  if (!ba63 || !ld202) return;
  // A register value that is neither list entry selects neither button,
  // which the buttons' exclusivity would not allow.
  for (QRadioButton* b : {ba63, ld202}) b->setAutoExclusive(false);
  ba63->setChecked(type && *type == 0);
  ld202->setChecked(type && *type == 1);
  for (QRadioButton* b : {ba63, ld202}) b->setAutoExclusive(true);
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

void CFRParams::Execute() {
  const app::ParamsValues in = OnUi([&] { return Gather(); });
  app::ParamsWrite w;
  {
    MainWindowDisabled locked(*this);
    WaitCursorShown wait(*this);
    w = app::WriteParams(m_wVersion, in);
  }
  // The controls show what the register holds now.
  if (w.reread) {
    OnUi([&] {
      m_partialCut = w.reread->values.partialCut;
      Fill(w.reread->values);
    });
  }
  if (w.error) throw *w.error;
  if (w.status == app::WriteStatus::ShiftOpen) {
    if (w.reread && w.reread->error) {
      // The refusal, then the failure of the read that followed it.
      MessageBox(app::kShiftOpenText, app::kErrorTitle, tk::Icon::Error);
      throw *w.reread->error;
    }
    progpage::RefuseShiftOpen(*this);
  }
}
