// SPDX-License-Identifier: GPL-3.0-or-later
// The recovery sequences through the real driver against the simulated
// register, and the .nvr file on disk.
#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core_fixture.h"
#include "driver_text.h"
#include "nvr_recovery.h"

using namespace termina;
using namespace termina::app;
using apptest::CoreTest;

namespace {

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& b) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<long>(b.size()));
}

// Values the image holds exactly (whole ten-thousandths); the variants
// that lack a field read it as zero.
NvrRecord Sample(uint16_t version) {
  NvrRecord r;
  r.version = version;
  r.opened = NvrDateTime{15, 3, 2011, 0, 0, 0};
  r.shift = 77, r.document = 1500, r.report = 3, r.receipt = 1200;
  r.cash = 1500.5, r.carried = 200, r.annulled = 4, r.paidIn = 100, r.paidOut = 50;
  for (std::size_t i = 0; i < 16; ++i) r.sales[i] = static_cast<double>(i) + 0.25;
  r.returns[3] = 12.5;
  if (NvrVariantFor(version) != NvrVariant::Short) r.deferred = 8, r.markupReturns = 2.5, r.taxSales[5] = 18;
  if (NvrVariantFor(version) == NvrVariant::Long) r.deptReturns[5] = 6;
  RecomputeNvrTotals(r);
  return r;
}

class NvrRecovery : public CoreTest {
 protected:
  // A register of the version whose NVR image holds the record.
  void StartWith(const NvrRecord& r) {
    sim::Config cfg;
    cfg.version = r.version;
    StartRegister(cfg);
    m_sim->setMemory(kNvrArea, kNvrAddress, BuildNvrImage(r));
    Connect();
  }
  std::string File(const std::string& name) const { return m_root.path() + "/" + name; }
  int m_blocks = 0;  // counted on the simulator's thread
  std::size_t Count(const std::string& code) const {
    std::size_t n = 0;
    for (const auto& c : Codes()) n += c == code;
    return n;
  }
};

}  // namespace

TEST_F(NvrRecovery, RegisterToRecordToImageToRegisterForEveryVariant) {
  for (uint16_t version : {uint16_t{120}, uint16_t{125}, uint16_t{201}}) {
    SCOPED_TRACE(version);
    const NvrRecord stored = Sample(version);
    StartWith(stored);
    // The checksum fault: only the stored checksum byte is spoiled.
    m_sim->setNvrFault(true);
    NvrOpening o = OpenNvrRecovery(m_ask);
    EXPECT_EQ(o.failure, 0);
    EXPECT_TRUE(m_ask.asked.empty());
    EXPECT_EQ(o.record, stored);
    // One version query, then the image 32 bytes a request.
    const std::size_t blocks = (NvrImageLength(version) + 31) / 32;
    EXPECT_EQ(Codes().size(), 1 + blocks);
    EXPECT_EQ(Count("E1"), blocks);

    // The engineer corrects totals; OK writes the image the record makes.
    o.record.cash = 99.99;
    o.record.returns[15] = 0.75;
    o.record.shift = 70000;
    m_sim->clearLog();
    ASSERT_TRUE(CommitNvrRecovery(o.record, m_ask));
    EXPECT_EQ(Codes(), std::vector<std::string>(blocks, "E7"));
    EXPECT_EQ(m_sim->nvrImage(), BuildNvrImage(o.record));
    EXPECT_EQ(m_sim->state().cashInDrawer, 999900);
    EXPECT_EQ(m_sim->state().fatal & 0x01, 0);
    TRMA_ClosePort();
    m_sim.reset();
  }
}

TEST_F(NvrRecovery, ReadFailingHalfWayKeepsWhatWasReadAndShowsTheDriversText) {
  const NvrRecord stored = Sample(201);
  sim::Config cfg;
  cfg.version = 201;
  // The fourth block of the image is refused.
  cfg.onRequest = [this](const sim::Request& r) {
    if (r.code == "E1" && ++m_blocks == 3) {
      sim::Faults f;
      f.forced["E1"] = sim::ForcedReply{1, {}};
      m_sim->setFaults(f);
    }
  };
  StartRegister(cfg);
  m_sim->setMemory(kNvrArea, kNvrAddress, BuildNvrImage(stored));
  Connect();
  const NvrOpening o = OpenNvrRecovery(m_ask);
  EXPECT_EQ(o.failure, 1);
  EXPECT_EQ(Count("E1"), 4u);  // never repeated
  ASSERT_EQ(m_ask.Texts(), std::vector<std::string>{*ErrorText(1)});
  EXPECT_EQ(m_ask.asked[0].title, kProgramTitle);
  // The first 96 bytes: numbers, cash, date, carry-over; nothing after.
  EXPECT_EQ(o.record.receipt, stored.receipt);
  EXPECT_EQ(o.record.opened, stored.opened);
  EXPECT_EQ(o.record.carried, stored.carried);
  EXPECT_EQ(o.record.sales[0], 0.0);
  EXPECT_EQ(o.record.salesTotal, 0.0);
  EXPECT_EQ(o.record.deptReturns[5], 0.0);
}

