// SPDX-License-Identifier: GPL-3.0-or-later
// What the program makes of the register's version number: the model name,
// the tab layout, whether the version is supported, whether the settings
// file buttons may show, and the notice after the tree is built.  The one
// table the program and trma share.
#pragma once

#include <cstdint>
#include <string>

namespace termina::app {

enum : uint16_t { kLayoutInspectorFirst = 101, kLayoutProgrammingFirst = 201 };

enum class VersionNotice { None, UpdateWarning, NotSupported };

struct VersionFacts {
  const char* model;     // "" when the version names no model
  uint16_t layout;       // kLayoutInspectorFirst or kLayoutProgrammingFirst
  bool supported;        // 0-129, 201, 301
  bool fileButtons;      // "&Save..." / "&Load..." may show
  VersionNotice notice;  // shown after the tree is built
};

VersionFacts FactsFor(uint16_t version);

inline std::string ModelName(uint16_t version) { return FactsFor(version).model; }
inline bool IsSupportedVersion(uint16_t version) { return FactsFor(version).supported; }
inline uint16_t LayoutFor(uint16_t version) { return FactsFor(version).layout; }
inline bool FileButtonsAllowed(uint16_t version) { return FactsFor(version).fileButtons; }
inline VersionNotice NoticeFor(uint16_t version) { return FactsFor(version).notice; }

extern const char* const kUpdateWarning;
extern const char* const kNotSupported;
// The title of both notices.
extern const char* const kWarningTitle;

}  // namespace termina::app
