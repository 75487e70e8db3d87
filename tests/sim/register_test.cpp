// SPDX-License-Identifier: GPL-3.0-or-later
// The register behind the line: commands sent as request frames over TCP,
// replies checked field by field.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "codec.h"
#include "model.h"
#include "simulator.h"
#include "wire_client.h"

namespace termina::sim {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::WireClient;
using Fields = std::vector<std::string>;

// A simulator and one TCP client speaking enveloped frames to it.
struct Line {
  explicit Line(Config cfg = {}) : sim(std::move(cfg)), c(WireClient::tcp(sim.listenTcp())) {}

  Bytes ask(const std::string& body, const std::string& password = "") {
    c.write(wrapEnvelope(test::request(body, password.empty() ? pwd : password, 0x20)));
    return c.readReply();
  }
  int code(const std::string& body) { return test::resultOf(ask(body)); }
  Fields fields(const std::string& body) {
    Bytes r = ask(body);
    EXPECT_EQ(test::resultOf(r), 0) << body;
    return test::fieldsOf(r);
  }
  std::string first(const std::string& body) {
    Fields f = fields(body);
    return f.empty() ? std::string("<none>") : f[0];
  }
  // The clock to 5 January 2008 09:07:03, then function 0.
  void init() {
    ASSERT_EQ(code("A3"
                   "050108\x1c"
                   "090703\x1c"),
              0);
    ASSERT_EQ(code("00"
                   "050108\x1c"
                   "090703\x1c"),
              0);
  }
  uint8_t status() { return static_cast<uint8_t>(std::stoi(fields("A0")[1])); }

