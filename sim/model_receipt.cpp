// SPDX-License-Identifier: GPL-3.0-or-later
// Receipts: opening, lines, storno, discounts and markups, subtotal,
// payment, closing and cancelling, and paying cash in and out.
#include <algorithm>
#include <ctime>

#include "model.h"
#include "model_support.h"

namespace termina::sim {

using namespace detail;

void RegisterModel::openShiftIfNeeded() {
  if (st_.status & kShiftOpen) return;
  st_.status |= kShiftOpen;
  std::tm tm{};
  splitCivil(nowSeconds(), tm);
  tot_.openDay = static_cast<uint8_t>(tm.tm_mday);
  tot_.openMonth = static_cast<uint8_t>(tm.tm_mon + 1);
  tot_.openYear = static_cast<uint16_t>(tm.tm_year + 1900);
  tot_.openHour = static_cast<uint8_t>(tm.tm_hour);
  tot_.openMinute = static_cast<uint8_t>(tm.tm_min);
  tot_.openSecond = static_cast<uint8_t>(tm.tm_sec);
}

// ---- taxes and the customer display -----------------------------------------

namespace {

using i128 = __int128;

// The largest line, and receipt, the register counts: 10^10 roubles.
constexpr long long kMaxAmount = 100'000'000'000'000LL;

// The tax included in an amount at a rate in hundredths of a percent,
// rounded to the kopeck.
int64_t includedTax(int64_t amount, int64_t rate) {
  const i128 num = static_cast<i128>(amount) * rate;
  const i128 den = static_cast<i128>(10000 + rate) * 100;
  const i128 q = (num >= 0 ? num + den / 2 : num - den / 2) / den;
  return static_cast<int64_t>(q) * 100;
}

}  // namespace

// A tax is in use when table 23 names it and table 24 holds a rate of 0.01
// to 100 percent.
bool RegisterModel::taxRate(int group, int64_t& hundredths) const {
  const auto g = static_cast<uint16_t>(group);
  long long r;
  if (table(23, g).empty() || !parseFixed(table(24, g), 2, r) || r <= 0 || r > 10000) return false;
  hundredths = r;
  return true;
}

bool RegisterModel::autoDisplay() const { return st_.version >= 121 && table(10, 0) == "1"; }

// Fiscal documents are written to the EEJ too: in fiscal mode it must be
// active.  A register not yet fiscalised prints without it.
bool RegisterModel::eejAcceptsDocuments() const { return (st_.status & kNonFiscal) || !(st_.status & kEejNotActive); }

// Books the tax of each department's share of the receipt.  A discount or
// markup on the receipt changes every share in proportion.  Table 12 bit 4
// rounds the tax of each line, else the tax of the share is rounded once.
void RegisterModel::bookTaxes(int64_t (&taxes)[6]) const {
  int64_t lines = 0;
  for (int64_t d : receiptDept_) lines += d;
  long long options = 0;
  parseInt(table(12, 0), options);
  const bool perLine = (options & 16) != 0;
  for (int i = 0; i < 6; ++i) {
    int64_t rate;
    if (receiptDept_[i] == 0 || !taxRate(i, rate)) continue;
    if (lines <= 0) continue;
    if (perLine) {
      // the line taxes, scaled like the share
      const i128 scaled = static_cast<i128>(receiptLineTax_[i]) * st_.receiptTotal / lines;
      taxes[i] += roundDiv(static_cast<long long>(scaled), 100) * 100;
    } else {
      // the department's part of what the customer pays
      const i128 part = static_cast<i128>(receiptDept_[i]) * st_.receiptTotal / lines;
      taxes[i] += includedTax(static_cast<int64_t>(part), rate);
    }
  }
}

// ---- receipts --------------------------------------------------------------

Outcome RegisterModel::cmdOpenReceipt(const std::vector<std::string>& f) {
  uint8_t code;
  if (!readyForDocuments(code)) return reply(code);
  if (st_.doc >> 4) return reply(kBadStatus);
  if (!eejAcceptsDocuments()) return reply(kEejState);
  long long a, b, c;
  if (f.size() < 4 || !parseInt(f[0], a) || !parseInt(f[1], b) || !parseInt(f[3], c) || a < 1 || a > 15)
    return reply(kBadParam);
  if (statusByte() & kShiftLong) return reply(kShiftOver24h);
  openShiftIfNeeded();
  docType_ = static_cast<int>(a);
  st_.doc = static_cast<uint8_t>((1 << 4) | (a & 0x0F));
  st_.receiptTotal = 0;
  st_.receiptPaid = 0;
  std::fill(std::begin(receiptPaid_), std::end(receiptPaid_), 0);
  std::fill(std::begin(receiptDept_), std::end(receiptDept_), 0);
  std::fill(std::begin(receiptLineTax_), std::end(receiptLineTax_), 0);
  receiptDiscount_ = receiptMarkup_ = 0;
  st_.receiptLines.clear();
  st_.receiptLines.push_back(std::string(a == 3 ? "ВОЗВРАТ" : "ПРОДАЖА") + " КАССИР " + f[2]);
  return reply(kOk);
}

Outcome RegisterModel::cmdPrintText(const std::vector<std::string>& f) {
  if (st_.status & kNoInit) return reply(kBadStatus);
  if (f.empty() || utf8Length(f[0]) > 40) return reply(kBadParam);
  st_.receiptLines.push_back(f[0]);
  return reply(kOk);
}

Outcome RegisterModel::cmdBarcode(const std::vector<std::string>& f) {
  if (st_.status & kNoInit) return reply(kBadStatus);
  long long n;
  if (f.size() < 5 || f[4].empty()) return reply(kBadParam);
  for (int i = 0; i < 4; ++i)
    if (!parseInt(f[i], n) || n < 0) return reply(kBadParam);
  st_.receiptLines.push_back("ШТРИХКОД " + f[4]);
  return reply(kOk);
}

Outcome RegisterModel::cmdArticle(const std::vector<std::string>& f, bool storno) {
  const int stage = st_.doc >> 4;
  if (stage != 1) return reply(kBadStatus);
  long long qty, price, n;
  if (f.size() < 5 || !parseFixed(f[2], 3, qty) || !parseFixed(f[3], 4, price) || !parseInt(f[4], n) || qty <= 0 ||
      price < 0 || utf8Length(f[0]) > 40)
    return reply(kBadParam);
  // amount to the kopeck: quantity (10^-3) times price (10^-4) gives 10^-7;
  // a line beyond what the register can count is refused
  const i128 exact = static_cast<i128>(qty) * price;
  if (exact > static_cast<i128>(kMaxAmount) * 1000) return reply(kBadParam);
  const long long amount = roundDiv(static_cast<long long>(exact), 1000 * 100) * 100;
  if (!storno && st_.receiptTotal + amount > kMaxAmount) return reply(kBadParam);
  int dept = (n >= 1 && n <= 6) ? static_cast<int>(n) - 1 : -1;
  if (storno && (amount > st_.receiptTotal || (dept >= 0 && amount > receiptDept_[dept]))) return reply(kNegative);
  // With automatic display output the register shows every line to the
  // customer, and cannot sell without the display.
  if (autoDisplay()) {
    if (!st_.displayAttached) return reply(kNoDisplay);
    st_.displayLines = {f[0], money(amount)};
  }
  int64_t lineTax = 0, rate;
  if (dept >= 0 && taxRate(dept, rate)) lineTax = includedTax(amount, rate);
  if (storno) {
    st_.receiptTotal -= amount;
    if (dept >= 0) {
      receiptDept_[dept] -= amount;
      receiptLineTax_[dept] -= lineTax;
    }
    st_.receiptLines.push_back("СТОРНО " + f[0] + " " + f[2] + " X " + f[3] + " = " + money(amount));
  } else {
    st_.receiptTotal += amount;
    if (dept >= 0) {
      receiptDept_[dept] += amount;
      receiptLineTax_[dept] += lineTax;
    }
    st_.receiptLines.push_back(f[0] + " " + f[2] + " X " + f[3] + " = " + money(amount));
  }
  return reply(kOk, {money(st_.receiptTotal)});
}

Outcome RegisterModel::cmdAdjust(const std::vector<std::string>& f, bool discount) {
  const int stage = st_.doc >> 4;
  if (stage != 1 && stage != 2) return reply(kBadStatus);
  if (f.size() < 3 || (f[0] != "%" && f[0] != "S")) return reply(kBadParam);
  long long value;
  if (!parseFixed(f[2], 4, value) || value <= 0) return reply(kBadParam);
  long long amount;
  if (f[0] == "%") {
    if (value > 100 * 10000LL) return reply(kBadParam);
    const i128 exact = static_cast<i128>(st_.receiptTotal) * value;
    const i128 den = 100LL * 10000 * 100;
    amount = static_cast<long long>((exact + den / 2) / den) * 100;  // the total is never negative
  } else {
    amount = value;
  }
  if (!discount && st_.receiptTotal + amount > kMaxAmount) return reply(kBadParam);
  if (discount) {
    if (amount > st_.receiptTotal) return reply(kNegative);
    st_.receiptTotal -= amount;
    receiptDiscount_ += amount;
  } else {
    st_.receiptTotal += amount;
    receiptMarkup_ += amount;
  }
  st_.receiptLines.push_back(std::string(discount ? "СКИДКА " : "НАЦЕНКА ") + f[1] + " " + money(amount));
  return reply(kOk, {money(st_.receiptTotal)});
}

Outcome RegisterModel::cmdSale(const std::vector<std::string>& f) { return cmdArticle(f, false); }
Outcome RegisterModel::cmdStorno(const std::vector<std::string>& f) { return cmdArticle(f, true); }
Outcome RegisterModel::cmdDiscount(const std::vector<std::string>& f) { return cmdAdjust(f, true); }
Outcome RegisterModel::cmdMarkup(const std::vector<std::string>& f) { return cmdAdjust(f, false); }

Outcome RegisterModel::cmdSubtotal(const std::vector<std::string>&) {
  const int stage = st_.doc >> 4;
  if (stage != 1 && stage != 2) return reply(kBadStatus);
  st_.doc = static_cast<uint8_t>((2 << 4) | (st_.doc & 0x0F));
  st_.receiptLines.push_back("ПОДИТОГ " + money(st_.receiptTotal));
  return reply(kOk, {money(st_.receiptTotal)});
}

Outcome RegisterModel::cmdPayment(const std::vector<std::string>& f) {
  const int stage = st_.doc >> 4;
  if (stage < 1 || stage > 3) return reply(kBadStatus);
  long long type, sum;
  if (f.size() < 2 || !parseInt(f[0], type) || type < 0 || type > 15 || !parseFixed(f[1], 4, sum) || sum <= 0)
    return reply(kBadParam);
  const int64_t due = st_.receiptTotal - st_.receiptPaid;
  if (type != 0 && sum > due) return reply(kBadParam);  // only cash may exceed what is due
  receiptPaid_[type] += sum;
  st_.receiptPaid += sum;
  st_.doc = static_cast<uint8_t>((3 << 4) | (st_.doc & 0x0F));
  const int64_t left = st_.receiptTotal - st_.receiptPaid;
  st_.receiptLines.push_back(table(22, static_cast<uint16_t>(type)) + " " + money(sum));
  return reply(kOk, {money(left > 0 ? left : 0), money(left < 0 ? -left : 0)});
}

Outcome RegisterModel::cmdCloseReceipt(const std::vector<std::string>&) {
  if ((st_.doc >> 4) == 0) return reply(kBadStatus);
  int64_t paid[16];
  std::copy(std::begin(receiptPaid_), std::end(receiptPaid_), paid);
  if (st_.receiptPaid < st_.receiptTotal) {
    if (table(30, 0) != "0" && st_.version >= 125) return reply(kBadStatus);  // nothing pays the rest
    paid[0] += st_.receiptTotal - st_.receiptPaid;                            // automatic payment in cash
  } else {
    paid[0] -= st_.receiptPaid - st_.receiptTotal;  // change is given in cash
  }
  const bool isReturn = docType_ == 3;
  if (isReturn && paid[0] > tot_.cash) return reply(kNegative);
  std::copy(std::begin(paid), std::end(paid), receiptPaid_);
  st_.receiptPaid = st_.receiptTotal;
  for (int i = 0; i < 16; ++i) (isReturn ? tot_.returns : tot_.sales)[i] += receiptPaid_[i];
  for (int i = 0; i < 6; ++i) (isReturn ? tot_.deptReturns : tot_.deptSales)[i] += receiptDept_[i];
  bookTaxes(isReturn ? tot_.taxReturns : tot_.taxSales);
  (isReturn ? tot_.discReturns : tot_.discSales) += receiptDiscount_;
  (isReturn ? tot_.markupReturns : tot_.markupSales) += receiptMarkup_;
  tot_.cash += isReturn ? -receiptPaid_[0] : receiptPaid_[0];
  ++tot_.receipt;
  ++tot_.document;
  st_.receiptLines.push_back("ИТОГ " + money(st_.receiptTotal));
  st_.doc = 0;
  return reply(kOk);
}

Outcome RegisterModel::cmdCancelReceipt(const std::vector<std::string>&) {
  if ((st_.doc >> 4) == 0) return reply(kBadStatus);
  tot_.annulled += st_.receiptTotal;
  ++tot_.document;
  st_.receiptLines.push_back("ЧЕК АННУЛИРОВАН");
  st_.doc = 0;
  st_.receiptTotal = st_.receiptPaid = 0;
  return reply(kOk);
}

Outcome RegisterModel::cmdCashInOut(const std::vector<std::string>& f) {
  uint8_t code;
  if (!readyForDocuments(code)) return reply(code);
  if (st_.doc >> 4) return reply(kBadStatus);
  if (!eejAcceptsDocuments()) return reply(kEejState);
  long long sum;
  if (f.size() < 2 || !parseFixed(f[1], 4, sum) || sum == 0) return reply(kBadParam);
  if (sum < 0 && -sum > tot_.cash) return reply(kNegative);
  if (statusByte() & kShiftLong) return reply(kShiftOver24h);
  openShiftIfNeeded();
  if (sum > 0)
    tot_.paidIn += sum;
  else
    tot_.paidOut += -sum;
  tot_.cash += sum;
  ++tot_.document;
  st_.receiptLines = {std::string(sum > 0 ? "ВНЕСЕНИЕ " : "ВЫПЛАТА ") + f[0] + " " + money(sum < 0 ? -sum : sum)};
  return reply(kOk, {money(tot_.cash)});
}

}  // namespace termina::sim
