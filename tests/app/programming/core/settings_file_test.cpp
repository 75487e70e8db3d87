// SPDX-License-Identifier: GPL-3.0-or-later
// The .frc settings file: its byte layout, and the save and load sequences
// through the real driver against the simulated register, with real files
// in a temporary directory.
#include "settings_file.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "driver_text.h"
#include "programming_fixture.h"

namespace termina::apptest {
namespace {

using namespace termina::app;
using List = std::vector<std::string>;
namespace fs = std::filesystem;

void putFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Puts UTF-8 text into a record as the register's code page.
template <std::size_t N>
void fill(std::array<char, N>& record, const std::string& utf8) {
  char ansi[64];
  ToAnsi(utf8, ansi);
  record.fill(0);
  std::memcpy(record.data(), ansi, std::min(std::strlen(ansi), N));
}

// The text at an offset of the file, up to its first zero byte or size bytes.
std::string textAt(const std::vector<uint8_t>& file, std::size_t offset, std::size_t size = kRecordSize) {
  std::string s;
  for (std::size_t i = offset; i < offset + size && file[i] != 0; ++i) s += static_cast<char>(file[i]);
  return s;
}

class SettingsFile : public ProgrammingTest {
 protected:
  std::string m_dir = m_root.path() + "/files";
  std::string m_path = m_dir + "/settings.frc";
  void SetUp() override { fs::create_directories(m_dir); }

  // The reads of a save from a register of the version.
  static List SaveReads(uint16_t v) {
    List ops{"A5|0"};
    for (int t = 1; t <= 13; ++t) ops.push_back(Read(t, 0));
    for (int f = 0; f < 4; ++f) ops.push_back(Read(20, f));
    for (int f = 0; f < 2; ++f) ops.push_back(Read(21, f));
    for (int f = 0; f < 16; ++f) ops.push_back(Read(22, f));
    if (v >= 125) {
      ops.push_back(Read(25, 0));
      for (int i = 0; i < 6; ++i) ops.insert(ops.end(), {Read(23, i), Read(24, i)});
      ops.push_back(Read(30, 0));
    }
    return ops;
  }
  std::size_t FilesInDir() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()));
  }
};

TEST(SettingsLayout, RecordsAtTheirOffsets) {
  SettingsRecords r;
  r.version = 0x0201;
  for (std::size_t n = 0; n < 13; ++n) fill(r.tables[n], "T" + std::to_string(n + 1));
  fill(r.header[3], "H3");
  fill(r.footer[1], "F1");
  fill(r.payments[15], "P15");
  fill(r.taxLine, "L");
  fill(r.taxNames[5], "NAME5-19-CHARACTERS");
  fill(r.taxRates[5], "9.99");
  fill(r.autoPayment, "1");
  std::memset(r.payments[2].data(), 'x', kRecordSize);  // no terminator inside the record

  const std::vector<uint8_t> f = BuildSettingsFile(r);
  ASSERT_EQ(f.size(), 1749u);
  EXPECT_EQ(f[0], 'f');
  EXPECT_EQ(f[1], 'r');
  EXPECT_EQ(f[2], 0x01);
  EXPECT_EQ(f[3], 0x02);
  EXPECT_EQ(textAt(f, 4), "T1");
  EXPECT_EQ(textAt(f, 4 + 12 * 41), "T13");
  EXPECT_EQ(textAt(f, 537 + 3 * 41), "H3");
  EXPECT_EQ(textAt(f, 701 + 41), "F1");
  EXPECT_EQ(textAt(f, 783 + 15 * 41), "P15");
  EXPECT_EQ(textAt(f, 783 + 2 * 41), std::string(41, 'x'));
  EXPECT_EQ(textAt(f, 1439), "L");
  EXPECT_EQ(textAt(f, 1480 + 5 * 38, 19), "NAME5-19-CHARACTERS");
  EXPECT_EQ(textAt(f, 1480 + 5 * 38 + 19, 19), "9.99");
  EXPECT_EQ(textAt(f, 1708), "1");

  const auto back = ParseSettingsFile(f);
  ASSERT_TRUE(back);
  EXPECT_EQ(BuildSettingsFile(*back), f);

  std::vector<uint8_t> longer = f;
  longer.push_back('z');
  EXPECT_TRUE(ParseSettingsFile(longer));
  EXPECT_FALSE(ParseSettingsFile(std::span(f).first(1748)));
  std::vector<uint8_t> badMark = f;
  badMark[1] = 'R';
  EXPECT_FALSE(ParseSettingsFile(badMark));
}

