// SPDX-License-Identifier: GPL-3.0-or-later
// The text limits of the session interface: a text of exactly the limit
// (Cyrillic ones are two bytes a character in UTF-8) reaches the register
// whole, one character more is refused before anything is sent.
#include "session_fixture.h"

#include <functional>

using namespace termina;
using namespace termina::test;

namespace {

std::string repeat(const std::string& ch, std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += ch;
  return s;
}

using Send = std::function<int(termina_session*, const char*)>;

// One character more than the limit first (refused, nothing sent), then
// exactly the limit: accepted, and the request's field holds it whole.
void checkLimit(SimSession& r, const char* what, std::size_t limit, const std::string& ch, std::size_t field,
                const Send& send) {
  SCOPED_TRACE(what);
  const std::string over = repeat(ch, limit + 1), fits = repeat(ch, limit);
  r.sim->clearLog();
  EXPECT_EQ(send(r.s, over.c_str()), TERMINA_E_ARGUMENT);
  EXPECT_TRUE(r.sim->requests().empty() && r.sim->events().empty()) << "nothing was sent";
  ASSERT_EQ(send(r.s, fits.c_str()), 0);
  const auto requests = r.sim->requests();
  ASSERT_FALSE(requests.empty());
  ASSERT_GT(requests.back().fieldsUtf8.size(), field);
  EXPECT_EQ(requests.back().fieldsUtf8[field], fits);
}

const termina_date kDate{7, 11, 2026};
const termina_time kTime{10, 0, 0};

}  // namespace

TEST(SessionLimits, TextsOfExactlyTheLimitArriveWhole) {
  DriverRoot root;
  sim::Config cfg;
  cfg.inspectorPassword = "7777777777";
  SimSession r(Transport::Tcp, root, 1, cfg);
  ASSERT_EQ(r.rc, 0);
  r.sim->setReady();
  r.sim->setDisplayAttached(true);

  checkLimit(r, "setting", TERMINA_TEXT_CHARS, "Ж", 2,
             [](termina_session* s, const char* t) { return termina_write_config(s, 20, 1, t); });
  EXPECT_EQ(r.sim->table(20, 1), repeat("Ж", 40));
  checkLimit(r, "display line 1", TERMINA_NAME_CHARS, "Д", 0,
             [](termina_session* s, const char* t) { return termina_show_client_display_text(s, t, ""); });
  checkLimit(r, "display line 2", TERMINA_NAME_CHARS, "9", 1,
             [](termina_session* s, const char* t) { return termina_show_client_display_text(s, "", t); });
  EXPECT_EQ(r.sim->state().displayLines, (std::vector<std::string>{"", repeat("9", 20)}));

  // Registration: the register takes digits only, and the current tax
  // inspector password must be the one it holds.
  const std::string pw = repeat("7", 10);
  checkLimit(r, "current password", TERMINA_PASSWORD_CHARS, "7", 0,
             [&](termina_session* s, const char* t) { return termina_register(s, t, "1", "2", pw.c_str()); });
  checkLimit(r, "registration number", TERMINA_NUMBER_CHARS, "1", 1,
             [&](termina_session* s, const char* t) { return termina_register(s, pw.c_str(), t, "2", pw.c_str()); });
  checkLimit(r, "INN", TERMINA_NUMBER_CHARS, "2", 2,
             [&](termina_session* s, const char* t) { return termina_register(s, pw.c_str(), "1", t, pw.c_str()); });
  checkLimit(r, "new password", TERMINA_PASSWORD_CHARS, "5", 3,
             [&](termina_session* s, const char* t) { return termina_register(s, pw.c_str(), "1", "2", t); });
  const sim::RegisterState st = r.sim->state();
  EXPECT_EQ(st.registrationNumber, "1");
  EXPECT_EQ(st.inn, "2");
  EXPECT_EQ(st.inspectorPassword, repeat("5", 10));

  r.sim->setFiscalModuleInstalled(false);
  checkLimit(r, "serial number", TERMINA_NUMBER_CHARS, "Щ", 2,
             [](termina_session* s, const char* t) { return termina_install(s, &kDate, &kTime, t); });
  EXPECT_EQ(r.sim->state().serialNumber, repeat("Щ", 12));
}

TEST(SessionLimits, ALinkPasswordOfExactlyTheLimitOpensAndIsSentWhole) {
  DriverRoot root;
  sim::Config cfg;
  cfg.password = repeat("П", TERMINA_LINK_PASSWORD_CHARS);
  SimSession r(Transport::Tcp, root, 1, cfg);
  ASSERT_EQ(r.rc, 0) << "opened with the 59 characters";
  unsigned version = 0;
  ASSERT_EQ(termina_get_version(r.s, &version), 0);
  ASSERT_FALSE(r.sim->requests().empty());
  EXPECT_TRUE(r.sim->requests().back().passwordOk);

  // One more: neither an open nor a change of the session's password.
  r.sim->clearLog();
  const std::string over = cfg.password + "П";
  termina_session* other = nullptr;
  EXPECT_EQ(termina_open_tcp("127.0.0.1", r.port, over.c_str(), &other), TERMINA_E_ARGUMENT);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(termina_set_password(r.s, over.c_str()), TERMINA_E_ARGUMENT);
  EXPECT_TRUE(r.sim->requests().empty() && r.sim->events().empty()) << "nothing was sent";

  // Set again to the 59 characters after another password: the register takes it.
  ASSERT_EQ(termina_set_password(r.s, "WKRD"), 0);
  EXPECT_NE(termina_get_version(r.s, &version), 0);
  ASSERT_EQ(termina_set_password(r.s, cfg.password.c_str()), 0);
  EXPECT_EQ(termina_get_version(r.s, &version), 0);
  EXPECT_TRUE(r.sim->requests().back().passwordOk);
}
