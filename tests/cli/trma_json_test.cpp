// SPDX-License-Identifier: GPL-3.0-or-later
// `trma --json`: the real trma against the simulator, its output parsed back
// and compared with the simulated register's state.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <nlohmann/json.hpp>

#include "backups.h"
#include "simulator.h"
#include "termina.h"
#include "trma_fixture.h"

namespace {

using nlohmann::json;
using termina::sim::Simulator;
using termina::test::ProcessResult;

class TrmaJson : public termina::test::TrmaRoot {
 protected:
  Simulator sim;
  std::string tcp = "127.0.0.1:" + std::to_string(sim.listenTcp());

  // trma --json over TCP; the output must be exactly one JSON object line.
  json run(const std::string& command, int expectedExit = 0) { return run(command, {}, expectedExit); }
  json run(const std::string& command, std::vector<std::string> args, int expectedExit = 0) {
    args.insert(args.begin(), command);
    const ProcessResult r = runTrma({"--timeout", "3", "--tcp", tcp, "--json"}, args);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, expectedExit) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    json j = json::parse(r.out, nullptr, false);
    EXPECT_TRUE(j.is_object()) << r.out;
    return j;
  }
};

TEST_F(TrmaJson, ReadingCommandsMatchTheRegister) {
  sim.setStatus(0x81, 0x04, 0x21);
  sim.setPrinterStatus(0x06);
  json j = run("status");
  EXPECT_EQ(j["version"], 201);
  EXPECT_EQ(j["fatal"]["byte"], 0x81);
  EXPECT_EQ(j["fatal"]["nvr_checksum"], true);
  EXPECT_EQ(j["fatal"]["eej_mismatch"], true);
  EXPECT_EQ(j["fatal"]["spi"], false);
  EXPECT_EQ(j["status"]["shift_open"], true);
  EXPECT_EQ(j["status"]["no_init"], false);
  EXPECT_EQ(j["document"], (json{{"byte", 0x21}, {"type", 1}, {"state", 2}}));
  EXPECT_EQ(j["printer"]["no_paper"], true);
  EXPECT_EQ(j["printer"]["cover_open"], true);
  EXPECT_EQ(j["printer"]["voltage"], false);
  EXPECT_EQ(j["no_data"], false);
  sim.setStatus(0, 0, 0);

  EXPECT_EQ(run("version"), (json{{"version", 201}}));

  // Unregistered: the register has no data, which is null, not text.
  j = run("registration");
  EXPECT_TRUE(j["registration_number"].is_null() && j["inn"].is_null() && j["fm_last_date"].is_null()) << j;

  // Registered, journal activated, shifts closed: the same commands again.
  sim.setReady();
  sim.addFiscalHistory(3);

  const auto st = sim.state();
  j = run("registration");
  EXPECT_EQ(j["registration_number"], st.registrationNumber);
  EXPECT_EQ(j["inn"], st.inn);
  EXPECT_TRUE(j["fm_last_date"].is_string() && j["fm_last_time"].is_string()) << j;
  j = run("shift");
  EXPECT_EQ(j["current_shift"], st.shiftNumber);
  EXPECT_TRUE(j["last_registration_shift"].is_number()) << j;
  j = run("eej");
  EXPECT_EQ(j["eej_status_code"], 0);
  // The simulator keeps no activation data after a one-step set-up: null.
  EXPECT_EQ(j["eej_activation_data"], st.eejActivationData.empty() ? json(nullptr) : json(st.eejActivationData));

  sim.setClockOffset(-3600);
  j = run("clock");
  EXPECT_TRUE(j["register_date"].is_string() && j["register_time"].is_string()) << j;
  ASSERT_TRUE(j["difference_minutes"].is_number()) << j;
  EXPECT_NEAR(j["difference_minutes"].get<double>(), 60, 1);
}

