// SPDX-License-Identifier: GPL-3.0-or-later
// The NVR image variants, building an image from the record and filling the
// record from an image, and the texts of the recovery dialog.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "nvr_form.h"
#include "nvr_image.h"

using namespace termina::app;

namespace {

constexpr uint16_t kShort = 120, kMiddle = 125, kLong = 201;

NvrRecord ZeroRecord(uint16_t version) {
  NvrRecord r;
  r.version = version;
  r.opened = NvrDateTime{1, 1, 2007, 13, 45, 10};
  return r;
}

int64_t MoneyAt(const std::vector<uint8_t>& b, std::size_t at) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(b[at + i]) << (8 * i);
  return static_cast<int64_t>(v);
}
unsigned WordAt(const std::vector<uint8_t>& b, std::size_t at) { return b[at] | b[at + 1] << 8; }

// A record with a different value in every field.
NvrRecord Distinct(uint16_t version) {
  NvrRecord r = ZeroRecord(version);
  r.shift = 4321, r.document = 70001, r.report = 12, r.receipt = 3000000000u;
  double v = 0.0001;
  for (double* m : {&r.cash, &r.carried, &r.annulled, &r.paidIn, &r.paidOut, &r.deferred, &r.discSales, &r.markupSales,
                    &r.discReturns, &r.markupReturns})
    *m = v += 1.1;
  for (auto* a : {&r.sales, &r.returns})
    for (double& m : *a) m = v += 10.5;
  for (auto* a : {&r.taxSales, &r.taxReturns, &r.deptSales, &r.deptReturns})
    for (double& m : *a) m = -(v += 3.3);
  return r;
}

}  // namespace

TEST(NvrImage, VariantAndLengthFollowTheVersion) {
  const std::pair<uint16_t, std::size_t> cases[] = {{0, 425},   {120, 425}, {124, 425}, {125, 563}, {200, 563},
                                                    {201, 659}, {202, 425}, {300, 425}, {301, 659}, {302, 425}};
  for (const auto& [version, length] : cases) EXPECT_EQ(NvrImageLength(version), length) << version;
}

TEST(NvrImage, AllZeroRecordOf2007HoldsOnlyDatesFlagMarkerAndChecksumCA) {
  for (uint16_t v : {kShort, kMiddle, kLong}) {
    const std::vector<uint8_t> b = BuildNvrImage(ZeroRecord(v));
    ASSERT_EQ(b.size(), NvrImageLength(v));
    // Both blocks: 1 January 2007 at midnight, whatever time the record holds.
    const std::vector<uint8_t> date = {1, 1, 0xD7, 0x07, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 41, b.begin() + 48), date) << v;
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 48, b.begin() + 55), date) << v;
    EXPECT_EQ(b[64], 0x80);
    EXPECT_EQ(b[b.size() - 2], 0x55);
    EXPECT_EQ(b.back(), 0xCA) << v;
    std::size_t nonZero = 0;
    for (uint8_t x : b) nonZero += x != 0;
    EXPECT_EQ(nonZero, 4u * 2 + 3) << v;
  }
}

TEST(NvrImage, MoneyRoundingFlagWordsAndTheShortShiftNumber) {
  for (uint16_t v : {kShort, kLong}) {
    NvrRecord r = ZeroRecord(v);
    r.shift = 70000;
    r.sales[0] = 0.004;
    r.sales[1] = 0.006;
    r.returns[2] = -3;  // a negative sum of returns leaves the returns flag at 0
    r.cash = 0.00005;
    r.carried = -0.00005;
    r.paidIn = 0.00004;  // rounds to 0: no paid-in flag
    r.paidOut = 0.00005;
    const std::vector<uint8_t> b = BuildNvrImage(r);
    const std::size_t flags = v == kShort ? 75 : 77, money = flags + 68;
    EXPECT_EQ(WordAt(b, 19), 4464u);
    EXPECT_EQ(MoneyAt(b, money), 40);
    EXPECT_EQ(WordAt(b, flags), 0u);
    EXPECT_EQ(MoneyAt(b, money + 8), 60);
    EXPECT_EQ(WordAt(b, flags + 2), 1u);
    EXPECT_EQ(MoneyAt(b, 33), 1);
    EXPECT_EQ(MoneyAt(b, 55), -1);
    EXPECT_EQ(WordAt(b, 65), 1u);
    EXPECT_EQ(WordAt(b, 67), 0u);
    EXPECT_EQ(WordAt(b, flags + 64), 0u);
    EXPECT_EQ(WordAt(b, flags + 66), 1u);
    EXPECT_EQ(b.back(), NvrChecksum(b));
  }
  EXPECT_EQ(MoneyToUnits(1e300), INT64_MAX);
  EXPECT_EQ(MoneyToUnits(-1e300), INT64_MIN);
  EXPECT_EQ(MoneyToUnits(std::nan("")), 0);
}

