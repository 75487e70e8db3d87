// SPDX-License-Identifier: GPL-3.0-or-later
// The fault matrix: each line fault of the simulated register against the
// calls it matters for, over the pseudo-terminal and over TCP.  Every cell
// checks the result code and that the call came back within its bound.
// TRMATMOUT is 2, so a normal reply gives up after two silent waits (1 s on
// the serial line, 10 s over TCP) and a long reply after four.
#include "fault_helpers.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace termina::test {
namespace {

using namespace std::chrono_literals;

class FaultMatrix : public ::testing::TestWithParam<Transport> {
 protected:
  void SetUp() override {
    c.sim->setReady();
    c.sim->addFiscalHistory(5);  // shifts for the fiscal memory reports
    c.connect();
  }
  void setFaults(const sim::Faults& f) { c.sim->setFaults(f); }
  double wait() const { return silentWait(GetParam()); }
  size_t enqsSeen() const {
    auto ev = c.sim->events();
    return static_cast<size_t>(
        std::count_if(ev.begin(), ev.end(), [](const sim::WireEvent& e) { return e.kind == sim::WireEvent::Enq; }));
  }
  // A status query that must succeed: the line is usable again.
  void expectLineWorks() {
    TRMA_FATAL_STATUS f{};
    TRMA_STATUS s{};
    TRMA_REC_STATUS r{};
    EXPECT_EQ(thrown([&] { TRMA_GetStatus(&f, &s, &r); }), -1);
  }