TEST_F(TrmaJson, SettingsShowGivesTheRegistersTexts) {
  sim.setTable(20, 1, "Касса №1 Ёлка");
  sim.setTable(26, 2, "Молочный отдел");
  const json j = run("settings", {"show"});
  EXPECT_EQ(j["version"], 201);
  ASSERT_TRUE(j["header"].is_array() && j["header"].size() >= 2) << j;
  EXPECT_EQ(j["header"][1], "Касса №1 Ёлка");
  ASSERT_TRUE(j["departments"].is_array() && j["departments"].size() >= 2) << j;
  EXPECT_EQ(j["departments"][1], sim.table(26, 2));
  EXPECT_TRUE(j["params"]["compact_print"].is_boolean()) << j;
  EXPECT_TRUE(j["taxes"].is_array() && j["taxes"][0].contains("rate")) << j;
}

TEST_F(TrmaJson, NvrShowGivesTheShiftTotals) {
  sim.setReady();
  termina_session* s = nullptr;
  ASSERT_EQ(termina_open_tcp("127.0.0.1", static_cast<unsigned>(std::stoi(tcp.substr(10))), nullptr, &s), 0);
  double result = 0;
  ASSERT_EQ(termina_open_receipt(s, 2, 1, "Петров", 1), 0);
  ASSERT_EQ(termina_add_article(s, "Хлеб", "001", 2, 30.5, 1, &result), 0);
  ASSERT_EQ(termina_payment(s, 0, 100, &result), 0);
  ASSERT_EQ(termina_close_receipt(s), 0);
  termina_close(s);

  const json j = run("nvr", {"show"});
  const auto st = sim.state();
  EXPECT_EQ(j["shift"], st.shiftNumber);
  EXPECT_DOUBLE_EQ(j["cash"].get<double>(), static_cast<double>(st.cashInDrawer) / 10000);
  ASSERT_EQ(j["sales_by_payment"].size(), 16u) << j;
  EXPECT_DOUBLE_EQ(j["sales_by_payment"][0].get<double>(), 61.0);
  EXPECT_DOUBLE_EQ(j["sales_total"].get<double>(), 61.0);
}

// config get and the settings file's diff and backups: the register's
// values; no value and a refused file are failures with today's status.
TEST_F(TrmaJson, ConfigAndSettingsFilesMatchTheRegister) {
  sim.setReady();
  sim.setTable(20, 1, "Касса №1 Ёлка");
  EXPECT_EQ(run("config", {"get", "20", "1"}), (json{{"table", 20}, {"field", 1}, {"value", "Касса №1 Ёлка"}}));
  termina::sim::Faults f;
  f.forcedOnce["A1"] = {64, {}};
  sim.setFaults(f);
  EXPECT_EQ(run("config", {"get", "20", "1"}, 64)["code"], 64);

  const std::string file = dir.file("shop.frc");
  ASSERT_EQ(runTrma({"--tcp", tcp}, {"settings", "save", file}).exitCode, 0);
  EXPECT_EQ(run("settings", {"diff", file}), (json{{"changes", json::array()}}));
  sim.setTable(20, 1, "ДРУГАЯ");
  const json change = {
      {"table", 20}, {"field", 1}, {"setting", "Клише предприятия 2"}, {"old", "ДРУГАЯ"}, {"new", "Касса №1 Ёлка"}};
  EXPECT_EQ(run("settings", {"diff", file}, 1), (json{{"changes", {change}}}));
  EXPECT_EQ(run("settings", {"diff", dir.file("missing.frc")}, 101)["code"], 101);

  // A backup of this register, named by the folder and prefix trma gives.
  json j = run("settings", {"backups"});
  EXPECT_EQ(j["backups"], json::array());
  const std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(std::ifstream(file, std::ios::binary).rdbuf()), {});
  std::string backup, why;
  ASSERT_TRUE(termina::app::WriteBackup(j["folder"], j["prefix"], "frc", bytes, &backup, &why)) << why;
  j = run("settings", {"backups"});
  ASSERT_EQ(j["backups"].size(), 1u) << j;
  EXPECT_EQ(j["backups"][0]["path"], backup);
  EXPECT_TRUE(j["backups"][0]["made"].is_string()) << j;
}

TEST_F(TrmaJson, FailuresAreObjectsWithTodaysExitStatus) {
  // The register refuses: its code and text, exit status as without --json.
  json j = run("eej", 66);
  EXPECT_EQ(j["code"], 66);
  EXPECT_FALSE(j["text"].get<std::string>().empty());
  EXPECT_EQ(j.size(), 2u);

  // Nothing listens: the driver's own code.
  tcp = "127.0.0.1:1";
  j = run("version", 80);
  EXPECT_EQ(j["code"], 80);

  // A command without JSON output is refused before anything is sent.
  const ProcessResult r = runTrma({"--tcp", tcp, "--json"}, {"clock", "set", "--yes"});
  EXPECT_EQ(r.exitCode, 100);
  EXPECT_EQ(r.out, "");
}

