// SPDX-License-Identifier: GPL-3.0-or-later
// The backup of the NVR recovery's write: the record read at opening kept as
// an .nvr file in the backups folder before the image is written, and no
// write without one unless the engineer says so.
#include "nvr_backup.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "backups.h"
#include "core_fixture.h"
#include "nvr_file.h"
#include "nvr_recovery.h"

using namespace termina;
using namespace termina::app;

namespace {

namespace fs = std::filesystem;

class NvrBackup : public apptest::CoreTest {
 protected:
  void SetUp() override {
    sim::Config cfg;
    cfg.version = 201;
    StartRegister(cfg);
    m_sim->setReady();
    NvrRecord stored = NewNvrRecord(201);
    stored.opened = NvrDateTime{1, 2, 2024, 0, 0, 0};
    stored.shift = 41, stored.cash = 1234.5, stored.sales[2] = 99.25, stored.deptReturns[1] = 7;
    m_sim->setMemory(kNvrArea, kNvrAddress, BuildNvrImage(stored));
    Connect();
  }
  std::string m_folder = m_root.path() + "/backups";
};

TEST_F(NvrBackup, TheRecordReadAtOpeningIsKeptBeforeTheWrite) {
  const NvrOpening o = OpenNvrRecovery(m_ask);
  ASSERT_EQ(o.failure, 0);
  NvrRecord edited = o.record;
  edited.cash = 1;
  edited.sales[2] = 0;
  m_sim->clearLog();
  ASSERT_TRUE(CommitNvrRecovery(edited, o.record, m_ask));
  EXPECT_TRUE(m_ask.asked.empty());
  EXPECT_EQ(m_sim->nvrImage(), BuildNvrImage(edited));
  EXPECT_EQ(Codes().front(), "A6") << "the registration number names the backup, before any write";

  const auto kept = ListBackups(m_folder, "ТЕРМИНА-2_000000000001", kNvrBackupExtension);
  ASSERT_EQ(kept.size(), 1u);
  std::ifstream in(kept[0], std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_EQ(bytes, EncodeNvrFile(o.record));
  NvrRecord back = NewNvrRecord(201);
  ASSERT_TRUE(LoadNvrFile(kept[0], back));
  EXPECT_EQ(back.cash, 1234.5);
  EXPECT_EQ(back.sales[2], 99.25);
}

TEST_F(NvrBackup, NoBackupNoWriteUnlessAnswered) {
  std::ofstream(m_folder) << "a file where the folder should be";
  const NvrOpening o = OpenNvrRecovery(m_ask);
  const std::vector<uint8_t> before = m_sim->nvrImage();
  NvrRecord edited = o.record;
  edited.cash = 5;
  EXPECT_FALSE(CommitNvrRecovery(edited, o.record, m_ask));
  ASSERT_EQ(m_ask.asked.size(), 1u);
  EXPECT_EQ(m_ask.asked[0].buttons, Buttons::YesNo);
  EXPECT_EQ(m_ask.asked[0].defaultAnswer, Answer::No);
  EXPECT_EQ(m_ask.asked[0].text.rfind("Не удалось сохранить резервную копию образа NVR: ", 0), 0u);
  EXPECT_EQ(m_sim->nvrImage(), before);

  m_ask.answers = {Answer::Yes};
  EXPECT_TRUE(CommitNvrRecovery(edited, o.record, m_ask));
  EXPECT_EQ(m_sim->nvrImage(), BuildNvrImage(edited));
}

}  // namespace
