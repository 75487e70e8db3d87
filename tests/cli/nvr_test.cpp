// SPDX-License-Identifier: GPL-3.0-or-later
// trma nvr: the real trma executable against the simulated register over a
// pseudo terminal, with .nvr files in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "backups.h"
#include "nvr_file.h"
#include "run_process.h"
#include "trma_fixture.h"
#include "simulator.h"
#include "temp_dir.h"

namespace {

using namespace termina;
using termina::test::ProcessResult;

class TrmaNvr : public test::TrmaRoot {
 protected:
  // A register of the version whose NVR image holds the record.
  sim::Simulator& start(const app::NvrRecord& r) {
    sim::Config cfg;
    cfg.version = r.version;
    sim = std::make_unique<sim::Simulator>(cfg);
    sim->openPty(root + "/dev/com1");
    sim->setMemory(app::kNvrArea, app::kNvrAddress, app::BuildNvrImage(r));
    return *sim;
  }
  ProcessResult trma(std::vector<std::string> args) {
    return runTrma({"--timeout", "3", "--port", "1", "--serial", "nvr"}, args);
  }
  std::vector<std::string> codes() const {
    std::vector<std::string> c;
    for (const auto& r : sim->requests()) c.push_back(r.code);
    return c;
  }
  static bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

  std::unique_ptr<sim::Simulator> sim;
};

app::NvrRecord sample() {
  app::NvrRecord r;
  r.version = 201;
  r.opened = app::NvrDateTime{2, 2, 2012, 0, 0, 0};
  r.shift = 41;
  r.cash = 12.346;
  r.sales[0] = 100;
  r.sales[2] = 50.5;
  r.deptReturns[5] = 3;
  return r;
}

}  // namespace

TEST_F(TrmaNvr, ShowReadEditAndWriteBack) {
  start(sample());
  ProcessResult r = trma({"show"});
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(has(r.out, "Номер смены: 41\n")) << r.out;
  EXPECT_TRUE(has(r.out, "Дата открытия смены: 02.02.2012 00:00:00\n")) << r.out;
  EXPECT_TRUE(has(r.out, "Наличные в ящике: 12.35\n")) << r.out;
  EXPECT_TRUE(has(r.out, "Сумма продаж по платежам: 150.50\n  Наличные: 100.00\n")) << r.out;
  EXPECT_TRUE(has(r.out, "Суммы по учетным группам (возвраты):\n")) << r.out;
  EXPECT_TRUE(has(r.out, "  Группа 6: 3.00\n")) << r.out;

  const std::string original = dir.file("original.nvr");
  ASSERT_EQ(trma({"read", original}).exitCode, 0);
  const std::string file = dir.file("shift.nvr");
  r = trma({"read", file});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  app::NvrRecord saved;
  ASSERT_TRUE(app::LoadNvrFile(file, saved));
  EXPECT_EQ(saved.shift, 41u);
  EXPECT_EQ(saved.sales[2], 50.5);

  // The engineer corrects a total in the file and writes it back.
  saved.cash = 7.5;
  saved.returns[1] = 2;
  ASSERT_TRUE(app::SaveNvrFile(file, saved));
  sim->clearLog();
  r = trma({"write", file});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  app::NvrRecord expected = saved;
  expected.version = 201;
  expected.opened = sample().opened;
  EXPECT_EQ(sim->nvrImage(), app::BuildNvrImage(expected));
  const std::vector<std::string> c = codes();
  ASSERT_FALSE(c.empty());
  EXPECT_EQ(std::count(c.begin(), c.end(), "E1"), 21);
  EXPECT_EQ(std::count(c.begin(), c.end(), "E7"), 21);
  EXPECT_EQ(c.back(), "E7");

  // What the register held before the write is kept, byte for byte what
  // `nvr read` saved.
  const std::vector<std::string> kept = app::ListBackups(root + "/backups", "ТЕРМИНА-2_unregistered", "nvr");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_TRUE(has(r.out, kept[0])) << r.out;
  EXPECT_EQ(test::readFile(kept[0]), test::readFile(original));
}

TEST_F(TrmaNvr, NoBackupNoWrite) {
  start(sample());
  const std::string file = dir.file("shift.nvr");
  ASSERT_TRUE(app::SaveNvrFile(file, sample()));
  test::writeFile(root + "/backups", "not a folder");
  ProcessResult r = trma({"write", file});
  EXPECT_EQ(r.exitCode, 101);
  EXPECT_TRUE(has(r.err, "Не удалось сохранить резервную копию образа NVR: ")) << r.err;
  EXPECT_TRUE(has(r.err, "--no-backup")) << r.err;
  const std::vector<std::string> refused = codes();
  EXPECT_EQ(std::count(refused.begin(), refused.end(), "E7"), 0);
  r = trma({"write", "--no-backup", file});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const std::vector<std::string> c = codes();
  EXPECT_EQ(std::count(c.begin(), c.end(), "A6"), 1) << "only the refused write asked for the name";
  EXPECT_EQ(c.back(), "E7");
}

TEST_F(TrmaNvr, FailuresExitNonZeroWithTheDriversText) {
  start(sample());
  const std::string file = dir.file("shift.nvr");
  sim::Faults f;
  f.forced["E1"] = sim::ForcedReply{1, {}};
  sim->setFaults(f);
  ProcessResult r = trma({"read", file});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(has(r.err, "(код 1)")) << r.err;
  EXPECT_FALSE(std::filesystem::exists(file)) << "nothing saved from a failed read";

  f.forced.clear();
  f.forced["E7"] = sim::ForcedReply{3, {}};
  sim->setFaults(f);
  ASSERT_TRUE(app::SaveNvrFile(file, sample()));
  r = trma({"write", file});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_TRUE(has(r.err, "Неверный параметр функции")) << r.err;

  // A file of the wrong size is refused before the register is asked.
  std::filesystem::resize_file(file, 543);
  sim->clearLog();
  r = trma({"write", file});
  EXPECT_EQ(r.exitCode, 101);
  EXPECT_TRUE(has(r.err, "Ошибка чтения конфигурации.")) << r.err;
  EXPECT_TRUE(sim->requests().empty());
}
