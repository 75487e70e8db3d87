// SPDX-License-Identifier: GPL-3.0-or-later
// Service and query commands: bodies, outputs on 0 and 64, buffer bounds,
// and the data-exchange password change.
#include "codepage.h"
#include "register_fixture.h"

#include <functional>

using namespace termina;
using namespace termina::test;

class ServiceTest : public ::testing::Test {
 protected:
  Connected c{Transport::Pty};
  void SetUp() override { c.connect(); }
};

TEST_F(ServiceTest, DateAndTimeFieldsAreSixDigitGroups) {
  TRMADT d{5, 1, 2008};
  TRMATM t{9, 7, 3};
  TRMA_Init(&d, &t);
  EXPECT_EQ(c.lastBody(), "00050108" + FS + "090703" + FS);
  EXPECT_FALSE(c.sim->state().status & 0x01) << "function 0 has run";
  TRMA_SetDate(&d, &t);
  EXPECT_EQ(c.lastBody(), "A3050108" + FS + "090703" + FS);
  TRMA_SERIAL_NUMBER sn;
  put(sn, "0012345");
  c.sim->setFiscalModuleInstalled(false);
  TRMA_Install(&d, &t, &sn);
  EXPECT_EQ(c.lastBody(), "E0050108" + FS + "090703" + FS + "0012345" + FS);
}

TEST_F(ServiceTest, ConfigurationValuesGoBothWays) {
  TRMA_STRING value;
  put(value, "Магазин №1");
  EXPECT_EQ(TRMA_WriteConfig(20, 1, &value), 0);
  EXPECT_EQ(c.lastBody(), "A220" + FS + "1" + FS + "Магазин №1" + FS);
  TRMA_STRING back{};
  EXPECT_EQ(TRMA_ReadConfig(20, 1, &back), 0);
  EXPECT_EQ(c.lastBody(), "A120" + FS + "1" + FS);
  EXPECT_EQ(c.sim->table(20, 1), "Магазин №1");
  EXPECT_EQ(cp::ansiToUtf8(back), "Магазин №1");
}

TEST_F(ServiceTest, On64ReadConfigKeepsTheTextAndOtherQueriesEmptyIt) {
  force(*c.sim, "A1", 64, {"ignored"});
  TRMA_STRING value;
  put(value, "как было");
  EXPECT_EQ(TRMA_ReadConfig(1, 1, &value), 64);
  EXPECT_EQ(cp::ansiToUtf8(value), "как было");

  force(*c.sim, "A5", 64, {"7"});
  TRMA_STRING inn;
  put(inn, "old");
  EXPECT_EQ(TRMA_GetINN(inn), 64);
  EXPECT_STREQ(inn, "");
  uint16_t shift = 5;
  EXPECT_EQ(TRMA_GetCurrentShift(&shift), 64);
  EXPECT_EQ(shift, 0);
  uint16_t v = 1;
  EXPECT_EQ(TRMA_GetVersion(&v), 64);
  EXPECT_EQ(v, 0);
  TRMA_STRING d, t;
  put(d, "x");
  put(t, "y");
  EXPECT_EQ(TRMA_GetFMLastData(d, t), 64);
  EXPECT_STREQ(d, "");
  EXPECT_STREQ(t, "");

  force(*c.sim, "A6", 64);
  TRMA_REGISTRATION_NUMBER rn;
  put(rn, "keep");
  EXPECT_EQ(TRMA_GetRegNumber(&rn), 64);
  EXPECT_STREQ(rn, "keep");
}

TEST_F(ServiceTest, QueriesSendTheirSelectors) {
  // Only the bodies matter here; a fresh register may refuse some queries.
  uint16_t n = 0;
  TRMA_STRING s1, s2;
  struct Case {
    std::function<void()> call;
    std::string body;
  } cases[] = {
      {[&] { TRMA_GetCurrentShift(&n); }, "A51" + FS},
      {[&] { TRMA_GetLastRegShift(&n); }, "A52" + FS},
      {[&] { TRMA_GetINN(s1); }, "A59" + FS},
      {[&] { TRMA_EEJRegNum(s1); }, "A511" + FS},
      {[&] { TRMA_GetFMLastData(s1, s2); }, "A520" + FS},
      {[&] { TRMA_GetEEJActData(s1); }, "A42" + FS},
      {[&] { TRMA_GetEEJStatus(); }, "A4"},
      {[&] { TRMA_GetRegNumber(nullptr); }, "A6"},
      {[&] { TRMA_OpenCashDrawer(); }, "80"},
      {[&] { TRMA_GetKKMDataTime(s1, s2); }, "A7" + FS},
  };
  for (auto& k : cases) {
    thrown(k.call);
    EXPECT_EQ(c.lastBody(), k.body);
  }
  // The clock arrives as two six-digit fields.
  EXPECT_EQ(std::strlen(s1), 6u);
  EXPECT_EQ(std::strlen(s2), 6u);
}

