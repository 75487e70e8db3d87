// SPDX-License-Identifier: GPL-3.0-or-later
// The function nodes of the three tabs and the decisions taken from the
// register's version number.  Plain data, no widgets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "versions.h"

struct CFRNodeArg;
// Yields a complete argument when called (the start-date and end-date
// arguments of the date reports).
using CFRValueProvider = CFRNodeArg (*)();

struct CFRNodeArg {
  std::string description;
  std::string value;  // a space followed by the default value
  CFRValueProvider provider = nullptr;
};

CFRNodeArg StartDateArg();
CFRNodeArg EndDateArg();
// Today's local date as DDMMYY.
std::string TodayDDMMYY();

struct CFRNode {
  uint8_t code = 0;
  int row = -1;  // its row in the tree
  std::string name;
  std::string value;  // a space followed by the caption
  CFRValueProvider provider = nullptr;
  uint8_t count = 0;
  std::vector<CFRNodeArg> arguments;

  // The first argument's value as an integer (leading blanks skipped, the
  // leading decimal digits taken, 0 when there are none).
  int FirstArgument() const;
};

// One node of a tab before it is put into the tree.
struct NodeEntry {
  std::string caption;
  uint8_t code;
  std::vector<CFRNodeArg> arguments;
};

std::vector<NodeEntry> InspectorNodes();
std::vector<NodeEntry> EEJNodes();
std::vector<NodeEntry> ProgrammingNodes(uint16_t version);

// ---- Version classes -----------------------------------------------------

// The version table is shared with trma (versions.h).
using termina::app::FileButtonsAllowed;
using termina::app::IsSupportedVersion;
using termina::app::kLayoutInspectorFirst;
using termina::app::kLayoutProgrammingFirst;
using termina::app::LayoutFor;
using termina::app::ModelName;
using termina::app::NoticeFor;
using termina::app::VersionNotice;

// The tab captions of a layout, in tab order, and the programming tab's index.
std::vector<std::string> TabCaptions(uint16_t layout);
int ProgrammingTabIndex(uint16_t layout);

enum class TabKind { Inspector, EEJ, Programming };
TabKind TabAt(uint16_t layout, int index);

using termina::app::kNotSupported;
using termina::app::kUpdateWarning;