TEST(NvrImage, InvalidOpeningDateIsWrittenAsAllOnes) {
  for (NvrDateTime d : {NvrDateTime{}, NvrDateTime{29, 2, 2007, 0, 0, 0}, NvrDateTime{31, 4, 2010, 0, 0, 0}}) {
    NvrRecord r = ZeroRecord(kMiddle);
    r.opened = d;
    const std::vector<uint8_t> b = BuildNvrImage(r);
    for (std::size_t at : {41u, 48u}) {
      EXPECT_EQ(b[at], 255);
      EXPECT_EQ(b[at + 1], 255);
      EXPECT_EQ(WordAt(b, at + 2), 65535u);
    }
  }
  EXPECT_TRUE(IsValidNvrDate(NvrDateTime{29, 2, 2008, 0, 0, 0}));
}

TEST(NvrImage, FillingFromAnImageGivesBackWhatWasBuilt) {
  for (uint16_t v : {kShort, kMiddle, kLong, uint16_t{301}, uint16_t{210}}) {
    const NvrRecord written = Distinct(v);
    std::vector<uint8_t> b = BuildNvrImage(written);
    b[54] = 10;  // block B's seconds: the opening time is read from there
    NvrRecord read;
    read.version = v;
    FillNvrRecord(read, b);
    EXPECT_EQ(read.receipt, 3000000000u);
    EXPECT_EQ(read.opened, (NvrDateTime{1, 1, 2007, 0, 0, 10}));
    // Every field the variant holds comes back: the image built again is the same.
    b[54] = 0;
    EXPECT_EQ(BuildNvrImage(read), b) << v;
    // Fields the variant lacks stay zero.
    EXPECT_EQ(read.deptReturns[5] != 0, NvrVariantFor(v) == NvrVariant::Long) << v;
    EXPECT_EQ(read.deferred != 0, NvrVariantFor(v) != NvrVariant::Short) << v;
  }
  // Bytes beyond what was read leave the fields as they were.
  NvrRecord partial;
  partial.version = kLong;
  partial.deptReturns[5] = 9;
  const std::vector<uint8_t> full = BuildNvrImage(Distinct(kLong));
  FillNvrRecord(partial, std::span(full).first(96));
  EXPECT_EQ(partial.shift, 4321u);
  EXPECT_DOUBLE_EQ(partial.carried, 2.2001);
  EXPECT_EQ(partial.sales[0], 0.0);
  EXPECT_EQ(partial.deptReturns[5], 9.0);
}

TEST(NvrForm, MoneyTextsAndTheTransferOrder) {
  EXPECT_EQ(FormatMoney(12.346), "12.35");
  EXPECT_EQ(FormatMoney(-0.5), "-0.50");
  EXPECT_EQ(ParseMoney(" 12.346 "), 12.346);
  EXPECT_EQ(ParseMoney("+1e2"), 100.0);
  for (const char* bad : {"", "12,5", "12abc", "inf", "nan", "0x10", "1e30", "+-1"})
    EXPECT_FALSE(ParseMoney(bad).has_value()) << bad;
  EXPECT_EQ(ParseCount("4294967295"), 4294967295u);
  for (const char* bad : {"4294967296", "-1", "1.5", ""}) EXPECT_FALSE(ParseCount(bad).has_value()) << bad;
  EXPECT_EQ(ParseMoneyLenient("12abc"), 12.0);
  EXPECT_EQ(ParseMoneyLenient("abc"), 0.0);
  EXPECT_EQ(ParseMoneyLenient("inf"), 0.0);

  // 12.346 typed shows as 12.35, and 12.35 is what the next transfer stores.
  NvrRecord r = ZeroRecord(kLong);
  std::map<int, std::string> texts = NvrEditTexts(r);
  texts[kNvrEditCash] = "12.346";
  EXPECT_FALSE(TakeNvrEditTexts(r, texts).has_value());
  texts = NvrEditTexts(r);
  EXPECT_EQ(texts[kNvrEditCash], "12.35");
  EXPECT_FALSE(TakeNvrEditTexts(r, texts).has_value());
  EXPECT_EQ(r.cash, 12.35);

  // A field that does not parse stops the transfer there.
  texts[kNvrEditShift] = "5";
  texts[kNvrEditCash] = "1";
  texts[kNvrEditCarried] = "x";
  texts[kNvrEditAnnulled] = "2";
  texts[kNvrEditDeferred] = "3";
  EXPECT_EQ(TakeNvrEditTexts(r, texts), kNvrEditCarried);
  EXPECT_EQ(r.shift, 5u);
  EXPECT_EQ(r.cash, 1.0);
  EXPECT_EQ(r.carried, 0.0);
  EXPECT_EQ(r.annulled, 0.0);
  EXPECT_EQ(r.deferred, 0.0);
}

