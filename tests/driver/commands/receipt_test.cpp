// SPDX-License-Identifier: GPL-3.0-or-later
// Receipt commands: the exact bodies the register receives, the numeric
// results, and a complete receipt against the simulated register.
#include "codepage.h"
#include "register_fixture.h"

using namespace termina;
using namespace termina::test;

class ReceiptTest : public ::testing::Test {
 protected:
  Connected c{Transport::Pty};
  void SetUp() override {
    c.connect();
    TRMADT d{8, 12, 2026};
    TRMATM t{10, 0, 0};
    TRMA_Init(&d, &t);
  }
};

TEST_F(ReceiptTest, ArticleLineFormatsNumbersAndCyrillicText) {
  TRMA_OPERATOR_NAME op;
  put(op, "Кассир");
  TRMA_OpenReceipt(2, 1, &op, 1);
  EXPECT_EQ(c.lastBody(), "202" + FS + "1" + FS + "Кассир" + FS + "1" + FS);
  TRMA_ARTICLE_NAME name;
  TRMA_ARTICLE_CODE code;
  put(name, "Хлеб");
  put(code, "001");
  double result = -1;
  EXPECT_EQ(TRMA_AddArticle(&name, &code, 1, 12.5, 1, &result), 0);
  EXPECT_EQ(c.lastBody(), "30Хлеб" + FS + "001" + FS + "1.000" + FS + "12.5000" + FS + "1" + FS);
  EXPECT_DOUBLE_EQ(result, 12.5);
  TRMA_AddArticle(&name, &code, 0.0005, 1.0 / 3, 65535, &result);
  EXPECT_EQ(c.lastBody(), "30Хлеб" + FS + "001" + FS + "0.001" + FS + "0.3333" + FS + "65535" + FS);
  TRMA_StornoArticle(&name, &code, 1, 12.5, -1, &result);
  EXPECT_EQ(c.lastBody(), "31Хлеб" + FS + "001" + FS + "1.000" + FS + "12.5000" + FS + "-1" + FS);
}

TEST_F(ReceiptTest, DiscountsAndSurchargesTellTheirKindByTheFirstField) {
  TRMA_OPERATOR_NAME op{};
  TRMA_OpenReceipt(2, 1, &op, 1);
  TRMA_ARTICLE_NAME name;
  TRMA_ARTICLE_CODE code;
  put(name, "Товар");
  put(code, "1");
  double r;
  TRMA_AddArticle(&name, &code, 2, 50, 1, &r);
  TRMA_DISCOUNT_NAME d;
  put(d, "Скидка");
  TRMA_DiscountPercent(&d, 5, &r);
  EXPECT_EQ(c.lastBody(), "32%" + FS + "Скидка" + FS + "5.00" + FS);
  TRMA_DiscountTotal(&d, 5, &r);
  EXPECT_EQ(c.lastBody(), "32S" + FS + "Скидка" + FS + "5.0000" + FS);
  TRMA_ExtraPercent(&d, 2.5, &r);
  EXPECT_EQ(c.lastBody(), "33%" + FS + "Скидка" + FS + "2.50" + FS);
  TRMA_ExtraTotal(&d, 1, &r);
  EXPECT_EQ(c.lastBody(), "33S" + FS + "Скидка" + FS + "1.0000" + FS);
}

TEST_F(ReceiptTest, LargeUnsignedValuesAreSentAsSigned32Bit) {
  TRMA_OPERATOR_NAME op{};
  thrown([&] { TRMA_OpenReceipt(65535, 0, &op, 0x80000000u); });
  EXPECT_EQ(c.lastBody(), "2065535" + FS + "0" + FS + FS + "-2147483648" + FS);
}

TEST_F(ReceiptTest, ACompleteReceipt) {
  TRMA_OPERATOR_NAME op;
  put(op, "Иванова");
  EXPECT_EQ(TRMA_OpenReceipt(2, 1, &op, 1), 0);
  TRMA_STRING line;
  put(line, "Спасибо за покупку");
  EXPECT_EQ(TRMA_PrintString(&line), 0);
  EXPECT_EQ(c.lastBody(), "21Спасибо за покупку" + FS);
  TRMA_ARTICLE_NAME name;
  TRMA_ARTICLE_CODE code;
  put(name, "Молоко");
  put(code, "4600");
  double r = 0;
  EXPECT_EQ(TRMA_AddArticle(&name, &code, 2, 45.9, 1, &r), 0);
  EXPECT_DOUBLE_EQ(r, 91.8);
  double sub = 0;
  EXPECT_EQ(TRMA_SubTotal(&sub), 0);
  EXPECT_DOUBLE_EQ(sub, 91.8);
  EXPECT_EQ(c.lastBody(), "34");
  double paid = 0;
  EXPECT_EQ(TRMA_Payment(0, 100, &paid), 0);
  EXPECT_EQ(c.lastBody(), "350" + FS + "100.0000" + FS);
  EXPECT_EQ(TRMA_CloseReceipt(), 0);
  EXPECT_EQ(c.lastBody(), "22");
  auto st = c.sim->state();
  EXPECT_FALSE(st.receiptOpen);
  EXPECT_TRUE(st.shiftOpen);
  // Out of order: no receipt is open now.
  EXPECT_EQ(thrown([] { TRMA_CloseReceipt(); }), 1);
}

TEST_F(ReceiptTest, CashInOutAndBarcode) {
  TRMA_BANKNOTE_NAME cap;
  put(cap, "Внесение");
  double r = -1;
  EXPECT_EQ(TRMA_CashInOut(&cap, 1000, &r), 0);
  EXPECT_EQ(c.lastBody(), "36Внесение" + FS + "1000.0000" + FS);
  TRMA_OPERATOR_NAME op{};
  TRMA_OpenReceipt(2, 1, &op, 1);
  TRMA_STRING bc;
  put(bc, "4600000000000");
  TRMA_BarCode(1, 2, 3, 4, &bc);
  EXPECT_EQ(c.lastBody(), "241" + FS + "2" + FS + "3" + FS + "4" + FS + "4600000000000" + FS);
  TRMA_BreakReceipt();
}

TEST_F(ReceiptTest, NumericResultsOn64AndOnEmptyFields) {
  sim::Faults f;
  f.forced["34"] = sim::ForcedReply{64, {"123.45"}};
  f.forced["36"] = sim::ForcedReply{0, {""}};
  c.sim->setFaults(f);
  double r = 99;
  EXPECT_EQ(TRMA_SubTotal(&r), 64);
  EXPECT_EQ(r, 0.0);
  TRMA_BANKNOTE_NAME cap{};
  r = 99;
  EXPECT_EQ(TRMA_CashInOut(&cap, 1, &r), 0);
  EXPECT_EQ(r, 0.0);
}
