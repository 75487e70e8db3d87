// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings.h"

#include <unistd.h>

#include <iostream>
#include <ostream>
#include <string>

#include "backups.h"
#include "config_map.h"
#include "driver_text.h"
#include "interaction.h"
#include "json_out.h"
#include "programming_pages.h"
#include "settings_diff.h"
#include "settings_file.h"
#include "termina1.h"
#include "versions.h"

namespace termina::cli {
namespace {

using namespace termina::app;

// Questions of the load on the terminal: --yes answers Yes (and OK);
// without it a Yes/No question is asked when standard input is a
// terminal, and otherwise it stays unanswered (No) and the load writes
// nothing.  The list of changes (OK and Cancel) is printed; it is asked
// only on a terminal without --yes, and without a terminal the load goes
// on, as a load without questions always has.
class TerminalInteraction : public Interaction {
 public:
  TerminalInteraction(Context& ctx, bool yes) : ctx_(ctx), yes_(yes) {}

  Answer Ask(const Question& q) override {
    if (q.buttons == Buttons::Ok) {
      ctx_.out << q.text << "\n";
      return Answer::Ok;
    }
    const bool okCancel = q.buttons == Buttons::OkCancel;
    // The list goes to the output; its last line, the question, is only
    // put when it is asked.
    const std::size_t cut = q.text.rfind('\n');
    const std::string question = okCancel && cut != std::string::npos ? q.text.substr(cut + 1) : q.text;
    if (okCancel && cut != std::string::npos) ctx_.out << q.text.substr(0, cut) << "\n" << std::flush;
    if (yes_) return okCancel ? Answer::Ok : Answer::Yes;
    if (!::isatty(STDIN_FILENO)) {
      unanswered_ = !okCancel;
      return q.defaultAnswer;
    }
    ctx_.err << question << " [да/нет] " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) return okCancel ? Answer::Cancel : q.defaultAnswer;
    for (const char* yes : {"да", "Да", "ДА", "д", "Д", "y", "Y", "yes", "Yes", "YES"})
      if (line == yes) return okCancel ? Answer::Ok : Answer::Yes;
    return okCancel ? Answer::Cancel : Answer::No;
  }
  bool unanswered() const { return unanswered_; }

