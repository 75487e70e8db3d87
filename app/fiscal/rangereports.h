// SPDX-License-Identifier: GPL-3.0-or-later
// The report pages over a range: CEEJDateReport (template 135) and
// CEEJShiftReport (136) print the EEJ report, short or full, for a range of
// dates or shifts; CFiscDateReport (139) and CFiscShiftReport (140) add the
// tax inspector's password and print the fiscal-memory report instead.
// The report type (0 short, 1 full) comes from the tree node.  The report
// runs with only the navigation disabled, so "ПРЕРВАТЬ" stays usable; its
// command carries the period, the type and the password read from the page.
#pragma once

#include <cstdint>

#include "frfunction.h"
#include "reports.h"

// A number edit with its up-down control beside it: the arrows step from
// the number in the edit and write the new one back; the edit itself may
// hold any digits, or none.
void BindUpDown(tk::Dialog& page, int editId, int upDownId);
// Digits only, as typed (an empty edit is allowed).
void MakeDigitsOnly(tk::Dialog& page, int editId);

class CEEJDateReport : public CFRFunction {
 public:
  enum : int { kStartDateId = 1021, kEndDateId = 1022 };
  CEEJDateReport(PageHost& host, int reportType);

  unsigned GetTemplateId() const override { return 135; }
  Command MakeCommand() override;

  const uint16_t m_wType;
  // The period, kept by the page itself: today when the page is made, the
  // picked day at 00:00:00 after a pick.
  termina::app::ReportDay m_startDate, m_endDate;

 protected:
  bool OnInitDialog() override;
  struct Period {
    TRMADT first, last;
  };
  Period ReadPeriod() const;  // UI thread
};

class CFiscDateReport : public CEEJDateReport {
 public:
  enum : int { kPasswordId = 1028 };
  CFiscDateReport(PageHost& host, int reportType) : CEEJDateReport(host, reportType) {}

  unsigned GetTemplateId() const override { return 139; }
  Command MakeCommand() override;

 protected:
  bool OnInitDialog() override;
};

class CEEJShiftReport : public CFRFunction {
 public:
  enum : int { kFirstShiftId = 1025, kLastShiftId = 1026, kFirstUpDownId = 1086, kLastUpDownId = 1087 };
  CEEJShiftReport(PageHost& host, int reportType);

  unsigned GetTemplateId() const override { return 136; }
  Command MakeCommand() override;

  const uint16_t m_wType;

 protected:
  bool OnInitDialog() override;
  struct Shifts {
    uint16_t first, last;
  };
  Shifts ReadShifts() const;  // UI thread
};

class CFiscShiftReport : public CEEJShiftReport {
 public:
  enum : int { kPasswordId = 1028 };
  CFiscShiftReport(PageHost& host, int reportType) : CEEJShiftReport(host, reportType) {}

  unsigned GetTemplateId() const override { return 140; }
  Command MakeCommand() override;

 protected:
  bool OnInitDialog() override;
};
