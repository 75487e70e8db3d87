// SPDX-License-Identifier: GPL-3.0-or-later
#include "nvr.h"

#include <cstdio>
#include <ostream>

#include "json_out.h"
#include "nvr_backup.h"
#include "nvr_recovery.h"
#include "termina1.h"

namespace termina::cli {
namespace {

void connect() {
  if (const uint16_t rc = TRMA_CheckPort(false); rc != 0) throw rc;
}

// A record of the register's image; a failed read is thrown as its code.
app::NvrRecord readRecord() {
  app::NvrRecord r = app::NewNvrRecord(app::NvrRecoveryVersion());
  if (const uint16_t rc = app::ReadNvrRecord(r); rc != 0) throw rc;
  app::RecomputeNvrTotals(r);
  return r;
}

std::string dateText(const app::NvrDateTime& d) {
  char text[40];
  std::snprintf(text, sizeof text, "%02u.%02u.%04u %02u:%02u:%02u", unsigned{d.day}, unsigned{d.month},
                unsigned{d.year}, unsigned{d.hour}, unsigned{d.minute}, unsigned{d.second});
  return text;
}

void line(std::string& out, const char* label, const std::string& value) {
  out += label;
  out += ": " + value + "\n";
}

// The array's label (with the total after it when given), then its values.
void array(std::string& out, const char* label, const app::NvrRecord& r, app::NvrArray a,
           const std::string& total = "") {
  out += label;
  out += total.empty() ? ":\n" : ": " + total + "\n";
  const auto values = app::NvrArrayValues(r, a);
  for (std::size_t i = 0; i < values.size(); ++i)
    out += "  " + app::NvrArrayLabel(a, i) + ": " + app::FormatMoney(values[i]) + "\n";
}

int fileFailure(Context& ctx, const char* message, const std::string& why) {
  ctx.err << "trma: " << message << " (" << why << ")\n";
  return kExitFile;
}

int nvrRead(Context& ctx, const std::string& path) {
  connect();
  const app::NvrRecord r = readRecord();
  std::string why;
  if (!app::SaveNvrFile(path, r, &why)) return fileFailure(ctx, app::kNvrFileWriteError, why);
  ctx.out << "Итоги смены из образа NVR (версия " << r.version << ", " << app::NvrImageLength(r.version)
          << " байт) сохранены в " << path << "\n";
  return 0;
}

int nvrWrite(Context& ctx, const std::string& path, bool backup) {
  // The file is checked before the register is touched.
  app::NvrRecord fromFile;
  std::string why;
  if (!app::LoadNvrFile(path, fromFile, &why)) return fileFailure(ctx, app::kNvrFileReadError, why);
  connect();
  const app::NvrRecord read = readRecord();
  // What the register held is kept before anything is written.
  if (backup) {
    std::string kept;
    if (!app::BackupNvrRecord(read, &kept, &why)) {
      ctx.err << "trma: " << app::kNvrBackupFailedText << ": " << why
              << ".\nОбраз не записан (без резервной копии: --no-backup)\n";
      return kExitFile;
    }
    ctx.out << "Резервная копия итогов смены: " << kept << "\n";
  }
  // The file holds every value but the version and the opening date; the
  // date is what the dialog's picker shows for the one read.
  app::NvrRecord r = fromFile;
  r.version = read.version;
  r.opened = app::NvrDateAsShown(read.opened);
  if (const uint16_t rc = app::WriteNvrRecord(r); rc != 0) throw rc;
  ctx.out << "Образ NVR (версия " << r.version << ", " << app::NvrImageLength(r.version)
          << " байт) записан в регистратор.\nВыключите и заново включите регистратор.\n";
  return 0;
}

// Money as a number of roubles with at most four decimals, as the image holds it.
double money(double roubles) { return static_cast<double>(app::MoneyToUnits(roubles)) / 10000.0; }

nlohmann::json moneyArray(const app::NvrRecord& r, app::NvrArray a) {
  nlohmann::json out = nlohmann::json::array();
  for (double v : app::NvrArrayValues(r, a)) out.push_back(money(v));
  return out;
}

nlohmann::json nvrJson(const app::NvrRecord& r) {
  using app::NvrArray;
  const app::NvrLayout layout = app::NvrLayoutFor(r.version);
  const app::NvrDateTime d = app::NvrDateAsShown(r.opened);
  char opened[40];
  std::snprintf(opened, sizeof opened, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{d.year}, unsigned{d.month},
                unsigned{d.day}, unsigned{d.hour}, unsigned{d.minute}, unsigned{d.second});
  nlohmann::json j = {{"version", r.version},
                      {"image_bytes", app::NvrImageLength(r.version)},
                      {"shift", r.shift},
                      {"document", r.document},
                      {"report", r.report},
                      {"receipt", r.receipt},
                      {"shift_opened", opened},
                      {"shift_opened_valid", app::IsValidNvrDate(r.opened)},
                      {"cash", money(r.cash)},
                      {"carried", money(r.carried)},
                      {"sales_by_payment", moneyArray(r, NvrArray::SalesByPayment)},
                      {"sales_total", money(r.salesTotal)},
                      {"returns_by_payment", moneyArray(r, NvrArray::ReturnsByPayment)},
                      {"returns_total", money(r.returnsTotal)},
                      {"annulled", money(r.annulled)},
                      {"paid_in", money(r.paidIn)},
                      {"paid_out", money(r.paidOut)}};
  if (layout.taxRows) {
    j["deferred"] = money(r.deferred);
    j["discounts_sales"] = money(r.discSales);
    j["markups_sales"] = money(r.markupSales);
    j["discounts_returns"] = money(r.discReturns);
    j["markups_returns"] = money(r.markupReturns);
    j["tax_sales"] = moneyArray(r, NvrArray::TaxSales);
    j["tax_returns"] = moneyArray(r, NvrArray::TaxReturns);
  }
  if (layout.departmentButtons) {
    j["department_sales"] = moneyArray(r, NvrArray::DeptSales);
    j["department_returns"] = moneyArray(r, NvrArray::DeptReturns);
  }
  return j;
}

int nvrShow(Context& ctx) {
  connect();
  if (ctx.json) {
    // One object: the totals, or the failure of a read that did not finish.
    const app::NvrRecord r = readRecord();
    json::print(ctx.out, nvrJson(r));
    return 0;
  }
  app::NvrRecord r = app::NewNvrRecord(app::NvrRecoveryVersion());
  // What was read is shown also when the read fails half-way.
  const uint16_t rc = app::ReadNvrRecord(r);
  app::RecomputeNvrTotals(r);
  ctx.out << formatNvrRecord(r);
  if (rc != 0) throw rc;
  return 0;
}

}  // namespace

std::string formatNvrRecord(const app::NvrRecord& r) {
  using app::FormatMoney;
  using app::NvrArray;
  const app::NvrLayout layout = app::NvrLayoutFor(r.version);
  std::string out;
  line(out, "Версия",
       std::to_string(r.version) + " (образ NVR " + std::to_string(app::NvrImageLength(r.version)) + " байт)");
  line(out, "Номер смены", std::to_string(r.shift));
  line(out, "Номер документа", std::to_string(r.document));
  line(out, "Номер отчета", std::to_string(r.report));
  line(out, "Номер чека", std::to_string(r.receipt));
  std::string date = dateText(app::NvrDateAsShown(r.opened));
  if (!app::IsValidNvrDate(r.opened)) date += " (в образе неверная дата " + dateText(r.opened) + ")";
  line(out, "Дата открытия смены", date);
  line(out, "Наличные в ящике", FormatMoney(r.cash));
  line(out, "Сумма нал. с предыдущей смены", FormatMoney(r.carried));
  array(out, "Сумма продаж по платежам", r, NvrArray::SalesByPayment, FormatMoney(r.salesTotal));
  array(out, "Сумма возвратов по платежам", r, NvrArray::ReturnsByPayment, FormatMoney(r.returnsTotal));
  line(out, "Сумма аннулированных чеков", FormatMoney(r.annulled));
  line(out, "Сумма внесений", FormatMoney(r.paidIn));
  line(out, "Сумма изъятий", FormatMoney(r.paidOut));
  if (layout.taxRows) {
    line(out, "Сумма отложенных чеков", FormatMoney(r.deferred));
    line(out, "Сумма скидок (продажи)", FormatMoney(r.discSales));
    line(out, "Сумма наценок (продажи)", FormatMoney(r.markupSales));
    line(out, "Сумма скидок (возвраты)", FormatMoney(r.discReturns));
    line(out, "Сумма наценок (возвраты)", FormatMoney(r.markupReturns));
    array(out, "Суммы по налогам (продажи)", r, NvrArray::TaxSales);
    array(out, "Суммы по налогам (возвраты)", r, NvrArray::TaxReturns);
  }
  if (layout.departmentButtons) {
    array(out, "Cуммы по учетным группам (продажи)", r, NvrArray::DeptSales);
    array(out, "Суммы по учетным группам (возвраты)", r, NvrArray::DeptReturns);
  }
  return out;
}

int cmdNvr(Context& ctx, const std::vector<std::string>& args) {
  const std::string& verb = args[0];
  if (verb == "show") {
    if (args.size() != 1) throw UsageError{"nvr show без аргументов"};
    return nvrShow(ctx);
  }
  if (verb != "read" && verb != "write") throw UsageError{"ожидается nvr read, nvr write или nvr show"};
  if (verb == "write" && args.size() == 3 && args[1] == "--no-backup" && !args[2].empty())
    return nvrWrite(ctx, args[2], false);
  if (args.size() != 2 || args[1].empty())
    throw UsageError{verb == "read" ? "nvr read ФАЙЛ" : "nvr write [--no-backup] ФАЙЛ"};
  return verb == "read" ? nvrRead(ctx, args[1]) : nvrWrite(ctx, args[1], true);
}

}  // namespace termina::cli