 private:
  Context& ctx_;
  bool yes_;
  bool unanswered_ = false;
};

const char* onOff(bool on) { return on ? "вкл" : "выкл"; }

void connect() {
  if (const uint16_t rc = TRMA_CheckPort(false); rc != 0) throw rc;
}

// A failed read ends the overview with the driver's message.
void check(const std::optional<uint16_t>& error) {
  if (error) throw *error;
}

void line(Context& ctx, const std::string& caption, const std::string& value) {
  ctx.out << "  " << caption << ": " << value << "\n";
}

void bits(Context& ctx, std::span<const BitEntry> entries, unsigned mask, uint16_t version,
          bool (*shown)(const BitEntry&)) {
  for (const BitEntry& b : entries)
    if (version >= b.fromVersion && shown(b))
      ctx.out << "    " << b.caption << ": " << onOff((mask >> b.bit) & 1) << "\n";
}

std::string listText(std::span<const char* const> names, const std::optional<unsigned>& index, const std::string& raw) {
  if (index && *index < names.size()) return names[*index];
  return raw.empty() ? "не выбран" : raw;
}

std::string trimColon(std::string s) {
  if (!s.empty() && s.back() == ':') s.pop_back();
  return s;
}

void showParams(Context& ctx) {
  const ParamsRead r = ReadParams();
  check(r.error);
  const uint16_t v = r.version;
  const ParamsValues& p = r.values;
  ctx.out << "Параметры кассы\n";
  line(ctx, MapEntry(kTableCashDesk).caption, p.cashDesk);
  line(ctx, MapEntry(kTableCompactPrint).caption, onOff(p.compactPrint));
  line(ctx, MapEntry(kTableExternalNumbering).caption, onOff(p.externalNumbering));
  line(ctx, MapEntry(kTableAutoDrawer).caption, onOff(p.autoDrawer));
  line(ctx, MapEntry(kTableNoCashControl).caption, onOff(p.noCashControl));
  if (UsedOn(MapEntry(kTableZReportOptions), v)) {
    line(ctx, MapEntry(kTableZReportOptions).caption, std::to_string(p.zReport));
    bits(ctx, ZReportBits(), p.zReport, v, [](const BitEntry&) { return true; });
    line(ctx, MapEntry(kTableCollectToZero).caption, onOff(p.collectToZero));
    // The second and third models have no display type, display output or
    // partial cutting to set (the program hides them too).
    if (!HidesDisplayRows(v)) {
      line(ctx, MapEntry(kTableDisplayType).caption, listText(DisplayTypeNames(), p.displayType, ""));
      line(ctx, MapEntry(kTableAutoDisplay).caption, onOff(p.autoDisplay));
      line(ctx, MapEntry(kTablePartialCut).caption, onOff(p.partialCut.value_or(false)));
    }
  }
  if (UsedOn(MapEntry(kTableReceiptDesign), v)) {
    line(ctx, trimColon(MapEntry(kTableReceiptDesign).caption), listText(ReceiptDesignNames(), p.design, ""));
    line(ctx, MapEntry(kTableAutoPayment).caption, onOff(p.autoPayment));
  }
}

void showLines(Context& ctx, const char* title, const std::vector<std::string>& lines) {
  ctx.out << title << "\n";
  for (std::size_t i = 0; i < lines.size(); ++i) line(ctx, std::to_string(i + 1), "\"" + lines[i] + "\"");
}

template <typename T>
nlohmann::json optionalJson(const std::optional<T>& v) {
  return v ? nlohmann::json(*v) : nlohmann::json(nullptr);
}

// The overview as one JSON object, the same reads in the same order.
int showJson(Context& ctx) {
  nlohmann::json j;
  const uint16_t v = RegisterVersion();
  const std::string model = ModelName(v);
  j["version"] = v;
  j["model"] = model.empty() ? nlohmann::json(nullptr) : nlohmann::json(model);

  const ParamsRead r = ReadParams();
  check(r.error);
  const ParamsValues& p = r.values;
  nlohmann::json params = {{"cash_desk", p.cashDesk},
                           {"compact_print", p.compactPrint},
                           {"external_numbering", p.externalNumbering},
                           {"auto_drawer", p.autoDrawer},
                           {"no_cash_control", p.noCashControl},
                           {"z_report_options", nullptr},
                           {"collect_to_zero", nullptr},
                           {"display_type", nullptr},
                           {"auto_display", nullptr},
                           {"partial_cut", nullptr},
                           {"receipt_design", nullptr},
                           {"auto_payment", nullptr}};
  if (UsedOn(MapEntry(kTableZReportOptions), r.version)) {
    params["z_report_options"] = p.zReport;
    params["collect_to_zero"] = p.collectToZero;
    if (!HidesDisplayRows(r.version)) {
      params["display_type"] = optionalJson(p.displayType);
      params["auto_display"] = p.autoDisplay;
      params["partial_cut"] = p.partialCut.value_or(false);
    }
  }
  if (UsedOn(MapEntry(kTableReceiptDesign), r.version)) {
    params["receipt_design"] = optionalJson(p.design);
    params["auto_payment"] = p.autoPayment;
  }
  j["params"] = params;

  std::optional<uint16_t> error;
  const std::optional<bool> logo = ReadLogoFlag(&error);
  check(error);
  j["print_logo"] = logo.value_or(false);
  const LinesRead header = ReadHeader();
  check(header.error);
  j["header"] = header.lines;
  const LinesRead footer = ReadFooter();
  check(footer.error);
  j["footer"] = footer.lines;
  const PaymentsRead pay = ReadPayments();
  check(pay.error);
  j["payments"] = pay.names;

  const TaxesRead tax = ReadTaxes();
  check(tax.error);
  nlohmann::json taxes = nlohmann::json::array();
  for (std::size_t i = 0; i < tax.values.names.size(); ++i)
    taxes.push_back({{"name", tax.values.names[i]}, {"rate", tax.values.rates[i]}});
  j["taxes"] = taxes;
  j["tax_options"] = tax.showOptions ? nlohmann::json(tax.optionMask) : nlohmann::json(nullptr);
  j["tax_calculation"] = tax.showOptions ? optionalJson(tax.values.calculation) : nlohmann::json(nullptr);
  j["tax_line"] = tax.showOptions ? nlohmann::json(tax.values.taxLine) : nlohmann::json(nullptr);

  const DepartmentsRead dep = ReadDepartments();
  check(dep.error);
  j["departments"] = dep.names;
  j["z_section"] = dep.zSection;
  json::print(ctx.out, j);
  return 0;
}

int show(Context& ctx) {
  if (ctx.json) return showJson(ctx);
  const uint16_t v = RegisterVersion();
  const std::string model = ModelName(v);
  ctx.out << "Версия прошивки: " << v << (model.empty() ? "" : " (" + model + ")") << "\n";
  showParams(ctx);

  std::optional<uint16_t> error;
  const std::optional<bool> logo = ReadLogoFlag(&error);
  check(error);
  ctx.out << "Логотип предприятия\n";
  line(ctx, MapEntry(kTablePrintLogo).caption, onOff(logo.value_or(false)));

  const LinesRead header = ReadHeader();
  check(header.error);
  showLines(ctx, "Клише предприятия", header.lines);
  const LinesRead footer = ReadFooter();
  check(footer.error);
  showLines(ctx, "Рекламный текст", footer.lines);

  const PaymentsRead pay = ReadPayments();
  check(pay.error);
  ctx.out << "Типы платежей\n";
  for (std::size_t i = 0; i < pay.names.size(); ++i) line(ctx, std::to_string(i), "\"" + pay.names[i] + "\"");

  const TaxesRead tax = ReadTaxes();
  check(tax.error);
  ctx.out << "Налоги\n";
  for (std::size_t i = 0; i < tax.values.names.size(); ++i)
    line(ctx, std::to_string(i), "\"" + tax.values.names[i] + "\" \"" + tax.values.rates[i] + "\"");
  if (tax.showOptions) {
    const TaxValues& t = tax.values;
    // What the register holds, not what the taxes page would write back.
    const unsigned mask = tax.optionMask;
    line(ctx, MapEntry(kTableTaxOptions).caption, std::to_string(mask));
    bits(ctx, TaxOptionBits(), mask, tax.version, [](const BitEntry& b) { return b.bit != kTaxBitPerPosition; });
    line(ctx, trimColon(TaxOptionBits()[3].caption), listText(TaxCalculationNames(), t.calculation, ""));
    line(ctx, trimColon(MapEntry(kTableTaxLine).caption), "\"" + t.taxLine + "\"");
  }

  const DepartmentsRead dep = ReadDepartments();
  check(dep.error);
  ctx.out << "Товарные группы\n";
  const auto labels = DepartmentRowLabels(dep.version);
  for (std::size_t i = 0; i < dep.names.size(); ++i) line(ctx, labels[i], "\"" + dep.names[i] + "\"");
  line(ctx, trimColon(MapEntry(kTableZSection).caption), "\"" + dep.zSection + "\"");
  return 0;
}

// A file refused (cannot be opened, wrong format, wrong version) or a load
// not confirmed: nothing was written to the register.
int refused(Context& ctx, const std::string& message) {
  ctx.err << "trma: " << message << "\n";
  return kExitFile;
}

int save(Context& ctx, const std::string& path) {
  const SettingsResult r = SaveSettings(path);
  if (r.outcome == SettingsOutcome::DriverFailure) throw r.code;
  if (!r.ok()) return refused(ctx, r.message + ": " + path);
  ctx.out << r.message << "\n";
  return 0;
}

// A path as one word for a POSIX shell.
std::string shellWord(const std::string& s) {
  if (!s.empty() && s.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-./+,:=@%") ==
                        std::string::npos)
    return s;
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

int load(Context& ctx, const std::string& path, bool yes, bool backup) {
  TerminalInteraction ask(ctx, yes);
  LoadOptions options;
  options.backup = backup ? BackupPolicy::Required : BackupPolicy::None;
  options.offerRestore = false;
  const SettingsResult r = LoadSettings(path, RegisterVersion(), ask, options);
  switch (r.outcome) {
    case SettingsOutcome::Loaded:
      if (!r.backupPath.empty()) ctx.out << kBackupAtText << ": " << r.backupPath << "\n";
      ctx.out << r.message << "\n";
      return 0;
    case SettingsOutcome::DriverFailure:
      // The driver's text follows from the caller; before it, what was not
      // written and how to put the backup back.
      if (!r.failedSetting.empty()) ctx.err << "trma: " << kFailedSettingText << ": " << r.failedSetting << "\n";
      if (!r.backupPath.empty())
        ctx.err << "trma: " << kBackupAtText << ": " << r.backupPath << "\n"
                << "trma: вернуть прежние настройки: trma settings load " << shellWord(r.backupPath) << "\n";
      throw r.code;
    case SettingsOutcome::BackupFailed:
      return refused(ctx, r.message + "\nЗагрузка не выполнена (без резервной копии: --no-backup)");
    case SettingsOutcome::Declined:
      if (ask.unanswered())
        return refused(ctx, std::string(kFileOlderQuestion) +
                                "\nНет терминала для ответа: загрузка не выполнена (подтверждение: --yes)");
      return refused(ctx, "загрузка отменена");
    default: return refused(ctx, r.message);
  }
}

// Every setting the file would change, one a line; 1 when there is one.
int diff(Context& ctx, const std::string& path) {
  std::vector<SettingChange> changes;
  const SettingsResult r = DiffSettingsFile(path, RegisterVersion(), &changes);
  if (r.outcome == SettingsOutcome::DriverFailure) throw r.code;
  if (r.outcome != SettingsOutcome::Compared) {
    if (ctx.json) json::print(ctx.out, json::failure(kExitFile, r.message));
    return refused(ctx, r.message);
  }
  if (ctx.json) {
    nlohmann::json list = nlohmann::json::array();
    for (const SettingChange& c : changes)
      list.push_back(
          {{"table", c.table}, {"field", c.field}, {"setting", c.name}, {"old", c.oldValue}, {"new", c.newValue}});
    json::print(ctx.out, {{"changes", list}});
  } else {
    for (const SettingChange& c : changes) ctx.out << FormatChange(c) << "\n";
  }
  return changes.empty() ? 0 : 1;
}

// "YYYYMMDD-HHMMSS" -> "YYYY-MM-DD HH:MM:SS".
std::string stampText(const std::string& s) {
  if (s.size() != 15) return s;
  return s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2) + " " + s.substr(9, 2) + ":" + s.substr(11, 2) +
         ":" + s.substr(13, 2);
}

int backups(Context& ctx) {
  const std::string folder = BackupFolder();
  const std::string prefix = RegisterBackupPrefix(RegisterVersion());
  const std::vector<std::string> paths = ListBackups(folder, prefix, kSettingsBackupExtension);
  if (!ctx.json) {
    for (const std::string& path : paths) ctx.out << path << "\n";
    return 0;
  }
  nlohmann::json list = nlohmann::json::array();
  for (const std::string& path : paths) {
    const auto name = ParseBackupName(path.substr(path.rfind('/') + 1));
    list.push_back({{"path", path}, {"made", name ? nlohmann::json(stampText(name->stamp)) : nlohmann::json(nullptr)}});
  }
  json::print(ctx.out, {{"folder", folder}, {"prefix", prefix}, {"backups", list}});
  return 0;
}

}  // namespace

