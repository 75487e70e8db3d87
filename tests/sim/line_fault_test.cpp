// SPDX-License-Identifier: GPL-3.0-or-later
// The line faults that spoil a reply in time: a line that breaks half-way,
// bytes that trickle in one at a time, a storm of ACKs before the reply,
// and a register that restarts while a request arrives.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "codec.h"
#include "simulator.h"
#include "wire_client.h"

namespace termina::sim {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::kStatusTcp;
using test::linkPath;
using test::WireClient;
using Clock = std::chrono::steady_clock;

Config emptyPassword() {
  Config c;
  c.password = "";
  return c;
}

// The status request, "A0" without fields and with the empty password.
Bytes statusRequest() { return test::request("A0", ""); }

double since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

TEST(LineFaults, DisconnectMidReplyClosesTheTcpConnectionAfterHalfTheReply) {
  Simulator sim(emptyPassword());
  uint16_t port = sim.listenTcp();
  auto c = WireClient::tcp(port);
  Faults f;
  f.disconnectMidReply = true;
  sim.setFaults(f);
  ASSERT_TRUE(c.write(kStatusTcp));
  EXPECT_TRUE(c.waitClosed(3s));
  const Bytes whole = buildReply(0x20, 0, {"0", "35", "0"});
  const Bytes got = sim.sent();
  EXPECT_EQ(got.size(), whole.size() / 2);
  EXPECT_TRUE(std::equal(got.begin(), got.end(), whole.begin()));

  // The gateway takes the next connection and answers in full.
  sim.setFaults({});
  auto again = WireClient::tcp(port);
  ASSERT_TRUE(again.write(kStatusTcp));
  EXPECT_EQ(test::resultOf(again.readReply()), 0);
}

TEST(LineFaults, DisconnectMidReplyOverThePtyLeavesTheLineDeadUntilTheNextRequest) {
  Simulator sim(emptyPassword());
  const std::string link = linkPath("dead");
  sim.openPty(link);
  auto c = WireClient::pty(link);
  Faults f;
  f.disconnectMidReply = true;
  sim.setFaults(f);
  ASSERT_TRUE(c.write(statusRequest()));
  Bytes half = c.readFor(400ms);
  EXPECT_GT(half.size(), 0u);
  ASSERT_TRUE(c.write({kEnq}));
  EXPECT_TRUE(c.readFor(400ms).empty()) << "a dead line answers no ENQ";
  sim.setFaults({});
  ASSERT_TRUE(c.write(statusRequest()));
  EXPECT_EQ(test::resultOf(c.readReply()), 0);
}

TEST(LineFaults, ByteGapSendsTheReplyOneByteAtATime) {
  Simulator sim(emptyPassword());
  const std::string link = linkPath("gap");
  sim.openPty(link);
  auto c = WireClient::pty(link);
  Faults f;
  f.byteGapMs = 60;
  sim.setFaults(f);
  ASSERT_TRUE(c.write(statusRequest()));
  // Nothing arrives before the first gap has passed, then exactly one byte
  // a gap.
  auto t0 = Clock::now();
  Bytes first = c.readN(1, 2s);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_GE(since(t0), 0.04);
  EXPECT_EQ(first[0], kStx);
  Bytes next = c.readFor(30ms);
  EXPECT_LE(next.size(), 1u) << "bytes must not come in bursts";
  const Bytes whole = buildReply(0x20, 0, {"0", "35", "0"});
  Bytes rest = c.readN(whole.size() - 1 - next.size(), 5s);
  Bytes all = first;
  all.insert(all.end(), next.begin(), next.end());
  all.insert(all.end(), rest.begin(), rest.end());
  EXPECT_EQ(all, whole);
  EXPECT_TRUE(sim.waitForReplies(1, 1s));
}

TEST(LineFaults, AckStormLastsItsTimeAndAnswersEnqThenTheReplyFollows) {
  Simulator sim(emptyPassword());
  const std::string link = linkPath("storm");
  sim.openPty(link);
  auto c = WireClient::pty(link);
  Faults f;
  f.ackStormMs = 600;
  f.ackIntervalMs = 50;
  sim.setFaults(f);
  auto t0 = Clock::now();
  ASSERT_TRUE(c.write(statusRequest()));
  Bytes storm = c.readFor(300ms);
  ASSERT_TRUE(c.write({kEnq}));  // answered at once while the storm lasts
  Bytes r = c.readReply(5s);
  EXPECT_GE(since(t0), 0.55);
  storm.insert(storm.end(), r.begin(), r.end());
  Bytes frame = test::fromStx(storm);
  EXPECT_EQ(test::resultOf(frame), 0);
  size_t acks = static_cast<size_t>(std::count(storm.begin(), storm.end() - static_cast<long>(frame.size()), kAck));
  // One ACK every 50 ms for 600 ms, and one for the ENQ.
  EXPECT_GE(acks, 8u);
  EXPECT_LE(acks, 13u);
  auto ev = sim.events();
  EXPECT_TRUE(std::any_of(ev.begin(), ev.end(), [](const WireEvent& e) { return e.kind == WireEvent::Enq; }));
}

TEST(LineFaults, RestartLosesTheFrameStaysSilentWhileBootingAndComesBackAtPowerOn) {
  Simulator sim(emptyPassword());
  sim.setReady();
  sim.setMemory(3, 0x100, {0xAB, 0xCD});
  const std::string link = linkPath("restart");
  sim.openPty(link);
  auto c = WireClient::pty(link);
  Faults f;
  f.restartAtFrame = 2;
  f.restartBootMs = 500;
  sim.setFaults(f);

  // The first frame is answered; the second one is lost in the restart.
  ASSERT_TRUE(c.write(statusRequest()));
  EXPECT_EQ(test::resultOf(c.readReply()), 0);
  ASSERT_TRUE(c.write(test::request(std::string("E1") + "3\x1C"
                                                        "256\x1C"
                                                        "2\x1C",
                                    "")));
  ASSERT_TRUE(c.write({kEnq}));
  EXPECT_TRUE(c.readFor(300ms).empty()) << "a booting register answers nothing";
  EXPECT_EQ(sim.faults().restartAtFrame, 0) << "the restart is used up";

  ASSERT_TRUE(sim.waitForRestarts(1, 5s));
  // Power-on state: function 0 is due again; memory survived.
  RegisterState st = sim.state();
  EXPECT_FALSE(st.initDone);
  EXPECT_EQ(sim.memory(3, 0x100, 2), (Bytes{0xAB, 0xCD}));
  ASSERT_TRUE(c.write(test::request(std::string("E1") + "3\x1C"
                                                        "256\x1C"
                                                        "2\x1C",
                                    "")));
  Bytes r = c.readReply();
  EXPECT_EQ(test::resultOf(r), 0);
  EXPECT_EQ(test::fieldsOf(r), (std::vector<std::string>{"ABCD"}));
  // The lost frame was received (events) but never became a request.
  auto rq = sim.requests();
  ASSERT_EQ(rq.size(), 2u);
  EXPECT_EQ(rq[0].code, "A0");
  EXPECT_EQ(rq[1].code, "E1");
}

}  // namespace
}  // namespace termina::sim
