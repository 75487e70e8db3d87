// SPDX-License-Identifier: GPL-3.0-or-later
// The NVR image in memory area 3: its layouts per version, its checksum,
// and keeping it and the shift totals in step.
#include <algorithm>
#include <limits>

#include "model.h"
#include "model_support.h"

namespace termina::sim {

using namespace detail;

namespace {

// Little-endian helpers for the NVR image.
void put(std::vector<uint8_t>& b, size_t at, uint64_t v, int size) {
  for (int i = 0; i < size; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
uint64_t get(const std::vector<uint8_t>& b, size_t at, int size) {
  uint64_t v = 0;
  for (int i = 0; i < size; ++i) v |= static_cast<uint64_t>(b[at + i]) << (8 * i);
  return v;
}
void putMoney(std::vector<uint8_t>& b, size_t at, int64_t v) { put(b, at, static_cast<uint64_t>(v), 8); }
int64_t getMoney(const std::vector<uint8_t>& b, size_t at) { return static_cast<int64_t>(get(b, at, 8)); }
int64_t saturatingAdd(int64_t a, int64_t b) {
  int64_t sum;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}

}  // namespace

size_t RegisterModel::nvrLength(uint16_t version) {
  if (version == 201 || version == 301) return 659;
  if (version >= 125 && version <= 200) return 563;
  return 425;
}

uint8_t RegisterModel::nvrChecksum(const std::vector<uint8_t>& image) {
  unsigned sum = 0x35;
  for (size_t i = 0; i + 1 < image.size(); ++i) sum += image[i];
  return static_cast<uint8_t>(sum & 0xFF);
}

std::vector<uint8_t> RegisterModel::buildNvrImage(const Totals& t, uint16_t version) {
  const size_t len = nvrLength(version);
  const bool shortV = len == 425;
  std::vector<uint8_t> b(len, 0);
  put(b, 19, t.shift & 0xFFFF, 2);
  put(b, 21, t.document, 4);
  put(b, 25, t.report, 4);
  put(b, 29, t.receipt, 4);
  putMoney(b, 33, t.cash);
  for (size_t at : {size_t{41}, size_t{48}}) {
    b[at] = t.openDay;
    b[at + 1] = t.openMonth;
    put(b, at + 2, t.openYear, 2);
    if (at == 48) {
      b[at + 4] = t.openHour;
      b[at + 5] = t.openMinute;
      b[at + 6] = t.openSecond;
    }
  }
  putMoney(b, 55, t.carried);
  b[64] = 0x80;
  // Only the sign of each sum is stored; a state file may hold totals whose
  // sum does not fit in 64 bits, so the sums stop at the limits.
  int64_t sumSales = 0, sumReturns = 0;
  for (int i = 0; i < 16; ++i) {
    sumSales = saturatingAdd(sumSales, t.sales[i]);
    sumReturns = saturatingAdd(sumReturns, t.returns[i]);
  }
  put(b, 65, sumSales > 0 ? 1 : 0, 2);
  put(b, 67, sumReturns > 0 ? 1 : 0, 2);
  const size_t flags = shortV ? 75 : 77;
  for (int i = 0; i < 16; ++i) {
    put(b, flags + 2 * i, t.sales[i] > 50 ? 1 : 0, 2);  // above 0.005
    put(b, flags + 32 + 2 * i, t.returns[i] > 50 ? 1 : 0, 2);
  }
  put(b, flags + 64, t.paidIn > 0 ? 1 : 0, 2);
  put(b, flags + 66, t.paidOut > 0 ? 1 : 0, 2);
  const size_t money0 = flags + 68;
  for (int i = 0; i < 16; ++i) {
    putMoney(b, money0 + 8 * i, t.sales[i]);
    putMoney(b, money0 + 128 + 8 * i, t.returns[i]);
  }
  size_t at = money0 + 256;
  putMoney(b, at, t.annulled);
  at += 8;
  if (!shortV) {
    putMoney(b, at, t.deferred);
    at += 8;
  }
  putMoney(b, at, t.paidIn);
  putMoney(b, at + 8, t.paidOut);
  at += 16;
  if (!shortV) {
    for (int64_t v : {t.discSales, t.markupSales, t.discReturns, t.markupReturns}) {
      putMoney(b, at, v);
      at += 8;
    }
    for (int i = 0; i < 6; ++i) putMoney(b, at + 8 * i, t.taxSales[i]);
    for (int i = 0; i < 6; ++i) putMoney(b, at + 48 + 8 * i, t.taxReturns[i]);
    at += 96;
    if (len == 659) {
      for (int i = 0; i < 6; ++i) putMoney(b, at + 8 * i, t.deptSales[i]);
      for (int i = 0; i < 6; ++i) putMoney(b, at + 48 + 8 * i, t.deptReturns[i]);
      at += 96;
    }
  }
  b[len - 2] = 0x55;
  b[len - 1] = nvrChecksum(b);
  return b;
}

Totals RegisterModel::parseNvrImage(const std::vector<uint8_t>& b, uint16_t version) {
  Totals t;
  const size_t len = nvrLength(version);
  if (b.size() < len) return t;
  const bool shortV = len == 425;
  t.shift = static_cast<uint32_t>(get(b, 19, 2));
  t.document = static_cast<uint32_t>(get(b, 21, 4));
  t.report = static_cast<uint32_t>(get(b, 25, 4));
  t.receipt = static_cast<uint32_t>(get(b, 29, 4));
  t.cash = getMoney(b, 33);
  t.openDay = b[48];
  t.openMonth = b[49];
  t.openYear = static_cast<uint16_t>(get(b, 50, 2));
  t.openHour = b[52];
  t.openMinute = b[53];
  t.openSecond = b[54];
  t.carried = getMoney(b, 55);
  const size_t money0 = (shortV ? 75 : 77) + 68;
  for (int i = 0; i < 16; ++i) {
    t.sales[i] = getMoney(b, money0 + 8 * i);
    t.returns[i] = getMoney(b, money0 + 128 + 8 * i);
  }
  size_t at = money0 + 256;
  t.annulled = getMoney(b, at);
  at += 8;
  if (!shortV) {
    t.deferred = getMoney(b, at);
    at += 8;
  }
  t.paidIn = getMoney(b, at);
  t.paidOut = getMoney(b, at + 8);
  at += 16;
  if (!shortV) {
    t.discSales = getMoney(b, at);
    t.markupSales = getMoney(b, at + 8);
    t.discReturns = getMoney(b, at + 16);
    t.markupReturns = getMoney(b, at + 24);
    at += 32;
    for (int i = 0; i < 6; ++i) t.taxSales[i] = getMoney(b, at + 8 * i);
    for (int i = 0; i < 6; ++i) t.taxReturns[i] = getMoney(b, at + 48 + 8 * i);
    at += 96;
    if (len == 659) {
      for (int i = 0; i < 6; ++i) t.deptSales[i] = getMoney(b, at + 8 * i);
      for (int i = 0; i < 6; ++i) t.deptReturns[i] = getMoney(b, at + 48 + 8 * i);
    }
  }
  return t;
}

std::vector<uint8_t> RegisterModel::nvrImage() const { return memory(kNvrArea, kNvrAddress, nvrLength(st_.version)); }

void RegisterModel::refreshNvr() {
  if (st_.fatal & kFatalNvr) return;  // a broken image stays as it is until rewritten
  auto image = buildNvrImage(tot_, st_.version);
  auto& a = mem_[kNvrArea];
  if (a.size() < 0x10000) a.resize(0x10000, 0);
  std::copy(image.begin(), image.end(), a.begin() + kNvrAddress);
}

void RegisterModel::takeWrittenNvr() {
  auto image = nvrImage();
  if (image.size() < 2 || image[image.size() - 2] != 0x55 || image.back() != nvrChecksum(image)) {
    // The register finds a broken image as it would at power-on: the NVR
    // fault, with the image left as written until a good one replaces it.
    st_.fatal |= kFatalNvr;
    return;
  }
  // A consistent image: the register takes its totals from it.  Numbers that
  // the image holds only in part (the shift number's low 16 bits) are widened.
  Totals t = parseNvrImage(image, st_.version);
  if ((tot_.shift & 0xFFFF0000u) != 0) t.shift |= tot_.shift & 0xFFFF0000u;
  if (t.shift == 0) t.shift = 1;
  tot_ = t;
  st_.fatal &= static_cast<uint8_t>(~kFatalNvr);
}

}  // namespace termina::sim
