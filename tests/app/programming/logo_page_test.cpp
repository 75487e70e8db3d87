// SPDX-License-Identifier: GPL-3.0-or-later
// The logo page against the simulated register: the file chosen, checked
// and previewed, the upload and the print switch through the command path,
// the removal on the UI thread.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "bitmap_files.h"
#include "frlogo.h"
#include "programming_pages.h"

namespace apptest {
namespace {

namespace bmp = termina::apptest;

class LogoPageTest : public AppTest {
 protected:
  CFRFunction* Open(uint16_t version, const std::string& printSwitch) {
    termina::sim::Config c;
    c.version = version;
    StartRegister(c);
    m_sim->setTable(5, 0, printSwitch);
    CFRFunction* page = ShowProgrammingPage(AppTest::Open(), QStringLiteral("Логотип предприятия"));
    if (page) m_sim->clearLog();
    return page;
  }
  std::string File(const std::string& name, const std::vector<uint8_t>& bytes) {
    return bmp::WriteBytes(m_root.path().toStdString() + "/" + name, bytes);
  }
  bool Sent(const std::string& code) const {
    for (const auto& r : m_sim->requests())
      if (r.code == code) return true;
    return false;
  }
  bool HasPicture(CFRFunction* page) const {
    auto* frame = tk::Item<QLabel>(page, 1088);
    return frame && !frame->pixmap().isNull();
  }
};

TEST_F(LogoPageTest, ChosenFileIsCheckedShownAndUploaded) {
  CFRFunction* page = Open(125, "1");
  ASSERT_NE(dynamic_cast<CFRLogo*>(page), nullptr);
  EXPECT_TRUE(tk::Item<QCheckBox>(page, 1054)->isChecked());

  // Too wide for the first model: the message, yet the file is shown.
  const QString wide = QString::fromStdString(File("wide.bmp", bmp::Bitmap(289, 100)));
  m_prompts.fileName = tk::S(wide);
  Button(page, 1052)->click();
  ASSERT_EQ(m_prompts.messages.size(), 1u);
  EXPECT_EQ(m_prompts.messages[0].text, "Размер изображения превышает 288x126");
  EXPECT_EQ(m_prompts.messages[0].title, "Ошибка");
  EXPECT_EQ(m_prompts.messages[0].icon, tk::Icon::Error);
  EXPECT_EQ(tk::Item<QLineEdit>(page, 1051)->text(), wide);
  EXPECT_TRUE(HasPicture(page));

  // Uploading it is refused again and sends nothing.
  Button(page, 1080)->click();
  ASSERT_TRUE(WaitIdle(page));
  EXPECT_EQ(m_prompts.messages.back().text, "Размер изображения превышает 288x126");
  EXPECT_FALSE(Sent("E3"));
  EXPECT_FALSE(Sent("E2"));

  const std::vector<uint8_t> picture = bmp::Bitmap(288, 126);
  m_prompts.fileName = File("fits.bmp", picture);
  Button(page, 1052)->click();
  const std::size_t before = m_prompts.messages.size();
  Button(page, 1080)->click();
  ASSERT_TRUE(WaitIdle(page));
  EXPECT_EQ(m_prompts.messages.size(), before);
  ASSERT_EQ(m_sim->logo().size(), picture.size() + 1);
  EXPECT_TRUE(Sent("00"));
  EXPECT_EQ(m_main->StatusText(0), "Готов");
  EXPECT_EQ(m_sim->table(5, 0), "1");  // the upload leaves the switch alone
}

TEST_F(LogoPageTest, EmptyPathSwitchAndRemoval) {
  CFRFunction* page = Open(301, "0");
  ASSERT_NE(page, nullptr);
  EXPECT_FALSE(tk::Item<QCheckBox>(page, 1054)->isChecked());
  Button(page, 1080)->click();
  ASSERT_TRUE(WaitIdle(page));
  ASSERT_FALSE(m_prompts.messages.empty());
  EXPECT_EQ(m_prompts.messages.back().text, "Не выбран файл, содержащий логотип");
  ASSERT_EQ(m_sim->requests().size(), 1u);  // the device check's version query only
  EXPECT_EQ(m_sim->requests()[0].code, "A5");

  tk::Item<QCheckBox>(page, 1054)->setChecked(true);
  Button(page, 1082)->click();
  ASSERT_TRUE(WaitIdle(page));
  EXPECT_EQ(m_sim->table(5, 0), "1");
  EXPECT_TRUE(Sent("00"));

  m_prompts.fileName = File("exact.bmp", bmp::Bitmap(515, 90));
  Button(page, 1052)->click();
  Button(page, 1080)->click();
  ASSERT_TRUE(WaitIdle(page));
  ASSERT_FALSE(m_sim->logo().empty());

  // Removal: whatever the box showed, the switch ends off, the logo gone.
  Button(page, 1079)->click();
  EXPECT_EQ(m_sim->table(5, 0), "0");
  EXPECT_TRUE(m_sim->logo().empty());
  EXPECT_FALSE(tk::Item<QCheckBox>(page, 1054)->isChecked());
  EXPECT_FALSE(HasPicture(page));
  EXPECT_FALSE(m_main->InputLocked());
  EXPECT_EQ(m_main->StatusText(0), "Готов");
}

// The page has no command button: Enter outside a push button presses
// "СОХРАНИТЬ" instead, from the file box as from the print box.
TEST_F(LogoPageTest, EnterStoresThePrintSwitch) {
  CFRFunction* page = Open(301, "0");
  ASSERT_NE(page, nullptr);
  auto* print = tk::Item<QCheckBox>(page, 1054);
  print->setChecked(true);
  QTest::keyClick(tk::Item<QLineEdit>(page, 1051), Qt::Key_Return);
  ASSERT_TRUE(WaitIdle(page));
  EXPECT_EQ(m_sim->table(5, 0), "1");
  EXPECT_TRUE(print->isChecked());

  print->setChecked(false);
  QTest::keyClick(print, Qt::Key_Enter, Qt::KeypadModifier);
  ASSERT_TRUE(WaitIdle(page));
  EXPECT_EQ(m_sim->table(5, 0), "0");
}

}  // namespace
}  // namespace apptest
