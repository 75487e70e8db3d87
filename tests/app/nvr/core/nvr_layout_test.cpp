// SPDX-License-Identifier: GPL-3.0-or-later
// The long NVR image and the .nvr file byte for byte: a record with a
// different value in every field against bytes put at fixed offsets here,
// and those bytes read back into the record.
#include <gtest/gtest.h>

#include <bit>
#include <vector>

#include "nvr_file.h"
#include "nvr_image.h"

using namespace termina::app;

namespace {

// Ten-thousandths of a rouble, as the image counts money.
constexpr int64_t kCash = 1000001, kCarried = 1000002, kAnnulled = 1000003, kDeferred = 1000004, kPaidIn = 1000005,
                  kPaidOut = 1000006, kDiscSales = 1000007, kMarkupSales = 1000008, kDiscReturns = 1000009,
                  kMarkupReturns = 1000010;
// Sales: 40 (0.004) and the negative one keep their flag words at 0.
constexpr int64_t kSales[16] = {2000000, 2000101, 2000202, 2000303, 40,      2000505, 2000606, -2000707,
                                2000808, 2000909, 2001010, 2001111, 2001212, 2001313, 2001414, 2001515};
constexpr int64_t kReturns[16] = {3000000, 0,       3000202, 3000303, 3000404, 3000505, 3000606, 3000707,
                                  3000808, 3000909, 3001010, 51,      3001212, 3001313, 3001414, -3001515};
constexpr int64_t kTaxSales[6] = {4000001, 4000002, 4000003, 4000004, 4000005, 4000006};
constexpr int64_t kTaxReturns[6] = {-5000001, -5000002, -5000003, -5000004, -5000005, -5000006};
constexpr int64_t kDeptSales[6] = {6000001, 6000002, 6000003, 6000004, 6000005, 6000006};
constexpr int64_t kDeptReturns[6] = {7000001, 7000002, 7000003, 7000004, 7000005, 7000006};

double Money(int64_t units) { return static_cast<double>(units) * 0.0001; }

NvrRecord DistinctRecord(uint16_t version) {
  NvrRecord r;
  r.version = version;
  r.shift = 0x3132, r.document = 0x0A0B0C0D, r.report = 0x11121314, r.receipt = 0x21222324;
  r.opened = NvrDateTime{7, 11, 2026, 0, 0, 0};
  r.cash = Money(kCash), r.carried = Money(kCarried), r.annulled = Money(kAnnulled), r.deferred = Money(kDeferred);
  r.paidIn = Money(kPaidIn), r.paidOut = Money(kPaidOut), r.discSales = Money(kDiscSales);
  r.markupSales = Money(kMarkupSales), r.discReturns = Money(kDiscReturns), r.markupReturns = Money(kMarkupReturns);
  for (int i = 0; i < 16; ++i) r.sales[i] = Money(kSales[i]), r.returns[i] = Money(kReturns[i]);
  for (int i = 0; i < 6; ++i) {
    r.taxSales[i] = Money(kTaxSales[i]), r.taxReturns[i] = Money(kTaxReturns[i]);
    r.deptSales[i] = Money(kDeptSales[i]), r.deptReturns[i] = Money(kDeptReturns[i]);
  }
  RecomputeNvrTotals(r);
  return r;
}

void Put(std::vector<uint8_t>& b, std::size_t at, std::size_t size, uint64_t value) {
  for (std::size_t i = 0; i < size; ++i) b[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::string FirstDifference(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want) {
  for (std::size_t i = 0; i < std::min(got.size(), want.size()); ++i)
    if (got[i] != want[i])
      return "offset " + std::to_string(i) + ": " + std::to_string(got[i]) + ", expected " + std::to_string(want[i]);
  return "sizes " + std::to_string(got.size()) + " and " + std::to_string(want.size());
}

}  // namespace

TEST(NvrLayout, LongImageHoldsEveryFieldAtItsOffset) {
  std::vector<uint8_t> want(659, 0);
  Put(want, 19, 2, 0x3132);
  Put(want, 21, 4, 0x0A0B0C0D);
  Put(want, 25, 4, 0x11121314);
  Put(want, 29, 4, 0x21222324);
  Put(want, 33, 8, kCash);
  for (std::size_t block : {41u, 48u}) {  // 7 November 2026, 00:00:00
    want[block] = 7, want[block + 1] = 11;
    Put(want, block + 2, 2, 2026);
  }
  Put(want, 55, 8, kCarried);
  want[64] = 0x80;
  Put(want, 65, 2, 1);  // the sales sum is above zero
  Put(want, 67, 2, 1);  // the returns sum too
  for (std::size_t i = 0; i < 16; ++i) {
    Put(want, 77 + 2 * i, 2, kSales[i] > 50 ? 1 : 0);
    Put(want, 109 + 2 * i, 2, kReturns[i] > 50 ? 1 : 0);
    Put(want, 145 + 8 * i, 8, kSales[i]);
    Put(want, 273 + 8 * i, 8, kReturns[i]);
  }
  Put(want, 141, 2, 1);
  Put(want, 143, 2, 1);
  Put(want, 401, 8, kAnnulled);
  Put(want, 409, 8, kDeferred);
  Put(want, 417, 8, kPaidIn);
  Put(want, 425, 8, kPaidOut);
  Put(want, 433, 8, kDiscSales);
  Put(want, 441, 8, kMarkupSales);
  Put(want, 449, 8, kDiscReturns);
  Put(want, 457, 8, kMarkupReturns);
  for (std::size_t i = 0; i < 6; ++i) {
    Put(want, 465 + 8 * i, 8, kTaxSales[i]);
    Put(want, 513 + 8 * i, 8, kTaxReturns[i]);
    Put(want, 561 + 8 * i, 8, kDeptSales[i]);
    Put(want, 609 + 8 * i, 8, kDeptReturns[i]);
  }
  want[657] = 0x55;
  unsigned sum = 0x35;
  for (std::size_t i = 0; i < 658; ++i) sum += want[i];
  want[658] = static_cast<uint8_t>(sum);

  for (uint16_t version : {uint16_t{201}, uint16_t{301}}) {
    const NvrRecord r = DistinctRecord(version);
    const std::vector<uint8_t> built = BuildNvrImage(r);
    EXPECT_EQ(built, want) << version << ": " << FirstDifference(built, want);

    // Those bytes read give the record back, the opening time from block B.
    std::vector<uint8_t> image = want;
    image[52] = 13, image[53] = 45, image[54] = 10;
    NvrRecord read;
    read.version = version;
    FillNvrRecord(read, image);
    RecomputeNvrTotals(read);
    NvrRecord expected = r;
    expected.opened = NvrDateTime{7, 11, 2026, 13, 45, 10};
    EXPECT_EQ(read, expected) << version;
  }
}

TEST(NvrLayout, FileHoldsEveryFieldAtItsOffset) {
  std::vector<uint8_t> want(544, 0);
  Put(want, 0, 4, 0x3132);
  Put(want, 4, 4, 0x0A0B0C0D);
  Put(want, 8, 4, 0x11121314);
  Put(want, 12, 4, 0x21222324);
  const auto money = [&](std::size_t at, int64_t units) { Put(want, at, 8, std::bit_cast<uint64_t>(Money(units))); };
  money(16, kCash);
  money(24, kCarried);
  money(32, kAnnulled);
  money(40, kPaidIn);
  money(48, kPaidOut);
  money(56, kDeferred);
  money(64, kDiscSales);
  money(72, kMarkupSales);
  money(80, kDiscReturns);
  money(88, kMarkupReturns);
  for (std::size_t i = 0; i < 16; ++i) {
    money(96 + 8 * i, kSales[i]);
    money(224 + 8 * i, kReturns[i]);
  }
  for (std::size_t i = 0; i < 6; ++i) {
    money(352 + 8 * i, kTaxSales[i]);
    money(400 + 8 * i, kTaxReturns[i]);
    money(448 + 8 * i, kDeptSales[i]);
    money(496 + 8 * i, kDeptReturns[i]);
  }

  const NvrRecord r = DistinctRecord(201);
  const std::vector<uint8_t> encoded = EncodeNvrFile(r);
  EXPECT_EQ(encoded, want) << FirstDifference(encoded, want);

  // Read into a record of another version and date: those stay.
  NvrRecord read;
  read.version = 120;
  read.opened = NvrDateTime{1, 2, 2003, 4, 5, 6};
  ASSERT_TRUE(DecodeNvrFile(want, read));
  NvrRecord expected = r;
  expected.version = 120;
  expected.opened = read.opened;
  EXPECT_EQ(read, expected);
}
