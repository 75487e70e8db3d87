// SPDX-License-Identifier: GPL-3.0-or-later
// "&Save..." and "&Load..." of the main window against the simulated
// register, with scripted answers and file names: the questions, the file
// written and read, the messages, the version and the page after a load.
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include <fstream>
#include <iterator>

#include "app_fixture.h"
#include "driver_api.h"
#include "frtaxes.h"

namespace apptest {
namespace {

class SettingsButtonsTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    termina::sim::Config c;
    c.version = 201;
    StartRegister(c);
    CFRMainDlg& main = Open();
    ASSERT_EQ(Tabs(main)->tabText(Tabs(main)->currentIndex()), "Программирование");
    ASSERT_TRUE(tk::ItemOf<QPushButton>(&main, CFRMainDlg::kSaveId)->isVisible());
  }
  QString Path(const QString& name) const { return m_root.path() + "/" + name; }
  // Presses the button answering the confirmation with `answer`.
  void Press(QPushButton* button, const QString& file, int answer = tk::IDYES) {
    m_prompts.messages.clear();
    m_prompts.answers = {answer};
    m_prompts.fileName = tk::S(file);
    m_sim->clearLog();
    button->click();
  }
  bool Wrote() const {
    for (const auto& r : m_sim->requests())
      if (r.code == "A2") return true;
    return false;
  }
  static std::string Bytes(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void Put(const QString& path, const std::string& bytes) {
    std::ofstream(path.toStdString(), std::ios::binary) << bytes;
  }
};

TEST_F(SettingsButtonsTest, SaveThenLoadRestoresTheRegisterAndShowsThePageAgain) {
  CFRMainDlg& main = *m_main;
  m_sim->setTable(20, 0, "ОРИГИНАЛ");
  m_sim->setTable(23, 0, "НДС");
  Press(tk::ItemOf<QPushButton>(&main, CFRMainDlg::kSaveId), Path("copy"));
  ASSERT_EQ(m_prompts.messages.size(), 2u);
  const tk::Message& q = m_prompts.messages[0];
  EXPECT_EQ(q.text, "Сохранить текущие настройки регистратора в файл?");
  EXPECT_EQ(q.title, "Подтверждение");
  EXPECT_EQ(q.icon, tk::Icon::Question);
  EXPECT_EQ(q.buttons, tk::Buttons::YesNo);
  EXPECT_EQ(q.defaultButton, tk::IDNO);
  EXPECT_EQ(m_prompts.messages[1].text, "Настройки сохранены");
  EXPECT_EQ(m_prompts.messages[1].title, "Информация");
  EXPECT_EQ(m_prompts.messages[1].icon, tk::Icon::Information);
  EXPECT_EQ(Bytes(Path("copy.frc")).size(), 1749u) << "the default extension is added";
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // The register changes, and answers with another version from now on.
  m_sim->setTable(20, 0, "ДРУГОЙ");
  m_sim->setTable(23, 0, "ИНОЕ");
  m_sim->setVersion(301);
  for (int i = 0; i < Tree(main)->topLevelItemCount(); ++i)
    if (Tree(main)->topLevelItem(i)->text(0) == "Налоги") {
      const QSignalBlocker quiet(Tree(main));
      Tree(main)->setCurrentItem(Tree(main)->topLevelItem(i));
      main.ShowPage(main.TreeSelection(CFRMainDlg::kTreeId));
    }
  WaitPageFilled(main);
  const apptest::PagePtr before = main.CurrentPage();
  ASSERT_NE(dynamic_cast<CFRTaxes*>(before.data()), nullptr);
  EXPECT_EQ(tk::Item<QLineEdit>(before, 1104)->text(), "ИНОЕ");

  Press(tk::ItemOf<QPushButton>(&main, CFRMainDlg::kLoadId), Path("copy"));
  ASSERT_EQ(m_prompts.messages.size(), 3u) << Join(m_prompts.Texts());
  EXPECT_EQ(m_prompts.messages[0].text, "Загрузить настройки из файла в регистратор?");
  EXPECT_EQ(m_prompts.messages[0].defaultButton, tk::IDNO);
  // What the load will change, before it writes, with OK by default.
  EXPECT_EQ(m_prompts.messages[1].text,
            "Загрузка изменит настройки регистратора, всего 2:\n"
            "Клише предприятия 1: \"ДРУГОЙ\" -> \"ОРИГИНАЛ\"\n"
            "Налоги 0 (имя): \"ИНОЕ\" -> \"НДС\"\n"
            "Записать эти настройки в регистратор?");
  EXPECT_EQ(m_prompts.messages[1].buttons, tk::Buttons::OkCancel);
  EXPECT_EQ(m_prompts.messages[1].defaultButton, tk::IDOK);
  EXPECT_EQ(m_prompts.messages[2].text, "Настройки загружены в регистратор");
  EXPECT_EQ(m_sim->table(20, 0), "ОРИГИНАЛ");
  EXPECT_EQ(main.m_wVersion, 301) << "the version the load read";
  // The selected page again, a new one that read the register anew.
  WaitPageFilled(main);
  CFRFunction* after = main.CurrentPage();
  EXPECT_NE(after, before.data());
  EXPECT_TRUE(before.isNull() || !before->Host());
  ASSERT_NE(dynamic_cast<CFRTaxes*>(after), nullptr);
  EXPECT_EQ(Tree(main)->currentItem()->text(0), "Налоги");
  EXPECT_EQ(tk::Item<QLineEdit>(after, 1104)->text(), "НДС");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(SettingsButtonsTest, DeclinedRefusedAndFailedOperationsLeaveRegisterAndFileAlone) {
  CFRMainDlg& main = *m_main;
  // "No" ends it before anything else.
  Press(tk::ItemOf<QPushButton>(&main, CFRMainDlg::kSaveId), Path("none.frc"), tk::IDNO);
  EXPECT_EQ(m_prompts.messages.size(), 1u);
  EXPECT_TRUE(m_sim->requests().empty());
  EXPECT_FALSE(QFile::exists(Path("none.frc")));

  // A failed read among tables 20 to 22: the driver's text on the status
  // line and in a box; the earlier file stays as it was.
  Put(Path("old.frc"), "old");
  termina::sim::Faults f;
  f.forced["A1 21 1"] = termina::sim::ForcedReply{3, {}};
  m_sim->setFaults(f);
  Press(tk::ItemOf<QPushButton>(&main, CFRMainDlg::kSaveId), Path("old.frc"));
  const std::string text = termina::app::ErrorText(3).value_or("");
  ASSERT_FALSE(text.empty());
  ASSERT_EQ(m_prompts.messages.size(), 2u);
  EXPECT_EQ(m_prompts.messages[1].text, text);
  EXPECT_EQ(m_prompts.messages[1].title, "Ошибка");
  EXPECT_EQ(m_prompts.messages[1].icon, tk::Icon::Error);
  EXPECT_EQ(main.StatusText(0), text);
  EXPECT_EQ(Bytes(Path("old.frc")), "old");
  m_sim->setFaults({});

  // Not a settings file, and a file from a newer register: refused before
  // anything is written.
  Press(tk::ItemOf<QPushButton>(&main, CFRMainDlg::kLoadId), Path("old.frc"));
  EXPECT_EQ(m_prompts.Texts(),
            std::vector<std::string>({"Загрузить настройки из файла в регистратор?", "Неверный формат файла."}));
  EXPECT_FALSE(Wrote());
  Press(tk::ItemOf<QPushButton>(&main, CFRMainDlg::kSaveId), Path("good.frc"));
  std::string bytes = Bytes(Path("good.frc"));
  ASSERT_EQ(bytes.size(), 1749u);
  bytes[2] = static_cast<char>(301 & 0xFF);
  bytes[3] = static_cast<char>(301 >> 8);
  Put(Path("newer.frc"), bytes);
  Press(tk::ItemOf<QPushButton>(&main, CFRMainDlg::kLoadId), Path("newer.frc"));
  ASSERT_EQ(m_prompts.messages.size(), 2u);
  EXPECT_EQ(m_prompts.messages[1].text, "Версия файла конфигурации не соответствует типу ФР. \nЗагрузка невозможна.");
  EXPECT_FALSE(Wrote());
  // From an older register: the question, and "No" writes nothing.
  bytes[2] = static_cast<char>(125);
  bytes[3] = 0;
  Put(Path("older.frc"), bytes);
  m_prompts.messages.clear();
  m_prompts.answers = {tk::IDYES, tk::IDNO};
  m_prompts.fileName = tk::S(Path("older.frc"));
  m_sim->clearLog();
  tk::ItemOf<QPushButton>(&main, CFRMainDlg::kLoadId)->click();
  ASSERT_EQ(m_prompts.messages.size(), 2u);
  EXPECT_EQ(m_prompts.messages[1].title, "Подтверждение");
  EXPECT_TRUE(m_prompts.messages[1].text.ends_with("Продолжить загрузку?"));
  EXPECT_FALSE(Wrote());
  EXPECT_EQ(main.m_wVersion, 201);
}

TEST_F(SettingsButtonsTest, CancelAtTheChangesWritesNothingAndAFailedLoadIsPutBack) {
  CFRMainDlg& main = *m_main;
  m_sim->setTable(21, 0, "ЧУЖАЯ РЕКЛАМА");
  m_sim->setTable(22, 5, "ЧУЖОЙ ПЛАТЕЖ");
  Press(tk::ItemOf<QPushButton>(&main, CFRMainDlg::kSaveId), Path("other.frc"));
  m_sim->setTable(21, 0, "НАША РЕКЛАМА");
  m_sim->setTable(22, 5, "");
  const auto before = m_sim->state().tables;

  m_prompts.messages.clear();
  m_prompts.answers = {tk::IDYES, tk::IDCANCEL};
  m_prompts.fileName = tk::S(Path("other.frc"));
  m_sim->clearLog();
  tk::ItemOf<QPushButton>(&main, CFRMainDlg::kLoadId)->click();
  ASSERT_EQ(m_prompts.messages.size(), 2u) << Join(m_prompts.Texts());
  EXPECT_TRUE(m_prompts.messages[1].text.starts_with("Загрузка изменит настройки регистратора, всего 2:\n"));
  EXPECT_FALSE(Wrote());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // The load fails at a payment name; Yes (the default) puts back what the
  // register held.
  termina::sim::Faults f;
  f.forcedOnce["A2 22 5"] = termina::sim::ForcedReply{3, {}};
  m_sim->setFaults(f);
  std::string halfway;
  m_prompts.onMessage = [&](const tk::Message& m) {
    if (m.text.ends_with("Вернуть прежние настройки?")) halfway = m_sim->table(21, 0);
  };
  Press(tk::ItemOf<QPushButton>(&main, CFRMainDlg::kLoadId), Path("other.frc"));
  ASSERT_EQ(m_prompts.messages.size(), 4u) << Join(m_prompts.Texts());
  const tk::Message& q = m_prompts.messages[2];
  EXPECT_EQ(q.buttons, tk::Buttons::YesNo);
  EXPECT_EQ(q.defaultButton, tk::IDYES);
  EXPECT_TRUE(tk::Q(q.text).contains("Не записана настройка: Типы платежей 5.")) << q.text;
  EXPECT_TRUE(tk::Q(q.text).contains("Резервная копия прежних настроек: " + m_root.path() + "/backups/ТЕРМИНА-2_"))
      << q.text;
  EXPECT_EQ(halfway, "ЧУЖАЯ РЕКЛАМА");
  EXPECT_EQ(m_prompts.messages[3].title, "Ошибка");
  EXPECT_TRUE(m_prompts.messages[3].text.ends_with("Прежние настройки возвращены в регистратор."));
  EXPECT_EQ(m_sim->state().tables, before);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace apptest
