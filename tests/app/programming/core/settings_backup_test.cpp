// SPDX-License-Identifier: GPL-3.0-or-later
// The backup of a settings load against the simulated register: its reads
// and bytes, the list of changes and Cancel, a backup that cannot be made,
// the way back after a load that fails part-way, and the folder's names
// and limit.
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "backups.h"
#include "driver_text.h"
#include "programming_fixture.h"
#include "settings_diff.h"
#include "settings_file.h"

namespace termina::apptest {
namespace {

using namespace termina::app;
using List = std::vector<std::string>;
namespace fs = std::filesystem;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Answers from a script, and on the restore question first lets the
// register work again (the cable is back).
class RestoringInteraction : public ScriptedInteraction {
 public:
  std::function<void()> onRestoreQuestion;
  Answer Ask(const Question& q) override {
    if (has(q.text, kRestoreQuestion) && onRestoreQuestion) onRestoreQuestion();
    return ScriptedInteraction::Ask(q);
  }
};

class SettingsBackup : public ProgrammingTest {
 protected:
  std::string m_files = m_root.path() + "/files";
  std::string m_folder = m_root.path() + "/backups";
  void SetUp() override { fs::create_directories(m_files); }

  // A register holding one shop's settings, and a file of another's saved
  // from a second register of the same version.
  void TwoShops(uint16_t version) {
    Start(version);
    m_sim->setTable(20, 0, "ВТОРОЙ МАГАЗИН");
    m_sim->setTable(22, 4, "КУПОН");
    m_sim->setTable(23, 2, "ЧУЖОЙ НАЛОГ");
    m_sim->setTable(7, 0, "3");
    ASSERT_EQ(SaveSettings(m_files + "/other.frc").outcome, SettingsOutcome::Saved);
    m_sim->setTable(20, 0, "НАШ МАГАЗИН");
    m_sim->setTable(22, 4, "");
    m_sim->setTable(23, 2, "НАШ НАЛОГ С ДЛИННЫМ ИМЕНЕМ");  // 26 characters: more than a file keeps
    m_sim->setTable(7, 0, "1");
    m_sim->clearLog();
  }
  std::vector<std::string> Backups() const { return ListBackups(m_folder, "ТЕРМИНА-2_000000000001", "frc"); }
};

TEST_F(SettingsBackup, LoadReadsLikeASaveKeepsItsBytesAndAsksWithTheChanges) {
  TwoShops(201);
  ASSERT_EQ(SaveSettings(m_files + "/before.frc").outcome, SettingsOutcome::Saved);
  const List saveOps = Ops();
  m_sim->clearLog();

  const SettingsResult r = LoadSettings(m_files + "/other.frc", 201, m_ask);
  ASSERT_EQ(r.outcome, SettingsOutcome::Loaded) << r.message;
  ASSERT_EQ(Backups(), List{r.backupPath});
  EXPECT_EQ(fileBytes(r.backupPath), fileBytes(m_files + "/before.frc")) << "the backup is a save";

  // The wire: the save's reads, the registration number for the name, then
  // the load as it always was.
  const List ops = Ops();
  ASSERT_GT(ops.size(), saveOps.size() + 1);
  EXPECT_EQ(List(ops.begin(), ops.begin() + static_cast<long>(saveOps.size())), saveOps);
  EXPECT_EQ(ops[saveOps.size()], "A6");
  LoadOptions noBackup;
  noBackup.backup = BackupPolicy::None;
  m_sim->setTable(20, 0, "НАШ МАГАЗИН");
  m_sim->clearLog();
  ASSERT_EQ(LoadSettings(m_files + "/other.frc", 201, m_ask, noBackup).outcome, SettingsOutcome::Loaded);
  EXPECT_EQ(List(ops.begin() + static_cast<long>(saveOps.size()) + 1, ops.end()), Ops());

  ASSERT_EQ(m_ask.asked.size(), 1u) << "the list of changes, and nothing asked without a backup";
  const Question& q = m_ask.asked[0];
  EXPECT_EQ(q.buttons, Buttons::OkCancel);
  EXPECT_EQ(q.defaultAnswer, Answer::Ok);
  EXPECT_EQ(q.text,
            "Загрузка изменит настройки регистратора, всего 4:\n"
            "Параметры Z-отчета: \"1\" -> \"3\"\n"
            "Клише предприятия 1: \"НАШ МАГАЗИН\" -> \"ВТОРОЙ МАГАЗИН\"\n"
            "Типы платежей 4: \"\" -> \"КУПОН\"\n"
            "Налоги 2 (имя): \"НАШ НАЛОГ С ДЛИННЫМ ИМЕНЕМ\" -> \"ЧУЖОЙ НАЛОГ\"\n"
            "Записать эти настройки в регистратор?");
}

TEST_F(SettingsBackup, CancelAtTheChangesAndAMissingBackupWriteNothing) {
  TwoShops(201);
  m_ask.answers = {Answer::Cancel};
  SettingsResult r = LoadSettings(m_files + "/other.frc", 201, m_ask);
  EXPECT_EQ(r.outcome, SettingsOutcome::Declined);
  EXPECT_TRUE(r.message.empty());
  EXPECT_TRUE(Writes().empty());
  EXPECT_TRUE(Backups().empty()) << "nothing kept for a load not made";

  // A folder that cannot be made: the program asks, No by default.
  const std::string blocked = m_files + "/other.frc/backups";
  LoadOptions options;
  options.backupFolder = blocked;
  m_ask.asked.clear();
  r = LoadSettings(m_files + "/other.frc", 201, m_ask, options);
  EXPECT_EQ(r.outcome, SettingsOutcome::Declined);
  ASSERT_EQ(m_ask.asked.size(), 2u);
  EXPECT_EQ(m_ask.asked[1].buttons, Buttons::YesNo);
  EXPECT_EQ(m_ask.asked[1].defaultAnswer, Answer::No);
  EXPECT_TRUE(has(m_ask.asked[1].text, "Не удалось сделать резервную копию настроек регистратора: "))
      << m_ask.asked[1].text;
  EXPECT_TRUE(has(m_ask.asked[1].text, blocked));
  EXPECT_TRUE(has(m_ask.asked[1].text, "Загрузить настройки без резервной копии?"));
  // trma stops with the reason.
  options.backup = BackupPolicy::Required;
  r = LoadSettings(m_files + "/other.frc", 201, m_ask, options);
  EXPECT_EQ(r.outcome, SettingsOutcome::BackupFailed);
  EXPECT_EQ(r.title, "Ошибка");
  EXPECT_TRUE(has(r.message, blocked)) << r.message;
  // A backup whose reads fail: asked too, and Yes goes on without one.
  FailAt("A1 21");
  options.backup = BackupPolicy::AskWhenImpossible;
  options.backupFolder.clear();
  m_ask.asked.clear();
  m_ask.answers = {Answer::Yes};
  EXPECT_TRUE(Writes().empty());
  r = LoadSettings(m_files + "/other.frc", 201, m_ask, options);
  ASSERT_EQ(m_ask.asked.size(), 1u);
  EXPECT_TRUE(has(m_ask.asked[0].text, "Неверный параметр функции")) << m_ask.asked[0].text;
  EXPECT_EQ(r.outcome, SettingsOutcome::Loaded);
  EXPECT_EQ(m_sim->table(20, 0), "ВТОРОЙ МАГАЗИН");
}

TEST_F(SettingsBackup, APartWayFailureNamesTheSettingAndPutsTheRegisterBack) {
  TwoShops(201);
  const auto before = m_sim->state().tables;
  sim::Faults f;
  f.forcedOnce["A2 22 7"] = sim::ForcedReply{3, {}};
  m_sim->setFaults(f);
  RestoringInteraction ask;
  bool back = false;
  ask.onRestoreQuestion = [&] { back = m_sim->table(20, 0) == "ВТОРОЙ МАГАЗИН"; };
  const SettingsResult r = LoadSettings(m_files + "/other.frc", 201, ask);
  EXPECT_TRUE(back) << "the load had written up to the failure";
  EXPECT_EQ(r.outcome, SettingsOutcome::DriverFailure);
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.failedSetting, "Типы платежей 7");
  EXPECT_TRUE(r.restored);
  ASSERT_EQ(ask.asked.size(), 2u);
  const Question& q = ask.asked[1];
  EXPECT_EQ(q.buttons, Buttons::YesNo);
  EXPECT_EQ(q.defaultAnswer, Answer::Yes);
  EXPECT_EQ(q.text,
            "Неверный параметр функции\nНе записана настройка: Типы платежей 7.\n"
            "Резервная копия прежних настроек: " +
                r.backupPath + "\n\nВернуть прежние настройки?");
  EXPECT_TRUE(has(r.message, "Прежние настройки возвращены в регистратор.")) << r.message;
  EXPECT_EQ(m_sim->state().tables, before) << "every table as it was, the long tax name whole";

