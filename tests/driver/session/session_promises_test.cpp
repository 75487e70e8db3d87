// SPDX-License-Identifier: GPL-3.0-or-later
// What the session interface promises a caller, where a broken promise means
// a wrong value reported as success, a hang, a password in a trace or a
// line printed that nobody asked for: a late reply never answers the next
// request, the deadline holds over TCP as over the pty, no call from a trace
// callback can hang, passwords never reach a trace, and a NULL text sends
// nothing.
#include "session_fixture.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace termina;
using namespace termina::test;

namespace {

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// Everything a trace record shows, as one searchable text.
struct Seen {
  std::vector<std::string> texts;
  std::vector<std::vector<std::string>> fields;
  std::string all;  // texts, fields and bytes of every record
};

void gather(void* user, const termina_trace_record* r) {
  auto* seen = static_cast<Seen*>(user);
  seen->texts.emplace_back(r->text ? r->text : "");
  seen->fields.emplace_back(r->fields, r->fields + r->field_count);
  seen->all += seen->texts.back() + "\n";
  for (const std::string& f : seen->fields.back()) seen->all += f + "\n";
  if (r->bytes) seen->all.append(reinterpret_cast<const char*>(r->bytes), r->byte_count);
  seen->all += "\n";
}

bool hasFields(const Seen& seen, const std::vector<std::string>& fields) {
  for (const auto& f : seen.fields)
    if (f == fields) return true;
  return false;
}

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The simulator's last bytes are one reply frame written twice.
bool endsWithARepeatedFrame(const sim::Simulator& sim) {
  const std::vector<uint8_t> bytes = sim.sent();
  auto last = std::find(bytes.rbegin(), bytes.rend(), uint8_t{0x02});
  if (last == bytes.rend()) return false;
  const std::size_t n = static_cast<std::size_t>(last - bytes.rbegin()) + 1;
  return bytes.size() >= 2 * n &&
         std::equal(bytes.end() - static_cast<long>(n), bytes.end(), bytes.end() - static_cast<long>(2 * n));
}

int framesReceived(const sim::Simulator& sim) {
  int n = 0;
  for (const auto& e : sim.events()) n += e.kind == sim::WireEvent::Frame;
  return n;
}

}  // namespace

using SessionPromiseTest = TransportSessionTest;

TEST_P(SessionPromiseTest, ALateReplyNeverAnswersTheNextRequest) {
  ASSERT_EQ(termina_write_config(r.s, 20, 0, "МАГАЗИН 7"), 0);
  ASSERT_EQ(termina_set_patience(r.s, 10), 0);
  // The register takes 1.5 s to answer; the call gives up after 300 ms,
  // on either channel well before a full read wait (5 s over TCP).
  sim::Faults slow;
  slow.replyDelayMs = 1500;
  r.sim->setFaults(slow);
  ASSERT_EQ(termina_set_deadline(r.s, 300), 0);
  termina_status st{};
  const auto start = Clock::now();
  EXPECT_EQ(termina_get_status(r.s, &st), TERMINA_E_DEADLINE);
  EXPECT_LT(msSince(start), 2500);
  r.sim->setFaults({});

  // The status reply still arrives; the next request must get its own
  // answer, not the status's fields.
  ASSERT_EQ(termina_set_deadline(r.s, 0), 0);
  Seen seen;
  ASSERT_EQ(termina_set_trace(r.s, gather, &seen), 0);
  char value[TERMINA_TEXT_MAX];
  ASSERT_EQ(termina_read_config(r.s, 20, 0, value, sizeof value), 0);
  EXPECT_STREQ(value, "МАГАЗИН 7");
  EXPECT_NE(seen.all.find("late reply"), std::string::npos) << seen.all;
  // And the one after it too.
  unsigned version = 0;
  EXPECT_EQ(termina_get_version(r.s, &version), 0);
  EXPECT_EQ(version, 201u);
}

