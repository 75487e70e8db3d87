// SPDX-License-Identifier: GPL-3.0-or-later
// The session interface over a pseudo-terminal and TCP: each command family,
// each failure class returned as a code, bad arguments refused before
// anything is sent, the trace records, the deadline and the cancel.
#include "codepage.h"
#include "session_fixture.h"
#include "termina1.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

using namespace termina;
using namespace termina::test;

namespace {

const std::string FS = "\x1C";

std::string lastBody(const sim::Simulator& sim) {
  auto r = sim.requests();
  return r.empty() ? std::string() : r.back().bodyUtf8;
}

void force(sim::Simulator& s, const std::string& code, int result, std::vector<std::string> fields = {}) {
  sim::Faults f = s.faults();
  f.forced[code] = sim::ForcedReply{result, std::move(fields)};
  s.setFaults(f);
}

}  // namespace

class SessionTest : public TransportSessionTest {
 protected:
  void SetUp() override {
    TransportSessionTest::SetUp();
    r.sim->addFiscalHistory(5);
  }
};

TEST_P(SessionTest, CommandFamiliesInUtf8) {
  termina_session* s = r.s;
  unsigned version = 0;
  EXPECT_EQ(termina_get_version(s, &version), 0);
  EXPECT_EQ(version, 201u);

  // A Cyrillic setting written and read back, in code page 866 on the wire.
  ASSERT_EQ(termina_write_config(s, 20, 1, "Касса №1 «Ёлка»"), TERMINA_E_ARGUMENT) << "« » are not in 866";
  ASSERT_EQ(termina_write_config(s, 20, 1, "Касса №1 Ёлка"), 0);
  EXPECT_EQ(lastBody(*r.sim), "A220" + FS + "1" + FS + "Касса №1 Ёлка" + FS);
  char value[TERMINA_TEXT_MAX];
  ASSERT_EQ(termina_read_config(s, 20, 1, value, sizeof value), 0);
  EXPECT_STREQ(value, "Касса №1 Ёлка");
  // Too small a buffer keeps whole characters and says so.
  char small[6];
  EXPECT_EQ(termina_read_config(s, 20, 1, small, sizeof small), TERMINA_E_BUFFER);
  EXPECT_STREQ(small, "Ка");

  // A receipt with its figures.
  double result = -1;
  EXPECT_EQ(termina_open_receipt(s, 2, 1, "Петров", 1), 0);
  EXPECT_EQ(lastBody(*r.sim), "202" + FS + "1" + FS + "Петров" + FS + "1" + FS);
  EXPECT_EQ(termina_add_article(s, "Хлеб", "001", 2, 30.5, 1, &result), 0);
  EXPECT_EQ(lastBody(*r.sim), "30Хлеб" + FS + "001" + FS + "2.000" + FS + "30.5000" + FS + "1" + FS);
  EXPECT_DOUBLE_EQ(result, 61.0);
  EXPECT_EQ(termina_subtotal(s, &result), 0);
  EXPECT_DOUBLE_EQ(result, 61.0);
  EXPECT_EQ(termina_payment(s, 0, 100, &result), 0);
  EXPECT_EQ(termina_close_receipt(s), 0);

  // A report, the clock, memory blocks.
  EXPECT_EQ(termina_x_report(s, "Петров"), 0);
  EXPECT_EQ(lastBody(*r.sim), "60Петров" + FS);
  char date[TERMINA_TEXT_MAX], time[TERMINA_TEXT_MAX];
  EXPECT_EQ(termina_get_kkm_date_time(s, date, sizeof date, time, sizeof time), 0);
  EXPECT_EQ(std::strlen(date), 6u);
  const uint8_t bytes[] = {0x0A, 0xFF, 0x10};
  EXPECT_EQ(termina_write_mem_block(s, 3, 0x100, bytes, sizeof bytes), 0);
  uint8_t back[3] = {};
  EXPECT_EQ(termina_read_mem_block(s, 3, 0x100, 3, back, sizeof back), 0);
  EXPECT_EQ(std::vector<uint8_t>(back, back + 3), std::vector<uint8_t>(bytes, bytes + 3));

  // The status bytes.
  r.sim->setStatus(0x20, 0x05, 0x12);
  termina_status st{};
  ASSERT_EQ(termina_get_status(s, &st), 0);
  EXPECT_EQ(st.fatal, 0x20);
  EXPECT_EQ(st.status, 0x05);
  EXPECT_EQ(st.receipt, 0x12);
}

