// SPDX-License-Identifier: GPL-3.0-or-later
// Memory blocks (32 bytes a frame) and the logo stream (256-byte pieces).
#include "register_fixture.h"

#include <fstream>

using namespace termina;
using namespace termina::test;

namespace {

std::vector<std::string> bodies(const sim::Simulator& s) {
  std::vector<std::string> out;
  for (auto& r : s.requests()) out.push_back(r.bodyUtf8);
  return out;
}

std::string hexOf(const uint8_t* p, size_t n) {
  std::string s;
  char buf[3];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "%02X", p[i]);
    s += buf;
  }
  return s;
}

}  // namespace

class BulkTest : public ::testing::TestWithParam<Transport> {
 protected:
  Connected c{GetParam()};
  void SetUp() override { c.connect(); }
};

TEST_P(BulkTest, MemoryIsReadInBlocksOf32) {
  std::vector<uint8_t> pattern(100);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<uint8_t>(i * 7 + 3);
  c.sim->setMemory(3, 0xF000, pattern);
  std::vector<uint8_t> out(100, 0xEE);
  EXPECT_EQ(TRMA_ReadMemBlock(3, 0xF000, 100, out.data()), 0);
  EXPECT_EQ(out, pattern);
  EXPECT_EQ(bodies(*c.sim), (std::vector<std::string>{
                                "E13" + FS + "61440" + FS + "32" + FS,
                                "E13" + FS + "61472" + FS + "32" + FS,
                                "E13" + FS + "61504" + FS + "32" + FS,
                                "E13" + FS + "61536" + FS + "4" + FS,
                            }));
  c.sim->clearLog();
  EXPECT_EQ(TRMA_ReadMemBlock(3, 0xF000, 0, out.data()), 0);
  EXPECT_TRUE(c.sim->requests().empty());
  EXPECT_EQ(TRMA_ReadMemBlock(3, 0xF000, 5, out.data()), 0);
  EXPECT_EQ(bodies(*c.sim), std::vector<std::string>{"E13" + FS + "61440" + FS + "5" + FS});
}

TEST_P(BulkTest, AddressesPastTheSixteenBitRangeAreSentInFull) {
  // The simulated memory ends at 0xFFFF, so the register is told what to
  // answer; what matters is the address it was asked for.
  sim::Faults f;
  f.forced["E1"] = sim::ForcedReply{0, {std::string(64, '0')}};
  c.sim->setFaults(f);
  std::vector<uint8_t> out(64);
  EXPECT_EQ(TRMA_ReadMemBlock(3, 65520, 64, out.data()), 0);
  auto b = bodies(*c.sim);
  ASSERT_EQ(b.size(), 2u);
  EXPECT_EQ(b[1], "E13" + FS + "65552" + FS + "32" + FS);
}

TEST_P(BulkTest, LowerCaseDigitsDecodeTheSame) {
  sim::Faults f;
  f.lowerCaseMemHex = true;
  c.sim->setFaults(f);
  c.sim->setMemory(3, 0xF000, {0x0A, 0xFF, 0xBC});
  std::vector<uint8_t> out(3);
  EXPECT_EQ(TRMA_ReadMemBlock(3, 0xF000, 3, out.data()), 0);
  EXPECT_EQ(out, (std::vector<uint8_t>{0x0A, 0xFF, 0xBC}));
}

TEST_P(BulkTest, AShortBlockFailsAndKeepsTheBlocksBefore) {
  std::vector<uint8_t> pattern(64, 0x5A);
  c.sim->setMemory(3, 0xF000, pattern);
  std::vector<uint8_t> out(64, 0);
  // The first block arrives whole, then the register starts sending short ones.
  sim::Faults f;
  f.forced["E1"] = sim::ForcedReply{0, {std::string(64, 'A')}};
  c.sim->setFaults(f);
  EXPECT_EQ(TRMA_ReadMemBlock(3, 0xF000, 32, out.data()), 0);
  f.forced["E1"] = sim::ForcedReply{0, {std::string(20, 'B')}};
  c.sim->setFaults(f);
  EXPECT_EQ(thrown([&] { TRMA_ReadMemBlock(3, 0xF000, 64, out.data()); }), 17);
  EXPECT_EQ(out[0], 0xAA);
  EXPECT_EQ(out[32], 0x00) << "nothing decoded from digits that were not sent";

  c.sim->setFaults({});
  f = {};
  f.truncatedMemBlock = true;
  c.sim->setFaults(f);
  EXPECT_EQ(thrown([&] { TRMA_ReadMemBlock(3, 0xF000, 32, out.data()); }), 17);
}

TEST_P(BulkTest, ABlockWithoutDataIsZeroedAndReported) {
  c.sim->setMemory(3, 0xF000, std::vector<uint8_t>(40, 0x77));
  force(*c.sim, "E1", 64);
  std::vector<uint8_t> out(40, 0xEE);
  // Every block is asked for; none carried data, and the call says so.
  EXPECT_EQ(TRMA_ReadMemBlock(3, 0xF000, 40, out.data()), 64);
  EXPECT_EQ(c.sim->requests().size(), 2u);
  EXPECT_EQ(out, std::vector<uint8_t>(40, 0));
}

