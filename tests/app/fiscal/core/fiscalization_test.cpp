// SPDX-License-Identifier: GPL-3.0-or-later
// Fiscalization against the simulated register: the field checks in their
// order, the registration frames and the registration's failure.
#include "core_fixture.h"
#include "fiscalization.h"

namespace termina::apptest {
namespace {

using app::FiscField;

TEST(Fiscalization, EmptyFieldsAreReportedOneAtATimeInOrder) {
  const char* names[] = {"ТЕКУЩИЙ ПАРОЛЬ",      "РЕГИСТРАЦИОННЫЙ №", "ПОВТ.РЕГ. №",       "ИНН ВЛАДЕЛЬЦА",
                         "ПОВТ. ИНН ВЛАДЕЛЬЦА", "НОВЫЙ ПАРОЛЬ",      "ПОВТ. НОВЫЙ ПАРОЛЬ"};
  app::FiscalizationInput in;  // all empty: only the first is named
  for (int i = 0; i < app::kFiscFieldCount; ++i) {
    const auto problem = app::FirstEmptyField(in);
    ASSERT_TRUE(problem) << i;
    EXPECT_EQ(static_cast<int>(problem->field), i);
    EXPECT_EQ(problem->message, std::string("Поле \"") + names[i] + "\" должно быть заполнено");
    in.fields[i] = "1";
  }
  EXPECT_FALSE(app::FirstEmptyField(in));
}

class FiscalizationTest : public CoreTest {};

// Mismatches stop before the register, passwords first; then the four
// texts with the 12-digit number whole, and function 0; a refused
// registration sends no function 0.
TEST_F(FiscalizationTest, MismatchesThenRegisterAndInit) {
  StartRegister();
  Connect();
  TRMADT d{5, 1, 2008};
  TRMATM t{9, 7, 3};
  TRMA_Init(&d, &t);
  m_sim->clearLog();
  app::FiscalizationInput in;
  in.fields = {"0", "123456789012", "123456789013", "7701234567", "7701234567", "4321", "4322"};
  EXPECT_EQ(app::RunFiscalization(in, m_ask), app::FiscalizationOutcome::Mismatch);
  in[FiscField::NewPasswordRepeat] = "4321";
  EXPECT_EQ(app::RunFiscalization(in, m_ask), app::FiscalizationOutcome::Mismatch);
  EXPECT_EQ(m_ask.Texts(),
            (std::vector<std::string>{"Несовпадение паролей! Введите пароль ещё раз.",
                                      "Несовпадение регистрационных номеров! Введите регистрационный номер ещё раз."}));
  EXPECT_TRUE(Codes().empty());

  in[FiscField::RegNumberRepeat] = "123456789012";
  EXPECT_EQ(app::RunFiscalization(in, m_ask), app::FiscalizationOutcome::Registered);
  ASSERT_EQ(Codes(), (std::vector<std::string>{"08", "00"}));
  EXPECT_EQ(m_sim->requests()[0].bodyUtf8,
            "080\x1c"
            "123456789012\x1c"
            "7701234567\x1c"
            "4321\x1c");
  EXPECT_EQ(m_sim->state().registrationNumber, "123456789012");

  m_sim->clearLog();  // the inspector's password is 4321 now
  EXPECT_THROW(app::RunFiscalization(in, m_ask), uint16_t);
  EXPECT_EQ(Codes(), std::vector<std::string>{"08"});
}

}  // namespace
}  // namespace termina::apptest
