// SPDX-License-Identifier: GPL-3.0-or-later
// CFRGroups: the departments page (template 160): six department names
// (configuration table 26) and the section header of the Z-report
// (table 27).
#pragma once

#include <cstdint>

#include "frfunction.h"
#include "page_support.h"

class CFRGroups : public CFRFunction {
 public:
  explicit CFRGroups(PageHost& host);

  unsigned GetTemplateId() const override { return 160; }
  // The six names into their fields, then the header.
  Command MakeCommand() override;

  // The register's version read when the page was created; row i is table
  // 26 field DepartmentOffset(m_wVersion) + i.
  uint16_t m_wVersion = 120;

 protected:
  bool OnInitDialog() override;

 private:
  progpage::UnreadBoxes m_unread;
};
