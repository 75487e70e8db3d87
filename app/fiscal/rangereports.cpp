// SPDX-License-Identifier: GPL-3.0-or-later
#include "rangereports.h"

#include <limits>
#include <string>

namespace {

namespace app = termina::app;

// The first line of the number edits and the range of their arrows.
const std::string kFirstNumber = "1";
constexpr int kUpDownMax = std::numeric_limits<int32_t>::max();

// The password edit: digits only, shown masked, no length limit of its own
// (the record takes the first 10 characters).
void SetUpPassword(tk::Dialog& page, int id) {
  MakeDigitsOnly(page, id);
  page.SetPasswordEntry(id);
}

// A day of the calendar, as every date a picker shows is.
bool IsCalendarDay(const tk::Date& d) {
  static constexpr int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (d.year < 1 || d.month < 1 || d.month > 12 || d.day < 1 || d.day > kDays[d.month - 1]) return false;
  const bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
  return !(d.month == 2 && d.day == 29 && !leap);
}

}  // namespace

void MakeDigitsOnly(tk::Dialog& page, int editId) { page.SetTextPattern(editId, "[0-9]*"); }

void BindUpDown(tk::Dialog& page, int editId, int upDownId) {
  MakeDigitsOnly(page, editId);
  page.SetNumberRange(upDownId, 1, kUpDownMax);
  page.SetUpDownBuddy(upDownId, editId);
  // Setting the number from the program is silent, so the two handlers do
  // not chase each other.
  const auto follow = [&page, editId, upDownId] { page.SetNumber(upDownId, app::EditNumber(page.ItemText(editId))); };
  follow();
  page.OnChanged(editId, follow);
  page.OnChanged(upDownId,
                 [&page, editId, upDownId] { page.SetItemTextNow(editId, std::to_string(page.GetNumber(upDownId))); });
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
    // The picker shows today, as the page's dates start (silently).
    const app::ReportDay today = app::Today();
    SetDate(id, tk::Date{today.year, today.month, today.day});
    OnChanged(id, [this, id, day] {
      const tk::Date d = GetDate(id);
      *day = app::ReportDay{IsCalendarDay(d), d.year, d.month, d.day};
    });
  };
  bind(kStartDateId, &m_startDate);
  bind(kEndDateId, &m_endDate);
  return true;
}

CEEJDateReport::Period CEEJDateReport::ReadPeriod() const {
  return Period{app::ReportDate(m_startDate), app::ReportDate(m_endDate)};
}

CFRFunction::Command CEEJDateReport::MakeCommand() {
  return [type = m_wType, p = ReadPeriod()](CommandJob& job) {
    NavigationDisabled navigation(job);
    app::RunEejDateRangeReport(type, p.first, p.last);
  };
}

bool CFiscDateReport::OnInitDialog() {
  CEEJDateReport::OnInitDialog();
  SetUpPassword(*this, kPasswordId);
  return true;
}

CFRFunction::Command CFiscDateReport::MakeCommand() {
  return [type = m_wType, p = ReadPeriod(), password = ItemText(kPasswordId)](CommandJob& job) {
    if (!app::CheckInspectorPassword(password, job.Ui())) {
      job.OnPage<CFiscDateReport>([](CFiscDateReport& page) { page.FocusItemNow(kPasswordId); });
      return;
    }
    NavigationDisabled navigation(job);
    app::RunFiscDateReport(type, p.first, p.last, password);
  };
}

// ---- shifts ----------------------------------------------------------------

CEEJShiftReport::CEEJShiftReport(PageHost& host, int reportType)
    : CFRFunction(host), m_wType(static_cast<uint16_t>(reportType)) {}

bool CEEJShiftReport::OnInitDialog() {
  CFRFunction::OnInitDialog();
  SetItemTextNow(kFirstShiftId, kFirstNumber);
  SetItemTextNow(kLastShiftId, kFirstNumber);
  BindUpDown(*this, kFirstShiftId, kFirstUpDownId);
  BindUpDown(*this, kLastShiftId, kLastUpDownId);
  return true;
}

CEEJShiftReport::Shifts CEEJShiftReport::ReadShifts() const {
  return Shifts{app::ShiftNumber(ItemText(kFirstShiftId)), app::ShiftNumber(ItemText(kLastShiftId))};
}

CFRFunction::Command CEEJShiftReport::MakeCommand() {
  return [type = m_wType, s = ReadShifts()](CommandJob& job) {
    NavigationDisabled navigation(job);
    app::RunEejShiftRangeReport(type, s.first, s.last);
  };
}

bool CFiscShiftReport::OnInitDialog() {
  CEEJShiftReport::OnInitDialog();
  SetUpPassword(*this, kPasswordId);
  return true;
}

CFRFunction::Command CFiscShiftReport::MakeCommand() {
  return [type = m_wType, s = ReadShifts(), password = ItemText(kPasswordId)](CommandJob& job) {
    if (!app::CheckInspectorPassword(password, job.Ui())) {
      job.OnPage<CFiscShiftReport>([](CFiscShiftReport& page) { page.FocusItemNow(kPasswordId); });
      return;
    }
    NavigationDisabled navigation(job);
    app::RunFiscShiftReport(type, s.first, s.last, password);
  };
}
