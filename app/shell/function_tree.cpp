// SPDX-License-Identifier: GPL-3.0-or-later
#include "function_tree.h"

#include <cctype>
#include <cstdio>
#include <ctime>

namespace {

const std::string kType = "Тип отчета (0 - короткий; 1 - полный)";
const std::string kFirstShift = "Номер начальной смены (поле числа или номера)";
const std::string kLastShift = "Номер конечной смены (поле числа или номера)";
const std::string kShift = "Номер смены (поле числа или номера)";
const std::string kKpk = "Номер КПК (поле числа или номера)";
const std::string kInspectorPassword = "Пароль налогового инспектора (поле произвольной текстовой информации)";
const std::string kCurrentPassword = "Текущий пароль налогового инспектора (поле произвольной текстовой информации)";
const std::string kRegNumber = "Регистрационный номер ККМ (поле произвольной текстовой информации)";
const std::string kOwnerInn = "ИНН владельца (поле произвольной текстовой информации)";
const std::string kNewPassword = "Новый пароль налогового инспектора (поле произвольной текстовой информации)";
const std::string kSyncDialog = "Диалог синхронизации";
const std::string kParamsDialog = "Диалог параметров";
const std::string kTable = "<";
const std::string kCount = "Количество параметров";

CFRNodeArg Arg(const std::string& description, const std::string& def = {}) {
  return CFRNodeArg{description, " " + def, nullptr};
}

CFRNodeArg Provided(CFRValueProvider provider) { return CFRNodeArg{{}, {}, provider}; }

}  // namespace

std::string TodayDDMMYY() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char text[16];
  std::snprintf(text, sizeof text, "%02d%02d%02d", tm.tm_mday % 100, (tm.tm_mon + 1) % 100,
                (tm.tm_year + 1900 - 2000) % 100);
  return text;
}

CFRNodeArg StartDateArg() { return Arg("Начальная дата в формате ДДММГГ", TodayDDMMYY()); }
CFRNodeArg EndDateArg() { return Arg("Конечная дата в формате ДДММГГ", TodayDDMMYY()); }

int CFRNode::FirstArgument() const {
  if (arguments.empty()) return 0;
  const std::string& v = arguments.front().value;
  std::size_t i = 0;
  while (i < v.size() && std::isspace(static_cast<unsigned char>(v[i]))) ++i;
  long long n = 0;
  for (; i < v.size() && v[i] >= '0' && v[i] <= '9' && n < 1000000000; ++i) n = n * 10 + (v[i] - '0');
  return static_cast<int>(n);
}

std::vector<NodeEntry> InspectorNodes() {
  return {
      {"Фискализация / перерегистрация",
       8,
       {Arg(kCurrentPassword), Arg(kRegNumber), Arg(kOwnerInn), Arg(kNewPassword)}},
      {"Краткий фиск. отчет по сменам",
       0x62,
       {Arg(kType, "0"), Arg(kFirstShift, "1"), Arg(kLastShift, "1"), Arg(kInspectorPassword)}},
      {"Полный фиск. отчет по сменам",
       0x62,
       {Arg(kType, "1"), Arg(kFirstShift, "1"), Arg(kLastShift, "1"), Arg(kInspectorPassword)}},
      {"Краткий фиск. отчет по датам",
       0x63,
       {Arg(kType, "0"), Provided(&StartDateArg), Provided(&EndDateArg), Arg(kInspectorPassword)}},
      {"Полный фиск. отчет по датам",
       0x63,
       {Arg(kType, "1"), Provided(&StartDateArg), Provided(&EndDateArg), Arg(kInspectorPassword)}},
      {"Тестовая продажа", 0x77, {}},
  };
}

std::vector<NodeEntry> EEJNodes() {
  return {
      {"Активизация ЭКЛЗ", 9, {}},
      {"Закрытие архива ЭКЛЗ", 10, {}},
      {"Контрольная лента", 0x64, {Arg(kShift, "1")}},
      {"Документ из ЭКЛЗ", 0x65, {Arg(kKpk, "0")}},
      {"Краткий отчет по сменам", 0x66, {Arg(kType, "0"), Arg(kFirstShift, "1"), Arg(kLastShift, "1")}},
      {"Полный отчет по сменам", 0x66, {Arg(kType, "1"), Arg(kFirstShift, "1"), Arg(kLastShift, "1")}},
      {"Краткий отчет по датам", 0x67, {Arg(kType, "0"), Provided(&StartDateArg), Provided(&EndDateArg)}},
      {"Полный отчет по датам", 0x67, {Arg(kType, "1"), Provided(&StartDateArg), Provided(&EndDateArg)}},
      {"Отчет по активизации", 0x68, {}},
      {"Отчет по смене", 0x69, {Arg(kShift, "1")}},
  };
}

std::vector<NodeEntry> ProgrammingNodes(uint16_t version) {
  const bool supported = IsSupportedVersion(version);
  std::vector<NodeEntry> nodes;
  if (version <= 129) nodes.push_back({"Синхронизация", 0xA3, {Arg(kSyncDialog, "0"), Arg(kCount, "2")}});
  if (version == 201 || version == 301)
    nodes.push_back({"Параметры связи", 0xF3, {Arg(kSyncDialog, "0"), Arg(kCount, "2")}});
  if (supported) {
    nodes.push_back({"Параметры кассы", 0xA1, {Arg(kParamsDialog, "0"), Arg(kCount, "1")}});
    nodes.push_back({"Логотип предприятия", 0xA1, {Arg(kTable, "5"), Arg(kCount, "4")}});
  }
  nodes.push_back({"Клише предприятия", 0xA1, {Arg(kTable, "20"), Arg(kCount, "4")}});
  if (supported) {
    nodes.push_back({"Рекламный текст", 0xA1, {Arg(kTable, "21"), Arg(kCount, "2")}});
    nodes.push_back({"Типы платежей", 0xA1, {Arg(kTable, "22"), Arg(kCount, "16")}});
    if (version >= 125) nodes.push_back({"Налоги", 0xA1, {Arg(kTable, "23"), Arg(kCount, "16")}});
    if (version >= 201) nodes.push_back({"Товарные группы", 0xA1, {Arg(kTable, "24"), Arg(kCount, "16")}});
  }
  return nodes;
}

// ---- Version classes -----------------------------------------------------

std::vector<std::string> TabCaptions(uint16_t layout) {
  const std::string inspector = "Налоговый инспектор";
  const std::string eej = "ЭКЛЗ";
  const std::string programming = "Программирование";
  if (layout == kLayoutProgrammingFirst) return {programming, eej, inspector};
  return {inspector, eej, programming};
}

int ProgrammingTabIndex(uint16_t layout) { return layout == kLayoutProgrammingFirst ? 0 : 2; }

TabKind TabAt(uint16_t layout, int index) {
  if (index == 1) return TabKind::EEJ;
  const bool first = index == 0;
  if (layout == kLayoutProgrammingFirst) return first ? TabKind::Programming : TabKind::Inspector;
  return first ? TabKind::Inspector : TabKind::Programming;
}
