// SPDX-License-Identifier: GPL-3.0-or-later
#include "paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "temp_dir.h"

namespace {

using namespace termina;
using termina::test::ScopedEnv;
using termina::test::TempDir;
using termina::test::writeFile;

TEST(Paths, RootFollowsTheEnvironmentOnEveryCall) {
  {
    ScopedEnv root("TERMINA_ROOT", "/srv/termina/");
    EXPECT_EQ(paths::root(), "/srv/termina");
  }
  ScopedEnv root("TERMINA_ROOT", nullptr);
  {
    ScopedEnv home("HOME", "/home/kassa");
    EXPECT_EQ(paths::root(), "/home/kassa/.local/share/termina");
  }
  ScopedEnv empty("TERMINA_ROOT", "");
  ScopedEnv home("HOME", "/home/other");
  EXPECT_EQ(paths::root(), "/home/other/.local/share/termina");
}

TEST(Paths, WindowsPathsMapIntoTheRoot) {
  ScopedEnv root("TERMINA_ROOT", "/r");
  EXPECT_EQ(paths::hostPath("C:\\Program Files\\X"), "/r/c/Program Files/X");
  EXPECT_EQ(paths::hostPath("d:/logo\\a.bmp"), "/r/d/logo/a.bmp");
  EXPECT_EQ(paths::hostPath("C:\\"), "/r/c");
  EXPECT_EQ(paths::hostPath("C:"), "/r/c");
  EXPECT_EQ(paths::hostPath("logos\\a.bmp"), "logos/a.bmp");
  EXPECT_EQ(paths::hostPath("/tmp/a.bmp"), "/tmp/a.bmp");
  EXPECT_EQ(paths::hostPath("1:\\x"), "1:/x") << "not a drive letter";
  EXPECT_EQ(paths::iniPath(), "/r/c/Program Files/Orvelsoft/TERMINA.INI");
}

TEST(Paths, ComDevicePrefersTheRootEntryEvenADanglingLink) {
  TempDir dir;
  ScopedEnv root("TERMINA_ROOT", dir.path().c_str());
  EXPECT_EQ(paths::comDevice(1), "/dev/ttyS0");
  EXPECT_EQ(paths::comDevice(10), "/dev/ttyS9");
  ASSERT_TRUE(paths::makeDirs(dir.file("dev")));
  ASSERT_EQ(::symlink("/dev/null", dir.file("dev/com1").c_str()), 0);
  ASSERT_EQ(::symlink(dir.file("gone").c_str(), dir.file("dev/com2").c_str()), 0);
  EXPECT_EQ(paths::comDevice(1), dir.file("dev/com1"));
  EXPECT_EQ(paths::comDevice(2), dir.file("dev/com2"));
  EXPECT_EQ(paths::comDevice(3), "/dev/ttyS2");
  EXPECT_EQ(paths::comDevice(0), dir.file("dev/com0")) << "no host port for 0";
}

TEST(Paths, MakeDirsCreatesEveryLevel) {
  TempDir dir;
  const std::string deep = dir.file("c/Program Files/Orvelsoft");
  EXPECT_TRUE(paths::makeDirs(deep));
  EXPECT_TRUE(std::filesystem::is_directory(deep));
  EXPECT_TRUE(paths::makeDirs(deep + "/")) << "existing folder, trailing slash";
  writeFile(dir.file("file"), "x");
  EXPECT_FALSE(paths::makeDirs(dir.file("file")));
  EXPECT_FALSE(paths::makeDirs(dir.file("file/sub")));
  EXPECT_FALSE(paths::makeDirs(""));
}

}  // namespace