TEST_P(SessionTest, FailuresAreReturnedAndTheSessionCarriesOn) {
  termina_session* s = r.s;
  char value[TERMINA_TEXT_MAX] = "x";
  // A refusal: the register's code, the output emptied.
  force(*r.sim, "A1", 3);
  EXPECT_EQ(termina_read_config(s, 20, 1, value, sizeof value), 3);
  EXPECT_STREQ(value, "");
  EXPECT_EQ(termina_code_is_driver(3), 0);
  char text[TERMINA_MESSAGE_MAX];
  EXPECT_EQ(termina_error_text(s, 3, text, sizeof text), 0);
  EXPECT_STREQ(text, "Неверный параметр функции");
  // 64 is returned as with the original interface.
  force(*r.sim, "A1", 64);
  EXPECT_EQ(termina_read_config(s, 20, 1, value, sizeof value), 64);
  r.sim->setFaults({});

  // A bad checksum, then no answer at all.
  sim::Faults f;
  f.badChecksum = true;
  r.sim->setFaults(f);
  unsigned shift = 7;
  EXPECT_EQ(termina_get_current_shift(s, &shift), 7);
  EXPECT_EQ(shift, 0u);
  f = {};
  f.silent = true;
  r.sim->setFaults(f);
  EXPECT_EQ(termina_get_current_shift(s, &shift), 48);
  EXPECT_STREQ(termina_code_name(48), "reply_timeout");
  EXPECT_EQ(termina_code_is_driver(48), 1);
  int active = 1;
  EXPECT_EQ(termina_check_active(s, &active), 0);
  EXPECT_EQ(active, 0);

  // The register is back: the same session goes on.
  r.sim->setFaults({});
  EXPECT_EQ(termina_get_current_shift(s, &shift), 0);
  EXPECT_EQ(termina_check_active(s, &active), 0);
  EXPECT_EQ(active, 1);
}

TEST_P(SessionTest, BadArgumentsAreRefusedBeforeAnythingIsSent) {
  termina_session* s = r.s;
  char buf[TERMINA_TEXT_MAX];
  double d;
  unsigned u;
  EXPECT_EQ(termina_get_version(nullptr, &u), TERMINA_E_ARGUMENT);
  EXPECT_EQ(termina_get_version(s, nullptr), TERMINA_E_ARGUMENT);
  EXPECT_EQ(termina_read_config(s, 1, 1, nullptr, 10), TERMINA_E_ARGUMENT);
  EXPECT_EQ(termina_read_config(s, 1, 1, buf, 0), TERMINA_E_ARGUMENT);
  EXPECT_EQ(termina_read_config(s, 70000, 1, buf, sizeof buf), TERMINA_E_ARGUMENT);
  EXPECT_EQ(termina_write_config(s, 1, 1, nullptr), TERMINA_E_ARGUMENT);
  EXPECT_EQ(termina_write_config(s, 1, 1,
                                 "a\x1C"
                                 "b"),
            TERMINA_E_ARGUMENT)
      << "FS would split the field";
  EXPECT_EQ(termina_write_config(s, 1, 1, "\xD0"), TERMINA_E_ARGUMENT) << "malformed UTF-8";
  EXPECT_EQ(termina_write_config(s, 1, 1, std::string(41, 'x').c_str()), TERMINA_E_ARGUMENT);
  EXPECT_EQ(termina_write_config(s, 1, 1, "€"), TERMINA_E_ARGUMENT) << "not in code page 866";
  EXPECT_EQ(termina_open_receipt(s, 1, 1, std::string(21, 'x').c_str(), 1), TERMINA_E_ARGUMENT);
  EXPECT_EQ(termina_add_article(s, "x", "1", 1, 1, 1, nullptr), TERMINA_E_ARGUMENT);
  termina_date bad{32, 1, 2020};
  termina_time t{10, 0, 0};
  EXPECT_EQ(termina_set_date(s, &bad, &t), TERMINA_E_ARGUMENT);
  EXPECT_EQ(termina_set_date(s, nullptr, &t), TERMINA_E_ARGUMENT);
  uint8_t mem[4];
  EXPECT_EQ(termina_read_mem_block(s, 3, 0, 5, mem, sizeof mem), TERMINA_E_ARGUMENT);
  EXPECT_EQ(termina_get_receive(s, 0, buf, sizeof buf, nullptr), TERMINA_E_ARGUMENT);
  EXPECT_EQ(termina_error_text(s, 3, buf, 0), TERMINA_E_ARGUMENT);
  EXPECT_TRUE(r.sim->requests().empty() && r.sim->events().empty()) << "nothing was sent";

  // A closed session: every call says so, a second close too.
  EXPECT_EQ(termina_close(s), 0);
  EXPECT_EQ(termina_get_version(s, &u), TERMINA_E_CLOSED);
  EXPECT_EQ(termina_subtotal(s, &d), TERMINA_E_CLOSED);
  EXPECT_EQ(termina_cancel_report(s), TERMINA_E_CLOSED);
  EXPECT_EQ(termina_close(s), TERMINA_E_CLOSED);
  EXPECT_EQ(termina_close(nullptr), TERMINA_E_ARGUMENT);
  r.s = nullptr;
  EXPECT_STREQ(termina_code_name(TERMINA_E_CLOSED), "session_closed");
  EXPECT_EQ(termina_code_name(1000), nullptr);
}

