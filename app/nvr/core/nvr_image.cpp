// SPDX-License-Identifier: GPL-3.0-or-later
#include "nvr_image.h"

#include <cmath>
#include <ctime>

namespace termina::app {
namespace {

// Where each field lies in a variant.  The first 69 bytes are the same in
// all three; from byte 69 on the short variant has three spare words, the
// others four, and only the middle and long ones carry deferred receipts,
// discounts, mark-ups and taxes.
struct Layout {
  std::size_t length;
  std::size_t salesFlags, returnsFlags, paidInFlag, paidOutFlag;
  std::size_t sales, returns, annulled, paidIn, paidOut;
  std::size_t deferred, discSales, markupSales, discReturns, markupReturns;  // 0: not held
  std::size_t taxSales, taxReturns;                                          // 0: not held
  std::size_t deptSales, deptReturns;                                        // 0: not held
};

constexpr std::size_t kShift = 19, kDocument = 21, kReport = 25, kReceipt = 29, kCash = 33;
constexpr std::size_t kBlockA = 41, kBlockB = 48, kCarried = 55, kFlagByte = 64;
constexpr std::size_t kSalesSumFlag = 65, kReturnsSumFlag = 67;

constexpr Layout kShort{425, 75, 107, 139, 141, 143, 271, 399, 407, 415, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr Layout kMiddle{563, 77, 109, 141, 143, 145, 273, 401, 417, 425, 409, 433, 441, 449, 457, 465, 513, 0, 0};
constexpr Layout kLong{659, 77, 109, 141, 143, 145, 273, 401, 417, 425, 409, 433, 441, 449, 457, 465, 513, 561, 609};

const Layout& LayoutOf(NvrVariant v) {
  switch (v) {
    case NvrVariant::Middle: return kMiddle;
    case NvrVariant::Long: return kLong;
    case NvrVariant::Short: break;
  }
  return kShort;
}

// Little-endian reads that report whether the field lies within the bytes.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> b) : m_b(b) {}
  bool has(std::size_t at, std::size_t size) const { return at + size <= m_b.size(); }
  uint64_t raw(std::size_t at, std::size_t size) const {
    uint64_t v = 0;
    for (std::size_t i = 0; i < size; ++i) v |= static_cast<uint64_t>(m_b[at + i]) << (8 * i);
    return v;
  }
  void u16(std::size_t at, uint32_t& out) const {
    if (has(at, 2)) out = static_cast<uint32_t>(raw(at, 2));
  }
  void u32(std::size_t at, uint32_t& out) const {
    if (has(at, 4)) out = static_cast<uint32_t>(raw(at, 4));
  }
  void money(std::size_t at, double& out) const {
    if (at != 0 && has(at, 8)) out = UnitsToMoney(static_cast<int64_t>(raw(at, 8)));
  }
  template <std::size_t N>
  void moneys(std::size_t at, std::array<double, N>& out) const {
    if (at == 0) return;
    for (std::size_t i = 0; i < N; ++i) money(at + 8 * i, out[i]);
  }

 private:
  std::span<const uint8_t> m_b;
};

void Put(std::vector<uint8_t>& b, std::size_t at, uint64_t v, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutMoney(std::vector<uint8_t>& b, std::size_t at, double roubles) {
  if (at != 0) Put(b, at, static_cast<uint64_t>(MoneyToUnits(roubles)), 8);
}
template <std::size_t N>
void PutMoneys(std::vector<uint8_t>& b, std::size_t at, const std::array<double, N>& v) {
  if (at == 0) return;
  for (std::size_t i = 0; i < N; ++i) PutMoney(b, at + 8 * i, v[i]);
}

void PutDate(std::vector<uint8_t>& b, std::size_t at, const NvrDateTime& d) {
  const bool valid = IsValidNvrDate(d);
  b[at] = valid ? d.day : 255;
  b[at + 1] = valid ? d.month : 255;
  Put(b, at + 2, valid ? d.year : 65535, 2);
  // The time of both blocks is written as midnight.
  b[at + 4] = b[at + 5] = b[at + 6] = 0;
}

double Sum(const std::array<double, 16>& v) {
  double s = 0;
  for (double x : v) s += x;
  return s;
}

// 2^63, the first value whose ten-thousandths no longer fit.
constexpr double kUnitsLimit = 9223372036854775808.0;

}  // namespace

NvrVariant NvrVariantFor(uint16_t version) {
  if (version == 201 || version == 301) return NvrVariant::Long;
  if (version >= 125 && version <= 200) return NvrVariant::Middle;
  return NvrVariant::Short;
}

std::size_t NvrImageLength(NvrVariant variant) { return LayoutOf(variant).length; }

bool IsValidNvrDate(const NvrDateTime& d) {
  if (d.year < 100 || d.year > 9999 || d.month < 1 || d.month > 12 || d.day < 1) return false;
  static constexpr uint8_t kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (d.day > kDays[d.month - 1]) return false;
  const bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
  return !(d.month == 2 && d.day == 29 && !leap);
}

NvrDateTime NvrNow() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  if (now == static_cast<std::time_t>(-1) || ::localtime_r(&now, &tm) == nullptr) return {};
  return NvrDateTime{static_cast<uint8_t>(tm.tm_mday),         static_cast<uint8_t>(tm.tm_mon + 1),
                     static_cast<uint16_t>(tm.tm_year + 1900), static_cast<uint8_t>(tm.tm_hour),
                     static_cast<uint8_t>(tm.tm_min),          static_cast<uint8_t>(tm.tm_sec)};
}

NvrDateTime NvrDateAsShown(const NvrDateTime& d) {
  if (!IsValidNvrDate(d)) return NvrNow();
  if (d.hour > 23 || d.minute > 59 || d.second > 59) return NvrDateTime{d.day, d.month, d.year, 0, 0, 0};
  return d;
}

NvrRecord NewNvrRecord(uint16_t version) {
  NvrRecord r;
  r.version = version;
  r.opened = NvrNow();
  return r;
}

void RecomputeNvrTotals(NvrRecord& r) {
  r.salesTotal = Sum(r.sales);
  r.returnsTotal = Sum(r.returns);
}

int64_t MoneyToUnits(double roubles) {
  const double units = roubles * 10000.0;
  if (std::isnan(units)) return 0;
  if (units >= kUnitsLimit) return INT64_MAX;
  if (units <= -kUnitsLimit) return INT64_MIN;
  // std::round takes halves away from zero.
  const double rounded = std::round(units);
  if (rounded >= kUnitsLimit) return INT64_MAX;
  return static_cast<int64_t>(rounded);
}

bool IsStorableMoney(double roubles) {
  const double units = roubles * 10000.0;
  return std::isfinite(units) && std::fabs(std::round(units)) < kUnitsLimit;
}

void FillNvrRecord(NvrRecord& r, std::span<const uint8_t> image) {
  const Layout& l = LayoutOf(NvrVariantFor(r.version));
  if (image.size() > l.length) image = image.first(l.length);
  const Reader in(image);
  in.u16(kShift, r.shift);
  in.u32(kDocument, r.document);
  in.u32(kReport, r.report);
  in.u32(kReceipt, r.receipt);
  in.money(kCash, r.cash);
  if (in.has(kBlockB, 7)) {
    r.opened = NvrDateTime{image[kBlockB],     image[kBlockB + 1], static_cast<uint16_t>(in.raw(kBlockB + 2, 2)),
                           image[kBlockB + 4], image[kBlockB + 5], image[kBlockB + 6]};
  }
  in.money(kCarried, r.carried);
  in.moneys(l.sales, r.sales);
  in.moneys(l.returns, r.returns);
  in.money(l.annulled, r.annulled);
  in.money(l.paidIn, r.paidIn);
  in.money(l.paidOut, r.paidOut);
  in.money(l.deferred, r.deferred);
  in.money(l.discSales, r.discSales);
  in.money(l.markupSales, r.markupSales);
  in.money(l.discReturns, r.discReturns);
  in.money(l.markupReturns, r.markupReturns);
  in.moneys(l.taxSales, r.taxSales);
  in.moneys(l.taxReturns, r.taxReturns);
  in.moneys(l.deptSales, r.deptSales);
  in.moneys(l.deptReturns, r.deptReturns);
}

std::vector<uint8_t> BuildNvrImage(const NvrRecord& r) {
  const Layout& l = LayoutOf(NvrVariantFor(r.version));
  std::vector<uint8_t> b(l.length, 0);
  Put(b, kShift, r.shift & 0xFFFFu, 2);
  Put(b, kDocument, r.document, 4);
  Put(b, kReport, r.report, 4);
  Put(b, kReceipt, r.receipt, 4);
  PutMoney(b, kCash, r.cash);
  PutDate(b, kBlockA, r.opened);
  PutDate(b, kBlockB, r.opened);
  PutMoney(b, kCarried, r.carried);
  b[kFlagByte] = 0x80;
  Put(b, kSalesSumFlag, Sum(r.sales) > 0 ? 1 : 0, 2);
  Put(b, kReturnsSumFlag, Sum(r.returns) > 0 ? 1 : 0, 2);
  for (std::size_t i = 0; i < 16; ++i) {
    Put(b, l.salesFlags + 2 * i, r.sales[i] > 0.005 ? 1 : 0, 2);
    Put(b, l.returnsFlags + 2 * i, r.returns[i] > 0.005 ? 1 : 0, 2);
  }
  Put(b, l.paidInFlag, MoneyToUnits(r.paidIn) > 0 ? 1 : 0, 2);
  Put(b, l.paidOutFlag, MoneyToUnits(r.paidOut) > 0 ? 1 : 0, 2);
  PutMoneys(b, l.sales, r.sales);
  PutMoneys(b, l.returns, r.returns);
  PutMoney(b, l.annulled, r.annulled);
  PutMoney(b, l.paidIn, r.paidIn);
  PutMoney(b, l.paidOut, r.paidOut);
  PutMoney(b, l.deferred, r.deferred);
  PutMoney(b, l.discSales, r.discSales);
  PutMoney(b, l.markupSales, r.markupSales);
  PutMoney(b, l.discReturns, r.discReturns);
  PutMoney(b, l.markupReturns, r.markupReturns);
  PutMoneys(b, l.taxSales, r.taxSales);
  PutMoneys(b, l.taxReturns, r.taxReturns);
  PutMoneys(b, l.deptSales, r.deptSales);
  PutMoneys(b, l.deptReturns, r.deptReturns);
  b[l.length - 2] = 0x55;
  b[l.length - 1] = NvrChecksum(b);
  return b;
}

uint8_t NvrChecksum(std::span<const uint8_t> image) {
  unsigned sum = 0x35;
  for (std::size_t i = 0; i + 1 < image.size(); ++i) sum += image[i];
  return static_cast<uint8_t>(sum);
}

}  // namespace termina::app