TEST_F(NvrRecovery, RefusedWriteShowsTheTextAndStopsAtTheFailingBlock) {
  StartWith(Sample(125));
  const std::vector<uint8_t> before = m_sim->nvrImage();
  sim::Faults f;
  f.forced["E7"] = sim::ForcedReply{3, {}};
  m_sim->setFaults(f);
  NvrRecord r = Sample(125);
  r.cash = 1;
  EXPECT_FALSE(CommitNvrRecovery(r, m_ask));
  EXPECT_EQ(Codes(), std::vector<std::string>{"E7"});
  EXPECT_EQ(m_ask.Texts(), std::vector<std::string>{*ErrorText(3)});
  EXPECT_EQ(m_sim->nvrImage(), before);
}

TEST_F(NvrRecovery, FileSavedOnAShortRegisterLoadsWholeOnALongOne) {
  NvrRecord shortRecord = Sample(120);
  // The file keeps every field, also those the short image lacks.
  shortRecord.deptReturns[5] = 6.5;
  shortRecord.taxSales[2] = 3;
  ASSERT_TRUE(SaveNvrRecord(File("a.nvr"), shortRecord, m_ask));
  const std::vector<uint8_t> bytes = ReadBytes(File("a.nvr"));
  ASSERT_EQ(bytes.size(), 544u);
  double cash, lastDept;
  std::memcpy(&cash, bytes.data() + 16, 8);
  std::memcpy(&lastDept, bytes.data() + 536, 8);
  EXPECT_EQ(bytes[0], 77);  // shift number first
  EXPECT_EQ(cash, 1500.5);
  EXPECT_EQ(lastDept, 6.5);

  NvrRecord longRecord = NewNvrRecord(201);
  const NvrDateTime opened = longRecord.opened;
  ASSERT_TRUE(LoadNvrRecord(File("a.nvr"), longRecord, m_ask));
  EXPECT_EQ(longRecord.version, 201);
  EXPECT_EQ(longRecord.opened, opened);  // the file holds no date
  longRecord.version = 120;
  longRecord.opened = shortRecord.opened;
  EXPECT_EQ(longRecord, shortRecord);
  EXPECT_TRUE(m_ask.asked.empty());
}

TEST_F(NvrRecovery, FileOfAWrongSizeOrMissingIsRefusedAndChangesNothing) {
  std::vector<uint8_t> bytes = EncodeNvrFile(Sample(201));
  bytes.pop_back();
  WriteBytes(File("short.nvr"), bytes);
  bytes.resize(545, 0);
  WriteBytes(File("long.nvr"), bytes);
  NvrRecord r = NewNvrRecord(201);
  const NvrRecord before = r;
  for (const char* name : {"short.nvr", "long.nvr", "missing.nvr"}) {
    m_ask.asked.clear();
    EXPECT_FALSE(LoadNvrRecord(File(name), r, m_ask)) << name;
    EXPECT_EQ(r, before);
    ASSERT_EQ(m_ask.asked.size(), 1u);
    EXPECT_EQ(m_ask.asked[0].text, "Ошибка чтения конфигурации.");
    EXPECT_EQ(m_ask.asked[0].title, "Ошибка");
    EXPECT_EQ(m_ask.asked[0].buttons, Buttons::OkCancel);
  }
}

TEST_F(NvrRecovery, FailedSaveLeavesTheEarlierFileAsItWas) {
  const std::string path = File("backup.nvr");
  ASSERT_TRUE(SaveNvrRecord(path, Sample(201), m_ask));
  const std::vector<uint8_t> good = ReadBytes(path);
  // Writes beyond 300 bytes fail, as on a full disk.
  struct sigaction ignore {
  }, old{};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGXFSZ, &ignore, &old);
  rlimit lim{}, saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  lim = saved;
  lim.rlim_cur = 300;
  ::setrlimit(RLIMIT_FSIZE, &lim);
  const bool saved2 = SaveNvrRecord(path, Sample(120), m_ask);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::sigaction(SIGXFSZ, &old, nullptr);
  EXPECT_FALSE(saved2);
  EXPECT_EQ(m_ask.Texts(), std::vector<std::string>{"Ошибка записи конфигурации."});
  EXPECT_EQ(ReadBytes(path), good);
  // No temporary file is left behind.
  std::size_t entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(m_root.path())) entries += e.is_regular_file();
  EXPECT_EQ(entries, 1u);
  // A folder that does not exist cannot be written either.
  EXPECT_FALSE(SaveNvrRecord(File("no/such/dir.nvr"), Sample(120), m_ask));
}