// --trace: the exchange on standard error, one line per frame or control
// byte, the very lines the trace file gets (but for their times).
TEST_F(TrmaJson, TraceShowsARefusedReadAsTheTraceFileDoes) {
  const auto traceLines = [](const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
      if (l.size() > 9 && l[8] == ' ' && l.find("trace started") == std::string::npos) out.push_back(l.substr(9));
    return out;
  };
  const std::vector<std::string> args{"--root", root, "--timeout", "3", "--tcp", tcp, "config", "get", "999", "0"};
  const ProcessResult shown = termina::test::runProcess(
      TRMA_EXE,
      [&] {
        auto a = args;
        a.insert(a.begin(), "--trace");
        return a;
      }(),
      {"TERMINA_ROOT=" + root, "HOME=" + dir.path(), "TERMINA_TRACE=" + dir.file("ignored.log")});
  EXPECT_EQ(shown.exitCode, 3);
  const std::vector<std::string> lines = traceLines(shown.err);
  const std::vector<std::string> expected{"-> A1 ReadConfig \"999\" \"0\"",
                                          "<- A1 ReadConfig = 3 bad_parameter: Неверный параметр функции",
                                          "-- failed 3 bad_parameter: Неверный параметр функции"};
  EXPECT_NE(std::search(lines.begin(), lines.end(), expected.begin(), expected.end()), lines.end()) << shown.err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("ignored.log"))) << "--trace takes the place of the file";

  const ProcessResult filed = termina::test::runProcess(
      TRMA_EXE, args, {"TERMINA_ROOT=" + root, "HOME=" + dir.path(), "TERMINA_TRACE=" + dir.file("trace.log")});
  EXPECT_EQ(filed.exitCode, 3);
  EXPECT_EQ(traceLines(termina::test::readFile(dir.file("trace.log"))), lines);
}

// find --json: every port with its outcome, the register's speed and model,
// what --save stored; none found is a failure object with the ports as well.
TEST_F(TrmaJson, FindListsEveryPort) {
  termina::sim::Config cfg;
  cfg.version = 301;
  cfg.ptySpeed = 9600;
  Simulator onLine(cfg);
  const std::string device = onLine.openPty(root + "/dev/com2");
  ASSERT_EQ(::symlink(dir.file("unplugged").c_str(), (root + "/dev/com3").c_str()), 0);

  ProcessResult r =
      runTrma({"--timeout", "2", "--json"}, {"find", "--ports", "2,3", "--speeds", "19200,9600", "--save"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  json j = json::parse(r.out, nullptr, false);
  ASSERT_TRUE(j.is_object()) << r.out;
  ASSERT_EQ(j["ports"].size(), 2u) << j;
  const json& found = j["ports"][0];
  EXPECT_EQ(found["com"], 2);
  EXPECT_EQ(found["device"], device);
  EXPECT_EQ(found["outcome"], "found");
  EXPECT_EQ(found["speed"], 9600);
  EXPECT_EQ(found["version"], 301);
  EXPECT_EQ(found["model"], "ТЕРМИНА-3");
  EXPECT_EQ(j["ports"][1]["outcome"], "unusable");
  EXPECT_EQ(j["ports"][1]["problem"], "missing");
  EXPECT_EQ(j["found"], 1);
  EXPECT_EQ(j["saved"], (json{{"port", 2}, {"speed", 9600}, {"file", ini}}));

  r = runTrma({"--timeout", "2", "--json"}, {"find", "--ports", "3"});
  EXPECT_EQ(r.exitCode, 19);
  j = json::parse(r.out, nullptr, false);
  ASSERT_TRUE(j.is_object()) << r.out;
  EXPECT_EQ(j["code"], 19);
  EXPECT_EQ(j["text"], "Регистратор не обнаружен");
  EXPECT_EQ(j["ports"][0]["outcome"], "unusable");
}

}  // namespace
