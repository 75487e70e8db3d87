// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator seen from the line: literal request bytes in, reply bytes out.
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <thread>

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

const Bytes kStatusSerial = {0x02, 0x20, 0x41, 0x30, 0x03, 0x35, 0x32};

Config emptyPassword() {
  Config c;
  c.password = "";
  return c;
}

bool checksumValid(const Bytes& reply) {
  Bytes f = test::fromStx(reply);
  if (f.size() < 9) return false;
  auto cs = parseHexByte(f[f.size() - 2], f[f.size() - 1]);
  return cs && *cs == xorBytes(f, 1, f.size() - 2);
}

TEST(SerialTransport, StatusRequestGetsThreeDecimalFields) {
  Simulator sim(emptyPassword());
  sim.setStatus(0x20, 0x06, 0x12);
  const std::string link = linkPath("status");
  std::string slave = sim.openPty(link);
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), slave);
  auto c = WireClient::pty(link);
  ASSERT_TRUE(c.write(kStatusSerial));
  Bytes r = c.readReply();
  ASSERT_TRUE(checksumValid(r)) << r.size();
  EXPECT_EQ(r[0], kStx);
  EXPECT_EQ(test::resultOf(r), 0);
  EXPECT_EQ(test::fieldsOf(r), (std::vector<std::string>{"32", "6", "18"}));

  auto ev = sim.events();
  ASSERT_EQ(ev.size(), 1u);
  EXPECT_EQ(ev[0].kind, WireEvent::Frame);
  EXPECT_EQ(ev[0].bytes, kStatusSerial);
  EXPECT_FALSE(ev[0].viaTcpEnvelope);
  auto rq = sim.requests();
  ASSERT_EQ(rq.size(), 1u);
  EXPECT_EQ(rq[0].code, "A0");
  EXPECT_EQ(rq[0].packetId, 0x20);
  EXPECT_TRUE(rq[0].checksumOk);
  EXPECT_EQ(rq[0].resultCode, 0);
}

