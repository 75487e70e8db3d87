// SPDX-License-Identifier: GPL-3.0-or-later
// Line emulation: bytes never cross faster than the line rate allows.  Only
// lower bounds on time are checked; a slow machine can only make the
// exchange take longer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "codec.h"
#include "line_pacing.h"
#include "simulator.h"
#include "wire_client.h"

namespace termina::sim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::Bytes;
using test::linkPath;
using test::WireClient;

// Seconds that n bytes take at this rate, 8N1.
double wireSeconds(size_t n, unsigned baud) { return 10.0 * static_cast<double>(n) / baud; }
double secondsBetween(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

TEST(LinePacing, ReleasesBytesOneByteTimeApartAfterTheInputAndThePreviousOutput) {
  LinePacing line(19200);
  const auto t0 = Clock::now();
  const auto byte = line.wireTime(1);
  EXPECT_GE(byte, 520833ns);
  EXPECT_LE(byte, 520834ns);
  EXPECT_EQ(line.wireTime(19200), 10s);  // no rounding gathered over many bytes

  // Seven bytes heard at t0 end at t0 + 7 byte times; three more arriving
  // meanwhile queue behind them.
  line.received(7, t0);
  line.received(3, t0 + byte);
  EXPECT_EQ(line.inputDone(), t0 + line.wireTime(10));

  // An answer begun at t0 waits for the input; its bytes come one by one.
  line.beginSend(4, t0);
  const auto start = t0 + line.wireTime(10);
  EXPECT_EQ(line.dueAt(0), start + line.wireTime(1));
  EXPECT_EQ(line.dueAt(3), start + line.wireTime(4));
  EXPECT_EQ(line.dueFrom(0, start), 0u);
  EXPECT_EQ(line.dueFrom(0, line.dueAt(0) - 1ns), 0u);
  EXPECT_EQ(line.dueFrom(0, line.dueAt(0)), 1u);
  EXPECT_EQ(line.dueFrom(0, line.dueAt(2)), 3u);
  EXPECT_EQ(line.dueFrom(1, line.dueAt(2)), 2u);
  EXPECT_EQ(line.dueFrom(3, line.dueAt(2)), 0u);
  EXPECT_EQ(line.dueFrom(0, start + 1h), 4u);
  EXPECT_EQ(line.dueFrom(4, start + 1h), 0u);

  // The next transmission starts where this one ends, even when asked for
  // earlier.
  line.beginSend(2, t0);
  EXPECT_EQ(line.dueAt(0), start + line.wireTime(4) + line.wireTime(1));

  LinePacing off;
  EXPECT_FALSE(off.enabled());
  off.received(100, t0);
  off.beginSend(50, t0);
  EXPECT_EQ(off.dueFrom(0, t0), 50u);
  EXPECT_EQ(off.wireTime(50), Clock::duration::zero());
}

TEST(LinePacing, SleepEndsAtTheTimeOrWhenWoken) {
  const auto t = Clock::now() + 20ms;
  EXPECT_TRUE(LinePacing::sleepUntil(t, -1));
  EXPECT_GE(Clock::now(), t);
  int p[2];
  ASSERT_EQ(::pipe(p), 0);
  char c = 1;
  ASSERT_EQ(::write(p[1], &c, 1), 1);
  EXPECT_FALSE(LinePacing::sleepUntil(Clock::now() + 10s, p[0]));
  ::close(p[0]);
  ::close(p[1]);
}

// Request frame in, reply out, timed from the client's write: the reply's
// first byte cannot be there before the request and that byte crossed the
// line, the whole reply not before every byte of both did.
void expectPacedExchange(Simulator& sim, WireClient& c, const Bytes& request, unsigned baud) {
  const auto t0 = Clock::now();
  ASSERT_TRUE(c.write(request));
  Bytes first = c.readN(1, 5s);
  const auto tFirst = Clock::now();
  ASSERT_EQ(first.size(), 1u);
  Bytes reply = first;
  // The rest up to ETX and the two checksum characters.
  for (size_t tail = 0; reply.size() < 200 && tail != 1;) {
    Bytes b = c.readN(1, 5s);
    ASSERT_EQ(b.size(), 1u) << reply.size();
    reply.push_back(b[0]);
    tail = b[0] == kEtx && tail == 0 ? 3 : tail > 1 ? tail - 1 : tail;
  }
  const auto tEnd = Clock::now();
  ASSERT_EQ(test::resultOf(reply), 0) << reply.size();
  EXPECT_GE(secondsBetween(t0, tFirst), wireSeconds(request.size() + 1, baud));
  EXPECT_GE(secondsBetween(t0, tEnd), wireSeconds(request.size() + reply.size(), baud));
  // What arrived is the reply the simulator sent (it logs it just after the
  // last write).
  ASSERT_TRUE(sim.waitForReplies(1, 2s));
  Bytes sent = sim.sent();
  ASSERT_GE(sent.size(), reply.size());
  EXPECT_EQ(Bytes(sent.end() - static_cast<long>(reply.size()), sent.end()), reply);
}

TEST(LinePacing, SerialRepliesAreNotFasterThanTheLine) {
  Config cfg;
  cfg.lineBaud = 2400;
  Simulator sim(cfg);
  const std::string link = linkPath("pty");
  sim.openPty(link);
  auto c = WireClient::pty(link);

  // ENQ in, ACK out: two byte times at the least.
  auto t0 = Clock::now();
  ASSERT_TRUE(c.write({kEnq}));
  EXPECT_EQ(c.readN(1), Bytes{kAck});
  EXPECT_GE(secondsBetween(t0, Clock::now()), wireSeconds(2, 2400));

  expectPacedExchange(sim, c, test::request("A0"), 2400);
}

TEST(LinePacing, TcpRepliesAreNotFasterThanTheLine) {
  Config cfg;
  cfg.lineBaud = 2400;
  Simulator sim(cfg);
  auto c = WireClient::tcp(sim.listenTcp());
  expectPacedExchange(sim, c,
                      wrapEnvelope(test::request("A5"
                                                 "0\x1c")),
                      2400);
}

TEST(LinePacing, RateSetAtRunTimeAppliesToTheNextBytes) {
  Simulator sim;
  const std::string link = linkPath("setter");
  sim.openPty(link);
  auto c = WireClient::pty(link);
  ASSERT_TRUE(c.write({kEnq}));
  ASSERT_EQ(c.readN(1), Bytes{kAck});

  sim.setLineBaud(1200);
  auto t0 = Clock::now();
  ASSERT_TRUE(c.write({kEnq, kEnq, kEnq}));
  EXPECT_EQ(c.readN(3), (Bytes{kAck, kAck, kAck}));
  // Three ENQs in, and the last of three ACKs out behind the first.
  EXPECT_GE(secondsBetween(t0, Clock::now()), wireSeconds(1 + 3, 1200));
}

TEST(LinePacing, ProgramRefusesBadRates) {
  auto run = [](std::vector<std::string> args) {
    pid_t pid = ::fork();
    if (pid == 0) {
      int devnull = ::open("/dev/null", O_WRONLY);
      ::dup2(devnull, 1);
      ::dup2(devnull, 2);
      std::vector<char*> argv;
      std::string exe = TERMINA_SIM_EXE;
      argv.push_back(exe.data());
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(exe.c_str(), argv.data());
      ::_exit(127);
    }
    const auto end = Clock::now() + 10s;
    int st = 0;
    while (::waitpid(pid, &st, WNOHANG) != pid) {
      if (Clock::now() > end) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &st, 0);
        return -1;
      }
      std::this_thread::sleep_for(10ms);
    }
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  };
  EXPECT_EQ(run({"--baud", "fast", "--tcp", "0"}), 2);
  EXPECT_EQ(run({"--baud", "-9600", "--tcp", "0"}), 2);
  EXPECT_EQ(run({"--baud", "5000000", "--tcp", "0"}), 2);
  EXPECT_EQ(run({"--baud"}), 2);
}

}  // namespace
}  // namespace termina::sim
