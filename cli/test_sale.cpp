// SPDX-License-Identifier: GPL-3.0-or-later
#include "test_sale_cli.h"

#include <charconv>
#include <ostream>

#include "driver_text.h"
#include "report.h"
#include "termina1.h"
#include "test_sale.h"

namespace termina::cli {
namespace {

// Messages of the sequence go to the error stream; trma asks nothing.
class StreamInteraction : public app::Interaction {
 public:
  explicit StreamInteraction(std::ostream& err) : m_err(err) {}
  app::Answer Ask(const app::Question& q) override {
    m_err << "trma: " << q.text << "\n";
    return q.defaultAnswer;
  }

 private:
  std::ostream& m_err;
};

struct SaleArgs {
  app::TestSaleInput input;
};

SaleArgs parseSaleArgs(const std::vector<std::string>& args) {
  SaleArgs s;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const auto value = [&](std::string_view name) -> std::string {
      if (a.size() > name.size() && a[name.size()] == '=') return a.substr(name.size() + 1);
      if (i + 1 >= args.size()) throw UsageError{"у параметра " + std::string(name) + " нет значения"};
      return args[++i];
    };
    const auto is = [&](std::string_view name) {
      return a == name || (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '=');
    };
    if (is("--amount")) {
      const std::string v = value("--amount");
      bool digits = !v.empty() && v.size() <= 24;
      for (char c : v) digits = digits && c >= '0' && c <= '9';
      if (!digits) throw UsageError{"--amount: ожидается сумма в копейках, от 1 до 24 цифр, получено \"" + v + "\""};
      s.input.amount = v;
    } else if (is("--operator")) {
      const std::string v = value("--operator");
      toAnsiLimited(v, sizeof(TRMA_OPERATOR_NAME) - 1, "--operator");
      s.input.operatorName = v;
    } else if (a == "--keep-shift") {
      s.input.closeShift = false;
    } else {
      throw UsageError{"неизвестный аргумент " + a};
    }
  }
  return s;
}

}  // namespace

int cmdTestSale(Context& ctx, const std::vector<std::string>& args) {
  const SaleArgs s = parseSaleArgs(args);
  if (const uint16_t rc = TRMA_CheckPort(false); rc != 0) throw rc;
  // As the program does at its start: function 0 with the computer's date
  // and time, which the register needs before any document.
  TRMADT date;
  TRMATM time;
  app::LocalDateTime(&date, &time);
  TRMA_Init(&date, &time);
  StreamInteraction ui(ctx.err);
  const app::TestSaleResult r = app::RunTestSale(s.input, ui);
  if (r.outcome == app::TestSaleOutcome::DisplayNotReady) {
    ctx.err << "trma: продажа не проведена: дисплей покупателя не ответил";
    if (r.displayCode != 0) ctx.err << " (код " << r.displayCode << ")";
    ctx.err << "\n";
    return r.displayCode != 0 ? exitCodeFor(r.displayCode) : 1;
  }
  char sum[64];
  const auto written =
      std::to_chars(sum, sum + sizeof sum - 1, app::TestSaleRoubles(s.input.amount), std::chars_format::fixed, 2);
  *written.ptr = 0;
  ctx.out << "Тестовая продажа проведена: " << app::kTestArticleName << ", " << sum << " руб., оператор "
          << s.input.operatorName << "\n";
  if (s.input.closeShift) ctx.out << "Z-отчет напечатан, смена закрыта\n";
  return 0;
}

}  // namespace termina::cli
