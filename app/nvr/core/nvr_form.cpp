// SPDX-License-Identifier: GPL-3.0-or-later
#include "nvr_form.h"

#include <charconv>
#include <utility>

namespace termina::app {
namespace {

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && Blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && Blank(s.back())) s.remove_suffix(1);
  return s;
}

// The number at the start of s (a sign, digits with a point, an exponent)
// and how many characters it took; 0 characters when there is none.
std::pair<double, std::size_t> LeadingNumber(std::string_view s) {
  std::size_t skip = 0;
  // from_chars takes a minus but not a plus.
  if (!s.empty() && s.front() == '+') {
    skip = 1;
    if (s.size() > 1 && s[1] == '-') return {0.0, 0};
  }
  double v = 0;
  const char* first = s.data() + skip;
  const auto [end, ec] = std::from_chars(first, s.data() + s.size(), v, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) return {0.0, 0};
  if (ec != std::errc{}) return {0.0, 0};
  return {v, static_cast<std::size_t>(end - s.data())};
}

constexpr int kTransferOrder[] = {
    kNvrEditSalesTotal,  kNvrEditReturnsTotal, kNvrEditShift,         kNvrEditDocument,
    kNvrEditReport,      kNvrEditReceipt,      kNvrEditCash,          kNvrEditCarried,
    kNvrEditAnnulled,    kNvrEditPaidIn,       kNvrEditPaidOut,       kNvrEditDiscSales,
    kNvrEditMarkupSales, kNvrEditDiscReturns,  kNvrEditMarkupReturns, kNvrEditDeferred,
};

uint32_t* CountField(NvrRecord& r, int control) {
  switch (control) {
    case kNvrEditShift: return &r.shift;
    case kNvrEditDocument: return &r.document;
    case kNvrEditReport: return &r.report;
    case kNvrEditReceipt: return &r.receipt;
    default: return nullptr;
  }
}

double* MoneyField(NvrRecord& r, int control) {
  switch (control) {
    case kNvrEditCash: return &r.cash;
    case kNvrEditCarried: return &r.carried;
    case kNvrEditAnnulled: return &r.annulled;
    case kNvrEditPaidIn: return &r.paidIn;
    case kNvrEditPaidOut: return &r.paidOut;
    case kNvrEditSalesTotal: return &r.salesTotal;
    case kNvrEditReturnsTotal: return &r.returnsTotal;
    case kNvrEditDiscSales: return &r.discSales;
    case kNvrEditMarkupSales: return &r.markupSales;
    case kNvrEditDiscReturns: return &r.discReturns;
    case kNvrEditMarkupReturns: return &r.markupReturns;
    case kNvrEditDeferred: return &r.deferred;
    default: return nullptr;
  }
}

constexpr int kPaymentEdits[16] = {1078, 1051, 1053, 1052, 1055, 1056, 1057, 1058,
                                   1059, 1060, 1062, 1073, 1074, 1075, 1076, 1077};
constexpr int kSixEdits[6] = {1051, 1053, 1052, 1055, 1056, 1057};

}  // namespace

std::string FormatMoney(double roubles) {
  char text[400];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, roubles, std::chars_format::fixed, 2);
  if (ec != std::errc{}) return "0.00";
  return std::string(text, end);
}

std::optional<double> ParseMoney(std::string_view text) {
  const std::string_view t = Trimmed(text);
  const auto [v, used] = LeadingNumber(t);
  if (used == 0 || used != t.size() || !IsStorableMoney(v)) return std::nullopt;
  return v;
}

std::optional<uint32_t> ParseCount(std::string_view text) {
  const std::string_view t = Trimmed(text);
  if (t.empty()) return std::nullopt;
  uint32_t v = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, 10);
  if (ec != std::errc{} || end != t.data() + t.size()) return std::nullopt;
  return v;
}

double ParseMoneyLenient(std::string_view text) {
  while (!text.empty() && Blank(text.front())) text.remove_prefix(1);
  const auto [v, used] = LeadingNumber(text);
  if (used == 0 || !IsStorableMoney(v)) return 0.0;
  return v;
}

std::map<int, std::string> NvrEditTexts(const NvrRecord& r) {
  std::map<int, std::string> texts;
  NvrRecord m = r;  // the field lookups hand out pointers into a record of their own
  for (int control : kTransferOrder) {
    if (const uint32_t* n = CountField(m, control))
      texts[control] = std::to_string(*n);
    else if (const double* d = MoneyField(m, control))
      texts[control] = FormatMoney(*d);
  }
  return texts;
}