namespace {

struct Record {
  int direction, kind, command, result;
  std::vector<std::string> fields;
  uint64_t time;
};

void collect(void* user, const termina_trace_record* r) {
  std::vector<std::string> fields(r->fields, r->fields + r->field_count);
  static_cast<std::vector<Record>*>(user)->push_back(
      {r->direction, r->kind, r->command, r->result, fields, r->time_ns});
}

}  // namespace

TEST_P(SessionTest, TraceRecordsOfARefusedCommand) {
  std::vector<Record> records;
  ASSERT_EQ(termina_set_trace(r.s, collect, &records), 0);
  force(*r.sim, "A1", 2, {"поле"});
  char value[TERMINA_TEXT_MAX];
  EXPECT_EQ(termina_read_config(r.s, 22, 5, value, sizeof value), 2);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].direction, TERMINA_TRACE_OUT);
  EXPECT_EQ(records[0].kind, TERMINA_TRACE_FRAME);
  EXPECT_EQ(records[0].command, 0xA1);
  EXPECT_EQ(records[0].result, -1);
  EXPECT_EQ(records[0].fields, (std::vector<std::string>{"22", "5"}));
  EXPECT_EQ(records[1].direction, TERMINA_TRACE_IN);
  EXPECT_EQ(records[1].kind, TERMINA_TRACE_FRAME);
  EXPECT_EQ(records[1].command, 0xA1);
  EXPECT_EQ(records[1].result, 2);
  EXPECT_EQ(records[1].fields, (std::vector<std::string>{"поле"}));
  EXPECT_LE(records[0].time, records[1].time);
  EXPECT_EQ(records[2].direction, TERMINA_TRACE_NOTE);
  EXPECT_EQ(records[2].kind, TERMINA_TRACE_FAILURE);
  EXPECT_EQ(records[2].result, 2);

  // A silent register: silences, ENQs, then the driver's failure; a
  // callback calling into its own session is refused.
  records.clear();
  sim::Faults f;
  f.silent = true;
  r.sim->setFaults(f);
  unsigned shift;
  EXPECT_EQ(termina_get_current_shift(r.s, &shift), 48);
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.back().kind, TERMINA_TRACE_FAILURE);
  EXPECT_EQ(records.back().result, 48);
  int enqs = 0;
  for (auto& rec : records) enqs += rec.kind == TERMINA_TRACE_ENQ && rec.direction == TERMINA_TRACE_OUT;
  EXPECT_EQ(enqs, 2);

  static termina_session* self;
  static int nested;
  self = r.s;
  nested = -1;
  termina_set_trace(
      r.s, [](void*, const termina_trace_record*) { nested = termina_set_patience(self, 3); }, nullptr);
  r.sim->setFaults({});
  EXPECT_EQ(termina_get_current_shift(r.s, &shift), 0);
  EXPECT_EQ(nested, TERMINA_E_BUSY);
}