TEST_F(SettingsFile, SaveReadsInOrderAndKeepsNineteenCharactersOfATax) {
  Start(125);
  m_sim->setTable(23, 0, "НАЛОГ С ОЧЕНЬ ДЛИННЫМ ИМЕНЕМ");  // 28 characters
  m_sim->setTable(21, 1, "ДО ВСТРЕЧИ");
  const SettingsResult r = SaveSettings(m_path);
  ASSERT_EQ(r.outcome, SettingsOutcome::Saved) << r.message;
  EXPECT_EQ(r.message, "Настройки сохранены");
  EXPECT_EQ(r.title, "Информация");
  EXPECT_EQ(Ops(), SaveReads(125));

  const std::vector<uint8_t> f = fileBytes(m_path);
  ASSERT_EQ(f.size(), 1749u);
  EXPECT_EQ(f[2] | f[3] << 8, 125);
  EXPECT_EQ(ToUtf8(textAt(f, 1480, 19).c_str()), "НАЛОГ С ОЧЕНЬ ДЛИНН");
  EXPECT_EQ(f[1480 + 18], 0xCD) << "the 19th character, no terminator";
  EXPECT_EQ(ToUtf8(textAt(f, 701 + 41).c_str()), "ДО ВСТРЕЧИ");
  EXPECT_EQ(ToUtf8(textAt(f, 783).c_str()), "НАЛИЧНЫЕ");
  EXPECT_EQ(textAt(f, 1708), "0");
  EXPECT_EQ(FilesInDir(), 1u) << "no temporary file left";
}

TEST_F(SettingsFile, SaveFromTheFirstModelHasEmptyTaxRecordsAndIgnoresMissingTables) {
  Start(120);
  const SettingsResult r = SaveSettings(m_path);
  ASSERT_EQ(r.outcome, SettingsOutcome::Saved);
  EXPECT_EQ(Ops(), SaveReads(120));  // tables 7 to 11 and 13 are refused and skipped
  const std::vector<uint8_t> f = fileBytes(m_path);
  EXPECT_EQ(textAt(f, 4 + 6 * 41), "") << "table 7";
  EXPECT_EQ(textAt(f, 4 + 11 * 41), "3") << "table 12 is read on every version";
  for (std::size_t i = 1439; i < 1749; ++i) ASSERT_EQ(f[i], 0) << i;
}

TEST_F(SettingsFile, FailedSaveLeavesTheOldFileAndCreatesNone) {
  Start(201);
  putFile(m_path, {'o', 'l', 'd'});
  FailAt("A1 21");
  SettingsResult r = SaveSettings(m_path);
  EXPECT_EQ(r.outcome, SettingsOutcome::DriverFailure);
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.message, "Неверный параметр функции");
  EXPECT_EQ(r.title, "Ошибка");
  EXPECT_EQ(Ops().back(), Read(21, 0)) << "the save ends at the failure";
  EXPECT_EQ(fileBytes(m_path), (std::vector<uint8_t>{'o', 'l', 'd'}));

  const std::string fresh = m_dir + "/new.frc";
  r = SaveSettings(fresh);
  EXPECT_EQ(r.outcome, SettingsOutcome::DriverFailure);
  EXPECT_FALSE(fs::exists(fresh));
  EXPECT_EQ(FilesInDir(), 1u);

  // Failures among tables 1 to 13 and in the tax group are not failures of the save.
  m_sim->clearLog();
  sim::Faults f;
  f.forced["A1 5"] = {3, {}};
  f.forced["A1 23 2"] = {3, {}};
  m_sim->setFaults(f);
  r = SaveSettings(fresh);
  ASSERT_EQ(r.outcome, SettingsOutcome::Saved);
  const List ops = Ops();
  EXPECT_EQ(ops.back(), Read(30, 0)) << "table 30 is still read";
  EXPECT_EQ(ops[ops.size() - 2], Read(23, 2)) << "the tax group ends at its failure";
  EXPECT_EQ(textAt(fileBytes(fresh), 4 + 4 * 41), "");

  EXPECT_EQ(SaveSettings(m_dir + "/no/such/dir.frc").outcome, SettingsOutcome::OpenFailed);
}