  // Declined: the register stays half loaded, the message says where the backup is.
  m_sim->setFaults(f);
  ScriptedInteraction no;
  no.answers = {Answer::Ok, Answer::No};
  const SettingsResult kept = LoadSettings(m_files + "/other.frc", 201, no);
  EXPECT_FALSE(kept.restored);
  EXPECT_EQ(m_sim->table(20, 0), "ВТОРОЙ МАГАЗИН");
  EXPECT_TRUE(has(kept.message, kept.backupPath)) << kept.message;
  EXPECT_EQ(Backups().size(), 2u);
  EXPECT_EQ(Backups()[0], kept.backupPath) << "newest first";
}

TEST_F(SettingsBackup, DiffOfAFileListsOnlyWhatWouldChange) {
  TwoShops(128);
  std::vector<SettingChange> changes;
  SettingsResult r = DiffSettingsFile(m_files + "/other.frc", 128, &changes);
  ASSERT_EQ(r.outcome, SettingsOutcome::Compared);
  List lines;
  for (const auto& c : changes) lines.push_back(FormatChange(c));
  EXPECT_EQ(lines,
            (List{"Параметры Z-отчета: \"1\" -> \"3\"", "Клише предприятия 1: \"НАШ МАГАЗИН\" -> \"ВТОРОЙ МАГАЗИН\"",
                  "Типы платежей 4: \"\" -> \"КУПОН\"",
                  "Налоги 2 (имя): \"НАШ НАЛОГ С ДЛИННЫМ ИМЕНЕМ\" -> \"ЧУЖОЙ НАЛОГ\""}));
  EXPECT_TRUE(Writes().empty());
  EXPECT_EQ(DiffSettingsFile(m_files + "/other.frc", 125, &changes).outcome, SettingsOutcome::FileNewer);

  // A file saved from this register changes only what the file cannot
  // hold: the tax name's characters after the 19th.
  ASSERT_EQ(SaveSettings(m_files + "/same.frc").outcome, SettingsOutcome::Saved);
  r = DiffSettingsFile(m_files + "/same.frc", 128, &changes);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(FormatChange(changes[0]), "Налоги 2 (имя): \"НАШ НАЛОГ С ДЛИННЫМ ИМЕНЕМ\" -> \"НАШ НАЛОГ С ДЛИННЫМ\"");
}

TEST_F(SettingsBackup, NamesFromTheRegisterStayInsideTheFolder) {
  EXPECT_EQ(SafeRegistrationPart("000000000001"), "000000000001");
  EXPECT_EQ(SafeRegistrationPart("../../etc/x"), "etcx");
  EXPECT_EQ(SafeRegistrationPart(".."), kUnregistered);
  EXPECT_EQ(SafeRegistrationPart("--"), kUnregistered);
  EXPECT_EQ(SafeRegistrationPart(""), kUnregistered);
  EXPECT_EQ(SafeRegistrationPart(std::string(40, '7')), std::string(12, '7'));
  EXPECT_EQ(SafeModelPart("", 140), "v140");

  Start(201);
  m_sim->setTable(20, 0, "X");
  sim::Faults f;
  f.forced["A6"] = sim::ForcedReply{0, {"../.."}};
  m_sim->setFaults(f);
  ASSERT_EQ(SaveSettings(m_files + "/x.frc").outcome, SettingsOutcome::Saved);
  const SettingsResult r = LoadSettings(m_files + "/x.frc", 201, m_ask);
  ASSERT_EQ(r.outcome, SettingsOutcome::Loaded);
  EXPECT_EQ(fs::path(r.backupPath).parent_path(), fs::path(m_folder));
  EXPECT_EQ(fs::path(r.backupPath).filename().string().rfind("ТЕРМИНА-2_unregistered_", 0), 0u) << r.backupPath;
}

TEST_F(SettingsBackup, TheFolderKeepsTheHundredNewestAndNothingElseIsTouched) {
  fs::create_directories(m_folder);
  const std::vector<uint8_t> bytes{'x'};
  for (int i = 0; i < 100; ++i) {
    const std::string name = BackupFileName(i % 2 ? "ТЕРМИНА-2_7" : "ТЕРМИНА-1_unregistered",
                                            BackupStamp{2020, 1, 1 + i / 24, i % 24, 0, 0}, 1, i % 3 ? "frc" : "nvr");
    std::ofstream(m_folder + "/" + name) << "x";
  }
  const List others{"notes.txt", "ТЕРМИНА-2_7_20190101-000000.frc.bak", ".ТЕРМИНА-2_7_20190101-000000.frc.AbCdEf",
                    "_7_20190101-000000.frc", "ТЕРМИНА-2_7_20190101-0000.frc"};
  for (const auto& n : others) std::ofstream(m_folder + "/" + n) << "keep";
  fs::create_directory(m_folder + "/ТЕРМИНА-2_7_20190101-000000.frc");
  std::ofstream(m_files + "/target.frc") << "target";
  fs::create_symlink(m_files + "/target.frc", m_folder + "/ТЕРМИНА-2_7_20190101-000001.frc");

  std::string path, why;
  ASSERT_TRUE(WriteBackup(m_folder, "ТЕРМИНА-2_7", "frc", bytes, &path, &why)) << why;
  std::string second;
  ASSERT_TRUE(WriteBackup(m_folder, "ТЕРМИНА-2_7", "frc", bytes, &second, &why)) << why;
  EXPECT_NE(second, path) << "two in one second";

  const List mine = ListBackups(m_folder, "ТЕРМИНА-2_7", "frc");
  ASSERT_GE(mine.size(), 2u);
  EXPECT_EQ(mine[0], second);
  EXPECT_EQ(mine[1], path);
  for (std::size_t i = 2; i < mine.size(); ++i) EXPECT_LT(mine[i], mine[i - 1]) << "newest first";
  std::size_t backups = 0;
  for (const auto& e : fs::directory_iterator(m_folder))
    backups += ParseBackupName(e.path().filename().string()) && e.is_regular_file() && !e.is_symlink();
  EXPECT_EQ(backups, 100u);
  EXPECT_FALSE(fs::exists(m_folder + "/" + BackupFileName("ТЕРМИНА-1_unregistered", {2020, 1, 1, 0, 0, 0}, 1, "nvr")));
  EXPECT_FALSE(fs::exists(m_folder + "/" + BackupFileName("ТЕРМИНА-2_7", {2020, 1, 1, 1, 0, 0}, 1, "frc")));
  EXPECT_TRUE(fs::exists(m_folder + "/" + BackupFileName("ТЕРМИНА-2_7", {2020, 1, 1, 3, 0, 0}, 1, "nvr")));
  for (const auto& n : others) EXPECT_TRUE(fs::exists(m_folder + "/" + n)) << n;
  EXPECT_TRUE(fs::is_directory(m_folder + "/ТЕРМИНА-2_7_20190101-000000.frc"));
  EXPECT_TRUE(fs::is_symlink(m_folder + "/ТЕРМИНА-2_7_20190101-000001.frc"));
  EXPECT_TRUE(fs::exists(m_files + "/target.frc")) << "a link's target is not removed";
}

}  // namespace
}  // namespace termina::apptest