TEST_P(SessionTest, ADeadlineEndsACallBeforeThePatience) {
  // 50 s of silent waits over the pty, 500 s over TCP; the deadline ends
  // the call at the first read wait after it.
  termina_set_patience(r.s, 100);
  ASSERT_EQ(termina_set_deadline(r.s, 300), 0);
  sim::Faults f;
  f.silent = true;
  r.sim->setFaults(f);
  unsigned shift;
  r.sim->clearLog();
  EXPECT_EQ(termina_get_current_shift(r.s, &shift), TERMINA_E_DEADLINE);
  EXPECT_LE(r.sim->events().size(), 2u) << "the request, at most one ENQ; no burst at the deadline";
  // Without the limit the same session meets a register back to normal
  // (a limit this short could end even a good exchange on a loaded machine),
  // once it has waited out the unanswered request, within its patience.
  r.sim->setFaults({});
  ASSERT_EQ(termina_set_deadline(r.s, 0), 0);
  ASSERT_EQ(termina_set_patience(r.s, 1), 0);
  EXPECT_EQ(termina_get_current_shift(r.s, &shift), 0);
}

TEST_P(SessionTest, ACancelFromAnotherThreadEndsTheReport) {
  r.sim->setReportDuration(60000);
  r.sim->setReportAckInterval(200);
  r.sim->setCancelResult(0x0E);
  std::atomic<int> result{-2};
  std::thread worker([&] {
    termina_date a{1, 1, 2000}, b{31, 12, 2099};
    result = termina_fisc_date_report(r.s, 0, &a, &b, "0");
  });
  ASSERT_TRUE(r.sim->waitForReportAcks(2, std::chrono::seconds(5)));
  EXPECT_EQ(termina_cancel_report(r.s), 0);
  worker.join();
  EXPECT_EQ(result.load(), 0x0E);
  EXPECT_EQ(r.sim->state().reportsCancelled, 1);
  unsigned v = 0;
  EXPECT_EQ(termina_get_version(r.s, &v), 0);
}

INSTANTIATE_TEST_SUITE_P(Transports, SessionTest, ::testing::Values(Transport::Pty, Transport::Tcp), transportName);

TEST(SessionOpen, FailuresLeaveNothingOpen) {
  DriverRoot root;
  termina_session* s = reinterpret_cast<termina_session*>(1);
  EXPECT_EQ(termina_open_serial((root.path() + "/dev/none").c_str(), 19200, nullptr, &s), 18);
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(termina_open_serial("/dev/null", 12345, nullptr, &s), TERMINA_E_ARGUMENT);
  EXPECT_EQ(termina_open_tcp("127.0.0.1", 0, nullptr, &s), TERMINA_E_ARGUMENT);
  EXPECT_EQ(termina_open_tcp("", 1, nullptr, &s), TERMINA_E_ARGUMENT);
  EXPECT_EQ(termina_open_serial("COM1", 19200, nullptr, nullptr), TERMINA_E_ARGUMENT);
  // A silent register: no answer to the probe.
  sim::Simulator sim;
  sim::Faults f;
  f.silent = true;
  sim.setFaults(f);
  uint16_t port = sim.listenTcp();
  EXPECT_EQ(termina_open_tcp("127.0.0.1", port, nullptr, &s), 19);
  EXPECT_EQ(s, nullptr);
}

TEST(SessionOpen, FromTheIniFileAsTheOriginalAndBesideIt) {
  // The INI file names COM1 (a pty); the session opens it as TRMA_CheckPort
  // would, and the original interface keeps its own default session to a
  // second register over TCP at the same time.
  DriverRoot root;
  sim::Simulator a, b;
  a.openPty(root.com(1));
  uint16_t port = b.listenTcp();
  pointDriverAt(root, Transport::Pty, 0, "WKRD");
  termina_session* s = nullptr;
  ASSERT_EQ(termina_open_ini(0, &s), 0);
  ini::writeString(root.ini(), "TCP", "Mode", "1");
  ini::writeString(root.ini(), "TCP", "HostName", "127.0.0.1");
  ini::writeString(root.ini(), "TCP", "HostPort", std::to_string(port));
  ASSERT_EQ(TRMA_CheckPort(false), 0);
  a.setTable(20, 1, "первая");
  b.setTable(20, 1, "вторая");
  char value[TERMINA_TEXT_MAX];
  ASSERT_EQ(termina_read_config(s, 20, 1, value, sizeof value), 0);
  EXPECT_STREQ(value, "первая");
  TRMA_STRING original{};
  ASSERT_EQ(TRMA_ReadConfig(20, 1, &original), 0);
  EXPECT_EQ(cp::ansiToUtf8(original), "вторая");
  EXPECT_EQ(termina_close(s), 0);
  TRMA_ClosePort();
}
