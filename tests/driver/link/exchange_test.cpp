// SPDX-License-Identifier: GPL-3.0-or-later
// One exchange on the wire: the bytes the register receives, the packet id,
// and how the driver deals with busy, silent and broken replies.
#include "register_fixture.h"

#include <algorithm>

using namespace termina;
using namespace termina::test;

namespace {

std::vector<uint8_t> v(std::initializer_list<unsigned> l) {
  std::vector<uint8_t> out;
  for (unsigned b : l) out.push_back(static_cast<uint8_t>(b));
  return out;
}

void status() {
  TRMA_FATAL_STATUS f;
  TRMA_STATUS s;
  TRMA_REC_STATUS r;
  TRMA_GetStatus(&f, &s, &r);
}

size_t countEvents(const sim::Simulator& s, sim::WireEvent::Kind kind) {
  auto ev = s.events();
  return static_cast<size_t>(std::count_if(ev.begin(), ev.end(), [kind](auto& e) { return e.kind == kind; }));
}

}  // namespace

TEST(WireBytes, StatusRequestOverTheSerialLine) {
  Connected c(Transport::Pty);
  if (!freshProcess()) GTEST_SKIP() << "the exact bytes need the packet id of a fresh process (run through ctest)";
  c.connect();
  status();
  auto ev = c.sim->events();
  ASSERT_EQ(ev.size(), 1u);
  // STX, "WKRD", packet id 0x21 (the version query at connect took 0x20), "A0", ETX, "59".
  EXPECT_EQ(ev[0].bytes, v({0x02, 0x57, 0x4B, 0x52, 0x44, 0x21, 0x41, 0x30, 0x03, 0x35, 0x39}));
  EXPECT_FALSE(ev[0].viaTcpEnvelope);
}

TEST(WireBytes, StatusRequestInTheTcpEnvelope) {
  Connected c(Transport::Tcp);
  if (!freshProcess()) GTEST_SKIP() << "the exact bytes need the packet id of a fresh process (run through ctest)";
  c.connect();
  status();
  auto ev = c.sim->events();
  ASSERT_EQ(ev.size(), 1u);
  ASSERT_TRUE(ev[0].viaTcpEnvelope);
  // Over TCP the packet id does not advance: still 0x20.
  EXPECT_EQ(ev[0].envelope,
            v({0x01, 0x0B, 0x00, 0x02, 0x57, 0x4B, 0x52, 0x44, 0x20, 0x41, 0x30, 0x03, 0x35, 0x38, 0x5D}));
}

TEST(WireBytes, ProbeAndCancelAreBareBytes) {
  for (Transport t : {Transport::Pty, Transport::Tcp}) {
    Connected c(t);
    c.connect();
    uint16_t active = 0;
    TRMA_CheckActive(&active);
    TRMA_CancelReport();
    ASSERT_TRUE(c.sim->waitForEvents(2, std::chrono::seconds(2)));
    auto ev = c.sim->events();
    EXPECT_EQ(ev[0].kind, sim::WireEvent::Enq);
    EXPECT_EQ(ev[1].kind, sim::WireEvent::Can);
    EXPECT_EQ(ev[1].bytes, v({0x18}));
  }
}

TEST(PacketId, AdvancesPerSerialFrameAndWrapsAfter224) {
  Connected c(Transport::Pty);
  c.connect();
  for (int i = 0; i < 224; ++i) status();
  auto req = c.sim->requests();
  ASSERT_EQ(req.size(), 224u);
  // Ids below 0x80 go out unchanged; the ones above through the code page
  // conversion.  None is ever below 0x20.
  for (auto& r : req) EXPECT_GE(r.packetId, 0x20);
  if (freshProcess()) {
    for (unsigned i = 0; i < 0x7F - 0x21; ++i) EXPECT_EQ(req[i].packetId, 0x21 + i);
    EXPECT_EQ(req[0xDF].packetId, 0x20) << "0xFF is followed by 0x20";
  }
  // After 224 frames the sequence is back where it began.
  status();
  EXPECT_EQ(c.sim->requests().back().packetId, req.front().packetId);
}

TEST(PacketId, StaysPutOverTcp) {
  Connected c(Transport::Tcp);
  c.connect();
  for (int i = 0; i < 5; ++i) status();
  auto req = c.sim->requests();
  ASSERT_EQ(req.size(), 5u);
  if (freshProcess()) { EXPECT_EQ(req.front().packetId, 0x20); }
  for (auto& r : req) EXPECT_EQ(r.packetId, req.front().packetId);
}

class ReplyTest : public ::testing::TestWithParam<Transport> {
 protected:
  Connected c{GetParam()};
  void SetUp() override { c.connect(); }
  void fault(void (*set)(sim::Faults&)) {
    sim::Faults f;
    set(f);
    c.sim->setFaults(f);
  }
};