  Simulator sim;
  WireClient c;
  std::string pwd = "WKRD";
};

std::string fs(std::initializer_list<std::string> parts) {
  std::string s;
  for (auto& p : parts) s += p + "\x1c";
  return s;
}

TEST(Register, InitClearsBitZeroAndLeavesTheClock) {
  Line l;
  EXPECT_EQ(l.status() & 0x01, 0x01);
  EXPECT_EQ(l.code("20" + fs({"2", "1", "Оператор", "1"})), 0x01);  // nothing before function 0
  EXPECT_EQ(l.code("00" + fs({"310408", "090703"})), 0x03);         // 31 April
  EXPECT_EQ(l.code("00" + fs({"050108", "250000"})), 0x03);
  // Function 0 leaves a clock set 30 hours behind the computer's where it is.
  l.sim.setClockOffset(-30 * 3600);
  ASSERT_EQ(l.code("00" + fs({"050108", "090703"})), 0);
  EXPECT_EQ(l.status() & 0x01, 0);
  EXPECT_EQ(l.sim.state().clockOffsetSeconds, -30 * 3600);
  l.init();
  Fields clock = l.fields("A7\x1c");
  ASSERT_EQ(clock.size(), 2u);
  EXPECT_EQ(clock[0], "050108");
  EXPECT_EQ(clock[1].substr(0, 3), "090");  // seconds tick on
}

TEST(Register, ConfigurationTablesByVersion) {
  Line l;
  EXPECT_EQ(l.first("A1" + fs({"1", "0"})), "1");
  EXPECT_EQ(l.code("A2" + fs({"1", "0", "42"})), 0);
  EXPECT_EQ(l.first("A1" + fs({"1", "0"})), "42");
  EXPECT_EQ(l.code("A2" + fs({"1", "0", "10000"})), 0x03);
  EXPECT_EQ(l.code("A2" + fs({"1", "0", "12a"})), 0x03);
  EXPECT_EQ(l.code("A2" + fs({"2", "0", "2"})), 0x03);
  EXPECT_EQ(l.code("A2" + fs({"22", "0", "ДЕНЬГИ"})), 0x03);  // cash name is fixed
  EXPECT_EQ(l.code("A2" + fs({"22", "5", "ОЧЕНЬ ДЛИННОЕ НАЗВАНИЕ"})), 0x03);
  EXPECT_EQ(l.code("A2" + fs({"13", "0", "3"})), 0x03);
  EXPECT_EQ(l.code("A1" + fs({"99", "0"})), 0x03);
  EXPECT_EQ(l.code("A1" + fs({"20", "4"})), 0x03);

  // Cyrillic text travels in code page 866 both ways.
  EXPECT_EQ(l.code("A2" + fs({"20", "0", "Магазин №1"})), 0);
  EXPECT_EQ(l.sim.table(20, 0), "Магазин №1");
  Bytes r = l.ask("A1" + fs({"20", "0"}));
  std::string wire(r.begin(), r.end());
  EXPECT_NE(wire.find(utf8ToCp866("Магазин №1")), std::string::npos);

  // Departments: fields 1..6 on the second model, 0..5 before it.
  EXPECT_EQ(l.code("A1" + fs({"26", "0"})), 0x03);
  EXPECT_EQ(l.code("A1" + fs({"26", "6"})), 0);
  l.sim.setVersion(125);
  EXPECT_EQ(l.code("A1" + fs({"26", "0"})), 0);
  EXPECT_EQ(l.code("A1" + fs({"26", "6"})), 0x03);
  EXPECT_EQ(l.code("A1" + fs({"13", "0"})), 0);
  EXPECT_EQ(l.code("A1" + fs({"7", "0"})), 0);

  // The first model lacks tables 7..11, 13, 25 and 30 but takes 12 and 23.
  l.sim.setVersion(120);
  for (const char* t : {"7", "8", "9", "10", "11", "13", "25", "30"}) EXPECT_EQ(l.code("A1" + fs({t, "0"})), 0x03) << t;
  EXPECT_EQ(l.code("A2" + fs({"12", "5", "0"})), 0);
  EXPECT_EQ(l.code("A1" + fs({"23", "5"})), 0);
}

TEST(Register, NoTableWritesDuringAShiftAndAnEmptyDisplayTypeKeepsTheStoredOne) {
  Line l;
  l.sim.setTable(9, 0, "1");
  EXPECT_EQ(l.code("A2" + fs({"9", "0", ""})), 0);
  EXPECT_EQ(l.sim.table(9, 0), "1");
  l.sim.setVersion(120);  // a version without table 9 still refuses it
  EXPECT_EQ(l.code("A2" + fs({"9", "0", ""})), 0x03);
  l.sim.setVersion(201);

  l.sim.setStatus(0, 0x04, 0);  // shift open
  EXPECT_EQ(l.code("A2" + fs({"20", "0", "НОВОЕ"})), 0x01);
  EXPECT_EQ(l.code("A2" + fs({"9", "0", ""})), 0x01);
  EXPECT_NE(l.sim.table(20, 0), "НОВОЕ");
  EXPECT_EQ(l.code("A2" + fs({"31", "0", "1234"})), 0);  // the password may change at any time
}

TEST(Register, Table31IsTheExchangePassword) {
  Line l;
  EXPECT_EQ(l.first("A1" + fs({"31", "0"})), "WKRD");
  for (const char* bad : {"", "123", "12345", "12\t4"}) EXPECT_EQ(l.code("A2" + fs({"31", "0", bad})), 0x03) << bad;
  // Up to version 129 the password is fixed.
  l.sim.setVersion(129);
  EXPECT_EQ(l.code("A2" + fs({"31", "0", "1234"})), 0x03);
  l.sim.setVersion(130);
  EXPECT_EQ(l.sim.state().password, "WKRD");
  EXPECT_EQ(l.code("A2" + fs({"31", "0", "1234"})), 0);  // still sent with the old password
  EXPECT_EQ(l.code("A0"), 0x06);                         // old password refused now
  l.pwd = "1234";
  EXPECT_EQ(l.code("A0"), 0);
  EXPECT_EQ(l.first("A1" + fs({"31", "0"})), "1234");
  EXPECT_EQ(l.sim.state().password, "1234");
}

TEST(Register, SaleReceiptRunningAmounts) {
  Line l;
  l.init();
  EXPECT_EQ(l.code("30" + fs({"Хлеб", "001", "1.000", "12.5000", "1"})), 0x01);  // no receipt open
  EXPECT_EQ(l.code("22"), 0x01);
  EXPECT_EQ(l.code("20" + fs({"2", "1", "Иванова", "1"})), 0);
  EXPECT_EQ(l.code("20" + fs({"2", "1", "Иванова", "1"})), 0x01);  // already open
  EXPECT_EQ(l.status() & 0x04, 0x04);                              // the receipt opened the shift
  EXPECT_EQ(l.fields("A0")[2], std::to_string(0x12));

  EXPECT_EQ(l.first("30" + fs({"Хлеб", "001", "1.000", "12.5000", "1"})), "12.50");
  EXPECT_EQ(l.first("30" + fs({"Молоко", "002", "2.000", "3.3333", "2"})), "19.17");
  EXPECT_EQ(l.code("31" + fs({"Сыр", "003", "1.000", "100.0000", "1"})), 0x0E);  // more than the total
  EXPECT_EQ(l.first("31" + fs({"Хлеб", "001", "1.000", "12.5000", "1"})), "6.67");
  EXPECT_EQ(l.first("32" + fs({"%", "Скидка", "10.00"})), "6.00");
  EXPECT_EQ(l.first("33" + fs({"S", "Наценка", "1.0000"})), "7.00");
  EXPECT_EQ(l.code("32" + fs({"X", "?", "1.00"})), 0x03);
  EXPECT_EQ(l.code("32" + fs({"S", "Много", "100.0000"})), 0x0E);
  EXPECT_EQ(l.first("34"), "7.00");
  EXPECT_EQ(l.fields("A0")[2], std::to_string(0x22));
  EXPECT_EQ(l.code("30" + fs({"Хлеб", "001", "1.000", "1.0000", "1"})), 0x01);  // no lines after subtotal
  EXPECT_EQ(l.code("35" + fs({"16", "10.0000"})), 0x03);
  EXPECT_EQ(l.code("35" + fs({"1", "10.0000"})), 0x03);  // non-cash may not exceed what is due
  Fields pay = l.fields("35" + fs({"0", "10.0000"}));
  EXPECT_EQ(pay, (Fields{"0.00", "3.00"}));
  EXPECT_EQ(l.code("22"), 0);
  EXPECT_EQ(l.fields("A0")[2], "0");
  RegisterState s = l.sim.state();
  EXPECT_EQ(s.cashInDrawer, 70000);  // 7.00 roubles stay after the change
  EXPECT_EQ(s.receiptNumber, 1u);
  EXPECT_FALSE(s.receiptOpen);
  EXPECT_EQ(s.receiptLines.back(), "ИТОГ 7.00");
}

TEST(Register, CloseWithoutPaymentNeedsAutomaticPayment) {
  Line l;
  l.init();
  ASSERT_EQ(l.code("A2" + fs({"30", "0", "1"})), 0);  // automatic payment off
  ASSERT_EQ(l.code("20" + fs({"2", "1", "К", "1"})), 0);
  ASSERT_EQ(l.first("30" + fs({"Товар", "1", "1.000", "5.0000", "1"})), "5.00");
  EXPECT_EQ(l.code("22"), 0x01);
  EXPECT_EQ(l.code("A2" + fs({"30", "0", "0"})), 0x01);  // no settings change during a shift
  l.sim.setTable(30, 0, "0");
  EXPECT_EQ(l.code("22"), 0);
  EXPECT_EQ(l.sim.state().cashInDrawer, 50000);

  // cancelling counts the amount as annulled and leaves the cash alone
  ASSERT_EQ(l.code("20" + fs({"2", "1", "К", "1"})), 0);
  ASSERT_EQ(l.first("30" + fs({"Товар", "1", "3.000", "1.0000", "1"})), "3.00");
  EXPECT_EQ(l.code("23"), 0);
  EXPECT_EQ(l.code("23"), 0x01);
  EXPECT_EQ(l.sim.state().cashInDrawer, 50000);
}

TEST(Register, ReturnReceiptNeedsCashInTheDrawer) {
  Line l;
  l.init();
  ASSERT_EQ(l.code("20" + fs({"3", "1", "К", "1"})), 0);
  ASSERT_EQ(l.first("30" + fs({"Товар", "1", "1.000", "10.0000", "1"})), "10.00");
  EXPECT_EQ(l.code("22"), 0x0E);  // nothing in the drawer to pay back
  RegisterState s = l.sim.state();
  EXPECT_TRUE(s.receiptOpen);  // the refused close changed nothing
  EXPECT_EQ(s.cashInDrawer, 0);
  EXPECT_EQ(s.receiptNumber, 0u);
  EXPECT_EQ(l.code("36" + fs({"Внесение", "20.0000"})), 0x01);  // not inside a receipt
  ASSERT_EQ(l.code("23"), 0);
  ASSERT_EQ(l.first("36" + fs({"Внесение", "20.0000"})), "20.00");
  ASSERT_EQ(l.code("20" + fs({"3", "1", "К", "1"})), 0);
  ASSERT_EQ(l.first("30" + fs({"Товар", "1", "1.000", "10.0000", "1"})), "10.00");
  EXPECT_EQ(l.code("22"), 0);
  EXPECT_EQ(l.sim.state().cashInDrawer, 100000);
}

TEST(Register, CashInOutAndShiftReports) {
  Line l;
  l.init();
  EXPECT_EQ(l.code("61" + fs({"Кассир"})), 0x01);  // no shift to close
  EXPECT_EQ(l.first("A5" + fs({"1"})), "1");
  EXPECT_EQ(l.first("36" + fs({"Внесение", "100.0000"})), "100.00");
  EXPECT_EQ(l.code("36" + fs({"Выплата", "-200.0000"})), 0x0E);
  EXPECT_EQ(l.first("36" + fs({"Выплата", "-50.0000"})), "50.00");
  EXPECT_EQ(l.code("60" + fs({"Кассир"})), 0);
  EXPECT_EQ(l.status() & 0x04, 0x04);
  EXPECT_EQ(l.code("61" + fs({"Кассир"})), 0);
  EXPECT_EQ(l.status() & 0x04, 0);
  EXPECT_EQ(l.first("A5" + fs({"1"})), "2");
  EXPECT_EQ(l.first("A5" + fs({"2"})), "1");
  EXPECT_EQ(l.sim.state().cashInDrawer, 500000);  // carried into the next shift
  EXPECT_EQ(l.code("A5" + fs({"7"})), 0x03);
}

TEST(Register, InstallationAndFiscalisation) {
  Config cfg;
  cfg.noFiscalModule = true;
  cfg.inspectorPassword = "111";
  Line l(cfg);
  EXPECT_EQ(l.fields("A0")[0], "32");
  l.init();
  EXPECT_EQ(l.code("08" + fs({"111", "123456789012", "7700000000", "222"})), 0x01);  // not installed
  EXPECT_EQ(l.code("E0" + fs({"050108", "100000", ""})), 0x03);
  EXPECT_EQ(l.code("E0" + fs({"050108", "100000", "00012345"})), 0);
  EXPECT_EQ(l.fields("A0")[0], "0");
  EXPECT_EQ(l.sim.state().serialNumber, "00012345");
  EXPECT_EQ(l.code("E0" + fs({"050108", "100000", "00012345"})), 0x01);  // only once

  EXPECT_EQ(l.code("A5" + fs({"9"})), 0x40);  // no INN before registration
  EXPECT_EQ(l.code("A6"), 0x40);
  EXPECT_EQ(l.code("A5" + fs({"20"})), 0x40);
  EXPECT_EQ(l.code("62" + fs({"0", "1", "1", "111"})), 0x01);  // non-fiscal register
  EXPECT_EQ(l.code("08" + fs({"999", "123456789012", "7700000000", "222"})), 0x06);
  EXPECT_EQ(l.code("08" + fs({"111", "12345678901X", "7700000000", "222"})), 0x03);
  EXPECT_EQ(l.status() & 0x02, 0x02);
  EXPECT_EQ(l.code("08" + fs({"111", "123456789012", "7700000000", "222"})), 0);
  EXPECT_EQ(l.status() & 0x02, 0);
  EXPECT_EQ(l.first("A6"), "123456789012");
  EXPECT_EQ(l.first("A5" + fs({"9"})), "7700000000");
  Fields last = l.fields("A5" + fs({"20"}));
  ASSERT_EQ(last.size(), 2u);
  EXPECT_EQ(last[0], l.fields("A7\x1c")[0]);
  EXPECT_EQ(l.sim.state().inspectorPassword, "222");

  // The clock may not go back before the last fiscal operation.
  EXPECT_EQ(l.code("A3" + fs({"040108", "090000"})), 0x0C);
  EXPECT_EQ(l.code("00" + fs({"040108", "090000"})), 0x0C);  // nor may the host's date be before it
  EXPECT_EQ(l.code("A3" + fs({"060108", "090000"})), 0);
  EXPECT_EQ(l.code("00" + fs({"060108", "090000"})), 0);
  EXPECT_EQ(l.fields("A7\x1c")[0], "060108");
  ASSERT_EQ(l.code("09"), 0);  // a fiscal register writes its documents to the EEJ
  ASSERT_EQ(l.code("36" + fs({"Внесение", "1.0000"})), 0);
  EXPECT_EQ(l.code("A3" + fs({"070108", "090000"})), 0x01);  // not while the shift is open
}

TEST(Register, EejActivationAndArchive) {
  Line l;
  l.init();
  EXPECT_EQ(l.status() & 0x20, 0x20);
  EXPECT_EQ(l.code("A4"), 0x42);
  EXPECT_EQ(l.code("A4" + fs({"2"})), 0x40);
  EXPECT_EQ(l.code("64" + fs({"1"})), 0x42);
  EXPECT_EQ(l.code("68"), 0x42);
  EXPECT_EQ(l.code("09"), 0);
  EXPECT_EQ(l.code("09"), 0x42);
  EXPECT_EQ(l.status() & 0x30, 0);
  EXPECT_EQ(l.code("A4"), 0);
  std::string reg = l.first("A5" + fs({"11"}));
  EXPECT_EQ(reg.size(), 10u);
  EXPECT_NE(l.first("A4" + fs({"2"})).find(reg), std::string::npos);
  EXPECT_EQ(l.code("68"), 0);
  EXPECT_EQ(l.code("65" + fs({"1"})), 0x48);  // no document yet
  EXPECT_EQ(l.code("64" + fs({"5"})), 0x48);  // no such shift

  ASSERT_EQ(l.code("36" + fs({"Внесение", "1.0000"})), 0);
  EXPECT_EQ(l.code("65" + fs({"1"})), 0);
  EXPECT_EQ(l.code("0A"), 0x01);  // shift open
  ASSERT_EQ(l.code("61" + fs({"К"})), 0);
  EXPECT_EQ(l.code("0A"), 0);
  EXPECT_EQ(l.status() & 0x10, 0x10);
  EXPECT_EQ(l.code("20" + fs({"2", "1", "К", "1"})), 0x01);  // archive closed: no documents
  EXPECT_EQ(l.code("09"), 0);                                // a new unit
  EXPECT_NE(l.first("A5" + fs({"11"})), reg);
  EXPECT_EQ(l.code("20" + fs({"2", "1", "К", "1"})), 0);
}

TEST(Register, DisplayAndDrawer) {
  Line l;
  EXPECT_EQ(l.code("81" + fs({"Тестовая", "Продажа"})), 0x0F);
  l.sim.setDisplayAttached(true);
  EXPECT_EQ(l.code("81" + fs({"Тестовая", "Продажа"})), 0);
  EXPECT_EQ(l.sim.state().displayLines, (Fields{"Тестовая", "Продажа"}));
  EXPECT_EQ(l.code("80"), 0);
  EXPECT_EQ(l.code("80"), 0);
  EXPECT_EQ(l.sim.state().drawerOpenCount, 2);
}

TEST(Register, ForcedReplies) {
  Line l;
  Faults f;
  f.forced["A1"] = {0x40, {}};
  f.forced["A5"] = {0, {"Очень длинное значение поля, которое длиннее сорока знаков"}};
  l.sim.setFaults(f);
  EXPECT_EQ(l.code("A1" + fs({"1", "0"})), 0x40);
  EXPECT_EQ(l.first("A5" + fs({"0"})), "Очень длинное значение поля, которое длиннее сорока знаков");
  EXPECT_EQ(l.code("A0"), 0);
}

// ---- long reports ----------------------------------------------------------

TEST(Reports, LongReportSendsAcksThenTheReply) {
  Config cfg;
  cfg.reportDurationMs = 1300;
  cfg.reportAckIntervalMs = 300;
  Line l(cfg);
  l.init();
  ASSERT_EQ(l.code("09"), 0);
  auto t0 = std::chrono::steady_clock::now();
  Bytes r = l.ask("66" + fs({"1", "1", "1"}), "");
  auto took = std::chrono::steady_clock::now() - t0;
  EXPECT_EQ(test::resultOf(r), 0);
  EXPECT_GE(took, 1200ms);
  size_t acks = 0;
  while (acks < r.size() && r[acks] == kAck) ++acks;
  EXPECT_GE(acks, 3u);
  EXPECT_EQ(r[acks], kStx);
  EXPECT_EQ(l.sim.state().lastReportCode, "66");
  EXPECT_FALSE(l.sim.state().reportRunning);
  EXPECT_EQ(l.code("66" + fs({"1", "3", "2"})), 0x03);  // range backwards
}

TEST(Reports, CanCancelsARunningReport) {
  Config cfg;
  cfg.reportDurationMs = 20000;
  cfg.reportAckIntervalMs = 200;
  cfg.cancelResult = 0x0E;
  Line l(cfg);
  l.init();
  ASSERT_EQ(l.code("09"), 0);
  l.c.write(wrapEnvelope(test::request("69" + fs({"1"}))));
  Bytes ack = l.c.readN(1, 3s);
  ASSERT_EQ(ack, Bytes{kAck});
  EXPECT_TRUE(l.sim.state().reportRunning);
  auto t0 = std::chrono::steady_clock::now();
  l.c.write({kCan});
  Bytes r = l.c.readReply(5s);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 3s);
  EXPECT_EQ(test::resultOf(r), 0x0E);
  EXPECT_EQ(l.sim.state().reportsCancelled, 1);
  // the register is usable again at once
  EXPECT_EQ(l.code("A0"), 0);
}

