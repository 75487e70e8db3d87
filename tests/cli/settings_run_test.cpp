// SPDX-License-Identifier: GPL-3.0-or-later
// trma settings against simulated registers over pseudo terminals: a save
// from one register loaded into a second one, the version question without
// a terminal, and the overview by name.
#include <gtest/gtest.h>

#include <filesystem>

#include "run_process.h"
#include "simulator.h"
#include "temp_dir.h"

namespace {

using termina::sim::Config;
using termina::sim::Simulator;
using termina::test::ProcessResult;
using termina::test::readFile;
using termina::test::runProcess;
using termina::test::TempDir;

class TrmaSettings : public ::testing::Test {
 protected:
  TempDir dir;
  std::string root = dir.file("root");
  std::string file = dir.file("batch.frc");

  void SetUp() override { std::filesystem::create_directories(root + "/dev"); }

  std::unique_ptr<Simulator> Register(uint16_t version, int com) {
    Config cfg;
    cfg.version = version;
    auto sim = std::make_unique<Simulator>(cfg);
    sim->openPty(root + "/dev/com" + std::to_string(com));
    return sim;
  }
  ProcessResult trma(int com, std::vector<std::string> args) {
    args.insert(args.begin(), {"--root", root, "--timeout", "3", "--serial", "--port", std::to_string(com)});
    return runProcess(TRMA_EXE, args, {"TERMINA_ROOT=" + root, "HOME=" + dir.path(), "TERMINA_TRACE"});
  }
  static std::size_t tableWrites(const Simulator& sim) {
    std::size_t n = 0;
    for (const auto& r : sim.requests()) n += r.code == "A2";
    return n;
  }
  static bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
};

TEST_F(TrmaSettings, SaveFromOneRegisterAndLoadIntoAnother) {
  auto source = Register(201, 1);
  auto target = Register(201, 2);
  source->setTable(1, 0, "17");
  source->setTable(7, 0, "65");
  source->setTable(20, 0, "ООО РОМАШКА");
  source->setTable(22, 3, "ПОДАРОК");
  source->setTable(23, 4, "НДС 20%");
  source->setTable(30, 0, "1");
  source->setTable(26, 1, "ХЛЕБ");  // departments are not carried

  ProcessResult r = trma(1, {"settings", "save", file});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "Настройки сохранены\n");
  EXPECT_EQ(readFile(file).size(), 1749u);

  r = trma(2, {"settings", "load", file});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(has(r.out, "Клише предприятия 1: \"ТЕСТОВЫЙ МАГАЗИН\" -> \"ООО РОМАШКА\"\n")) << r.out;
  EXPECT_TRUE(has(r.out, "Настройки загружены в регистратор\n")) << r.out;
  EXPECT_EQ(target->table(7, 0), "65");
  EXPECT_EQ(target->table(20, 0), "ООО РОМАШКА");
  EXPECT_EQ(target->table(22, 3), "ПОДАРОК");
  EXPECT_EQ(target->table(23, 4), "НДС 20%");
  EXPECT_EQ(target->table(30, 0), "1");
  EXPECT_EQ(target->table(1, 0), "1") << "the cash-desk number stays the register's own";
  EXPECT_EQ(target->table(26, 1), "ОТДЕЛ 1");
  EXPECT_EQ(tableWrites(*target), 47u);