TEST_P(ReplyTest, AcksBeforeTheReplyRestartThePatience) {
  fault([](sim::Faults& f) {
    f.busyAcks = 12;  // far beyond the patience of 2 if ACKs did not restart it
    f.ackIntervalMs = 30;
  });
  uint16_t v = 0;
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(TRMA_GetVersion(&v), 0);
  EXPECT_EQ(v, 201);
  // Each ACK costs the driver a 100 ms pause.
  EXPECT_GE(secondsSince(t0), 1.1);
}

TEST_P(ReplyTest, LowerCaseChecksumDigitsAreAccepted) {
  fault([](sim::Faults& f) { f.lowerCaseChecksum = true; });
  c.sim->setStatus(0x01, 0x02, 0x13);
  TRMA_FATAL_STATUS f;
  TRMA_STATUS s;
  TRMA_REC_STATUS r;
  EXPECT_EQ(TRMA_GetStatus(&f, &s, &r), 0);
  EXPECT_EQ(f.byte, 0x01);
  EXPECT_EQ(s.byte, 0x02);
  EXPECT_EQ(r.bits.docType, 3);
  EXPECT_EQ(r.bits.docState, 1);
}

TEST_P(ReplyTest, AWrongChecksumFailsEvenOnSuccess) {
  fault([](sim::Faults& f) { f.badChecksum = true; });
  EXPECT_EQ(thrown(status), 7);
}

TEST_P(ReplyTest, GarbageBeforeTheFrameSpoilsTheChecksum) {
  fault([](sim::Faults& f) { f.garbageBeforeStx = true; });
  EXPECT_EQ(thrown(status), 7);
}

TEST_P(ReplyTest, ASilentRegisterTimesOutAfterThePatienceWithAnEnqPerWait) {
  fault([](sim::Faults& f) { f.silent = true; });
  EXPECT_EQ(thrown(status), 48);
  // TRMATMOUT 2: two silent waits, each followed by ENQ.
  EXPECT_TRUE(c.sim->waitForEvents(3, std::chrono::seconds(2)));
  EXPECT_EQ(countEvents(*c.sim, sim::WireEvent::Enq), 2u);
}

TEST_P(ReplyTest, AReplyCutOffInTheMiddleTimesOut) {
  fault([](sim::Faults& f) { f.silentMidReply = true; });
  EXPECT_EQ(thrown(status), 48);
}

TEST_P(ReplyTest, AReplyThatNeverEndsIsCutAtTheCap) {
  fault([](sim::Faults& f) { f.endlessReply = true; });
  EXPECT_EQ(thrown(status), 48);
  c.sim->setFaults({});
}

TEST_P(ReplyTest, RawCommandAndWholeReply) {
  // The caller builds the whole frame; the reply comes back whole.
  status();
  const uint8_t before = c.sim->requests().back().packetId;
  TRMA_COMMAND cmd{};
  const char pw[] = "WKRD";
  std::string f = std::string("\x02") + pw + "\x7A" + "A5" + "0\x1C" + "\x03";
  uint8_t x = 0;
  for (size_t i = 1; i < f.size(); ++i) x ^= static_cast<uint8_t>(f[i]);
  char cs[3];
  std::snprintf(cs, sizeof cs, "%02X", x);
  f += cs;
  std::copy(f.begin(), f.end(), cmd);
  TRMA_PutCommand(cmd);
  TRMA_COMMAND reply{};
  EXPECT_EQ(TRMA_GetReceive(reply, true), 0);
  std::string r(reply);
  ASSERT_GE(r.size(), 12u);
  EXPECT_EQ(r[0], '\x02');
  EXPECT_EQ(r.substr(4, 2), "00");
  EXPECT_EQ(r.substr(6, 4), "201\x1C");
  EXPECT_EQ(r[r.size() - 3], '\x03');
  EXPECT_EQ(c.sim->requests().back().packetId, 0x7A);
  if (GetParam() == Transport::Pty) {
    // The raw frame advanced the packet id like any other frame.
    status();
    if (before >= 0x20 && before < 0x7D) { EXPECT_EQ(c.sim->requests().back().packetId, before + 2); }
  }
}

INSTANTIATE_TEST_SUITE_P(Transports, ReplyTest, ::testing::Values(Transport::Pty, Transport::Tcp), transportName);

TEST(ReplyTcp, AFrameTooLongForTheEnvelopeFailsCleanly) {
  Connected c(Transport::Tcp);
  c.connect();
  TRMA_COMMAND cmd;
  std::fill(std::begin(cmd), std::end(cmd), 'x');
  cmd[1021] = '\0';
  EXPECT_EQ(thrown([&] { TRMA_PutCommand(cmd); }), 16);
  cmd[1020] = '\0';
  EXPECT_EQ(thrown([&] { TRMA_PutCommand(cmd); }), -1);
}

TEST(ReplyTcp, AConnectionClosedByThePeerEndsTheCall) {
  Connected c(Transport::Tcp);
  c.connect();
  sim::Faults f;
  f.closeConnection = true;
  c.sim->setFaults(f);
  int code = thrown(status);
  EXPECT_TRUE(code == 16 || code == 48) << code;
}
