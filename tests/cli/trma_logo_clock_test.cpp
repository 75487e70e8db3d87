// SPDX-License-Identifier: GPL-3.0-or-later
// trma's logo and clock commands: the real trma executable against the
// simulated register on a pseudo terminal.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "../app/bitmap_files.h"
#include "run_process.h"
#include "trma_fixture.h"
#include "simulator.h"
#include "temp_dir.h"

namespace {

using termina::sim::Config;
using termina::sim::Simulator;
using termina::test::ProcessResult;
using termina::test::runProcess;
using termina::test::TempDir;
namespace bmp = termina::apptest;

class TrmaPages : public termina::test::TrmaRoot {
 protected:
  Simulator& Start(uint16_t version) {
    Config cfg;
    cfg.version = version;
    sim = std::make_unique<Simulator>(cfg);
    sim->openPty(root + "/dev/com1");
    return *sim;
  }
  ProcessResult trma(std::vector<std::string> args) {
    return runTrma({"--timeout", "3", "--port", "1", "--serial"}, args);
  }
  bool Sent(const std::string& code) const {
    for (const auto& r : sim->requests())
      if (r.code == code) return true;
    return false;
  }
  static bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

  std::unique_ptr<Simulator> sim;
};

TEST_F(TrmaPages, LogoIsCheckedBeforeAnythingIsSent) {
  Start(120);
  const std::string wide = bmp::WriteBytes(dir.file("wide.bmp"), bmp::Bitmap(289, 100));
  ProcessResult r = trma({"logo", "check", wide});
  EXPECT_EQ(r.exitCode, 102) << r.err;
  EXPECT_TRUE(has(r.err, "Размер изображения превышает 288x126")) << r.err;
  r = trma({"logo", "load", wide});
  EXPECT_EQ(r.exitCode, 102) << r.err;
  EXPECT_FALSE(Sent("E3"));
  EXPECT_FALSE(Sent("E2"));

  const std::vector<uint8_t> picture = bmp::Bitmap(288, 126);
  const std::string fits = bmp::WriteBytes(dir.file("fits.bmp"), picture);
  r = trma({"logo", "check", fits});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "Файл подходит для ККМ версии 120: 288x126\n");
  r = trma({"logo", "load", fits});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  std::vector<uint8_t> stream{0x1B};
  stream.insert(stream.end(), picture.begin(), picture.end());
  EXPECT_EQ(sim->logo(), stream);

  sim->setTable(5, 0, "1");
  r = trma({"logo", "clear"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(sim->table(5, 0), "0");
  EXPECT_TRUE(sim->logo().empty());

  EXPECT_EQ(trma({"logo", "show", fits}).exitCode, 100);
  EXPECT_EQ(trma({"logo", "load"}).exitCode, 100);
}

TEST_F(TrmaPages, ClockShowsTheDifferenceAndAsksBeforeADayAhead) {
  Start(301);
  sim->setClockOffset(-(30 * 3600 + 30));
  ProcessResult r = trma({"clock"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(has(r.out, "Разница (компьютер минус ККМ): 1800 мин\n")) << r.out;

  // Without a terminal and without --yes the answer is No.
  r = trma({"clock", "set"});
  EXPECT_EQ(r.exitCode, 102) << r.err;
  EXPECT_TRUE(has(r.err, "отличаются от текущей даты и времени ККМ более чем на сутки")) << r.err;
  EXPECT_FALSE(Sent("A3"));
  EXPECT_EQ(sim->state().clockOffsetSeconds, -(30 * 3600 + 30));

  r = trma({"clock", "set", "--yes"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(has(r.out, "Часы ККМ установлены: ")) << r.out;
  EXPECT_TRUE(Sent("A3"));
  EXPECT_LT(std::llabs(sim->state().clockOffsetSeconds), 5);

  // Behind a register whose last fiscal operation is later: its refusal.
  sim->setClockOffset(3 * 86400);
  sim->setReady();
  r = trma({"clock", "set"});
  EXPECT_EQ(r.exitCode, 12) << r.err;
  EXPECT_TRUE(has(r.err, "Не возможно установить дату меньше даты последней фискальной операции")) << r.err;
}

}  // namespace