TEST_P(SessionPromiseTest, TheDeadlineHoldsOnASilentLine) {
  ASSERT_EQ(termina_set_patience(r.s, 50), 0);
  ASSERT_EQ(termina_set_deadline(r.s, 400), 0);
  sim::Faults f;
  f.silent = true;
  r.sim->setFaults(f);
  unsigned version = 0;
  const auto start = Clock::now();
  EXPECT_EQ(termina_get_version(r.s, &version), TERMINA_E_DEADLINE);
  EXPECT_EQ(version, 120u);
  EXPECT_LT(msSince(start), 2500) << "a TCP read wait is 5 s; the deadline must cut it";
  // The next call waits out the silent request within its own deadline.
  EXPECT_EQ(termina_get_version(r.s, &version), TERMINA_E_DEADLINE);
  r.sim->setFaults({});
  ASSERT_EQ(termina_set_patience(r.s, 1), 0);
  ASSERT_EQ(termina_set_deadline(r.s, 0), 0);
  EXPECT_EQ(termina_get_version(r.s, &version), 0);
  EXPECT_EQ(version, 201u);
}

TEST_P(SessionPromiseTest, PasswordsNeverReachATrace) {
  const std::string file = root.path() + "/trace.log";
  ::setenv("TERMINA_TRACE", file.c_str(), 1);
  // A new session reads TERMINA_TRACE again.
  termina_close(r.s);
  r.s = nullptr;
  r.open(GetParam());
  ASSERT_EQ(r.rc, 0);
  Seen seen;
  ASSERT_EQ(termina_set_trace(r.s, gather, &seen), 0);

  ASSERT_EQ(termina_change_password(r.s, "MNBV", 1), 0);
  EXPECT_EQ(r.sim->state().password, "MNBV");
  ASSERT_EQ(termina_write_config(r.s, 31, 0, "QWER"), 0);
  ASSERT_EQ(termina_set_password(r.s, "QWER"), 0);
  char value[TERMINA_TEXT_MAX];
  ASSERT_EQ(termina_read_config(r.s, 31, 0, value, sizeof value), 0);
  EXPECT_STREQ(value, "QWER") << "the caller still gets the value";
  EXPECT_EQ(termina_register(r.s, "0", "123456789012", "7700000000", "5577"), 0);
  // The register's answer does not matter here (no shift is closed yet).
  termina_fisc_shift_report(r.s, 0, 1, 1, "5577");
  termina_date a{1, 1, 2000}, b{31, 12, 2099};
  termina_fisc_date_report(r.s, 1, &a, &b, "5577");
  ::unsetenv("TERMINA_TRACE");

  EXPECT_TRUE(hasFields(seen, {"31", "0", "***"}));
  EXPECT_TRUE(hasFields(seen, {"***"})) << "the reading of table 31";
  EXPECT_TRUE(hasFields(seen, {"***", "123456789012", "7700000000", "***"}));
  EXPECT_EQ(r.sim->state().inspectorPassword, "5577");
  EXPECT_TRUE(hasFields(seen, {"0", "1", "1", "***"}));
  const std::string written = fileText(file);
  EXPECT_NE(written.find("WriteConfig \"31\" \"0\" \"***\""), std::string::npos) << written;
  for (const char* secret : {"MNBV", "QWER", "5577"}) {
    EXPECT_EQ(seen.all.find(secret), std::string::npos) << secret << " in a record";
    EXPECT_EQ(written.find(secret), std::string::npos) << secret << " in the trace file";
  }
}

TEST_P(SessionPromiseTest, ANullTextSendsNothing) {
  double result = 0;
  termina_date d{9, 12, 2026};
  termina_time t{10, 0, 0};
  const std::vector<std::function<int()>> calls = {
      [&] { return termina_print_string(r.s, nullptr); },
      [&] { return termina_add_article(r.s, nullptr, nullptr, 1, 1, 1, &result); },
      [&] { return termina_add_article(r.s, "Хлеб", nullptr, 1, 1, 1, &result); },
      [&] { return termina_storno_article(r.s, nullptr, "1", 1, 1, 1, &result); },
      [&] { return termina_show_client_display_text(r.s, nullptr, nullptr); },
      [&] { return termina_show_client_display_text(r.s, "Итого", nullptr); },
      [&] { return termina_open_receipt(r.s, 2, 1, nullptr, 1); },
      [&] { return termina_bar_code(r.s, 1, 1, 1, 1, nullptr); },
      [&] { return termina_discount_percent(r.s, nullptr, 1, &result); },
      [&] { return termina_extra_total(r.s, nullptr, 1, &result); },
      [&] { return termina_cash_in_out(r.s, nullptr, 1, &result); },
      [&] { return termina_x_report(r.s, nullptr); },
      [&] { return termina_z_report(r.s, nullptr); },
      [&] { return termina_fisc_shift_report(r.s, 0, 1, 1, nullptr); },
      [&] { return termina_register(r.s, nullptr, "1", "1", "1"); },
      [&] { return termina_register(r.s, "1", "1", "1", nullptr); },
      [&] { return termina_install(r.s, &d, &t, nullptr); },
      [&] { return termina_write_config(r.s, 20, 0, nullptr); },
      [&] { return termina_change_password(r.s, nullptr, 1); },
  };
  r.sim->clearLog();
  for (std::size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i](), TERMINA_E_ARGUMENT) << "call " << i;
  EXPECT_EQ(framesReceived(*r.sim), 0);
  // An empty text is the way to send an empty field.
  EXPECT_EQ(termina_x_report(r.s, ""), 0);
}