TEST(Reports, TheAcksOfARunningReportCanBeAwaited) {
  Config cfg;
  cfg.reportDurationMs = 20000;
  cfg.reportAckIntervalMs = 10000;
  Line l(cfg);
  l.init();
  ASSERT_EQ(l.code("09"), 0);
  EXPECT_FALSE(l.sim.waitForReportAcks(0, 10ms)) << "no report is printing";
  l.c.write(wrapEnvelope(test::request("69" + fs({"1"}))));
  l.c.write({kEnq});
  EXPECT_TRUE(l.sim.waitForReportAcks(1, 3s)) << "the ACK answering ENQ counts";
  EXPECT_FALSE(l.sim.waitForReportAcks(2, 200ms)) << "the next one is due only after the interval";
  l.c.write({kCan});
  EXPECT_EQ(test::resultOf(l.c.readReply(5s)), 0x0E);
  EXPECT_FALSE(l.sim.waitForReportAcks(1, 50ms)) << "the report is over";
}

// The Z report closes the shift first, then prints with ACKs; a CAN cuts
// the printout short but the shift stays closed and the answer is 00.
TEST(Reports, ShiftReportsPrintWithAcks) {
  Config cfg;
  cfg.shiftReportMs = 900;
  cfg.reportAckIntervalMs = 200;
  Line l(cfg);
  l.init();
  ASSERT_EQ(l.code("36" + fs({"Внесение", "1.0000"})), 0);
  Bytes r = l.ask("60" + fs({"К"}));
  EXPECT_TRUE(r.size() > 3 && r[0] == kAck && r[1] == kAck && r[2] == kAck);
  EXPECT_EQ(test::resultOf(r), 0);
  l.c.write(wrapEnvelope(test::request("61" + fs({"К"}), "WKRD", 0x20)));
  ASSERT_EQ(l.c.readN(1, 3s), Bytes{kAck});
  l.c.write({kCan});
  EXPECT_EQ(test::resultOf(l.c.readReply(3s)), 0);
  EXPECT_EQ(l.sim.state().lastClosedShift, 1u);
  EXPECT_EQ(l.code("61" + fs({"К"})), 0x01);  // nothing left to close
}

