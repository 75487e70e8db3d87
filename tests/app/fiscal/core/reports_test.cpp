// SPDX-License-Identifier: GPL-3.0-or-later
// The report and EEJ sequences against the simulator: what each sends, the
// conversions of the pages' inputs, and the questions asked first.
#include <cstring>
#include <functional>
#include <limits>

#include "core_fixture.h"
#include "reports.h"

namespace termina::apptest {
namespace {

using namespace app;
const std::string FS = "\x1c";

class ReportsCore : public CoreTest {
 protected:
  void SetUp() override {
    sim::Config cfg;
    cfg.reportDurationMs = 0;
    cfg.inspectorPassword = "1234567890";
    StartRegister(cfg);
    m_sim->setReady();
    m_sim->addFiscalHistory(3);
    Connect();
  }
  // Runs the call and returns the body of the one request it sent, and the
  // code it raised (0 when none).
  std::pair<std::string, int> Sent(const std::function<void()>& call) {
    m_sim->clearLog();
    int code = 0;
    try {
      call();
    } catch (uint16_t c) { code = c; }
    const auto r = m_sim->requests();
    return {r.size() == 1 ? r[0].bodyUtf8 : "<" + std::to_string(r.size()) + " requests>", code};
  }
};

// The edits' text as the register gets it: decimal conversion held to the
// 32-bit range, then cut to 16 bits for shifts and kept whole for КПК.
TEST(ReportInputs, NumbersDatesAndPasswordAsTheRegisterGetsThem) {
  EXPECT_EQ(ShiftNumber(""), 0);
  EXPECT_EQ(ShiftNumber("1"), 1);
  EXPECT_EQ(ShiftNumber("65537"), 1);
  EXPECT_EQ(ShiftNumber("70000"), 4464);
  EXPECT_EQ(KpkNumber("70000"), 70000u);
  EXPECT_EQ(KpkNumber("4294967296"), 2147483647u);
  EXPECT_EQ(EditNumber("99999999999999999999999"), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(EditNumber(" 12x3"), 12);
  EXPECT_EQ(EditNumber("-99999999999"), std::numeric_limits<int32_t>::min());

  TRMADT d = ReportDate(ReportDay{true, 2007, 3, 1});
  EXPECT_EQ(d.day, 1);
  EXPECT_EQ(d.month, 3);
  EXPECT_EQ(d.year, 2007);
  for (const ReportDay& bad : {ReportDay{}, ReportDay{true, 2007, 13, 1}, ReportDay{true, 70000, 1, 1}}) {
    d = ReportDate(bad);
    EXPECT_EQ(d.day, 255);
    EXPECT_EQ(d.month, 255);
    EXPECT_EQ(d.year, 65535);
  }
  const ReportDay today = Today();
  EXPECT_TRUE(today.valid);

  TRMA_PASSWORD pw;
  std::memset(pw, 'x', sizeof pw);
  PasswordRecord("123456789012", pw);
  EXPECT_EQ(std::string(pw, sizeof pw), std::string("1234567890") + '\0');

  ASSERT_TRUE(ParseDdmmyy("290224"));
  EXPECT_EQ(ParseDdmmyy("290224")->year, 2024);
  for (const char* bad : {"290223", "310407", "001207", "011307", "01030", "0103077", "01-307"})
    EXPECT_FALSE(ParseDdmmyy(bad)) << bad;
}

TEST_F(ReportsCore, EachCallSendsItsFrame) {
  const TRMADT a{1, 3, 2007}, b = ReportDate(ReportDay{});
  const std::pair<std::string, int> cases[] = {
      Sent([] { RunFiscShiftReport(1, 0, ShiftNumber("70000"), "123456789012"); }),
      Sent([&] { RunFiscDateReport(0, a, a, "1234567890"); }),
      Sent([&] { RunEejDateRangeReport(1, a, b); }),
      Sent([] { RunEejShiftRangeReport(0, 2, 3); }),
      Sent([] { RunEejJournal(1); }),
      Sent([] { RunEejShiftReport(ShiftNumber("65538")); }),
      Sent([] { RunEejDocument(KpkNumber("70000")); }),
      Sent([] { RunEejActivationReport(); }),
  };
  const std::string expected[] = {
      "621" + FS + "0" + FS + "4464" + FS + "1234567890" + FS,
      "630" + FS + "010307" + FS + "010307" + FS + "1234567890" + FS,
      "671" + FS + "010307" + FS + "25525563535" + FS,
      "660" + FS + "2" + FS + "3" + FS,
      "641" + FS,
      "692" + FS,
      "6570000" + FS,
      "68",
  };
  for (size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(cases[i].first, expected[i]) << i;
  // The register decides about ranges: shift 0, a day before any record, a
  // date it cannot read are refused; the EEJ's shifts 2..3 and shift 1 print.
  EXPECT_EQ(cases[0].second, 3);
  EXPECT_EQ(cases[1].second, 3);
  EXPECT_EQ(cases[2].second, 3);
  EXPECT_EQ(cases[3].second, 0);
  EXPECT_EQ(cases[4].second, 0);
}

TEST_F(ReportsCore, EmptyPasswordIsToldAndNothingIsSent) {
  EXPECT_FALSE(CheckInspectorPassword("", m_ask));
  ASSERT_EQ(m_ask.asked.size(), 1u);
  EXPECT_EQ(m_ask.asked[0].text, "Поле \"ПАРОЛЬ\" должно быть заполнено");
  EXPECT_EQ(m_ask.asked[0].title, "Ошибка");
  EXPECT_EQ(m_ask.asked[0].icon, Icon::Error);
  EXPECT_TRUE(CheckInspectorPassword("0", m_ask));
  EXPECT_EQ(m_ask.asked.size(), 1u);
  EXPECT_TRUE(Codes().empty());
}

TEST_F(ReportsCore, CloseArchiveOnlyAfterYes) {
  m_ask.answers = {Answer::No};
  EXPECT_FALSE(ConfirmCloseArchive(m_ask));
  ASSERT_EQ(m_ask.asked.size(), 1u);
  EXPECT_EQ(m_ask.asked[0].text, "Закрыть архив?");
  EXPECT_EQ(m_ask.asked[0].buttons, Buttons::YesNo);
  EXPECT_EQ(m_ask.asked[0].icon, Icon::Exclamation);
  EXPECT_EQ(m_ask.asked[0].defaultAnswer, Answer::No);
  EXPECT_TRUE(Codes().empty());
  m_ask.answers = {Answer::Yes};
  EXPECT_TRUE(ConfirmCloseArchive(m_ask));
  RunCloseArchive();
  EXPECT_EQ(Codes(), std::vector<std::string>{"0A"});
  EXPECT_TRUE(m_sim->state().eejArchiveClosed);
  // A second closing is refused by the register.
  EXPECT_THROW(RunCloseArchive(), uint16_t);
}

}  // namespace
}  // namespace termina::apptest