TEST_P(BulkTest, MemoryIsWrittenInBlocksOf32) {
  // Area 2: plain memory (area 3 holds the NVR image the register rebuilds).
  uint8_t two[] = {0x0A, 0xFF};
  EXPECT_EQ(TRMA_ReadBlock(2, 0x100, 2, two), 0);
  EXPECT_EQ(bodies(*c.sim), std::vector<std::string>{"E72" + FS + "256" + FS + "2" + FS + "0AFF" + FS});
  EXPECT_EQ(c.sim->memory(2, 0x100, 2), (std::vector<uint8_t>{0x0A, 0xFF}));
  c.sim->clearLog();
  std::vector<uint8_t> data(40);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0xC0 + i);
  EXPECT_EQ(TRMA_ReadBlock(2, 0x100, 40, data.data()), 0);
  auto b = bodies(*c.sim);
  ASSERT_EQ(b.size(), 2u);
  EXPECT_EQ(b[0], "E72" + FS + "256" + FS + "32" + FS + hexOf(data.data(), 32) + FS);
  EXPECT_EQ(b[1], "E72" + FS + "288" + FS + "8" + FS + hexOf(data.data() + 32, 8) + FS);
  EXPECT_EQ(c.sim->memory(2, 0x100, 40), data);
  c.sim->clearLog();
  EXPECT_EQ(TRMA_ReadBlock(2, 0x100, 0, data.data()), 0);
  EXPECT_TRUE(c.sim->requests().empty());
}

TEST_P(BulkTest, LogoIsClearedThenStreamedAfterItsHeader) {
  std::string file = c.root.path() + "/logo.bmp";
  std::string content(512, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 13);
  std::ofstream(file, std::ios::binary) << content;
  std::string trace = c.root.path() + "/trace.log";
  ::setenv("TERMINA_TRACE", trace.c_str(), 1);
  TRMA_CheckPort(false);
  c.sim->clearLog();
  TRMA_LOGO_NAME name;
  std::snprintf(name, sizeof name, "%s", file.c_str());
  EXPECT_EQ(TRMA_LoadLogo(&name), 0);
  ::unsetenv("TERMINA_TRACE");
  auto req = c.sim->requests();
  ASSERT_GE(req.size(), 2u);
  EXPECT_EQ(req[0].bodyUtf8, "E3");
  EXPECT_EQ(req[1].bodyUtf8, "E2513" + FS);
  auto logo = c.sim->logo();
  ASSERT_EQ(logo.size(), 513u);
  EXPECT_EQ(logo[0], 0x1B);
  EXPECT_EQ(std::string(logo.begin() + 1, logo.end()), content);
  // The stream went out as two 256-byte writes and one of a single byte.
  std::string t = readAll(trace);
  EXPECT_NE(t.find("raw [256]"), std::string::npos);
  size_t first = t.find("raw [256]");
  EXPECT_NE(t.find("raw [256]", first + 1), std::string::npos);
  EXPECT_NE(t.find("raw [1]"), std::string::npos);
}

TEST_P(BulkTest, LogoFailures) {
  TRMA_LOGO_NAME name;
  std::snprintf(name, sizeof name, "%s", (c.root.path() + "/missing.bmp").c_str());
  EXPECT_EQ(thrown([&] { TRMA_LoadLogo(&name); }), 3);
  EXPECT_EQ(c.lastBody(), "E3") << "the stored logo is cleared before the file is opened";

  std::string empty = c.root.path() + "/empty.bmp";
  std::ofstream(empty).close();
  std::snprintf(name, sizeof name, "%s", empty.c_str());
  c.sim->clearLog();
  EXPECT_EQ(TRMA_LoadLogo(&name), 0);
  EXPECT_EQ(c.sim->requests().size(), 1u);

  // A register that answers the header with a reply frame instead of ACK
  // refused the upload: its code is raised, not success.
  std::string file = c.root.path() + "/logo.bmp";
  std::ofstream(file, std::ios::binary) << std::string(10, 'x');
  std::snprintf(name, sizeof name, "%s", file.c_str());
  sim::Faults f;
  f.logoHeaderResult = 3;
  c.sim->setFaults(f);
  EXPECT_EQ(thrown([&] { TRMA_LoadLogo(&name); }), 3);
  f.logoHeaderResult = 0;
  c.sim->setFaults(f);
  EXPECT_EQ(thrown([&] { TRMA_LoadLogo(&name); }), 16);
}

TEST_P(BulkTest, ClearLogoReturnsItsCode) {
  EXPECT_EQ(TRMA_ClearLogo(), 0);
  EXPECT_EQ(c.lastBody(), "E3");
  sim::Faults f;
  f.forced["E3"] = sim::ForcedReply{0x21, {}};
  c.sim->setFaults(f);
  EXPECT_EQ(TRMA_ClearLogo(), 0x21);
}

INSTANTIATE_TEST_SUITE_P(Transports, BulkTest, ::testing::Values(Transport::Pty, Transport::Tcp), transportName);
