// SPDX-License-Identifier: GPL-3.0-or-later
#include "rangereports.h"

#include <QDateTimeEdit>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QSpinBox>

#include <limits>
#include <string>

namespace {

namespace app = termina::app;

// The first line of the number edits and the range of their arrows.
const std::string kFirstNumber = "1";
constexpr int kUpDownMax = std::numeric_limits<int32_t>::max();

// The password edit: digits only, shown masked, no length limit of its own
// (the record takes the first 10 characters).
void SetUpPassword(QLineEdit* edit) {
  if (!edit) return;
  MakeDigitsOnly(edit);
  edit->setEchoMode(QLineEdit::Password);
}

}  // namespace

void MakeDigitsOnly(QLineEdit* edit) {
  if (!edit) return;
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
}

void BindUpDown(QLineEdit* edit, QSpinBox* upDown) {
  if (!edit || !upDown) return;
  MakeDigitsOnly(edit);
  upDown->setRange(1, kUpDownMax);
  upDown->setFocusPolicy(Qt::NoFocus);  // the arrows only; typing goes into the edit
  upDown->setFocusProxy(edit);
  const auto follow = [edit, upDown] {
    const QSignalBlocker block(upDown);
    upDown->setValue(app::EditNumber(edit->text().toStdString()));
  };
  follow();
  QObject::connect(edit, &QLineEdit::textChanged, upDown, follow);
  QObject::connect(upDown, &QSpinBox::valueChanged, edit, [edit](int value) { edit->setText(QString::number(value)); });
}

// ---- dates -----------------------------------------------------------------

CEEJDateReport::CEEJDateReport(PageHost& host, int reportType)
    : CFRFunction(host),
      m_wType(static_cast<uint16_t>(reportType)),
      m_startDate(app::Today()),
      m_endDate(m_startDate) {}

bool CEEJDateReport::OnInitDialog() {
  CFRFunction::OnInitDialog();
  const auto bind = [this](int id, app::ReportDay* day) {
    auto* picker = Item<QDateTimeEdit>(id);
    if (!picker) return;
    {
      // The picker shows today, as the page's dates start.
      const QSignalBlocker block(picker);
      picker->setDate(QDate::currentDate());
    }
    connect(picker, &QDateTimeEdit::dateChanged, this, [day](const QDate& d) {
      *day = app::ReportDay{d.isValid(), d.year(), d.month(), d.day()};
    });
  };
  bind(kStartDateId, &m_startDate);
  bind(kEndDateId, &m_endDate);
  return true;
}

CEEJDateReport::Period CEEJDateReport::ReadPeriod() const {
  return Period{app::ReportDate(m_startDate), app::ReportDate(m_endDate)};
}

void CEEJDateReport::Execute() {
  NavigationDisabled navigation(*this);
  const Period p = OnUi([&] { return ReadPeriod(); });
  app::RunEejDateRangeReport(m_wType, p.first, p.last);
}

bool CFiscDateReport::OnInitDialog() {
  CEEJDateReport::OnInitDialog();
  SetUpPassword(Item<QLineEdit>(kPasswordId));
  return true;
}

void CFiscDateReport::Execute() {
  struct Inputs {
    Period period;
    std::string password;
  };
  const Inputs in = OnUi([&] { return Inputs{ReadPeriod(), ItemText(kPasswordId)}; });
  if (!app::CheckInspectorPassword(in.password, Ui())) {
    FocusItem(kPasswordId);
    return;
  }
  NavigationDisabled navigation(*this);
  app::RunFiscDateReport(m_wType, in.period.first, in.period.last, in.password);
}

// ---- shifts ----------------------------------------------------------------

CEEJShiftReport::CEEJShiftReport(PageHost& host, int reportType)
    : CFRFunction(host), m_wType(static_cast<uint16_t>(reportType)) {}

bool CEEJShiftReport::OnInitDialog() {
  CFRFunction::OnInitDialog();
  SetItemTextNow(kFirstShiftId, kFirstNumber);
  SetItemTextNow(kLastShiftId, kFirstNumber);
  BindUpDown(Item<QLineEdit>(kFirstShiftId), Item<QSpinBox>(kFirstUpDownId));
  BindUpDown(Item<QLineEdit>(kLastShiftId), Item<QSpinBox>(kLastUpDownId));
  return true;
}

CEEJShiftReport::Shifts CEEJShiftReport::ReadShifts() const {
  return Shifts{app::ShiftNumber(ItemText(kFirstShiftId)), app::ShiftNumber(ItemText(kLastShiftId))};
}

void CEEJShiftReport::Execute() {
  NavigationDisabled navigation(*this);
  const Shifts s = OnUi([&] { return ReadShifts(); });
  app::RunEejShiftRangeReport(m_wType, s.first, s.last);
}

bool CFiscShiftReport::OnInitDialog() {
  CEEJShiftReport::OnInitDialog();
  SetUpPassword(Item<QLineEdit>(kPasswordId));
  return true;
}

void CFiscShiftReport::Execute() {
  struct Inputs {
    Shifts shifts;
    std::string password;
  };
  const Inputs in = OnUi([&] { return Inputs{ReadShifts(), ItemText(kPasswordId)}; });
  if (!app::CheckInspectorPassword(in.password, Ui())) {
    FocusItem(kPasswordId);
    return;
  }
  NavigationDisabled navigation(*this);
  app::RunFiscShiftReport(m_wType, in.shifts.first, in.shifts.last, in.password);
}