TEST_F(SettingsFile, LoadWritesTheRecordsButNeverTable1OrPaymentType0) {
  Start(125);
  SettingsRecords rec;
  rec.version = 125;
  for (std::size_t n = 0; n < 13; ++n) fill(rec.tables[n], "0");
  fill(rec.tables[0], "77");
  fill(rec.tables[6], "15");
  fill(rec.header[0], "ШАПКА");
  fill(rec.payments[0], "ДЕНЬГИ");
  fill(rec.payments[1], "КАРТА");
  std::memset(rec.header[1].data(), 'x', kRecordSize);  // no terminator: 40 are sent
  fill(rec.taxNames[0], "НДС 20%");
  fill(rec.taxRates[0], "20.00");
  fill(rec.autoPayment, "1");
  putFile(m_path, BuildSettingsFile(rec));

  LoadOptions noBackup;
  noBackup.backup = BackupPolicy::None;
  const SettingsResult r = LoadSettings(m_path, 125, m_ask, noBackup);
  ASSERT_EQ(r.outcome, SettingsOutcome::Loaded) << r.message;
  EXPECT_EQ(r.message, "Настройки загружены в регистратор");
  EXPECT_EQ(r.version, 125);
  EXPECT_TRUE(m_ask.asked.empty());
  EXPECT_TRUE(r.backupPath.empty());

  List expected{"A5|0"};
  for (int t = 2; t <= 13; ++t) expected.push_back(Write(t, 0, t == 7 ? "15" : "0"));
  for (int f = 0; f < 4; ++f) expected.push_back(Write(20, f, f == 0 ? "ШАПКА" : f == 1 ? std::string(40, 'x') : ""));
  for (int f = 0; f < 2; ++f) expected.push_back(Write(21, f, ""));
  for (int f = 1; f < 16; ++f) expected.push_back(Write(22, f, f == 1 ? "КАРТА" : ""));
  expected.push_back(Write(25, 0, ""));
  for (int i = 0; i < 6; ++i)
    expected.insert(expected.end(), {Write(23, i, i == 0 ? "НДС 20%" : ""), Write(24, i, i == 0 ? "20.00" : "")});
  expected.push_back(Write(30, 0, "1"));
  EXPECT_EQ(Ops(), expected);
  EXPECT_EQ(m_sim->table(1, 0), "1");
  EXPECT_EQ(m_sim->table(22, 0), "НАЛИЧНЫЕ");
  EXPECT_EQ(m_sim->table(20, 0), "ШАПКА");
  EXPECT_EQ(m_sim->table(30, 0), "1");
}