INSTANTIATE_TEST_SUITE_P(Transports, SessionPromiseTest, ::testing::Values(Transport::Pty, Transport::Tcp),
                         transportName);

// Every function that takes a session, called from that session's own
// trace callback: each returns at once with TERMINA_E_BUSY.
TEST(SessionCallback, EveryCallOnItsOwnSessionIsRefusedAtOnce) {
  DriverRoot root;
  SimSession r(Transport::Tcp, root);
  ASSERT_EQ(r.rc, 0);
  r.sim->setReady();
  static termina_session* self;
  static std::vector<int>* results;
  self = r.s;
  std::vector<int> got;
  results = &got;

  termina_trace_fn callAll = [](void*, const termina_trace_record*) {
    if (!results->empty()) return;
    termina_session* s = self;
    char text[TERMINA_MESSAGE_MAX], text2[TERMINA_TEXT_MAX];
    std::size_t n = 0;
    double d = 0;
    unsigned u = 0;
    int i = 0;
    uint8_t b = 0, block[4] = {};
    termina_status st{};
    termina_date date{1, 1, 2026};
    termina_time time{1, 0, 0};
    std::vector<int>& out = *results;
    out.push_back(termina_cancel_report(s));
    out.push_back(termina_close(s));
    out.push_back(termina_error_text(s, 1, text, sizeof text));
    out.push_back(termina_error_text(s, 3, text, sizeof text));
    out.push_back(termina_set_password(s, "WKRD"));
    out.push_back(termina_change_password(s, "WKRD", 0));
    out.push_back(termina_set_patience(s, 3));
    out.push_back(termina_set_deadline(s, 100));
    out.push_back(termina_set_trace(s, nullptr, nullptr));
    out.push_back(termina_check_active(s, &i));
    out.push_back(termina_get_status(s, &st));
    out.push_back(termina_get_printer_status(s, &b));
    out.push_back(termina_open_receipt(s, 2, 1, "", 1));
    out.push_back(termina_print_string(s, "x"));
    out.push_back(termina_close_receipt(s));
    out.push_back(termina_break_receipt(s));
    out.push_back(termina_bar_code(s, 1, 1, 1, 1, "1"));
    out.push_back(termina_add_article(s, "a", "1", 1, 1, 1, &d));
    out.push_back(termina_storno_article(s, "a", "1", 1, 1, 1, &d));
    out.push_back(termina_discount_percent(s, "", 1, &d));
    out.push_back(termina_discount_total(s, "", 1, &d));
    out.push_back(termina_extra_percent(s, "", 1, &d));
    out.push_back(termina_extra_total(s, "", 1, &d));
    out.push_back(termina_subtotal(s, &d));
    out.push_back(termina_payment(s, 0, 1, &d));
    out.push_back(termina_cash_in_out(s, "", 1, &d));
    out.push_back(termina_activate_eej(s));
    out.push_back(termina_close_eej_archive(s));
    out.push_back(termina_x_report(s, ""));
    out.push_back(termina_z_report(s, ""));
    out.push_back(termina_fisc_shift_report(s, 0, 1, 1, "0"));
    out.push_back(termina_fisc_date_report(s, 0, &date, &date, "0"));
    out.push_back(termina_eej_journal(s, 1));
    out.push_back(termina_get_receipt(s, 1));
    out.push_back(termina_eej_shift_report(s, 0, 1, 1));
    out.push_back(termina_eej_date_report(s, 0, &date, &date));
    out.push_back(termina_eej_activate_report(s));
    out.push_back(termina_eej_report(s, 1));
    out.push_back(termina_report_finished(s));
    out.push_back(termina_init(s, &date, &time));
    out.push_back(termina_register(s, "0", "1", "1", "0"));
    out.push_back(termina_open_cash_drawer(s));
    out.push_back(termina_write_config(s, 20, 0, "x"));
    out.push_back(termina_set_date(s, &date, &time));
    out.push_back(termina_get_eej_status(s));
    out.push_back(termina_install(s, &date, &time, "1"));
    out.push_back(termina_show_client_display_text(s, "", ""));
    out.push_back(termina_read_config(s, 20, 0, text2, sizeof text2));
    out.push_back(termina_get_version(s, &u));
    out.push_back(termina_get_current_shift(s, &u));
    out.push_back(termina_get_last_reg_shift(s, &u));
    out.push_back(termina_get_eej_act_data(s, text2, sizeof text2));
    out.push_back(termina_get_inn(s, text2, sizeof text2));
    out.push_back(termina_eej_reg_num(s, text2, sizeof text2));
    out.push_back(termina_get_reg_number(s, text2, sizeof text2));
    out.push_back(termina_get_fm_last_data(s, text2, sizeof text2, text, sizeof text));
    out.push_back(termina_get_kkm_date_time(s, text2, sizeof text2, text, sizeof text));
    out.push_back(termina_put_command(s, "\x02", 1));
    out.push_back(termina_get_receive(s, 1, text, sizeof text, &n));
    out.push_back(termina_clear_logo(s));
    out.push_back(termina_load_logo(s, "/nonexistent"));
    out.push_back(termina_read_mem_block(s, 3, 0, 4, block, sizeof block));
    out.push_back(termina_write_mem_block(s, 3, 0, block, sizeof block));
  };
  ASSERT_EQ(termina_set_trace(r.s, callAll, nullptr), 0);
  unsigned version = 0;
  EXPECT_EQ(termina_get_version(r.s, &version), 0);
  EXPECT_EQ(version, 201u);
  ASSERT_EQ(got.size(), 63u);
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], TERMINA_E_BUSY) << "call " << i;
  // The session goes on as before: open, with its settings unchanged.
  ASSERT_EQ(termina_set_trace(r.s, nullptr, nullptr), 0);
  char value[TERMINA_TEXT_MAX];
  EXPECT_EQ(termina_read_config(r.s, 20, 0, value, sizeof value), 0);
}

