// SPDX-License-Identifier: GPL-3.0-or-later
#include "function_tree.h"

#include <QStringList>

#include <ctime>

namespace {

const QString kType = QStringLiteral("Тип отчета (0 - короткий; 1 - полный)");
const QString kFirstShift = QStringLiteral("Номер начальной смены (поле числа или номера)");
const QString kLastShift = QStringLiteral("Номер конечной смены (поле числа или номера)");
const QString kShift = QStringLiteral("Номер смены (поле числа или номера)");
const QString kKpk = QStringLiteral("Номер КПК (поле числа или номера)");
const QString kInspectorPassword =
    QStringLiteral("Пароль налогового инспектора (поле произвольной текстовой информации)");
const QString kCurrentPassword =
    QStringLiteral("Текущий пароль налогового инспектора (поле произвольной текстовой информации)");
const QString kRegNumber = QStringLiteral("Регистрационный номер ККМ (поле произвольной текстовой информации)");
const QString kOwnerInn = QStringLiteral("ИНН владельца (поле произвольной текстовой информации)");
const QString kNewPassword =
    QStringLiteral("Новый пароль налогового инспектора (поле произвольной текстовой информации)");
const QString kSyncDialog = QStringLiteral("Диалог синхронизации");
const QString kParamsDialog = QStringLiteral("Диалог параметров");
const QString kTable = QStringLiteral("<");
const QString kCount = QStringLiteral("Количество параметров");

CFRNodeArg Arg(const QString& description, const QString& def = QString()) {
  return CFRNodeArg{description, QLatin1Char(' ') + def, nullptr};
}

CFRNodeArg Provided(CFRValueProvider provider) { return CFRNodeArg{QString(), QString(), provider}; }

}  // namespace

QString TodayDDMMYY() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return QString::asprintf("%02d%02d%02d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900 - 2000);
}

CFRNodeArg StartDateArg() { return Arg(QStringLiteral("Начальная дата в формате ДДММГГ"), TodayDDMMYY()); }
CFRNodeArg EndDateArg() { return Arg(QStringLiteral("Конечная дата в формате ДДММГГ"), TodayDDMMYY()); }

int CFRNode::FirstArgument() const {
  if (arguments.empty()) return 0;
  const QString& v = arguments.front().value;
  int i = 0;
  while (i < v.size() && v[i].isSpace()) ++i;
  long long n = 0;
  for (; i < v.size() && v[i] >= QLatin1Char('0') && v[i] <= QLatin1Char('9') && n < 1000000000; ++i)
    n = n * 10 + (v[i].unicode() - '0');
  return static_cast<int>(n);
}

std::vector<NodeEntry> InspectorNodes() {
  return {
      {QStringLiteral("Фискализация / перерегистрация"),
       8,
       {Arg(kCurrentPassword), Arg(kRegNumber), Arg(kOwnerInn), Arg(kNewPassword)}},
      {QStringLiteral("Краткий фиск. отчет по сменам"),
       0x62,
       {Arg(kType, "0"), Arg(kFirstShift, "1"), Arg(kLastShift, "1"), Arg(kInspectorPassword)}},
      {QStringLiteral("Полный фиск. отчет по сменам"),
       0x62,
       {Arg(kType, "1"), Arg(kFirstShift, "1"), Arg(kLastShift, "1"), Arg(kInspectorPassword)}},
      {QStringLiteral("Краткий фиск. отчет по датам"),
       0x63,
       {Arg(kType, "0"), Provided(&StartDateArg), Provided(&EndDateArg), Arg(kInspectorPassword)}},
      {QStringLiteral("Полный фиск. отчет по датам"),
       0x63,
       {Arg(kType, "1"), Provided(&StartDateArg), Provided(&EndDateArg), Arg(kInspectorPassword)}},
      {QStringLiteral("Тестовая продажа"), 0x77, {}},
  };
}

std::vector<NodeEntry> EEJNodes() {
  return {
      {QStringLiteral("Активизация ЭКЛЗ"), 9, {}},
      {QStringLiteral("Закрытие архива ЭКЛЗ"), 10, {}},
      {QStringLiteral("Контрольная лента"), 0x64, {Arg(kShift, "1")}},
      {QStringLiteral("Документ из ЭКЛЗ"), 0x65, {Arg(kKpk, "0")}},
      {QStringLiteral("Краткий отчет по сменам"), 0x66, {Arg(kType, "0"), Arg(kFirstShift, "1"), Arg(kLastShift, "1")}},
      {QStringLiteral("Полный отчет по сменам"), 0x66, {Arg(kType, "1"), Arg(kFirstShift, "1"), Arg(kLastShift, "1")}},
      {QStringLiteral("Краткий отчет по датам"),
       0x67,
       {Arg(kType, "0"), Provided(&StartDateArg), Provided(&EndDateArg)}},
      {QStringLiteral("Полный отчет по датам"),
       0x67,
       {Arg(kType, "1"), Provided(&StartDateArg), Provided(&EndDateArg)}},
      {QStringLiteral("Отчет по активизации"), 0x68, {}},
      {QStringLiteral("Отчет по смене"), 0x69, {Arg(kShift, "1")}},
  };
}

std::vector<NodeEntry> ProgrammingNodes(uint16_t version) {
  const bool supported = IsSupportedVersion(version);
  std::vector<NodeEntry> nodes;
  if (version <= 129)
    nodes.push_back({QStringLiteral("Синхронизация"), 0xA3, {Arg(kSyncDialog, "0"), Arg(kCount, "2")}});
  if (version == 201 || version == 301)
    nodes.push_back({QStringLiteral("Параметры связи"), 0xF3, {Arg(kSyncDialog, "0"), Arg(kCount, "2")}});
  if (supported) {
    nodes.push_back({QStringLiteral("Параметры кассы"), 0xA1, {Arg(kParamsDialog, "0"), Arg(kCount, "1")}});
    nodes.push_back({QStringLiteral("Логотип предприятия"), 0xA1, {Arg(kTable, "5"), Arg(kCount, "4")}});
  }
  nodes.push_back({QStringLiteral("Клише предприятия"), 0xA1, {Arg(kTable, "20"), Arg(kCount, "4")}});
  if (supported) {
    nodes.push_back({QStringLiteral("Рекламный текст"), 0xA1, {Arg(kTable, "21"), Arg(kCount, "2")}});
    nodes.push_back({QStringLiteral("Типы платежей"), 0xA1, {Arg(kTable, "22"), Arg(kCount, "16")}});
    if (version >= 125) nodes.push_back({QStringLiteral("Налоги"), 0xA1, {Arg(kTable, "23"), Arg(kCount, "16")}});
    if (version >= 201)
      nodes.push_back({QStringLiteral("Товарные группы"), 0xA1, {Arg(kTable, "24"), Arg(kCount, "16")}});
  }
  return nodes;
}

// ---- Version classes -----------------------------------------------------

const QString kUpdateWarning = QString::fromUtf8(termina::app::kUpdateWarning);
const QString kNotSupported = QString::fromUtf8(termina::app::kNotSupported);

QString ModelName(uint16_t version) { return QString::fromUtf8(termina::app::FactsFor(version).model); }

QStringList TabCaptions(uint16_t layout) {
  const QString inspector = QStringLiteral("Налоговый инспектор");
  const QString eej = QStringLiteral("ЭКЛЗ");
  const QString programming = QStringLiteral("Программирование");
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
