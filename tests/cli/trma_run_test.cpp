// SPDX-License-Identifier: GPL-3.0-or-later
// The real trma executable against the simulator: over a pseudo terminal
// linked at $TERMINA_ROOT/dev/com1 and over loopback TCP.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>

#include "run_process.h"
#include "trma_fixture.h"
#include "simulator.h"
#include "temp_dir.h"

namespace {

using termina::sim::Config;
using termina::sim::Simulator;
using termina::test::ProcessResult;
using termina::test::readFile;
using termina::test::runProcess;
using termina::test::TempDir;

class Trma : public termina::test::TrmaRoot {
 protected:
  // trma with a small patience.
  ProcessResult trma(std::vector<std::string> args) { return runTrma({"--timeout", "3"}, args); }

  std::vector<std::string> codesSent(const Simulator& sim) {
    std::vector<std::string> codes;
    for (const auto& r : sim.requests()) codes.push_back(r.code);
    return codes;
  }

  static bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
};

// A loopback port with nothing listening on it.
uint16_t deadPort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  EXPECT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  EXPECT_EQ(::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len), 0);
  ::close(s);
  return ntohs(a.sin_port);
}

TEST_F(Trma, StatusOverPseudoTerminal) {
  Config cfg;
  cfg.version = 201;
  Simulator sim(cfg);
  sim.openPty(root + "/dev/com1");
  sim.setStatus(0x80, 0x04, 0x21);
  sim.setPrinterStatus(0x02);
  const ProcessResult r = trma({"--port", "1", "--serial", "status"});
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(has(r.out, "Версия прошивки: 201\nМодель: ТЕРМИНА-2\n")) << r.out;
  EXPECT_TRUE(has(r.out, "Статус0: 0x80\n  Расхождение данных ФР и ЭКЛЗ\n")) << r.out;
  EXPECT_TRUE(has(r.out, "Статус1: 0x04\n  Смена открыта\n")) << r.out;
  EXPECT_TRUE(has(r.out, "Тип документа: 1\nСостояние документа: 2\n")) << r.out;
  EXPECT_TRUE(has(r.out, "Статус печатающего устройства: 0x02\n  В принтере нет бумаги\n")) << r.out;
  // Probe and password check, then the program's status command: status,
  // version, printer status.
  EXPECT_EQ(codesSent(sim), (std::vector<std::string>{"A5", "A0", "A5", "A9"}));
}

TEST_F(Trma, StatusOverTcpOnAnotherModelAsksNoPrinterStatus) {
  Config cfg;
  cfg.version = 301;
  Simulator sim(cfg);
  const uint16_t port = sim.listenTcp();
  const ProcessResult r = trma({"--tcp", "127.0.0.1:" + std::to_string(port), "status"});
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(has(r.out, "Модель: ТЕРМИНА-3\n")) << r.out;
  EXPECT_FALSE(has(r.out, "печатающего")) << r.out;
  EXPECT_EQ(codesSent(sim), (std::vector<std::string>{"A5", "A0", "A5"}));
  for (const auto& req : sim.requests()) EXPECT_TRUE(req.viaTcpEnvelope);
}

TEST_F(Trma, PasswordIsStoredAndAWrongOneFails) {
  Config cfg;
  cfg.version = 201;
  cfg.password = "СЕКРЕТ";
  Simulator sim(cfg);
  sim.openPty(root + "/dev/com1");

  ProcessResult r = trma({"--port", "1", "--serial", "--password", "НЕТОТ", "version"});
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 6);
  EXPECT_TRUE(has(r.err, "Неверный пароль")) << r.err;
  EXPECT_TRUE(r.out.empty()) << r.out;

  r = trma({"--password", "СЕКРЕТ", "version"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "201\n");
  EXPECT_TRUE(has(readFile(ini), "pswd=\xD1\xC5\xCA\xD0\xC5\xD2")) << "stored in code page 1251";
}