// What a receipt touches beyond its amounts: the EEJ of a fiscal register,
// the customer display with automatic output, and the taxes by department.
TEST(Receipts, EejDisplayAndTaxes) {
  Line l;
  l.init();
  l.sim.setStatus(0, 0x20, 0);  // fiscal, EEJ not activated
  EXPECT_EQ(l.code("20" + fs({"2", "1", "К", "1"})), 0x42);
  EXPECT_EQ(l.code("36" + fs({"Внесение", "1.0000"})), 0x42);
  ASSERT_EQ(l.code("09"), 0);

  ASSERT_EQ(l.code("A2" + fs({"10", "0", "1"})), 0);  // automatic display output
  ASSERT_EQ(l.code("20" + fs({"2", "1", "К", "1"})), 0);
  EXPECT_EQ(l.code("30" + fs({"Хлеб", "1", "1.000", "118.0000", "1"})), 0x0F);
  l.sim.setDisplayAttached(true);
  EXPECT_EQ(l.first("30" + fs({"Хлеб", "1", "1.000", "118.0000", "1"})), "118.00");
  EXPECT_EQ(l.sim.state().displayLines, (Fields{"Хлеб", "118.00"}));
  l.sim.setTable(10, 0, "0");  // tables are not written over the line while the shift is open
  // department 2 carries tax 1 (10%), department 4 tax 3 (0%: nothing),
  // department 5 an unnamed tax
  EXPECT_EQ(l.first("30" + fs({"Сыр", "2", "1.000", "110.0000", "2"})), "228.00");
  EXPECT_EQ(l.first("30" + fs({"Соль", "3", "1.000", "10.0000", "4"})), "238.00");
  EXPECT_EQ(l.first("30" + fs({"Лук", "4", "1.000", "10.0000", "5"})), "248.00");
  EXPECT_EQ(l.first("31" + fs({"Сыр", "2", "0.500", "110.0000", "2"})), "193.00");
  ASSERT_EQ(l.code("22"), 0);
  auto taxes = [&] { return RegisterModel::parseNvrImage(l.sim.nvrImage(), 201); };
  const Totals first = taxes();
  const int64_t* t = first.taxSales;
  EXPECT_EQ(t[0], 180000);  // 18% included in 118.00
  EXPECT_EQ(t[1], 50000);   // 10% included in 55.00
  for (int i = 2; i < 6; ++i) EXPECT_EQ(t[i], 0) << i;

  // A discount changes the department's share; table 12 bit 4 rounds the
  // tax of each line instead of the share's.
  ASSERT_EQ(l.code("20" + fs({"2", "1", "К", "1"})), 0);
  ASSERT_EQ(l.first("30" + fs({"А", "1", "1.000", "1.1800", "1"})), "1.18");
  ASSERT_EQ(l.first("32" + fs({"%", "Скидка", "50.00"})), "0.59");
  ASSERT_EQ(l.code("22"), 0);
  EXPECT_EQ(taxes().taxSales[0], 180000 + 900);  // 18% included in 0.59
  l.sim.setTable(12, 0, "16");
  ASSERT_EQ(l.code("20" + fs({"2", "1", "К", "1"})), 0);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(l.code("30" + fs({"Б", "1", "1.000", "0.1000", "1"})), 0);
  ASSERT_EQ(l.code("22"), 0);
  EXPECT_EQ(taxes().taxSales[0], 180000 + 900 + 600);  // 0.02 a line; once for 0.30 it would be 0.05
}

