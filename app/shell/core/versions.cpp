// SPDX-License-Identifier: GPL-3.0-or-later
#include "versions.h"

#include <iterator>

namespace termina::app {

const char* const kUpdateWarning =
    "Для работы с данным типом фискального регистратора необходимо обновление версии TerminaTool. \n"
    "В текущей версии часть функций будет заблокирована.";
const char* const kNotSupported =
    "Программа TerminaTool не поддерживает работу с данным типом фискального регистратора.";
const char* const kWarningTitle = "Предупреждение";

namespace {

struct Row {
  uint16_t from, to;  // inclusive
  VersionFacts facts;
};

constexpr VersionNotice kNone = VersionNotice::None;
constexpr VersionNotice kUpdate = VersionNotice::UpdateWarning;
constexpr VersionNotice kRefused = VersionNotice::NotSupported;

// In order of the version number; every version falls into one row.
constexpr Row kRows[] = {
    {0, 0, {"ТЕРМИНА-1", kLayoutInspectorFirst, true, false, kNone}},
    {1, 128, {"ТЕРМИНА-1", kLayoutInspectorFirst, true, true, kNone}},
    {129, 129, {"", kLayoutInspectorFirst, true, true, kNone}},
    {130, 200, {"", kLayoutProgrammingFirst, false, false, kUpdate}},
    {201, 201, {"ТЕРМИНА-2", kLayoutProgrammingFirst, true, true, kNone}},
    {202, 229, {"", kLayoutProgrammingFirst, false, false, kUpdate}},
    {230, 300, {"", kLayoutProgrammingFirst, false, false, kRefused}},
    {301, 301, {"ТЕРМИНА-3", kLayoutProgrammingFirst, true, true, kNone}},
    {302, 65535, {"", kLayoutProgrammingFirst, false, false, kUpdate}},
};

}  // namespace

VersionFacts FactsFor(uint16_t version) {
  for (const Row& r : kRows)
    if (version >= r.from && version <= r.to) return r.facts;
  return kRows[std::size(kRows) - 1].facts;
}

}  // namespace termina::app