// The payment totals are sums, shown and never typed: a sum beyond what a
// typed number may be, or any text in their boxes, does not stop the
// transfer, and the record keeps the computed sums.
TEST(NvrForm, PaymentTotalsAreNeverParsedBack) {
  NvrRecord r = ZeroRecord(kLong);
  r.sales[0] = r.sales[1] = 500000000000000.0;
  r.returns[3] = 500000000000000.0;
  r.returns[4] = 600000000000000.0;
  RecomputeNvrTotals(r);
  std::map<int, std::string> texts = NvrEditTexts(r);
  texts[kNvrEditCash] = "7";
  EXPECT_EQ(TakeNvrEditTexts(r, texts), std::nullopt);
  EXPECT_EQ(r.cash, 7.0);
  texts[kNvrEditSalesTotal] = "garbage";
  texts[kNvrEditReturnsTotal] = "";
  EXPECT_EQ(TakeNvrEditTexts(r, texts), std::nullopt);
  EXPECT_EQ(r.salesTotal, 1000000000000000.0);
  EXPECT_EQ(r.returnsTotal, 1100000000000000.0);
}

TEST(NvrForm, RowsPerVersionAndTheArrayDialogs) {
  EXPECT_EQ(NvrHiddenControls(201), std::vector<int>{});
  EXPECT_EQ(NvrHiddenControls(125), (std::vector<int>{11147, 11148}));
  EXPECT_EQ(NvrHiddenControls(120),
            (std::vector<int>{1081, 1082, 1064, 1065, 1066, 1067, 1068, 1120, 1121, 1122, 1123, 1124, 11147, 11148}));
  const NvrArrayDialog pay = NvrArrayDialogFor(NvrArray::ReturnsByPayment);
  EXPECT_EQ(pay.templateId, 150);
  ASSERT_EQ(pay.edits.size(), 16u);
  EXPECT_EQ(pay.edits[3], 1052);
  EXPECT_EQ(pay.edits[15], 1077);
  EXPECT_EQ(NvrArrayLabel(NvrArray::SalesByPayment, 0), "Наличные");
  EXPECT_EQ(NvrArrayLabel(NvrArray::SalesByPayment, 15), "Платеж 15");
  EXPECT_EQ(NvrArrayLabel(NvrArray::TaxReturns, 0), "Налог 0");
  EXPECT_EQ(NvrArrayLabel(NvrArray::DeptSales, 5), "Группа 6");

  NvrRecord r = ZeroRecord(kLong);
  std::vector<std::string> texts(16, "1");
  texts[2] = "junk";
  TakeNvrArrayTexts(r, NvrArray::ReturnsByPayment, texts);
  RecomputeNvrTotals(r);
  EXPECT_EQ(r.returns[2], 0.0);
  EXPECT_EQ(r.returnsTotal, 15.0);
  EXPECT_EQ(r.salesTotal, 0.0);
  TakeNvrArrayTexts(r, NvrArray::DeptReturns, std::vector<std::string>(6, "2.5"));
  EXPECT_EQ(r.deptReturns[5], 2.5);
  EXPECT_EQ(r.taxReturns[5], 0.0);
}