// The inspector password is checked before the range, a wrong one stays
// visible in status bit 7 until the right one comes; a wrong data-exchange
// password leaves the bit alone.  Only ranges with recorded shifts print.
TEST(Reports, FiscalReportChecksThePasswordThenTheRecordedShifts) {
  Config cfg;
  cfg.reportDurationMs = 50;
  Line l(cfg);
  l.init();
  ASSERT_EQ(l.code("08" + fs({"0", "1", "2", "3"})), 0);
  EXPECT_EQ(l.code("62" + fs({"0", "1", "1", "3"})), 0x03);  // nothing recorded yet
  EXPECT_EQ(l.code("62" + fs({"0", "1", "1", "0"})), 0x06);
  EXPECT_EQ(l.status() & 0x80, 0x80);
  EXPECT_EQ(test::resultOf(l.ask("A0", "XXXX")), 0x06);
  EXPECT_EQ(l.status() & 0x80, 0x80);
  EXPECT_EQ(l.code("08" + fs({"0", "1", "2", "3"})), 0x06);  // registration checks the same password
  EXPECT_EQ(l.code("62" + fs({"0", "1", "1", "3"})), 0x03);
  EXPECT_EQ(l.status() & 0x80, 0);
  EXPECT_EQ(test::resultOf(l.ask("A0", "XXXX")), 0x06);
  EXPECT_EQ(l.status() & 0x80, 0);

  l.sim.addFiscalHistory(3);  // shifts 1..3, closed 3, 2 and 1 days ago
  EXPECT_EQ(l.sim.state().shiftNumber, 4u);
  EXPECT_EQ(l.code("62" + fs({"0", "3", "9", "3"})), 0);
  EXPECT_EQ(l.code("62" + fs({"1", "4", "9", "3"})), 0x03);
  const std::string today = l.fields("A7\x1c")[0];
  EXPECT_EQ(l.code("63" + fs({"1", today, today, "3"})), 0x03);  // nothing closed today
  EXPECT_EQ(l.code("63" + fs({"1", "010100", today, "3"})), 0);
  EXPECT_EQ(l.code("63" + fs({"1", today, "010100", "3"})), 0x03);  // backwards
}