TEST_F(SettingsFile, VersionCasesAndRefusedFilesWriteNothing) {
  Start(128);
  SettingsRecords rec;
  rec.version = 125;
  fill(rec.header[0], "ИЗ ФАЙЛА");
  putFile(m_path, BuildSettingsFile(rec));

  // Register newer than the file: the question, No by default.
  SettingsResult r = LoadSettings(m_path, 128, m_ask);
  EXPECT_EQ(r.outcome, SettingsOutcome::Declined);
  EXPECT_TRUE(r.message.empty());
  ASSERT_EQ(m_ask.asked.size(), 1u);
  EXPECT_EQ(m_ask.asked[0].text,
            "Версия файла конфигурации не соответствует типу ФР. \nДля отсутствующих параметров будут установлены "
            "значения по умолчанию. \nПродолжить загрузку?");
  EXPECT_EQ(m_ask.asked[0].title, "Подтверждение");
  EXPECT_EQ(m_ask.asked[0].buttons, Buttons::YesNo);
  EXPECT_EQ(m_ask.asked[0].defaultAnswer, Answer::No);
  EXPECT_TRUE(Ops().empty());
  m_ask.answers.push_back(Answer::Yes);
  r = LoadSettings(m_path, 128, m_ask);
  EXPECT_EQ(r.outcome, SettingsOutcome::Loaded);
  EXPECT_EQ(m_sim->table(20, 0), "ИЗ ФАЙЛА");

  // Register older than the file: refused.
  m_sim->clearLog();
  m_ask.asked.clear();
  rec.version = 201;
  putFile(m_path, BuildSettingsFile(rec));
  r = LoadSettings(m_path, 128, m_ask);
  EXPECT_EQ(r.outcome, SettingsOutcome::FileNewer);
  EXPECT_EQ(r.message, "Версия файла конфигурации не соответствует типу ФР. \nЗагрузка невозможна.");
  EXPECT_TRUE(m_ask.asked.empty());

  // A bad mark, a short file, no file.
  std::vector<uint8_t> bytes = BuildSettingsFile(rec);
  bytes[0] = 'F';
  putFile(m_path, bytes);
  EXPECT_EQ(LoadSettings(m_path, 201, m_ask).message, "Неверный формат файла.");
  bytes = BuildSettingsFile(rec);
  bytes.resize(1748);
  putFile(m_path, bytes);
  EXPECT_EQ(LoadSettings(m_path, 201, m_ask).outcome, SettingsOutcome::BadFormat);
  putFile(m_path, {'f', 'r'});
  EXPECT_EQ(LoadSettings(m_path, 201, m_ask).outcome, SettingsOutcome::BadFormat);
  EXPECT_EQ(LoadSettings(m_dir + "/missing.frc", 201, m_ask).message, "Ошибка открытия файла");
  EXPECT_EQ(LoadSettings(m_dir, 201, m_ask).outcome, SettingsOutcome::OpenFailed);
  ASSERT_EQ(::mkfifo((m_dir + "/pipe.frc").c_str(), 0600), 0);
  EXPECT_EQ(LoadSettings(m_dir + "/pipe.frc", 201, m_ask).outcome, SettingsOutcome::OpenFailed) << "no hang";
  EXPECT_TRUE(Ops().empty());
  EXPECT_EQ(m_sim->table(20, 0), "ИЗ ФАЙЛА");
}

TEST_F(SettingsFile, LoadFailuresByGroup) {
  Start(201);
  SettingsRecords rec;
  rec.version = 201;
  putFile(m_path, BuildSettingsFile(rec));
  sim::Faults f;
  f.forced["A2 3"] = {3, {}};     // ignored
  f.forced["A2 23 1"] = {3, {}};  // ends the tax group silently
  m_sim->setFaults(f);
  SettingsResult r = LoadSettings(m_path, 201, m_ask);
  ASSERT_EQ(r.outcome, SettingsOutcome::Loaded);
  const List w = Writes();
  EXPECT_EQ(w[1], "3|0|");
  EXPECT_EQ(w[2], "4|0|");
  EXPECT_EQ(w.back(), "23|1|") << "table 30 is not written after the group failed";

  f.forced = {{"A2 21 0", {3, {}}}};
  m_sim->setFaults(f);
  m_sim->clearLog();
  r = LoadSettings(m_path, 201, m_ask);
  EXPECT_EQ(r.outcome, SettingsOutcome::DriverFailure);
  EXPECT_EQ(r.title, "Ошибка");
  EXPECT_EQ(Writes().back(), "21|0|");
}

}  // namespace
}  // namespace termina::apptest