TEST_F(Trma, SilentLineIsNoRegister) {
  Simulator sim;
  sim.openPty(root + "/dev/com1");
  termina::sim::Faults f;
  f.silent = true;
  sim.setFaults(f);
  const ProcessResult r = trma({"--port", "1", "--serial", "status"});
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 19);
  EXPECT_TRUE(has(r.err, "Регистратор не обнаружен")) << r.err;
}

TEST_F(Trma, DeadTcpPort) {
  const ProcessResult r = trma({"--tcp", "127.0.0.1:" + std::to_string(deadPort()), "status"});
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 80);
  EXPECT_TRUE(has(r.err, "Соединение с удаленным компьютером не установлено")) << r.err;
}

TEST_F(Trma, MissingAndBusyDevicesAreExplained) {
  const std::string link = root + "/dev/com1";
  ASSERT_EQ(::symlink((root + "/dev/gone").c_str(), link.c_str()), 0);
  ProcessResult r = trma({"--port", "1", "--serial", "status"});
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 18);
  EXPECT_TRUE(has(r.err, "Порт недоступен")) << r.err;
  EXPECT_TRUE(has(r.err, "Устройство " + link + " не существует")) << r.err;
  ::unlink(link.c_str());

  Simulator sim;
  sim.openPty(link);
  const int holder = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  r = trma({"status"});
  ::close(holder);
  EXPECT_EQ(r.exitCode, 18);
  EXPECT_TRUE(has(r.err, "занято другой программой")) << r.err;
}