// Over TCP nothing ties a reply to its request, so what already waits on
// the socket is thrown away before each request, as the serial line's purge
// does.
TEST(SessionTcp, BytesAlreadyWaitingAreThrownAwayBeforeARequest) {
  DriverRoot root;
  SimSession r(Transport::Tcp, root);
  ASSERT_EQ(r.rc, 0);
  r.sim->setReady();
  ASSERT_EQ(termina_write_config(r.s, 20, 1, "СТРОКА"), 0);
  // A register (or gateway) that sends its reply twice leaves a whole
  // frame waiting once the call has taken the first.
  sim::Faults twice;
  twice.duplicateReply = true;
  r.sim->setFaults(twice);
  unsigned shift = 99;
  ASSERT_EQ(termina_get_current_shift(r.s, &shift), 0);
  const auto until = Clock::now() + std::chrono::seconds(10);
  while (!endsWithARepeatedFrame(*r.sim) && Clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_TRUE(endsWithARepeatedFrame(*r.sim)) << "the second copy went out";
  r.sim->setFaults({});
  Seen seen;
  ASSERT_EQ(termina_set_trace(r.s, gather, &seen), 0);
  char value[TERMINA_TEXT_MAX];
  ASSERT_EQ(termina_read_config(r.s, 20, 1, value, sizeof value), 0);
  EXPECT_STREQ(value, "СТРОКА");
  EXPECT_NE(seen.all.find("thrown away before the request"), std::string::npos);
}