// Closing the archive stops documents, not reports: every report and
// document of the EEJ and the fiscal memory still prints.
TEST(Reports, AClosedArchiveStillPrintsItsReports) {
  Config cfg;
  cfg.reportDurationMs = 20;
  Line l(cfg);
  l.sim.setReady();
  l.sim.addFiscalHistory(2);
  ASSERT_EQ(l.code("36" + fs({"Внесение", "1.0000"})), 0);
  ASSERT_EQ(l.code("61" + fs({"К"})), 0);
  ASSERT_EQ(l.code("0A"), 0);
  ASSERT_EQ(l.status() & 0x10, 0x10);
  const std::string today = l.fields("A7\x1c")[0];
  for (const std::string& body :
       {"62" + fs({"0", "1", "3", "0"}), "63" + fs({"0", "010100", today, "0"}), "64" + fs({"1"}), "65" + fs({"1"}),
        "66" + fs({"0", "1", "3"}), "67" + fs({"1", today, today}), std::string("68"), "69" + fs({"3"})})
    EXPECT_EQ(l.code(body), 0) << body;
  EXPECT_EQ(l.code("20" + fs({"2", "1", "К", "1"})), 0x01);
  // The EEJ holds nothing after the current shift or today.
  EXPECT_EQ(l.code("66" + fs({"0", "5", "9"})), 0x48);
  EXPECT_EQ(l.code("67" + fs({"0", "010199", "020199"})), 0x48);
}

TEST(Reports, SetReadyPutsTheRegisterInWorkingOrder) {
  Config cfg;
  cfg.reportDurationMs = 50;
  cfg.noFiscalModule = true;
  Line l(cfg);
  l.sim.setReady();
  l.sim.addFiscalHistory(1);
  EXPECT_EQ(l.fields("A0"), (Fields{"0", "0", "0"}));
  for (const char* body : {"64"
                           "1\x1c",
                           "69"
                           "1\x1c",
                           "66"
                           "0\x1c"
                           "1\x1c"
                           "1\x1c",
                           "62"
                           "0\x1c"
                           "1\x1c"
                           "1\x1c"
                           "0\x1c"})
    EXPECT_EQ(l.code(body), 0) << body;
  EXPECT_EQ(l.code("20" + fs({"2", "1", "К", "1"})), 0);
}

// ---- memory and the NVR image ----------------------------------------------

TEST(Nvr, ImageOfAnEmptyShiftHasTheKnownChecksum) {
  Totals t;
  t.shift = 0;
  t.openDay = 1;
  t.openMonth = 1;
  t.openYear = 2007;
  for (uint16_t v : {120, 125, 201, 301, 250}) {
    auto img = RegisterModel::buildNvrImage(t, v);
    ASSERT_EQ(img.size(), Simulator::nvrLength(v));
    EXPECT_EQ(img[img.size() - 2], 0x55);
    EXPECT_EQ(img.back(), 0xCA) << v;
    EXPECT_EQ(img[64], 0x80);
  }
  EXPECT_EQ(Simulator::nvrLength(124), 425u);
  EXPECT_EQ(Simulator::nvrLength(200), 563u);
  EXPECT_EQ(Simulator::nvrLength(202), 425u);
  EXPECT_EQ(Simulator::nvrLength(301), 659u);
}

TEST(Nvr, ImageRoundTripsThroughTheLayout) {
  Totals t;
  t.shift = 7;
  t.cash = 123456;
  t.sales[0] = 40;  // 0.004: its flag word stays 0
  t.sales[1] = 60;  // 0.006: flag word 1
  t.returns[15] = -5;
  t.paidIn = 1;
  t.deptSales[5] = 999;
  t.taxReturns[2] = 77;
  for (uint16_t v : {120, 150, 201}) {
    auto img = RegisterModel::buildNvrImage(t, v);
    const size_t flags = v == 120 ? 75 : 77;
    EXPECT_EQ(img[flags], 0);
    EXPECT_EQ(img[flags + 2], 1);
    EXPECT_EQ(img[flags + 64], 1);
    EXPECT_EQ(img[65], 1);  // sales sum above zero
    Totals back = RegisterModel::parseNvrImage(img, v);
    EXPECT_EQ(back.cash, 123456);
    EXPECT_EQ(back.sales[1], 60);
    EXPECT_EQ(back.returns[15], -5);
    EXPECT_EQ(back.deptSales[5], v == 201 ? 999 : 0);
    EXPECT_EQ(back.taxReturns[2], v == 120 ? 0 : 77);
  }
}

