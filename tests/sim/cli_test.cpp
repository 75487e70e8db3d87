// SPDX-License-Identifier: GPL-3.0-or-later
// The termina-sim program: start-up line, options, stop on SIGTERM.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "codec.h"
#include "wire_client.h"

namespace termina::sim {
namespace {

using namespace std::chrono_literals;

struct Child {
  pid_t pid = -1;
  int out = -1;
  ~Child() {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
    if (out >= 0) ::close(out);
  }
};

void start(Child& ch, std::vector<std::string> args) {
  int p[2];
  ASSERT_EQ(::pipe(p), 0);
  ch.pid = ::fork();
  ASSERT_GE(ch.pid, 0);
  if (ch.pid == 0) {
    ::dup2(p[1], 1);
    ::close(p[0]);
    ::close(p[1]);
    std::vector<char*> argv;
    std::string exe = TERMINA_SIM_EXE;
    argv.push_back(exe.data());
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(exe.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(p[1]);
  ch.out = p[0];
}

// Reads the child's output until it holds `lines` lines or the time is up.
std::string readLines(int fd, int lines, std::chrono::milliseconds timeout) {
  std::string s;
  auto end = std::chrono::steady_clock::now() + timeout;
  while (std::count(s.begin(), s.end(), '\n') < lines && std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    char buf[512];
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) break;
    s.append(buf, static_cast<size_t>(n));
  }
  return s;
}

int waitExit(Child& ch, std::chrono::milliseconds timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    int st = 0;
    if (::waitpid(ch.pid, &st, WNOHANG) == ch.pid) {
      ch.pid = -1;
      return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    }
    std::this_thread::sleep_for(20ms);
  }
  return -1;
}

TEST(Program, ServesTcpWithTheGivenVersionAndPasswordUntilSigterm) {
  Child ch;
  const std::string link = testing::TempDir() + "termina-sim-cli-" + std::to_string(::getpid());
  start(ch, {"--tcp", "0", "--pty", link, "--version", "125", "--password", "ABCD"});
  std::string out = readLines(ch.out, 2, 10s);
  auto pty = out.find("pty /dev/");
  auto tcp = out.find("tcp 127.0.0.1:");
  ASSERT_NE(pty, std::string::npos) << out;
  ASSERT_NE(tcp, std::string::npos) << out;
  int port = std::stoi(out.substr(tcp + 14));
  ASSERT_GT(port, 0);

  auto c = test::WireClient::tcp(static_cast<uint16_t>(port));
  c.write(
      wrapEnvelope(test::request("A5"
                                 "0\x1c",
                                 "ABCD")));
  test::Bytes r = c.readReply();
  EXPECT_EQ(test::resultOf(r), 0);
  EXPECT_EQ(test::fieldsOf(r), std::vector<std::string>{"125"});
  auto s = test::WireClient::pty(link);
  s.write(test::request("A0", "WKRD"));
  EXPECT_EQ(test::resultOf(s.readReply()), 0x06);

  ::kill(ch.pid, SIGTERM);
  EXPECT_EQ(waitExit(ch, 10s), 0);
  EXPECT_NE(::access(link.c_str(), F_OK), 0);  // link removed
}

// Sends ENQ every 50 ms until one is answered with ACK: the register is
// serving again (a booting one drops what arrives).  False on time-out.
bool waitAnswersEnq(test::WireClient& c, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    if (!c.write({kEnq})) return false;
    const test::Bytes got = c.readFor(50ms);
    if (std::find(got.begin(), got.end(), kAck) != got.end()) return true;
  }
  return false;
}

int startedTcpPort(Child& ch) {
  std::string out = readLines(ch.out, 1, 10s);
  auto tcp = out.find("tcp 127.0.0.1:");
  return tcp == std::string::npos ? -1 : std::stoi(out.substr(tcp + 14));
}

TEST(Program, FailWriteRefusesTheFirstWriteOfItsTableOnce) {
  Child ch;
  start(ch, {"--tcp", "0", "--fail-write", "20.1", "--fail-write", "21"});
  int port = startedTcpPort(ch);
  ASSERT_GT(port, 0);
  auto c = test::WireClient::tcp(static_cast<uint16_t>(port));
  const auto result = [&](const std::string& body) {
    c.write(test::request(body));
    return test::resultOf(c.readReply());
  };
  const std::string fs = "\x1c";
  EXPECT_EQ(result("A220" + fs + "0" + fs + "X" + fs), 0) << "another field of the table";
  EXPECT_EQ(result("A220" + fs + "1" + fs + "X" + fs), 3);
  EXPECT_EQ(result("A220" + fs + "1" + fs + "X" + fs), 0) << "once";
  EXPECT_EQ(result("A221" + fs + "1" + fs + "Y" + fs), 3) << "any field of the table";
  EXPECT_EQ(result("A221" + fs + "0" + fs + "Y" + fs), 0);
}

TEST(Program, LineFaultOptionsReachTheLine) {
  {
    // Replies dribble out a byte at a time; the second frame is lost to a
    // restart, after which the register answers again.
    Child ch;
    start(ch, {"--tcp", "0", "--byte-gap", "20", "--restart-at-frame", "2", "--restart-boot-ms", "300"});
    int port = startedTcpPort(ch);
    ASSERT_GT(port, 0);
    auto c = test::WireClient::tcp(static_cast<uint16_t>(port));
    auto t0 = std::chrono::steady_clock::now();
    c.write(
        test::request("A5"
                      "0\x1c"));
    test::Bytes r = c.readReply();
    EXPECT_EQ(test::resultOf(r), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(20 * (r.size() - 1)));
    c.write(
        test::request("A5"
                      "0\x1c"));
    EXPECT_TRUE(c.readFor(200ms).empty());
    ASSERT_TRUE(waitAnswersEnq(c, 5s));
    c.write(
        test::request("A5"
                      "0\x1c"));
    EXPECT_GE(test::resultOf(c.readReply()), 0);
  }
  {
    Child ch;
    start(ch, {"--tcp", "0", "--disconnect-mid-reply"});
    int port = startedTcpPort(ch);
    ASSERT_GT(port, 0);
    auto c = test::WireClient::tcp(static_cast<uint16_t>(port));
    c.write(
        test::request("A5"
                      "0\x1c"));
    EXPECT_TRUE(c.waitClosed(3s));
  }
}

TEST(Program, HelpAndBadOptions) {
  {
    Child ch;
    start(ch, {"--help"});
    std::string out = readLines(ch.out, 1000, 5s);
    EXPECT_EQ(waitExit(ch, 5s), 0);
    for (const char* opt :
         {"--pty", "--tcp", "--version", "--password", "--state", "--report-ms", "--display", "--nvr-fault",
          "--no-fiscal-module", "--silent", "--busy-acks", "--cancel-result", "--disconnect-mid-reply", "--byte-gap",
          "--ack-storm", "--logo-header-result", "--restart-at-frame", "--restart-boot-ms", "--fail-write"})
      EXPECT_NE(out.find(opt), std::string::npos) << opt;
    for (const char* opt : {"--die-at", "--die-after"}) EXPECT_NE(out.find(opt), std::string::npos) << opt;
  }
  for (std::vector<std::string> bad : {std::vector<std::string>{},
                                       {"--frobnicate"},
                                       {"--tcp"},
                                       {"--tcp", "x"},
                                       {"--tcp", "70000"},
                                       {"--tcp", "0", "--byte-gap", "99999999999"},
                                       {"--tcp", "0", "--logo-header-result", "256"},
                                       {"--tcp", "0", "--fail-write", "20.x"},
                                       {"--tcp", "0", "--fail-write", "-1"},
                                       {"--tcp", "0", "--die-at", "2x"},
                                       {"--tcp", "0", "--die-after", "220"}}) {
    Child ch;
    start(ch, bad);
    EXPECT_EQ(waitExit(ch, 5s), 2) << (bad.empty() ? "(none)" : bad[0]);
  }
}

}  // namespace
}  // namespace termina::sim