TEST(SerialTransport, LinkRemovedOnStopAndLineSurvivesReopen) {
  const std::string link = linkPath("reopen");
  {
    Simulator sim(emptyPassword());
    sim.openPty(link);
    for (int round = 0; round < 3; ++round) {
      auto c = WireClient::pty(link);
      ASSERT_TRUE(c.write({kEnq}));
      EXPECT_EQ(c.readN(1), Bytes{kAck}) << "round " << round;
      ASSERT_TRUE(c.write(kStatusSerial));
      EXPECT_EQ(test::resultOf(c.readReply()), 0) << "round " << round;
    }  // each client closes the slave, the next one opens it again
    ASSERT_TRUE(sim.waitForEvents(6, 2s));
  }
  EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST(SerialTransport, PasswordChecksumAndUnknownCodes) {
  Simulator sim;  // password WKRD
  const std::string link = linkPath("codes");
  sim.openPty(link);
  auto c = WireClient::pty(link);

  c.write(test::request("A0", "WKRD"));
  EXPECT_EQ(test::resultOf(c.readReply()), 0x00);
  c.write(kStatusSerial);  // empty password
  Bytes wrong = c.readReply();
  EXPECT_EQ(test::resultOf(wrong), 0x06);
  EXPECT_TRUE(test::fieldsOf(wrong).empty());
  c.write({0x02, 0x20, 0x41, 0x30, 0x03, 0x30, 0x30});  // checksum "00" is wrong
  EXPECT_EQ(test::resultOf(c.readReply()), 0x07);
  c.write(test::request("7F"));
  EXPECT_EQ(test::resultOf(c.readReply()), 0x02);
  c.write(
      test::request("A5"
                    "0\x1c"));
  Bytes v = c.readReply();
  EXPECT_EQ(test::resultOf(v), 0);
  EXPECT_EQ(test::fieldsOf(v), std::vector<std::string>{"201"});

  auto rq = sim.requests();
  ASSERT_EQ(rq.size(), 5u);
  EXPECT_FALSE(rq[1].passwordOk);
  EXPECT_FALSE(rq[2].checksumOk);
  EXPECT_EQ(rq[4].fieldsUtf8, std::vector<std::string>{"0"});
  EXPECT_EQ(rq[4].bodyUtf8, "A50\x1c");
}

TEST(SerialTransport, PrinterStatusOnlyOnTheSecondModel) {
  Simulator sim;
  sim.setPrinterStatus(0x06);
  const std::string link = linkPath("printer");
  sim.openPty(link);
  auto c = WireClient::pty(link);
  c.write(test::request("A9"));
  Bytes r = c.readReply();
  EXPECT_EQ(test::resultOf(r), 0);
  EXPECT_EQ(test::fieldsOf(r), std::vector<std::string>{"6"});
  for (uint16_t v : {120, 125, 129, 130, 301}) {
    sim.setVersion(v);
    c.write(test::request("A9"));
    EXPECT_EQ(test::resultOf(c.readReply()), 0x02) << v;
    c.write(
        test::request("A5"
                      "0\x1c"));
    EXPECT_EQ(test::fieldsOf(c.readReply()), std::vector<std::string>{std::to_string(v)});
  }
}

TEST(SerialTransport, BusyAcksPrecedeTheReply) {
  Simulator sim(emptyPassword());
  Faults f;
  f.busyAcks = 3;
  f.ackIntervalMs = 50;
  sim.setFaults(f);
  const std::string link = linkPath("busy");
  sim.openPty(link);
  auto c = WireClient::pty(link);
  c.write(kStatusSerial);
  Bytes r = c.readReply();
  ASSERT_GE(r.size(), 4u);
  EXPECT_EQ(Bytes(r.begin(), r.begin() + 4), (Bytes{kAck, kAck, kAck, kStx}));
  EXPECT_TRUE(checksumValid(r));
}

TEST(SerialTransport, SilentAnswersNothingNotEvenEnq) {
  Simulator sim(emptyPassword());
  Faults f;
  f.silent = true;
  sim.setFaults(f);
  const std::string link = linkPath("silent");
  sim.openPty(link);
  auto c = WireClient::pty(link);
  c.write({kEnq});
  c.write(kStatusSerial);
  ASSERT_TRUE(sim.waitForEvents(2, 2s));
  EXPECT_TRUE(c.readFor(300ms).empty());
  sim.setFaults({});
  c.write({kEnq});
  EXPECT_EQ(c.readN(1), Bytes{kAck});
}

TEST(SerialTransport, SpoiledReplies) {
  Simulator sim(emptyPassword());
  const std::string link = linkPath("spoiled");
  sim.openPty(link);
  auto c = WireClient::pty(link);
  Faults f;

  f.badChecksum = true;
  sim.setFaults(f);
  c.write(kStatusSerial);
  Bytes bad = c.readReply();
  EXPECT_EQ(test::resultOf(bad), 0);
  EXPECT_FALSE(checksumValid(bad));

  f = {};
  f.lowerCaseChecksum = true;
  sim.setFaults(f);
  bool sawLower = false;
  for (int i = 0; i < 8 && !sawLower; ++i) {  // some checksums have no letter digits
    sim.setStatus(0, static_cast<uint8_t>(i), 0);
    c.write(kStatusSerial);
    Bytes r = c.readReply();
    ASSERT_TRUE(checksumValid(r));
    for (size_t k = r.size() - 2; k < r.size(); ++k) {
      EXPECT_FALSE(r[k] >= 'A' && r[k] <= 'F');
      sawLower |= r[k] >= 'a' && r[k] <= 'f';
    }
  }
  EXPECT_TRUE(sawLower);

  f = {};
  f.garbageBeforeStx = true;
  sim.setFaults(f);
  c.write(kStatusSerial);
  Bytes g = c.readReply();
  ASSERT_FALSE(g.empty());
  EXPECT_NE(g[0], kStx);
  EXPECT_TRUE(checksumValid(g));

  f = {};
  f.silentMidReply = true;
  sim.setFaults(f);
  c.write(kStatusSerial);
  Bytes half = c.readFor(300ms);
  ASSERT_FALSE(half.empty());
  EXPECT_EQ(half[0], kStx);
  EXPECT_EQ(std::count(half.begin(), half.end(), kEtx), 0);
  c.write({kEnq});  // the register stays dumb: no ACK to keep a reader waiting
  EXPECT_TRUE(c.readFor(300ms).empty());

  f = {};
  f.endlessReply = true;
  sim.setFaults(f);
  c.write(kStatusSerial);
  Bytes endless = c.readN(2000, 3s);
  EXPECT_EQ(endless.size(), 2000u);
  EXPECT_EQ(std::count(endless.begin(), endless.end(), kEtx), 0);
  // the next request ends the endless stream and is answered normally
  sim.setFaults({});
  ::tcflush(c.fd(), TCIFLUSH);
  c.write(kStatusSerial);
  Bytes after = c.readReply();
  // whatever filler came first, the last frame is a complete reply
  auto lastStx = std::find(after.rbegin(), after.rend(), kStx);
  ASSERT_NE(lastStx, after.rend());
  Bytes last(lastStx.base() - 1, after.end());
  EXPECT_TRUE(checksumValid(last));
}

TEST(SerialTransport, BusyRegisterAnswersEnqDuringItsDelay) {
  Simulator sim(emptyPassword());
  Faults f;
  f.replyDelayMs = 900;
  sim.setFaults(f);
  const std::string link = linkPath("delay");
  sim.openPty(link);
  auto c = WireClient::pty(link);
  c.write(kStatusSerial);
  ASSERT_TRUE(sim.waitForRequests(1, 2s));
  c.write({kEnq});
  EXPECT_EQ(c.readN(1, 600ms), Bytes{kAck});  // well before the reply is due
  Bytes r = c.readReply();
  EXPECT_EQ(test::fromStx(r), r);  // nothing stray before the frame
  EXPECT_TRUE(checksumValid(r));
}

TEST(SerialTransport, OverlongGarbageFrameIsDroppedAndTheLineRecovers) {
  Simulator sim(emptyPassword());
  const std::string link = linkPath("long");
  sim.openPty(link);
  auto c = WireClient::pty(link);
  Bytes junk(9000, 'A');
  junk[0] = kStx;
  ASSERT_TRUE(c.write(junk));
  ASSERT_TRUE(c.write(kStatusSerial));
  Bytes r = c.readReply();
  EXPECT_EQ(test::resultOf(r), 0);
  auto ev = sim.events();
  ASSERT_FALSE(ev.empty());
  EXPECT_EQ(ev.front().kind, WireEvent::Raw);
  EXPECT_EQ(ev.back().kind, WireEvent::Frame);
  EXPECT_EQ(ev.back().bytes, kStatusSerial);
}

TEST(TcpTransport, EnvelopeInBareReplyOut) {
  Simulator sim(emptyPassword());
  sim.setStatus(1, 2, 3);
  uint16_t port = sim.listenTcp();
  ASSERT_NE(port, 0);
  EXPECT_EQ(sim.tcpPort(), port);
  auto c = WireClient::tcp(port);
  ASSERT_TRUE(c.write(kStatusTcp));
  Bytes r = c.readReply();
  ASSERT_FALSE(r.empty());
  EXPECT_EQ(r[0], kStx);  // no envelope on the way back
  EXPECT_TRUE(checksumValid(r));
  EXPECT_EQ(test::fieldsOf(r), (std::vector<std::string>{"1", "2", "3"}));
  auto ev = sim.events();
  ASSERT_EQ(ev.size(), 1u);
  EXPECT_TRUE(ev[0].viaTcpEnvelope);
  EXPECT_EQ(ev[0].bytes, kStatusSerial);
  EXPECT_EQ(ev[0].envelope, kStatusTcp);

  // bare control bytes and bare frames travel without an envelope
  c.write({kEnq});
  EXPECT_EQ(c.readN(1), Bytes{kAck});
  c.write(kStatusSerial);
  EXPECT_EQ(test::resultOf(c.readReply()), 0);
  c.write({kCan});
  ASSERT_TRUE(sim.waitForEvents(4, 2s));
  ev = sim.events();
  EXPECT_EQ(ev[1].kind, WireEvent::Enq);
  EXPECT_EQ(ev[2].kind, WireEvent::Frame);
  EXPECT_FALSE(ev[2].viaTcpEnvelope);
  EXPECT_EQ(ev[3].kind, WireEvent::Can);
}

TEST(TcpTransport, BadEnvelopeXorIsAChecksumError) {
  Simulator sim(emptyPassword());
  auto c = WireClient::tcp(sim.listenTcp());
  Bytes env = kStatusTcp;
  env.back() ^= 0xFF;
  c.write(env);
  EXPECT_EQ(test::resultOf(c.readReply()), 0x07);
}

TEST(TcpTransport, NewClientAfterDisconnectAndCloseFault) {
  Simulator sim(emptyPassword());
  uint16_t port = sim.listenTcp();
  {
    auto c = WireClient::tcp(port);
    c.write(kStatusTcp);
    EXPECT_EQ(test::resultOf(c.readReply()), 0);
  }
  Faults f;
  f.closeConnection = true;
  sim.setFaults(f);
  {
    auto c = WireClient::tcp(port);
    c.write(kStatusTcp);
    EXPECT_TRUE(c.waitClosed(3s));
  }
  sim.setFaults({});
  auto c = WireClient::tcp(port);
  c.write(kStatusTcp);
  EXPECT_EQ(test::resultOf(c.readReply()), 0);
}

TEST(Log, GarbageIsRawAndClearLogEmpties) {
  Simulator sim(emptyPassword());
  const std::string link = linkPath("raw");
  sim.openPty(link);
  auto c = WireClient::pty(link);
  c.write({'x', 'y', 0x00});
  ASSERT_TRUE(sim.waitForEvents(1, 2s));
  auto ev = sim.events();
  EXPECT_EQ(ev[0].kind, WireEvent::Raw);
  EXPECT_EQ(ev[0].bytes, (Bytes{'x', 'y', 0x00}));
  sim.clearLog();
  EXPECT_TRUE(sim.events().empty());
  EXPECT_FALSE(sim.waitForEvents(1, 100ms));
  c.write(kStatusSerial);
  EXPECT_TRUE(sim.waitForReplies(1, 2s));
  EXPECT_EQ(test::fromStx(sim.sent()).front(), kStx);
}

TEST(Log, LimitKeepsTheNewestAndTheCallbackSeesEveryRequest) {
  std::mutex mu;
  std::vector<std::pair<std::string, int>> seen;
  Config cfg = emptyPassword();
  cfg.logLimit = 3;
  cfg.onRequest = [&](const Request& r) {
    std::lock_guard lk(mu);
    seen.push_back({r.code, r.resultCode});
  };
  Simulator sim(cfg);
  auto c = WireClient::tcp(sim.listenTcp());
  for (const char* body : {"A0", "7F",
                           "A5"
                           "0\x1c",
                           "A0", "A9"}) {
    c.write(wrapEnvelope(test::request(body, "")));
    ASSERT_GE(test::resultOf(c.readReply()), 0) << body;
  }
  auto rq = sim.requests();
  ASSERT_EQ(rq.size(), 3u);
  EXPECT_EQ(rq[0].code, "A5");
  EXPECT_EQ(rq[2].code, "A9");
  EXPECT_EQ(sim.events().size(), 3u);
  std::lock_guard lk(mu);
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen[1], (std::pair<std::string, int>{"7F", 2}));
}

}  // namespace
}  // namespace termina::sim