std::string hexField(const Bytes& reply) {
  Fields f = test::fieldsOf(reply);
  return f.empty() ? "" : f[0];
}

TEST(Nvr, ReadFaultAndRepairOverTheLine) {
  Line l;
  l.init();
  ASSERT_EQ(l.first("36" + fs({"Внесение", "12.3400"})), "12.34");
  std::vector<uint8_t> image = l.sim.nvrImage();
  ASSERT_EQ(image.size(), 659u);
  EXPECT_EQ(image.back(), Simulator::nvrChecksum(image));

  // E1 gives the image 32 bytes at a time, upper-case hex.
  std::string hex;
  for (size_t at = 0; at < image.size(); at += 32) {
    size_t n = std::min<size_t>(32, image.size() - at);
    Bytes r = l.ask("E1" + fs({"3", std::to_string(0xF000 + at), std::to_string(n)}));
    ASSERT_EQ(test::resultOf(r), 0);
    hex += hexField(r);
  }
  EXPECT_EQ(hex, hexUpper(image));
  EXPECT_EQ(l.code("E1" + fs({"3", "61440", "33"})), 0x03);
  EXPECT_EQ(l.code("E1" + fs({"3", "65530", "32"})), 0x03);  // past the end of the area

  Faults f;
  f.truncatedMemBlock = true;
  f.lowerCaseMemHex = true;
  l.sim.setFaults(f);
  std::string shortHex = hexField(l.ask("E1" + fs({"3", "61472", "32"})));  // holds the cash
  EXPECT_LT(shortHex.size(), 64u);
  EXPECT_NE(shortHex.find_first_of("abcdef"), std::string::npos);
  l.sim.setFaults({});

  // The fault: fatal bit 0, the stored checksum no longer fits, no documents.
  l.sim.setNvrFault(true);
  EXPECT_EQ(l.fields("A0")[0], "1");
  auto broken = l.sim.nvrImage();
  EXPECT_NE(broken.back(), Simulator::nvrChecksum(broken));
  EXPECT_EQ(l.code("60" + fs({"К"})), 0x01);

  // Rewriting with a wrong checksum keeps the fault; a right one clears it
  // and the register takes its totals from the image.
  Totals t;
  t.shift = 1;
  t.cash = 990000;
  t.openDay = 5;
  t.openMonth = 1;
  t.openYear = 2008;
  auto good = RegisterModel::buildNvrImage(t, 201);
  auto bad = good;
  bad.back() ^= 1;
  auto writeAll = [&](const std::vector<uint8_t>& img) {
    for (size_t at = 0; at < img.size(); at += 32) {
      size_t n = std::min<size_t>(32, img.size() - at);
      std::vector<uint8_t> part(img.begin() + static_cast<long>(at), img.begin() + static_cast<long>(at + n));
      ASSERT_EQ(l.code("E7" + fs({"3", std::to_string(0xF000 + at), std::to_string(n), hexUpper(part)})), 0);
    }
  };
  writeAll(bad);
  EXPECT_EQ(l.fields("A0")[0], "1");
  writeAll(good);
  EXPECT_EQ(l.fields("A0")[0], "0");
  EXPECT_EQ(l.sim.state().cashInDrawer, 990000);
  EXPECT_EQ(l.code("E7" + fs({"3", "61440", "2", "0AF"})), 0x03);
  EXPECT_EQ(l.code("E7" + fs({"3", "61440", "2", "0AFG"})), 0x03);
  EXPECT_EQ(l.code("E7" + fs({"1", "16", "2", "0aff"})), 0);
  EXPECT_EQ(l.sim.memory(1, 16, 2), (std::vector<uint8_t>{0x0A, 0xFF}));
}

// Writes the image block by block as the driver does; `blocks` limits how
// many of them go out.
void writeImage(Line& l, const std::vector<uint8_t>& img, size_t blocks = SIZE_MAX) {
  for (size_t at = 0, k = 0; at < img.size() && k < blocks; at += 32, ++k) {
    size_t n = std::min<size_t>(32, img.size() - at);
    std::vector<uint8_t> part(img.begin() + static_cast<long>(at), img.begin() + static_cast<long>(at + n));
    ASSERT_EQ(l.code("E7" + fs({"3", std::to_string(0xF000 + at), std::to_string(n), hexUpper(part)})), 0);
  }
}

Totals edited() {
  Totals t;
  t.shift = 9;
  t.cash = 567800;
  t.sales[1] = 55000;
  t.deptReturns[5] = 700;
  t.openDay = 3;
  t.openMonth = 4;
  t.openYear = 2012;
  return t;
}

TEST(Nvr, HealthyRegisterKeepsAWrittenImageAndTakesItWithTheLastBlock) {
  Line l;
  l.init();
  ASSERT_EQ(l.first("36" + fs({"Внесение", "12.3400"})), "12.34");
  const std::vector<uint8_t> img = RegisterModel::buildNvrImage(edited(), 201);
  writeImage(l, img, 20);  // all but the block with the checksum
  // The blocks are stored as written, the totals not yet taken.
  EXPECT_EQ(std::vector<uint8_t>(img.begin(), img.begin() + 640), l.sim.memory(3, 0xF000, 640));
  EXPECT_EQ(l.sim.state().cashInDrawer, 123400);  // 12.34 paid in
  EXPECT_EQ(l.fields("A0")[0], "0");
  writeImage(l, img);
  EXPECT_EQ(l.sim.nvrImage(), img);
  EXPECT_EQ(l.fields("A0")[0], "0");
  EXPECT_EQ(l.sim.state().cashInDrawer, 567800);
  // The register then works on from the written totals.
  ASSERT_EQ(l.first("36" + fs({"Внесение", "1.0000"})), "57.78");
  Totals after = RegisterModel::parseNvrImage(l.sim.nvrImage(), 201);
  EXPECT_EQ(after.cash, 577800);
  EXPECT_EQ(after.sales[1], 55000);
  EXPECT_EQ(after.deptReturns[5], 700);

  // A broken image written whole is the fault.
  auto bad = img;
  bad[100] ^= 1;
  writeImage(l, bad);
  EXPECT_EQ(l.fields("A0")[0], "1");
  EXPECT_EQ(l.sim.nvrImage(), bad);
}