TEST_F(Trma, OptionsAloneOnlyStoreTheSettings) {
  ProcessResult r = trma({"--port", "3", "--speed", "9600", "--tcp", "gw:7000"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const std::string text = readFile(ini);
  EXPECT_TRUE(has(text, "[General]\nPort=3\nSpeed=9600\n")) << text;
  EXPECT_TRUE(has(text, "[TCP]\nMode=1\nHostName=gw\nHostPort=7000\n")) << text;
  r = trma({"--serial"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(has(readFile(ini), "Mode=0\nHostName=gw\n"));
}

TEST_F(Trma, UsageErrorsTouchNothing) {
  ProcessResult r = trma({"--port", "2", "--speed", "14400", "status"});
  EXPECT_EQ(r.exitCode, 100);
  EXPECT_TRUE(has(r.err, "--speed")) << r.err;
  EXPECT_FALSE(std::filesystem::exists(ini)) << "nothing stored when the line is refused";
  r = trma({"frobnicate"});
  EXPECT_EQ(r.exitCode, 100);
  r = trma({"config", "get", "2"});
  EXPECT_EQ(r.exitCode, 100);
  r = trma({"x-report", "оператор-с-очень-длинным-именем"});
  EXPECT_EQ(r.exitCode, 100);
  r = trma({});  // --root and --timeout alone store nothing: no command is a mistake
  EXPECT_EQ(r.exitCode, 100);
  EXPECT_TRUE(has(r.err, "Использование: trma")) << r.err;
}

TEST_F(Trma, HelpForTheToolAndEachCommand) {
  ProcessResult r = trma({"--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(has(r.out, "  status")) << r.out;
  EXPECT_TRUE(has(r.out, "Коды завершения")) << r.out;
  r = trma({"config", "--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(has(r.out, "Использование: trma [ПАРАМЕТРЫ] config get ТАБЛИЦА ПОЛЕ")) << r.out;
  EXPECT_FALSE(std::filesystem::exists(ini)) << "help writes no settings";
}

TEST_F(Trma, ConfigWriteThenRead) {
  Simulator sim;
  sim.openPty(root + "/dev/com1");
  ProcessResult r = trma({"--port", "1", "--serial", "config", "set", "20", "1", "Магазин №1"});
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(sim.table(20, 1), "Магазин №1");
  sim.setTable(20, 2, "Касса №2 «Север»");
  r = trma({"config", "get", "20", "2"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  // « and » have no counterpart in the register's code page 866.
  EXPECT_EQ(r.out, "Касса №2 ?Север?\n");
}

TEST_F(Trma, ReportsClockAndQueries) {
  Simulator sim;
  sim.openPty(root + "/dev/com1");
  // The clock first: the register refuses reports until function 0 ran.
  ProcessResult r = trma({"--port", "1", "--serial", "set-clock"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(has(r.out, "Часы регистратора установлены: ")) << r.out;
  const auto codes = codesSent(sim);
  ASSERT_GE(codes.size(), 2u);
  EXPECT_EQ(codes[codes.size() - 2], "A3");
  EXPECT_EQ(codes.back(), "00");
  EXPECT_TRUE(sim.state().initDone);

  r = trma({"x-report", "Иванов"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "X-отчет напечатан\n");
  const auto reqs = sim.requests();
  ASSERT_FALSE(reqs.empty());
  EXPECT_EQ(reqs.back().code, "60");
  ASSERT_FALSE(reqs.back().fieldsUtf8.empty());
  EXPECT_EQ(reqs.back().fieldsUtf8[0], "Иванов");

  r = trma({"shift"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(has(r.out, "Текущая смена: " + std::to_string(sim.state().shiftNumber) + "\n")) << r.out;
  EXPECT_TRUE(has(r.out, "Последняя смена при регистрации: ")) << r.out;
}

TEST_F(Trma, QueriesWithoutDataAndEejFailure) {
  Simulator sim;  // not fiscalised: no registration number, taxpayer number or EEJ data
  sim.openPty(root + "/dev/com1");
  sim.setStatus(0, 0, 0);
  ProcessResult r = trma({"--port", "1", "--serial", "registration"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "Регистрационный номер: нет данных\n"
            "ИНН: нет данных\n"
            "Последняя запись в ФП: нет данных\n");

  r = trma({"eej"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(has(r.out, "Состояние ЭКЛЗ: без ошибок\n")) << r.out;

  sim.setStatus(0, 0x20, 0);  // EEJ not activated
  r = trma({"eej"});
  EXPECT_EQ(r.exitCode, 66) << r.out;
  EXPECT_TRUE(has(r.err, "Ошибка ЭКЛЗ:Некорректное состояние ЭКЛЗ 2")) << r.err;
}

// The program's test sale from a script: a receipt and the Z report, the
// shift kept open on request, and a clear refusal when the display that
// automatic output needs does not answer.
TEST_F(Trma, TestSaleRingsUpAReceipt) {
  Config cfg;
  cfg.shiftReportMs = 300;
  Simulator sim(cfg);
  sim.openPty(root + "/dev/com1");
  sim.setReady();
  ProcessResult r = trma({"--port", "1", "--serial", "test-sale", "--amount", "250", "--operator=Петров"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "Тестовая продажа проведена: ТЕСТ-ТОВАР1, 2.50 руб., оператор Петров\n"
            "Z-отчет напечатан, смена закрыта\n");
  auto s = sim.state();
  EXPECT_EQ(s.receiptNumber, 1u);
  EXPECT_EQ(s.lastClosedShift, 1u);
  EXPECT_EQ(s.receiptLines.back(), "ИТОГ 2.50");

  r = trma({"test-sale", "--keep-shift"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(sim.state().shiftOpen);
  EXPECT_EQ(codesSent(sim).back(), "22");

  sim.setTable(10, 0, "1");  // automatic display output, no display attached
  sim.clearLog();
  r = trma({"test-sale"});
  EXPECT_EQ(r.exitCode, 15);
  EXPECT_TRUE(has(r.err, "Дисплей покупателя не готов.")) << r.err;
  EXPECT_TRUE(has(r.err, "продажа не проведена")) << r.err;
  EXPECT_EQ(codesSent(sim).back(), "81");

  r = trma({"test-sale", "--amount", "1,5"});
  EXPECT_EQ(r.exitCode, 100);
  EXPECT_TRUE(has(r.err, "--amount")) << r.err;
}

}  // namespace
