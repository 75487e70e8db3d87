// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up decisions of the main window against the simulated register.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <ostream>

#include "app_fixture.h"

namespace apptest {
namespace {

using termina::sim::Config;

Config Version(uint16_t v) {
  Config c;
  c.version = v;
  return c;
}

std::vector<std::string> Titles(const tk::ScriptedPrompts& p) {
  std::vector<std::string> l;
  for (const tk::Message& m : p.messages) l.push_back(m.title);
  return l;
}

struct VersionCase {
  uint16_t version;
  QStringList tabs;
  QString model;
  bool fileButtons;  // shown on the programming tab
  QString notice;    // message after the tree is built ("" none)
  bool closes;
  QStringList programming;
};

void PrintTo(const VersionCase& c, std::ostream* os) { *os << "version " << c.version; }

class StartupByVersion : public AppTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(StartupByVersion, LayoutTreeModelAndNotice) {
  const VersionCase& c = GetParam();
  StartRegister(Version(c.version));
  CFRMainDlg& main = Open();
  EXPECT_EQ(main.m_wVersion, c.version);
  EXPECT_EQ(TabCaptionsShown(), c.tabs);
  EXPECT_EQ(main.StatusText(1), tk::S(c.model));
  EXPECT_EQ(main.StatusText(0), "Готов");
  if (c.notice.isEmpty()) {
    EXPECT_TRUE(m_prompts.messages.empty()) << Join(m_prompts.Texts());
  } else {
    ASSERT_EQ(m_prompts.messages.size(), 1u);
    EXPECT_EQ(m_prompts.messages[0].text, tk::S(c.notice));
    EXPECT_EQ(m_prompts.messages[0].title, "Предупреждение");
    EXPECT_EQ(m_prompts.messages[0].icon, tk::Icon::Exclamation);
  }
  // The first node's page is shown; a register the program does not
  // support ends it once the notice has been read (while the page reads).
  ASSERT_NE(main.CurrentPage(), nullptr);
  if (NoticeFor(c.version) == VersionNotice::NotSupported)
    EXPECT_FALSE(main.IsVisible());
  else
    EXPECT_TRUE(main.CurrentPage()->IsVisible());
  // The register learnt the computer's time.
  EXPECT_TRUE(m_sim->state().initDone);

  // The tree of every tab, and where the file buttons show.
  const int programmingTab = c.tabs.indexOf("Программирование");
  for (int tab = 0; tab < 3; ++tab) {
    Tabs(main)->setCurrentIndex(tab);
    const QString caption = c.tabs[tab];
    if (caption == "Программирование") {
      EXPECT_EQ(TreeCaptions(), c.programming);
    } else if (caption == "ЭКЛЗ") {
      EXPECT_EQ(TreeCaptions().size(), 10);
    } else {
      EXPECT_EQ(TreeCaptions().first(), "Фискализация / перерегистрация");
    }
    EXPECT_EQ(tk::ItemOf<QPushButton>(&main, CFRMainDlg::kSaveId)->isVisible(), c.fileButtons && tab == programmingTab)
        << tab;
    EXPECT_EQ(tk::ItemOf<QPushButton>(&main, CFRMainDlg::kLoadId)->isVisible(), c.fileButtons && tab == programmingTab)
        << tab;
    EXPECT_EQ(main.Nodes().size(), static_cast<size_t>(Tree(main)->topLevelItemCount()));
  }

