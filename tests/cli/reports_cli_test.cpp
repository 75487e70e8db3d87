// SPDX-License-Identifier: GPL-3.0-or-later
// trma's report and EEJ commands, the real executable against the
// simulator: what they send, how they refuse, and Ctrl+C during a report.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "run_process.h"
#include "simulator.h"
#include "temp_dir.h"

namespace {

using namespace std::chrono_literals;
using termina::sim::Config;
using termina::sim::Simulator;
using termina::test::readFile;
using termina::test::runProcess;
using termina::test::TempDir;

const std::string FS = "\x1c";

class TrmaReports : public ::testing::Test {
 protected:
  TempDir dir;
  std::string root = dir.file("root");
  std::unique_ptr<Simulator> sim;

  void StartRegister(int reportMs) {
    std::filesystem::create_directories(root + "/dev");
    Config cfg;
    cfg.reportDurationMs = reportMs;
    cfg.reportAckIntervalMs = 200;
    cfg.inspectorPassword = "1234567890";
    sim = std::make_unique<Simulator>(cfg);
    sim->openPty(root + "/dev/com1");
    sim->setReady();
    sim->addFiscalHistory(3);
  }
  std::vector<std::string> Args(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--root", root, "--port", "1", "--serial", "--timeout", "3"});
    return args;
  }
  termina::test::ProcessResult Trma(const std::vector<std::string>& args) {
    return runProcess(TRMA_EXE, Args(args), {"TERMINA_ROOT=" + root, "HOME=" + dir.path(), "TERMINA_TRACE"});
  }
  // Bodies of the report requests (the connection's probe left out).
  std::vector<std::string> Bodies() const {
    std::vector<std::string> b;
    for (const auto& r : sim->requests())
      if (r.code != "A5" && r.code != "A0") b.push_back(r.bodyUtf8);
    return b;
  }
  static bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
};

TEST_F(TrmaReports, FramesRefusalsAndArgumentErrors) {
  StartRegister(300);
  auto r = Trma({"fiscal-report", "shifts", "--full", "2", "3", "--password", "1234567890"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "Отчет напечатан\n");
  EXPECT_TRUE(Has(r.err, "ожидание ответа регистратора")) << r.err;
  r = Trma({"fiscal-report", "dates", "010100", "311299", "--password=1234567890"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  r = Trma({"eej", "document", "70000"});
  EXPECT_EQ(Bodies(),
            (std::vector<std::string>{"621" + FS + "2" + FS + "3" + FS + "1234567890" + FS,
                                      "630" + FS + "010100" + FS + "311299" + FS + "1234567890" + FS, "6570000" + FS}));
  // The register's refusal: its text and code.
  r = Trma({"fiscal-report", "shifts", "1", "1", "--password", "1"});
  EXPECT_EQ(r.exitCode, 6);
  EXPECT_TRUE(Has(r.err, "Неверный пароль (код 6)")) << r.err;

  // Mistakes of the command line reach no register.
  sim->clearLog();
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"fiscal-report", "dates", "310407", "010507", "--password", "1"},
        {"fiscal-report", "shifts", "1", "65536", "--password", "1"},
        {"fiscal-report", "shifts", "1", "2"},
        {"fiscal-report", "shifts", "1", "2", "--password", "12345678901"},
        {"eej", "close-archive"},
        {"eej-report", "weeks", "1", "2"}}) {
    r = Trma(bad);
    EXPECT_EQ(r.exitCode, 100) << bad[1] << " " << r.err;
  }
  EXPECT_TRUE(sim->requests().empty());
  r = Trma({"eej", "close-archive", "--yes"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(sim->state().eejArchiveClosed);
}

// Ctrl+C while the register prints: one CAN, the register's answer to it
// reported, and the wait with the register's ACKs shown before.
TEST_F(TrmaReports, InterruptSendsOneCan) {
  StartRegister(60000);
  const std::string out = dir.file("out"), err = dir.file("err");
  const std::vector<std::string> args = Args({"eej", "journal", "1"});
  std::vector<std::string> argStore{TRMA_EXE};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::string rootEnv = "TERMINA_ROOT=" + root, homeEnv = "HOME=" + dir.path();
  char* envp[] = {rootEnv.data(), homeEnv.data(), nullptr};
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(o, 1);
    ::dup2(e, 2);
    ::execve(TRMA_EXE, argv.data(), envp);
    ::_exit(127);
  }
  ASSERT_GT(pid, 0);
  const auto until = [](auto done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(20ms);
    return done();
  };
  const bool acksShown = until([&] { return Has(readFile(err), "подтверждений от регистратора"); }, 10s);
  EXPECT_TRUE(acksShown) << readFile(err);
  EXPECT_TRUE(sim->state().reportRunning);
  ::kill(pid, SIGINT);
  int status = 0;
  bool reaped = false;
  const bool ended = until([&] { return reaped || (reaped = ::waitpid(pid, &status, WNOHANG) == pid); }, 10s);
  if (!ended) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  ASSERT_TRUE(ended);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 14);
  int cans = 0;
  for (const auto& e : sim->events()) cans += e.kind == termina::sim::WireEvent::Can;
  EXPECT_EQ(cans, 1);
  const std::string text = readFile(err);
  EXPECT_TRUE(Has(text, "Отчет прерван\n")) << text;
  EXPECT_TRUE(Has(text, "trma: Отрицательный результат (код 14)")) << text;
  EXPECT_EQ(sim->state().reportsCancelled, 1);
}

}  // namespace