int cmdSettings(Context& ctx, const std::vector<std::string>& args) {
  const std::string& verb = args[0];
  if (verb == "show") {
    if (args.size() != 1) throw UsageError{"settings show без аргументов"};
    connect();
    return show(ctx);
  }
  if (verb == "save") {
    if (args.size() != 2) throw UsageError{"settings save ФАЙЛ"};
    connect();
    return save(ctx, args[1]);
  }
  if (verb == "load") {
    bool yes = false, backup = true;
    std::vector<std::string> rest;
    for (std::size_t i = 1; i < args.size(); ++i) {
      if (args[i] == "--yes")
        yes = true;
      else if (args[i] == "--no-backup")
        backup = false;
      else
        rest.push_back(args[i]);
    }
    if (rest.size() != 1) throw UsageError{"settings load [--yes] [--no-backup] ФАЙЛ"};
    connect();
    return load(ctx, rest[0], yes, backup);
  }
  if (verb == "diff") {
    if (args.size() != 2) throw UsageError{"settings diff ФАЙЛ"};
    connect();
    return diff(ctx, args[1]);
  }
  if (verb == "backups") {
    if (args.size() != 1) throw UsageError{"settings backups без аргументов"};
    connect();
    return backups(ctx);
  }
  throw UsageError{"ожидается settings show, save, load, diff или backups"};
}

}  // namespace termina::cli