  // The not-supported notice closes the window from the event loop.
  if (c.closes)
    tk::PumpUntil([&] { return main.Ended(); }, 5000);
  else
    QCoreApplication::processEvents();
  EXPECT_EQ(main.Ended(), c.closes);
  if (c.closes) { EXPECT_EQ(main.EndCode(), tk::IDCANCEL); }
}

const QStringList kInspectorFirst = {"Налоговый инспектор", "ЭКЛЗ", "Программирование"};
const QStringList kProgrammingFirst = {"Программирование", "ЭКЛЗ", "Налоговый инспектор"};
const QStringList kFirstModel = {"Синхронизация",     "Параметры кассы", "Логотип предприятия",
                                 "Клише предприятия", "Рекламный текст", "Типы платежей"};
const QStringList kLaterModels = {
    "Параметры связи", "Параметры кассы", "Логотип предприятия", "Клише предприятия", "Рекламный текст",
    "Типы платежей",   "Налоги",          "Товарные группы"};

INSTANTIATE_TEST_SUITE_P(
    Versions, StartupByVersion,
    ::testing::Values(VersionCase{120, kInspectorFirst, "ТЕРМИНА-1", true, "", false, kFirstModel},
                      VersionCase{129, kInspectorFirst, "", true, "", false, kFirstModel + QStringList{"Налоги"}},
                      VersionCase{201, kProgrammingFirst, "ТЕРМИНА-2", true, "", false, kLaterModels},
                      VersionCase{210, kProgrammingFirst, "", false, kUpdateWarning, false, {"Клише предприятия"}},
                      VersionCase{250, kProgrammingFirst, "", false, kNotSupported, true, {"Клише предприятия"}},
                      VersionCase{301, kProgrammingFirst, "ТЕРМИНА-3", true, "", false, kLaterModels}),
    [](const ::testing::TestParamInfo<VersionCase>& info) { return "v" + std::to_string(info.param.version); });

TEST_F(AppTest, WrongPasswordThenANewOne) {
  StartRegister(Version(201), "WKRD");
  m_sim->setPassword("ABCD");
  QString shownCurrent;
  m_prompts.onDialog = [&](tk::Dialog& dlg) {
    auto& dlgQt = dynamic_cast<tk::CDialog&>(dlg);
    ASSERT_EQ(dlg.TemplateId(), 162);
    EXPECT_EQ(dlg.Title(), "Ошибка");
    shownCurrent = tk::Q(dlg.ItemText(1051));
    EXPECT_TRUE(tk::ItemOf<QLineEdit>(&dlgQt, 1051)->isReadOnly());
    // "Ввод" with nothing typed keeps the dialog open.
    dlg.Press(tk::IDOK);
    EXPECT_FALSE(dlg.Ended());
    dlg.SetItemTextNow(1053, "ABCDE");
    EXPECT_EQ(tk::Q(dlg.ItemText(1053)), "ABCD");  // four characters at most
    dlg.Press(tk::IDOK);
  };
  CFRMainDlg& main = Open();
  EXPECT_EQ(shownCurrent, "WKRD");
  EXPECT_EQ(m_prompts.dialogs, std::vector<int>{162});
  EXPECT_FALSE(main.Ended());
  EXPECT_EQ(main.StatusText(0), "Готов");
  EXPECT_EQ(main.StatusText(1), "ТЕРМИНА-2");
  EXPECT_EQ(termina::ini::readString(Ini(), "General", "pswd", "", 100), "ABCD");
  EXPECT_TRUE(m_sim->state().initDone);

  // The next start uses the stored password and asks nothing.
  m_main.reset();
  TRMA_ClosePort();
  CFRMainDlg& next = Open();
  EXPECT_EQ(m_prompts.dialogs, std::vector<int>{162});
  EXPECT_EQ(next.StatusText(0), "Готов");
}

TEST_F(AppTest, WrongPasswordThenCancelClosesWithoutTree) {
  StartRegister(Version(201), "WKRD");
  m_sim->setPassword("ABCD");
  m_prompts.onDialog = [](tk::Dialog& dlg) { dlg.Press(tk::IDCANCEL); };
  CFRMainDlg& main = Open();
  EXPECT_TRUE(main.Ended());
  EXPECT_EQ(main.EndCode(), tk::IDCANCEL);
  EXPECT_EQ(Tabs(main)->count(), 0);
  EXPECT_TRUE(main.Nodes().empty());
  EXPECT_EQ(main.CurrentPage(), nullptr);
  EXPECT_EQ(termina::ini::readString(Ini(), "General", "pswd", "", 100), "WKRD");
}

TEST_F(AppTest, FiscalModuleNotInstalledRunsInstallation) {
  Config c = Version(201);
  c.noFiscalModule = true;
  StartRegister(c);
  m_prompts.onDialog = [](tk::Dialog& dlg) {
    ASSERT_EQ(dlg.TemplateId(), 152);
    EXPECT_EQ(dlg.Title(), "Инсталляция ККМ");
    dlg.SetItemTextNow(1051, "123456789012");
    dlg.Press(tk::IDOK);
  };
  CFRMainDlg& main = Open();
  EXPECT_EQ(m_prompts.Texts(), (std::vector<std::string>{"ККМ не инсталлирована.\nПереходим в режим \nинсталляции ККМ.",
                                                         "Выключите и заново включите регистратор. Нажмите ОК"}));
  EXPECT_EQ(Titles(m_prompts), (std::vector<std::string>{"TerminaTool", "TerminaTool"}));
  EXPECT_EQ(m_sim->state().serialNumber, "123456789012");
  EXPECT_EQ(m_sim->state().fatal & 0x20, 0);
  EXPECT_TRUE(m_sim->state().initDone);
  EXPECT_EQ(main.StatusText(0), "Готов");
}

TEST_F(AppTest, InstallationWithEmptyNumberAsksTheRegisterAndStaysOpen) {
  Config c = Version(201);
  c.noFiscalModule = true;
  StartRegister(c);
  bool endedAfterRefusal = true;
  size_t installRequests = 0;
  m_prompts.onDialog = [&](tk::Dialog& dlg) {
    dlg.Press(tk::IDOK);
    endedAfterRefusal = dlg.Ended();
    for (const auto& r : m_sim->requests()) installRequests += r.code == "E0";
    dlg.Press(tk::IDCANCEL);
  };
  CFRMainDlg& main = Open();
  EXPECT_EQ(installRequests, 1u);
  EXPECT_FALSE(endedAfterRefusal);
  // The install message, then the register's refusal in a plain box.
  ASSERT_EQ(m_prompts.messages.size(), 2u);
  EXPECT_EQ(m_prompts.messages[1].title, "TerminaTool");
  EXPECT_FALSE(m_prompts.messages[1].text.empty());
  EXPECT_NE(m_prompts.messages[1].text, "Выключите и заново включите регистратор. Нажмите ОК");
  EXPECT_NE(m_sim->state().fatal & 0x20, 0);
  // Start-up goes on whatever the dialog returned.
  EXPECT_EQ(main.StatusText(0), "Готов");
}

TEST_F(AppTest, NvrFaultAndNotInstalledInThatOrder) {
  Config c = Version(201);
  c.noFiscalModule = true;
  c.nvrFault = true;
  StartRegister(c);
  m_prompts.onDialog = [](tk::Dialog& dlg) { dlg.Press(tk::IDCANCEL); };
  // The recovery dialog ends with OK.
  struct Wiring : ProgramWiring {
    bool RunRecoveryDialog(uint16_t version) override {
      runs.push_back(version);
      return true;
    }
    std::vector<uint16_t> runs;
  } wiring;
  m_main = std::make_unique<CFRMainDlg>(wiring);
  m_main->InitDialog();
  EXPECT_EQ(wiring.runs, std::vector<uint16_t>{201});
  EXPECT_EQ(m_prompts.Texts(),
            (std::vector<std::string>{"ФАТАЛЬНАЯ ОШИБКА NVR.\nПереходим в режим аварийного\nвосстановления данных.",
                                      "Выключите и заново включите регистратор. Нажмите ОК",
                                      "ККМ не инсталлирована.\nПереходим в режим \nинсталляции ККМ."}));
  EXPECT_EQ(m_prompts.dialogs, std::vector<int>{152});
  EXPECT_EQ(m_prompts.messages[0].icon, tk::Icon::None);
  EXPECT_TRUE(m_sim->state().initDone);
}

TEST_F(AppTest, NvrSwitchActsOnEveryRunButNeedsARegister) {
  StartRegister(Version(201));
  CFRMainDlg& main = Open("-x /nvr");
  EXPECT_EQ(CountMessages("ФАТАЛЬНАЯ ОШИБКА NVR.\nПереходим в режим аварийного\nвосстановления данных."), 1);
  // A port change runs the sequence again, switch included.
  // COM2 leads to the same register.
  const std::string dev = m_root.path().toStdString() + "/dev/";
  std::filesystem::create_symlink(std::filesystem::read_symlink(dev + "com1"), dev + "com2");
  auto* port = tk::ItemOf<QComboBox>(&main, 1087);
  port->setCurrentIndex(1);
  EXPECT_EQ(termina::ini::readString(Ini(), "General", "Port", "", 10), "2");
  EXPECT_EQ(CountMessages("ФАТАЛЬНАЯ ОШИБКА NVR.\nПереходим в режим аварийного\nвосстановления данных."), 2);

  // No register on the port: the sequence stops before the switch is looked at.
  // The simulator takes its own link away; COM2's is this test's, and left
  // behind it would name a terminal number that another test running beside
  // this one may be given next.
  m_main.reset();
  TRMA_ClosePort();
  m_sim.reset();
  std::filesystem::remove(dev + "com2");
  m_prompts.messages.clear();
  Open("/NVR");
  EXPECT_EQ(CountMessages("ФАТАЛЬНАЯ ОШИБКА NVR.\nПереходим в режим аварийного\nвосстановления данных."), 0);
}

TEST_F(AppTest, NoRegisterOnThePort) {
  termina::ini::writeString(Ini(), "General", "Port", "1");
  CFRMainDlg& main = Open();
  ASSERT_EQ(m_prompts.messages.size(), 1u);
  const tk::Message& m = m_prompts.messages[0];
  EXPECT_EQ(m.title, "Ошибка");
  EXPECT_EQ(m.icon, tk::Icon::Error);
  EXPECT_FALSE(m.text.empty());
  EXPECT_EQ(main.StatusText(0), m.text);
  EXPECT_EQ(main.m_wVersion, 120);
  EXPECT_EQ(TabCaptionsShown(), kInspectorFirst);
  EXPECT_EQ(main.StatusText(1), "ТЕРМИНА-1");
  EXPECT_FALSE(main.Ended());
  EXPECT_NE(main.CurrentPage(), nullptr);
}

// The register goes away: the next navigation's device check reports the
// failure and rebuilds the window for the default version.
TEST_F(AppTest, RegisterGoneDuringNavigation) {
  StartRegister(Version(301));
  CFRMainDlg& main = Open();
  ASSERT_EQ(TabCaptionsShown().first(), "Программирование");
  TRMA_ClosePort();
  m_sim.reset();
  Tabs(main)->setCurrentIndex(1);
  ASSERT_EQ(m_prompts.messages.size(), 1u);
  EXPECT_EQ(m_prompts.messages[0].title, "Ошибка");
  EXPECT_EQ(main.StatusText(0), m_prompts.messages[0].text);
  EXPECT_EQ(main.m_wVersion, 120);
  EXPECT_EQ(TabCaptionsShown(), kInspectorFirst);
  EXPECT_EQ(Tabs(main)->currentIndex(), 0);
  EXPECT_EQ(main.StatusText(1), "ТЕРМИНА-1");
  EXPECT_FALSE(main.InputLocked());
}

TEST_F(AppTest, IniDefaultsForPortAndSpeed) {
  // No Port and no Speed: both are written and selected.
  CFRMainDlg& main = Open();
  EXPECT_EQ(termina::ini::readString(Ini(), "General", "Port", "", 100), "1");
  EXPECT_EQ(termina::ini::readString(Ini(), "General", "Speed", "", 100), "19200");
  EXPECT_EQ(tk::ItemOf<QComboBox>(&main, 1087)->currentText(), "COM1");
  EXPECT_EQ(tk::ItemOf<QComboBox>(&main, 1129)->currentText(), "19200");
  m_main.reset();

  // A speed not in the list selects the first entry and stays in the file;
  // a known one is found without regard to case of the text.
  termina::ini::writeString(Ini(), "General", "Speed", "2400");
  termina::ini::writeString(Ini(), "General", "Port", "3");
  CFRMainDlg& again = Open();
  EXPECT_EQ(tk::ItemOf<QComboBox>(&again, 1129)->currentText(), "19200");
  EXPECT_EQ(tk::ItemOf<QComboBox>(&again, 1087)->currentText(), "COM3");
  EXPECT_EQ(termina::ini::readString(Ini(), "General", "Speed", "", 100), "2400");
  m_main.reset();

  termina::ini::writeString(Ini(), "General", "Speed", "57600");
  termina::ini::writeString(Ini(), "General", "Port", "12");
  CFRMainDlg& third = Open();
  EXPECT_EQ(tk::ItemOf<QComboBox>(&third, 1129)->currentText(), "57600");
  EXPECT_EQ(tk::ItemOf<QComboBox>(&third, 1087)->currentIndex(), -1);
}

TEST_F(AppTest, SpeedChangeIsWrittenAndReconnects) {
  StartRegister(Version(201));
  CFRMainDlg& main = Open();
  auto* speed = tk::ItemOf<QComboBox>(&main, 1129);
  const int before = static_cast<int>(m_sim->requests().size());
  speed->setCurrentIndex(2);
  EXPECT_EQ(termina::ini::readString(Ini(), "General", "Speed", "", 100), "9600");
  EXPECT_GT(static_cast<int>(m_sim->requests().size()), before);
  WaitPageFilled(main);
  EXPECT_EQ(main.StatusText(0), "Готов");
}

}  // namespace
}  // namespace apptest
