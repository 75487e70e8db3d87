// SPDX-License-Identifier: GPL-3.0-or-later
// The logo file check and the logo sequences, through the real driver
// against the simulated register.
#include <gtest/gtest.h>

#include "bitmap_files.h"
#include "core_fixture.h"
#include "logo.h"

namespace termina::apptest {
namespace {

using app::LogoRule;

class LogoTest : public CoreTest {
 protected:
  std::string File(const std::string& name, const std::vector<uint8_t>& bytes) {
    return WriteBytes(m_root.path() + "/" + name, bytes);
  }
  std::vector<uint8_t> Stream(const std::vector<uint8_t>& file) {
    std::vector<uint8_t> s{0x1B};
    s.insert(s.end(), file.begin(), file.end());
    return s;
  }
};

TEST_F(LogoTest, FileRulesInTheirOrderWithTheirMessages) {
  // A small colour picture is refused for its depth, not its size.
  const auto colour = app::CheckLogoFile(File("colour.bmp", Bitmap(16, 16, 24)), 120);
  EXPECT_EQ(colour.rule, LogoRule::NotMonochrome);
  EXPECT_EQ(colour.message, "Изображение должно быть монохромным");

  // A recorded size over 64 KiB comes before the depth.
  std::vector<uint8_t> big = Bitmap(16, 16, 24);
  PutLe(big, 2, 65537, 4);
  EXPECT_EQ(app::CheckLogoFile(File("big.bmp", big), 120).message, "Размер файла превышает 64 Кб");
  PutLe(big, 2, 65536, 4);
  EXPECT_EQ(app::CheckLogoFile(File("edge.bmp", big), 120).rule, LogoRule::NotMonochrome);
  // So does a file that is itself longer than its header says.
  std::vector<uint8_t> longer = Bitmap(16, 16);
  longer.resize(65537);
  EXPECT_EQ(app::CheckLogoFile(File("longer.bmp", longer), 120).rule, LogoRule::TooLarge);

  // "bm" in small letters passes the first rule; other marks, short files
  // and missing files do not.
  std::vector<uint8_t> small = Bitmap(32, 32);
  small[0] = 'b';
  small[1] = 'm';
  EXPECT_TRUE(app::CheckLogoFile(File("small.bmp", small), 120).accepted());
  small[1] = 'X';
  EXPECT_EQ(app::CheckLogoFile(File("mark.bmp", small), 120).message, "Ошибка открытия файла");
  std::vector<uint8_t> cut = Bitmap(8, 8);
  cut.resize(53);  // the information header one byte short
  EXPECT_EQ(app::CheckLogoFile(File("short.bmp", cut), 120).rule, LogoRule::Unreadable);
  EXPECT_EQ(app::CheckLogoFile(m_root.path() + "/none.bmp", 120).rule, LogoRule::Unreadable);
  EXPECT_EQ(app::CheckLogoFile(m_root.path(), 120).rule, LogoRule::Unreadable);  // a folder
}

TEST_F(LogoTest, PictureSizeByModel) {
  const std::string wide = File("wide.bmp", Bitmap(289, 100));
  for (uint16_t v : {120, 125, 128, 130}) {
    const auto c = app::CheckLogoFile(wide, v);
    EXPECT_EQ(c.message, "Размер изображения превышает 288x126") << v;
  }
  EXPECT_TRUE(app::CheckLogoFile(File("first.bmp", Bitmap(288, 126)), 120).accepted());
  EXPECT_TRUE(app::CheckLogoFile(wide, 201).accepted());
  EXPECT_EQ(app::CheckLogoFile(File("tall.bmp", Bitmap(576, 171)), 201).message,
            "Размер изображения превышает 576x170");

  // The third model takes exactly 515 x 90, stored either way up.
  EXPECT_TRUE(app::CheckLogoFile(File("exact.bmp", Bitmap(515, 90)), 301).accepted());
  EXPECT_TRUE(app::CheckLogoFile(File("topdown.bmp", Bitmap(515, -90)), 301).accepted());
  for (auto [w, h] : {std::pair{514, 90}, {515, 89}, {288, 126}}) {
    const auto c = app::CheckLogoFile(File("third.bmp", Bitmap(w, h)), 301);
    EXPECT_EQ(c.message, "Размер изображения должен быть 515x90") << w << "x" << h;
  }
  // A picture stored top row first is as tall as its height's magnitude.
  EXPECT_EQ(app::CheckLogoFile(File("upside.bmp", Bitmap(100, -200)), 120).rule, LogoRule::BadSize);
  std::vector<uint8_t> empty = Bitmap(8, 8);
  PutLe(empty, 18, 0, 4);
  EXPECT_EQ(app::CheckLogoFile(File("nowidth.bmp", empty), 120).rule, LogoRule::BadSize);
}

TEST_F(LogoTest, UploadChecksFirstAndSendsNothingForARefusedFile) {
  sim::Config c;
  c.version = 120;
  StartRegister(c);
  Connect();
  // No path: the message, nothing sent.
  EXPECT_FALSE(app::UploadLogo("", m_ask));
  EXPECT_EQ(m_ask.Texts(), std::vector<std::string>{"Не выбран файл, содержащий логотип"});
  EXPECT_EQ(m_ask.asked.back().title, "Ошибка");
  EXPECT_EQ(m_ask.asked.back().icon, app::Icon::Error);
  EXPECT_TRUE(Codes().empty());

  // Too wide for the first model: only the version query goes out.
  EXPECT_FALSE(app::UploadLogo(File("wide.bmp", Bitmap(289, 100)), m_ask));
  EXPECT_EQ(m_ask.Texts().back(), "Размер изображения превышает 288x126");
  EXPECT_EQ(Codes(), std::vector<std::string>{"A5"});
  EXPECT_TRUE(m_sim->logo().empty());

  // A fitting file goes out whole after the clear, then function 0.
  m_sim->clearLog();
  const std::vector<uint8_t> picture = Bitmap(288, 126);
  EXPECT_TRUE(app::UploadLogo(File("fits.bmp", picture), m_ask));
  EXPECT_EQ(Codes(), (std::vector<std::string>{"A5", "E3", "E2", "00"}));
  EXPECT_EQ(m_sim->logo(), Stream(picture));
  EXPECT_TRUE(m_sim->state().initDone);
}

TEST_F(LogoTest, SwitchIsStoredAndRemovalLeavesItOff) {
  StartRegister();
  m_sim->setTable(5, 0, "0");
  Connect();
  EXPECT_FALSE(app::ReadLogoSwitch());
  app::StoreLogoSwitch(true);
  EXPECT_EQ(m_sim->table(5, 0), "1");
  EXPECT_TRUE(app::ReadLogoSwitch());
  EXPECT_EQ(Codes(), (std::vector<std::string>{"A1", "A2", "00", "A1"}));

  EXPECT_TRUE(app::UploadLogo(File("logo.bmp", Bitmap(100, 50)), m_ask));
  ASSERT_FALSE(m_sim->logo().empty());
  m_sim->clearLog();
  app::RemoveLogo();
  EXPECT_EQ(m_sim->table(5, 0), "0");
  EXPECT_TRUE(m_sim->logo().empty());
  EXPECT_EQ(Codes(), (std::vector<std::string>{"A2", "E3"}));

  // A refused removal is raised, not taken for success.
  sim::Faults f;
  f.forced["E3"] = {1, {}};
  m_sim->setFaults(f);
  EXPECT_THROW(app::RemoveLogo(), uint16_t);
}

}  // namespace
}  // namespace termina::apptest