  Connected c{GetParam()};
};

Timed status() {
  return timed([] {
    TRMA_FATAL_STATUS f{};
    TRMA_STATUS s{};
    TRMA_REC_STATUS r{};
    TRMA_GetStatus(&f, &s, &r);
  });
}

Timed shiftReport() {
  return timed([] {
    TRMA_PASSWORD pw{'0'};
    TRMA_FiscShiftReport(1, 1, 5, &pw);
  });
}

// ---- silence --------------------------------------------------------------

TEST_P(FaultMatrix, SilenceFromTheFirstByteEndsAQueryWithTimeoutAfterTwoWaits) {
  sim::Faults f;
  f.silent = true;
  setFaults(f);
  Timed t = status();
  EXPECT_EQ(t.code, 48);
  EXPECT_GE(t.seconds, 2 * wait() * 0.9);
  EXPECT_LE(t.seconds, bound(2 * wait()));
  EXPECT_GE(enqsSeen(), 1u) << "every silent wait is followed by ENQ";
}

TEST_P(FaultMatrix, SilenceFromTheFirstByteEndsAReportAfterTwiceThePatience) {
  sim::Faults f;
  f.silent = true;
  setFaults(f);
  Timed t = shiftReport();
  EXPECT_EQ(t.code, 48);
  EXPECT_GE(t.seconds, 4 * wait() * 0.9);
  EXPECT_LE(t.seconds, bound(4 * wait()));
}

TEST_P(FaultMatrix, SilenceFromTheFirstByteMakesTheProbeAndTheConnectFail) {
  sim::Faults f;
  f.silent = true;
  setFaults(f);
  uint16_t active = 7;
  Timed t = timed([&] { EXPECT_EQ(TRMA_CheckActive(&active), 0); });
  EXPECT_EQ(t.code, -1) << "the probe swallows every failure";
  EXPECT_EQ(active, 0);
  EXPECT_LE(t.seconds, bound(wait()));

  t = timed([] { TRMA_CheckPort(false); });
  EXPECT_EQ(t.code, 19);
  EXPECT_LE(t.seconds, bound(wait()));
}

TEST_P(FaultMatrix, SilenceInTheMiddleOfAReplyEndsWithTimeout) {
  sim::Faults f;
  f.silentMidReply = true;
  setFaults(f);
  Timed t = status();
  EXPECT_EQ(t.code, 48);
  EXPECT_GE(t.seconds, 2 * wait() * 0.9);
  EXPECT_LE(t.seconds, bound(2 * wait()));
  setFaults({});
  if (GetParam() == Transport::Pty) expectLineWorks();  // the half reply was discarded before the next request
}

// ---- spoiled replies ------------------------------------------------------

TEST_P(FaultMatrix, GarbageBeforeStxFailsTheChecksum) {
  sim::Faults f;
  f.garbageBeforeStx = true;
  setFaults(f);
  Timed t = status();
  EXPECT_EQ(t.code, 7) << "the reader keeps every byte from the first one; the garbage spoils the sum";
  EXPECT_LE(t.seconds, bound(0.5));
  setFaults({});
  expectLineWorks();
}

TEST_P(FaultMatrix, WrongChecksumFailsQueriesAndReportsWithSeven) {
  sim::Faults f;
  f.badChecksum = true;
  setFaults(f);
  Timed t = status();
  EXPECT_EQ(t.code, 7);
  EXPECT_LE(t.seconds, bound(0.5));
  TRMA_STRING value{};
  t = timed([&] { TRMA_ReadConfig(20, 0, &value); });
  EXPECT_EQ(t.code, 7);
  EXPECT_STREQ(value, "") << "nothing of a failed reply reaches the caller";
  c.sim->setReportDuration(0);
  t = shiftReport();
  EXPECT_EQ(t.code, 7);
  EXPECT_LE(t.seconds, bound(0.5));
  setFaults({});
  expectLineWorks();
}

TEST_P(FaultMatrix, LowerCaseChecksumDigitsAreAccepted) {
  sim::Faults f;
  f.lowerCaseChecksum = true;
  setFaults(f);
  c.sim->setStatus(0x20, 0x06, 0x12);
  TRMA_FATAL_STATUS fa{};
  TRMA_STATUS st{};
  TRMA_REC_STATUS rs{};
  Timed t = timed([&] { TRMA_GetStatus(&fa, &st, &rs); });
  EXPECT_EQ(t.code, -1);
  EXPECT_LE(t.seconds, bound(0.5));
  EXPECT_EQ(fa.byte, 0x20);
  EXPECT_EQ(st.byte, 0x06);
  EXPECT_EQ(rs.byte, 0x12);
}

TEST_P(FaultMatrix, AReplyThatNeverEndsIsCutAtTheSizeLimit) {
  // The register sends 16 filler bytes every 5 ms, so the 8 KiB limit is
  // reached after about 2.6 s.
  const double theory = 8192.0 / 16 * 0.005;
  sim::Faults f;
  f.endlessReply = true;
  setFaults(f);
  Timed t = status();
  EXPECT_EQ(t.code, 48);
  EXPECT_LE(t.seconds, bound(theory));
  c.sim->setReportDuration(0);
  t = shiftReport();
  EXPECT_EQ(t.code, 48);
  EXPECT_LE(t.seconds, bound(theory));
  setFaults({});
  // Over the serial line the rest of the endless reply is discarded before
  // the next request; over TCP it may still stand in the socket (there is
  // no resynchronisation), so only the serial line must recover at once.
  if (GetParam() == Transport::Pty) expectLineWorks();
}

// ---- a busy register ------------------------------------------------------

TEST_P(FaultMatrix, AckStormKeepsTheCallWaitingAtLittleCostUntilTheReplyComes) {
  // Three seconds of ACKs outlast the serial patience threefold; each ACK
  // starts the count again, and the driver sleeps between them.
  sim::Faults f;
  f.ackStormMs = 3000;
  f.ackIntervalMs = 100;
  setFaults(f);
  const double cpu0 = threadCpuSeconds();
  Timed t = status();
  const double cpu = threadCpuSeconds() - cpu0;
  EXPECT_EQ(t.code, -1);
  EXPECT_GE(t.seconds, 2.9);
  EXPECT_LE(t.seconds, bound(3.0));
  EXPECT_LT(cpu, 0.25 * t.seconds) << "waiting out ACKs must not spin";
}

// ---- a broken line --------------------------------------------------------

TEST_P(FaultMatrix, DisconnectInTheMiddleOfAReplyEndsTheCallPromptly) {
  sim::Faults f;
  f.disconnectMidReply = true;
  setFaults(f);
  Timed t = status();
  if (GetParam() == Transport::Tcp) {
    // The closed connection gives no byte at once; the ENQ after it fails
    // (16) or the patience runs out without waiting (48).
    EXPECT_TRUE(t.code == 16 || t.code == 48) << t.code;
    EXPECT_LE(t.seconds, bound(1.0));
    setFaults({});
    EXPECT_EQ(thrown([] { TRMA_CheckPort(false); }), -1) << "a new connection works";
    expectLineWorks();
  } else {
    // A serial line that goes dead is silence.
    EXPECT_EQ(t.code, 48);
    EXPECT_LE(t.seconds, bound(2 * wait()));
    setFaults({});
    expectLineWorks();
  }
}

// ---- memory blocks --------------------------------------------------------

TEST_P(FaultMatrix, TruncatedMemoryBlockFailsWithoutWritingPastTheCallersBytes) {
  std::vector<uint8_t> image(100);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(0xA0 + i);
  c.sim->setMemory(3, 0xF000, image);
  sim::Faults f;
  f.truncatedMemBlock = true;
  setFaults(f);
  // Exactly the bytes asked for, on the heap: a write past them is caught.
  std::unique_ptr<uint8_t[]> out(new uint8_t[100]());
  Timed t = timed([&] { TRMA_ReadMemBlock(3, 0xF000, 100, out.get()); });
  EXPECT_EQ(t.code, 17) << "a short block must not be handed out as data";
  EXPECT_LE(t.seconds, bound(0.5));

  f.truncatedMemBlock = false;
  f.lowerCaseMemHex = true;
  setFaults(f);
  t = timed([&] { TRMA_ReadMemBlock(3, 0xF000, 100, out.get()); });
  EXPECT_EQ(t.code, -1);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), out.get()));
}

// ---- a slow line ----------------------------------------------------------