std::span<const int> NvrTransferOrder() { return kTransferOrder; }

std::optional<int> TakeNvrEditTexts(NvrRecord& r, const std::map<int, std::string>& texts) {
  for (int control : kTransferOrder) {
    // The payment totals are read-only sums of the payment arrays, kept in
    // the record as computed: never parsed back, so a sum beyond what a
    // typed number may be cannot make the dialog refuse its values.
    if (control == kNvrEditSalesTotal || control == kNvrEditReturnsTotal) continue;
    const auto it = texts.find(control);
    if (it == texts.end()) continue;
    if (uint32_t* n = CountField(r, control)) {
      const auto v = ParseCount(it->second);
      if (!v) return control;
      *n = *v;
    } else if (double* d = MoneyField(r, control)) {
      const auto v = ParseMoney(it->second);
      if (!v) return control;
      *d = *v;
    }
  }
  return std::nullopt;
}

NvrLayout NvrLayoutFor(uint16_t version) { return NvrLayout{version >= 125, version == 201 || version == 301}; }

std::vector<int> NvrHiddenControls(uint16_t version) {
  const NvrLayout l = NvrLayoutFor(version);
  std::vector<int> hidden;
  if (!l.taxRows) {
    hidden = {kNvrButtonTaxSales, kNvrButtonTaxReturns};
    for (int id = kNvrEditDiscSales; id <= kNvrEditDeferred; ++id) hidden.push_back(id);
    for (int id = 1120; id <= 1124; ++id) hidden.push_back(id);
  }
  if (!l.departmentButtons) {
    hidden.push_back(kNvrButtonDeptSales);
    hidden.push_back(kNvrButtonDeptReturns);
  }
  return hidden;
}

NvrArrayDialog NvrArrayDialogFor(NvrArray a) {
  switch (a) {
    case NvrArray::SalesByPayment:
    case NvrArray::ReturnsByPayment: return {150, kPaymentEdits};
    case NvrArray::TaxSales:
    case NvrArray::TaxReturns: return {155, kSixEdits};
    case NvrArray::DeptSales:
    case NvrArray::DeptReturns: break;
  }
  return {161, kSixEdits};
}

int NvrArrayButton(NvrArray a) {
  switch (a) {
    case NvrArray::SalesByPayment: return kNvrButtonSales;
    case NvrArray::ReturnsByPayment: return kNvrButtonReturns;
    case NvrArray::TaxSales: return kNvrButtonTaxSales;
    case NvrArray::TaxReturns: return kNvrButtonTaxReturns;
    case NvrArray::DeptSales: return kNvrButtonDeptSales;
    case NvrArray::DeptReturns: break;
  }
  return kNvrButtonDeptReturns;
}

std::span<double> NvrArrayValues(NvrRecord& r, NvrArray a) {
  switch (a) {
    case NvrArray::SalesByPayment: return r.sales;
    case NvrArray::ReturnsByPayment: return r.returns;
    case NvrArray::TaxSales: return r.taxSales;
    case NvrArray::TaxReturns: return r.taxReturns;
    case NvrArray::DeptSales: return r.deptSales;
    case NvrArray::DeptReturns: break;
  }
  return r.deptReturns;
}

std::span<const double> NvrArrayValues(const NvrRecord& r, NvrArray a) {
  return NvrArrayValues(const_cast<NvrRecord&>(r), a);
}

std::string NvrArrayLabel(NvrArray a, std::size_t i) {
  switch (a) {
    case NvrArray::SalesByPayment:
    case NvrArray::ReturnsByPayment: return i == 0 ? std::string("Наличные") : "Платеж " + std::to_string(i);
    case NvrArray::TaxSales:
    case NvrArray::TaxReturns: return "Налог " + std::to_string(i);
    case NvrArray::DeptSales:
    case NvrArray::DeptReturns: break;
  }
  return "Группа " + std::to_string(i + 1);
}

void TakeNvrArrayTexts(NvrRecord& r, NvrArray a, std::span<const std::string> texts) {
  const std::span<double> values = NvrArrayValues(r, a);
  for (std::size_t i = 0; i < values.size() && i < texts.size(); ++i) values[i] = ParseMoneyLenient(texts[i]);
}

}  // namespace termina::app
