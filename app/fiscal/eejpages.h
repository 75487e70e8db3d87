// SPDX-License-Identifier: GPL-3.0-or-later
// The pages of the "ЭКЛЗ" tab that make one driver call each: activating
// the EEJ, closing its archive and printing its activation report (plain
// template 134, the whole main window disabled during the call), a shift's
// control tape or EEJ report (template 137, only navigation disabled so that
// "ПРЕРВАТЬ" stays usable) and one stored document by its КПК number
// (template 138, main window disabled).  The range reports are in
// rangereports.h.  Each page's command carries the numbers it read from the
// page, so it runs to its end even when the page is replaced meanwhile.
#pragma once

#include <cstdint>

#include "frfunction.h"

class CEEJActivate : public CFRFunction {
 public:
  explicit CEEJActivate(PageHost& host) : CFRFunction(host) {}
  Command MakeCommand() override;
};

class CEEJCloseArchive : public CFRFunction {
 public:
  explicit CEEJCloseArchive(PageHost& host) : CFRFunction(host) {}
  // Asks "Закрыть архив?" first; any answer but Yes sends nothing.
  Command MakeCommand() override;
};

class CEEJActivateReport : public CFRFunction {
 public:
  explicit CEEJActivateReport(PageHost& host) : CFRFunction(host) {}
  Command MakeCommand() override;
};

// "Контрольная лента": the control tape of one shift.
class CEEJReport : public CFRFunction {
 public:
  enum : int { kShiftId = 1026, kUpDownId = 1084 };
  explicit CEEJReport(PageHost& host) : CFRFunction(host) {}

  unsigned GetTemplateId() const override { return 137; }
  Command MakeCommand() override;

 protected:
  using ShiftPrint = void (*)(uint16_t shift);
  bool OnInitDialog() override;
  // The one call that tells the two pages of template 137 apart.
  virtual ShiftPrint Print() const;
};

// "Отчет по смене": the EEJ report of one shift.
class CEEJGetShift : public CEEJReport {
 public:
  explicit CEEJGetShift(PageHost& host) : CEEJReport(host) {}

 protected:
  ShiftPrint Print() const override;
};

// "Документ из ЭКЛЗ": one document by its КПК number (32 bits).
class CEEJReceipt : public CFRFunction {
 public:
  enum : int { kKpkId = 1027, kUpDownId = 1085 };
  explicit CEEJReceipt(PageHost& host) : CFRFunction(host) {}

  unsigned GetTemplateId() const override { return 138; }
  Command MakeCommand() override;

 protected:
  bool OnInitDialog() override;
};