TEST_P(FaultMatrix, BytesOneAtATimeJustInsideTheReadTimeoutMakeAWholeReply) {
  // 450 ms before every byte: each read wait of 500 ms (serial) sees its
  // byte.  A late byte on a loaded machine costs an ENQ and one step of
  // the count, so the count is given room here; the reply must still come
  // through whole.
  TRMATMOUT = 5;
  sim::Faults f;
  f.byteGapMs = 450;
  setFaults(f);
  // A host date after the register's last fiscal operation (made "now"
  // by setReady), which function 0 would refuse otherwise.
  TRMADT d{31, 12, 2098};
  TRMATM tm{1, 2, 3};
  Timed t = timed([&] { TRMA_Init(&d, &tm); });
  // The reply to function 0 carries no fields: STX, three bytes, the code,
  // ETX and the checksum.
  const double theory = 9 * 0.45;
  EXPECT_EQ(t.code, -1);
  EXPECT_GE(t.seconds, theory * 0.9);
  EXPECT_LE(t.seconds, bound(theory));
  EXPECT_TRUE(c.sim->state().initDone);
}

// ---- reports --------------------------------------------------------------

TEST_P(FaultMatrix, CanInTheMiddleOfAReportEndsItPromptly) {
  c.sim->setReportDuration(60000);
  c.sim->setReportAckInterval(200);
  c.sim->setCancelResult(0x0E);
  std::atomic<int> result{-2};
  std::atomic<double> endedAt{0};
  const auto t0 = std::chrono::steady_clock::now();
  std::thread worker([&] {
    result = shiftReport().code;
    endedAt = secondsSince(t0);
  });
  // Cancel once the report is running (its ACKs are arriving).
  ASSERT_TRUE(c.sim->waitForReportAcks(2, 5s));
  const double cancelledAt = secondsSince(t0);
  EXPECT_EQ(TRMA_CancelReport(), 0);
  worker.join();
  EXPECT_EQ(result.load(), 0x0E);
  // The register answers the CAN at once; one ACK interval and the
  // driver's 100 ms pause after an ACK are all that may come in between.
  EXPECT_LE(endedAt.load() - cancelledAt, bound(0.3));
  expectLineWorks();
}

// ---- a register that restarts ---------------------------------------------

// Boot time of the restarted register: longer than the whole patience of a
// normal reply, so the call has given up before the register is back.
double bootSeconds(Transport t) { return 2 * silentWait(t) + 1.5; }

TEST_P(FaultMatrix, RestartInTheMiddleOfAMemoryReadEndsWithTimeoutAndTheRegisterIsAtPowerOn) {
  std::vector<uint8_t> image(100);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7);
  c.sim->setMemory(3, 0x1000, image);
  sim::Faults f;
  f.restartAtFrame = 3;  // the third of the four blocks is lost
  f.restartBootMs = static_cast<int>(bootSeconds(GetParam()) * 1000);
  setFaults(f);
  std::unique_ptr<uint8_t[]> out(new uint8_t[100]());
  Timed t = timed([&] { TRMA_ReadMemBlock(3, 0x1000, 100, out.get()); });
  EXPECT_EQ(t.code, 48);
  EXPECT_LE(t.seconds, bound(2 * wait()));
  EXPECT_EQ(c.sim->requests().size(), 2u) << "the transfer stops at the lost block";

  // Once the register is back it reports the power-on state, and the
  // transfer can be made again.
  ASSERT_TRUE(
      c.sim->waitForRestarts(1, std::chrono::milliseconds(static_cast<int>(bootSeconds(GetParam()) * 1000) + 5000)));
  TRMA_FATAL_STATUS fa{};
  TRMA_STATUS st{};
  TRMA_REC_STATUS rs{};
  ASSERT_EQ(thrown([&] { TRMA_GetStatus(&fa, &st, &rs); }), -1);
  EXPECT_EQ(st.bits.bNoInit, 1) << "function 0 is due again";
  ASSERT_EQ(thrown([&] { TRMA_ReadMemBlock(3, 0x1000, 100, out.get()); }), -1);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), out.get()));
}

TEST_P(FaultMatrix, RestartInTheMiddleOfAMemoryWriteKeepsTheBlocksWrittenBeforeIt) {
  const std::vector<uint8_t> before = c.sim->memory(3, 0x1000, 100);
  std::vector<uint8_t> data(100);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(~before[i]);
  sim::Faults f;
  f.restartAtFrame = 2;  // the second of the four blocks is lost
  f.restartBootMs = static_cast<int>(bootSeconds(GetParam()) * 1000);
  setFaults(f);
  Timed t = timed([&] { TRMA_ReadBlock(3, 0x1000, 100, data.data()); });
  EXPECT_EQ(t.code, 48);
  EXPECT_LE(t.seconds, bound(2 * wait()));
  std::vector<uint8_t> after = c.sim->memory(3, 0x1000, 100);
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + 32, after.begin())) << "the first block stays written";
  EXPECT_TRUE(std::equal(before.begin() + 32, before.end(), after.begin() + 32)) << "nothing after the lost block";
}

INSTANTIATE_TEST_SUITE_P(Transports, FaultMatrix, ::testing::Values(Transport::Pty, Transport::Tcp), transportName);

}  // namespace
}  // namespace termina::test