TEST(Nvr, FaultStaysUntilTheLastBlockEvenWhenAHalfImageAddsUp) {
  Line l;
  l.sim.setNvrFault(true);
  const std::vector<uint8_t> stored = l.sim.nvrImage();
  // A first block chosen so that it with the rest of the broken image adds
  // up to the stored checksum.
  std::vector<uint8_t> img = RegisterModel::buildNvrImage(edited(), 201);
  unsigned sum = 0x35;
  for (size_t i = 1; i < 32; ++i) sum += img[i];
  for (size_t i = 32; i + 1 < stored.size(); ++i) sum += stored[i];
  img[0] = static_cast<uint8_t>(stored.back() - sum);
  img.back() = Simulator::nvrChecksum(img);
  writeImage(l, img, 1);
  EXPECT_EQ(l.fields("A0")[0], "1");
  EXPECT_EQ(l.sim.state().cashInDrawer, 0);
  writeImage(l, img);
  EXPECT_EQ(l.fields("A0")[0], "0");
  EXPECT_EQ(l.sim.state().cashInDrawer, 567800);
}

// ---- logo ------------------------------------------------------------------

TEST(Logo, HeaderAckStreamReply) {
  Config cfg;
  cfg.interByteTimeoutMs = 1000;
  Line l(cfg);
  // header goes bare, as the raw write of the upload does
  l.c.write(test::request("E2" + fs({"5"})));
  EXPECT_EQ(l.c.readN(1), Bytes{kAck});
  l.c.write({0x1B, 0x02, 0x03, 0x05, 0x18});  // control bytes inside the stream are data
  EXPECT_EQ(test::resultOf(l.c.readReply()), 0);
  EXPECT_EQ(l.sim.logo(), (Bytes{0x1B, 0x02, 0x03, 0x05, 0x18}));
  EXPECT_EQ(l.code("E3"), 0);
  EXPECT_TRUE(l.sim.logo().empty());

  // a stream that does not start with ESC is refused
  l.c.write(test::request("E2" + fs({"2"})));
  EXPECT_EQ(l.c.readN(1), Bytes{kAck});
  l.c.write({'B', 'M'});
  EXPECT_EQ(test::resultOf(l.c.readReply()), 0x03);

  // a stream that stalls ends with 05
  l.c.write(test::request("E2" + fs({"10"})));
  EXPECT_EQ(l.c.readN(1), Bytes{kAck});
  l.c.write({0x1B, 0x00});
  EXPECT_EQ(test::resultOf(l.c.readReply(3s)), 0x05);
  EXPECT_TRUE(l.sim.logo().empty());

  Faults f;
  f.logoHeaderResult = 0x01;
  l.sim.setFaults(f);
  l.c.write(test::request("E2" + fs({"5"})));
  Bytes r = l.c.readReply();
  ASSERT_FALSE(r.empty());
  EXPECT_EQ(r[0], kStx);
  EXPECT_EQ(test::resultOf(r), 0x01);
  EXPECT_EQ(l.code("E2" + fs({"0"})), 0x03);
}

// ---- state file ------------------------------------------------------------

TEST(StateFile, SettingsSurviveARestart) {
  const std::string path = testing::TempDir() + "termina-sim-state-" + std::to_string(::getpid());
  std::filesystem::remove(path);
  Config cfg;
  cfg.statePath = path;
  {
    Line l(cfg);
    l.init();
    ASSERT_EQ(l.code("A2" + fs({"20", "1", "Строка\\2"})), 0);
    ASSERT_EQ(l.code("E0" + fs({"050108", "100000", "1"})), 0x01);
    ASSERT_EQ(l.code("36" + fs({"Внесение", "5.0000"})), 0);
    ASSERT_EQ(l.code("61" + fs({"К"})), 0);
    ASSERT_EQ(l.code("A2" + fs({"31", "0", "ABCD"})), 0);
    l.sim.setVersion(125);
    l.c.write(test::request("E2" + fs({"3"}), "ABCD"));
    ASSERT_EQ(l.c.readN(1), Bytes{kAck});
    l.c.write({0x1B, 0x0A, 0x00});
    ASSERT_EQ(test::resultOf(l.c.readReply()), 0);
  }
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  {
    Simulator sim(cfg);
    RegisterState s = sim.state();
    EXPECT_EQ(s.version, 125);
    EXPECT_EQ(s.password, "ABCD");
    EXPECT_EQ(s.tables.at({20, 1}), "Строка\\2");
    EXPECT_EQ(s.shiftNumber, 2u);
    EXPECT_EQ(s.cashInDrawer, 50000);
    EXPECT_EQ(s.logo, (Bytes{0x1B, 0x0A, 0x00}));
    EXPECT_FALSE(s.initDone);  // a restart is a power-on
    EXPECT_EQ(sim.nvrImage().back(), Simulator::nvrChecksum(sim.nvrImage()));
  }
  // A file that is not a state file is ignored, not half-loaded.
  {
    std::ofstream(path) << "garbage\nversion=7\n";
    Simulator sim(cfg);
    EXPECT_EQ(sim.state().version, 201);
  }
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace termina::sim
