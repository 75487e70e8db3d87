// Fiscalization against the simulated register: the field checks in their
// order, the registration frames and the registration's failure.
#include <cstdio>

#include "core_fixture.h"
#include "driver_text.h"
#include "fiscalization.h"

namespace termina::apptest {
namespace {

using app::FiscalizationInput;
using app::FiscalizationOutcome;
using app::FiscField;

FiscalizationInput Filled() {
  FiscalizationInput in;
  in.fields = {"0", "123456789012", "123456789012", "7701234567", "7701234567", "4321", "4321"};
  return in;
}

class FiscalizationTest : public CoreTest {
 protected:
  void Ready() {
    StartRegister();
    Connect();
    TRMADT d{5, 1, 2008};
    TRMATM t{9, 7, 3};
    TRMA_Init(&d, &t);
    m_sim->clearLog();
  }
};

// Every field is refused while empty, in the page's order: each message
// names the first empty field only.
TEST(Fiscalization, EmptyFieldsAreReportedOneAtATimeInOrder) {
  const char* expected[] = {
      "Поле \"ТЕКУЩИЙ ПАРОЛЬ\" должно быть заполнено",     "Поле \"РЕГИСТРАЦИОННЫЙ №\" должно быть заполнено",
      "Поле \"ПОВТ.РЕГ. №\" должно быть заполнено",         "Поле \"ИНН ВЛАДЕЛЬЦА\" должно быть заполнено",
      "Поле \"ПОВТ. ИНН ВЛАДЕЛЬЦА\" должно быть заполнено", "Поле \"НОВЫЙ ПАРОЛЬ\" должно быть заполнено",
      "Поле \"ПОВТ. НОВЫЙ ПАРОЛЬ\" должно быть заполнено",
  };
  FiscalizationInput in;  // all empty
  for (int i = 0; i < app::kFiscFieldCount; ++i) {
    const auto problem = app::FirstEmptyField(in);
    ASSERT_TRUE(problem) << i;
    EXPECT_EQ(static_cast<int>(problem->field), i);
    EXPECT_EQ(problem->message, expected[i]);
    in.fields[i] = "1";
  }
  EXPECT_FALSE(app::FirstEmptyField(in));
}

// Passwords and registration numbers both differ: only the passwords are
// reported, and nothing reaches the register.  The fields are compared as
// the driver would receive them, cut to their limits.
TEST_F(FiscalizationTest, MismatchesInOrderStopBeforeTheRegister) {
  Ready();
  FiscalizationInput in = Filled();
  in[FiscField::NewPasswordRepeat] = "4322";
  in[FiscField::RegNumberRepeat] = "123456789013";
  in[FiscField::InnRepeat] = "7701234568";
  EXPECT_EQ(app::RunFiscalization(in, m_ask), FiscalizationOutcome::Mismatch);
  in[FiscField::NewPasswordRepeat] = "4321";
  EXPECT_EQ(app::RunFiscalization(in, m_ask), FiscalizationOutcome::Mismatch);
  in[FiscField::RegNumberRepeat] = "123456789012";
  EXPECT_EQ(app::RunFiscalization(in, m_ask), FiscalizationOutcome::Mismatch);
  EXPECT_EQ(m_ask.Texts(), (std::vector<std::string>{
                               "Несовпадение паролей! Введите пароль ещё раз.",
                               "Несовпадение регистрационных номеров! Введите регистрационный номер ещё раз.",
                               "Несовпадение ИНН! Введите ИНН ещё раз.",
                           }));
  EXPECT_TRUE(Codes().empty());
  const auto cut = [] {
    FiscalizationInput c = Filled();
    c[FiscField::NewPassword] = "12345678901";  // the eleventh digit is not sent
    c[FiscField::NewPasswordRepeat] = "12345678909";
    return c;
  }();
  EXPECT_FALSE(app::FirstMismatch(cut));
}

// The four texts in order, the 12-digit number whole, then function 0 with
// the computer's date and time; a refused registration sends no function 0.
TEST_F(FiscalizationTest, RegisterThenInitAndNoInitAfterARefusal) {
  Ready();
  EXPECT_EQ(app::RunFiscalization(Filled(), m_ask), FiscalizationOutcome::Registered);
  EXPECT_TRUE(m_ask.asked.empty());
  const auto reqs = m_sim->requests();
  ASSERT_EQ(Codes(), (std::vector<std::string>{"08", "00"}));
  EXPECT_EQ(reqs[0].bodyUtf8, "080\x1c" "123456789012\x1c" "7701234567\x1c" "4321\x1c");
  TRMADT d;
  TRMATM t;
  app::LocalDateTime(&d, &t);
  char date[32];
  std::snprintf(date, sizeof date, "%02d%02d%02d", d.day, d.month, d.year - 2000);
  ASSERT_EQ(reqs[1].fieldsUtf8.size(), 2u);
  EXPECT_EQ(reqs[1].fieldsUtf8[0], date);
  const auto s = m_sim->state();
  EXPECT_EQ(s.registrationNumber, "123456789012");
  EXPECT_EQ(s.inspectorPassword, "4321");

  m_sim->clearLog();
  FiscalizationInput wrong = Filled();
  wrong[FiscField::CurrentPassword] = "0";  // the password is 4321 now
  EXPECT_THROW(
      {
        try {
          app::RunFiscalization(wrong, m_ask);
        } catch (uint16_t code) {
          EXPECT_EQ(code, 6);
          throw;
        }
      },
      uint16_t);
  EXPECT_EQ(Codes(), std::vector<std::string>{"08"});
}

}  // namespace
}  // namespace termina::apptest