TEST_F(ServiceTest, AReplyFieldLongerThanTheBufferIsCut) {
  force(*c.sim, "A1", 0, {std::string(60, 'Z')});
  TRMA_STRING value;
  EXPECT_EQ(TRMA_ReadConfig(1, 1, &value), 0);
  EXPECT_EQ(std::string(value), std::string(40, 'Z'));
  force(*c.sim, "A6", 0, {"1234567890123456"});
  struct {
    TRMA_REGISTRATION_NUMBER rn;
    char guard[4];
  } out;
  std::memset(&out, 'g', sizeof out);
  EXPECT_EQ(TRMA_GetRegNumber(&out.rn), 0);
  EXPECT_EQ(std::string(out.rn), "123456789012");
  EXPECT_EQ(std::string(out.guard, 4), "gggg");
}

TEST_F(ServiceTest, RegistrationSendsFourTexts) {
  TRMA_PASSWORD cur, next;
  TRMA_REGISTRATION_NUMBER rn;
  TRMA_INN inn;
  put(cur, "0");
  put(rn, "000000001234");
  put(inn, "7700000000");
  put(next, "555");
  thrown([&] { TRMA_Register(&cur, &rn, &inn, &next); });
  EXPECT_EQ(c.lastBody(), "080" + FS + "000000001234" + FS + "7700000000" + FS + "555" + FS);
}

TEST_F(ServiceTest, DisplayTextReturnsFailuresInsteadOfRaising) {
  TRMA_CLIENTDISPLAYTEXT a, b;
  put(a, "ИТОГ");
  put(b, "12.50");
  c.sim->setDisplayAttached(false);
  EXPECT_EQ(TRMA_ShowClientDisplayText(&a, &b), 15);
  c.sim->setDisplayAttached(true);
  EXPECT_EQ(TRMA_ShowClientDisplayText(&a, &b), 0);
  EXPECT_EQ(c.lastBody(), "81ИТОГ" + FS + "12.50" + FS);
}

TEST_F(ServiceTest, PasswordChangeReachesRegisterDriverAndIni) {
  c.sim->setVersion(130);
  TRMA_STRING pw;
  put(pw, "4321");
  EXPECT_EQ(TRMA_ChangePwd(&pw, true), 0);
  EXPECT_EQ(c.lastBody(), "A231" + FS + "0" + FS + "4321" + FS);
  EXPECT_EQ(c.sim->requests().back().password, "WKRD") << "the change itself still carries the old password";
  EXPECT_EQ(ini::readString(c.root.ini(), "General", "pswd", "", 60), "4321");
  uint16_t v = 0;
  EXPECT_EQ(TRMA_GetVersion(&v), 0);
  EXPECT_EQ(c.sim->requests().back().password, "4321");
}

TEST_F(ServiceTest, ARefusedPasswordChangeKeepsTheOldOneEverywhere) {
  force(*c.sim, "A2", 6);
  TRMA_STRING pw;
  put(pw, "9999");
  EXPECT_EQ(thrown([&] { TRMA_ChangePwd(&pw, true); }), 6);
  EXPECT_EQ(ini::readString(c.root.ini(), "General", "pswd", "", 60), "WKRD");
  c.sim->setFaults({});
  uint16_t v = 0;
  TRMA_GetVersion(&v);
  EXPECT_EQ(c.sim->requests().back().password, "WKRD");
}

TEST_F(ServiceTest, AdoptingAPasswordLocallySendsNothing) {
  TRMA_STRING pw;
  put(pw, "1111");
  EXPECT_EQ(TRMA_ChangePwd(&pw, false), 0);
  EXPECT_TRUE(c.sim->requests().empty());
  EXPECT_EQ(ini::readString(c.root.ini(), "General", "pswd", "", 60), "1111");
}