  r = trma(2, {"settings", "show"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(has(r.out, "Версия прошивки: 201 (ТЕРМИНА-2)\n")) << r.out;
  EXPECT_TRUE(has(r.out, "    Отключить нарастающий итог в Z-отчете: вкл\n")) << r.out;
  EXPECT_TRUE(has(r.out, "    Дата и время начала смены в Z-отчете: вкл\n")) << r.out;
  EXPECT_TRUE(has(r.out, "  Автоматическая оплата при закрытии: выкл\n")) << r.out;
  EXPECT_TRUE(has(r.out, "  1: \"ООО РОМАШКА\"\n")) << r.out;
  EXPECT_FALSE(has(r.out, "Тип дисплея")) << "not on this model";
}

TEST_F(TrmaSettings, OlderFileNeedsAnAnswerAndRefusedFilesWriteNothing) {
  auto older = Register(125, 1);
  ASSERT_EQ(trma(1, {"settings", "save", file}).exitCode, 0);
  older.reset();
  auto newer = Register(128, 1);
  newer->setTable(20, 0, "СВОЕ");

  ProcessResult r = trma(1, {"settings", "load", file});  // standard input is not a terminal
  EXPECT_EQ(r.exitCode, 101);
  EXPECT_TRUE(has(r.err, "Продолжить загрузку?")) << r.err;
  EXPECT_EQ(tableWrites(*newer), 0u);

  r = trma(1, {"settings", "load", "--yes", file});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(newer->table(20, 0), "ТЕСТОВЫЙ МАГАЗИН");

  newer.reset();
  auto oldest = Register(121, 1);
  r = trma(1, {"settings", "load", "--yes", file});
  EXPECT_EQ(r.exitCode, 101);
  EXPECT_TRUE(has(r.err, "Загрузка невозможна.")) << r.err;
  termina::test::writeFile(file, "fr");
  r = trma(1, {"settings", "load", "--yes", file});
  EXPECT_EQ(r.exitCode, 101);
  EXPECT_TRUE(has(r.err, "Неверный формат файла.")) << r.err;
  EXPECT_EQ(tableWrites(*oldest), 0u);

  // A driver failure during the save: its text and code, and the old file stays.
  termina::sim::Faults f;
  f.forced["A1 22"] = {3, {}};
  oldest->setFaults(f);
  r = trma(1, {"settings", "save", file});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_TRUE(has(r.err, "Неверный параметр функции")) << r.err;
  EXPECT_EQ(readFile(file), "fr");
}

TEST_F(TrmaSettings, ShowPrintsTheTaxOptionsTheRegisterHolds) {
  // Bit 2 alone: the taxes page hides its box while bit 0 is clear, but the
  // register holds it all the same.
  auto reg = Register(128, 1);
  reg->setTable(12, 0, "4");
  const ProcessResult r = trma(1, {"settings", "show"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(has(r.out, "  Параметры налогов: 4\n")) << r.out;
  EXPECT_TRUE(has(r.out, "    Отключить печать нулевых налоговых сумм в Z-отчете: вкл\n")) << r.out;
  EXPECT_TRUE(has(r.out, "    Печать налогов в Z-отчете: выкл\n")) << r.out;
}

TEST_F(TrmaSettings, DiffAFailedLoadAndTheCommandThatPutsTheRegisterBack) {
  auto other = Register(201, 1);
  other->setTable(21, 1, "ЧУЖАЯ РЕКЛАМА");
  other->setTable(22, 9, "ЧЕК");
  ASSERT_EQ(trma(1, {"settings", "save", file}).exitCode, 0);
  other.reset();
  auto reg = Register(201, 1);
  reg->setReady();
  reg->setTable(20, 2, "НАША СТРОКА");

  ProcessResult r = trma(1, {"settings", "diff", file});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_EQ(r.out,
            "Клише предприятия 3: \"НАША СТРОКА\" -> \"\"\n"
            "Рекламный текст 2: \"\" -> \"ЧУЖАЯ РЕКЛАМА\"\n"
            "Типы платежей 9: \"\" -> \"ЧЕК\"\n");
  EXPECT_EQ(tableWrites(*reg), 0u);

  // The cable moves at the advertising's second line.
  const auto before = reg->state().tables;
  termina::sim::Faults f;
  f.forcedOnce["A2 21 1"] = {3, {}};
  reg->setFaults(f);
  r = trma(1, {"settings", "load", file});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_TRUE(has(r.err, "Не записана настройка: Рекламный текст 2\n")) << r.err;
  EXPECT_TRUE(has(r.err, "Неверный параметр функции")) << r.err;
  const std::string marker = "вернуть прежние настройки: trma settings load '";
  const std::size_t at = r.err.find(marker);
  ASSERT_NE(at, std::string::npos) << r.err;
  const std::size_t from = at + marker.size();
  const std::string backup = r.err.substr(from, r.err.find('\'', from) - from);
  EXPECT_EQ(reg->table(20, 2), "") << "written before the failure";
  EXPECT_EQ(trma(1, {"settings", "backups"}).out, backup + "\n");

  r = trma(1, {"settings", "load", backup});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(reg->state().tables, before);
  r = trma(1, {"settings", "backups"});
  EXPECT_EQ(r.out.substr(r.out.find('\n') + 1), backup + "\n") << "newest first: the half-loaded state, then the first";
  r = trma(1, {"settings", "diff", backup});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(r.out, "");
}

TEST_F(TrmaSettings, WithoutABackupNothingIsWrittenUnlessAskedFor) {
  auto reg = Register(201, 1);
  ASSERT_EQ(trma(1, {"settings", "save", file}).exitCode, 0);
  termina::test::writeFile(root + "/backups", "a file where the folder should be");
  ProcessResult r = trma(1, {"settings", "load", "--yes", file});
  EXPECT_EQ(r.exitCode, 101);
  EXPECT_TRUE(has(r.err, "Не удалось сделать резервную копию настроек регистратора: ")) << r.err;
  EXPECT_TRUE(has(r.err, "--no-backup")) << r.err;
  EXPECT_EQ(tableWrites(*reg), 0u);

  reg->clearLog();
  r = trma(1, {"settings", "load", "--no-backup", file});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "Настройки загружены в регистратор\n");
  for (const auto& q : reg->requests()) EXPECT_NE(q.code, "A1") << "no backup, no reads";
  EXPECT_EQ(tableWrites(*reg), 47u);
}

}  // namespace
