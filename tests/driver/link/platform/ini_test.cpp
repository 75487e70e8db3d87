// SPDX-License-Identifier: GPL-3.0-or-later
#include "ini.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

#include "temp_dir.h"

namespace {

using namespace termina;
using termina::test::readFile;
using termina::test::TempDir;
using termina::test::writeFile;

unsigned modeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

int entriesIn(const std::string& dir) {
  int n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

TEST(IniRead, MissingFileSectionOrKeyGiveTheDefault) {
  TempDir dir;
  const std::string file = dir.file("t.ini");
  EXPECT_EQ(ini::readInt(file, "General", "Port", 7), 7u);
  EXPECT_EQ(ini::readString(file, "General", "pswd", "WKRD", 60), "WKRD");
  writeFile(file, "[General]\nPort=3\n[TCP]\nMode=1\n");
  EXPECT_EQ(ini::readInt(file, "Other", "Port", 9), 9u);
  EXPECT_EQ(ini::readInt(file, "General", "Mode", 9), 9u) << "a key of another section";
  EXPECT_EQ(ini::readInt(file, "TCP", "Port", 9), 9u);
}

TEST(IniRead, NamesIgnoreCaseAndBlanksLineEndsEitherStyle) {
  TempDir dir;
  const std::string file = dir.file("t.ini");
  writeFile(file,
            "; comment Port=5\r\n"
            "  [ general ]  \r\n"
            "\tPORT \t=  4  \r\n"
            ";pswd=commented\r\n"
            "pswd = se cret \r\n"
            "[tcp]\n"
            "HostName=gw=1\n"
            "Empty=\n"
            "last=tail");  // no line end at the end of the file
  EXPECT_EQ(ini::readInt(file, "General", "port", 0), 4u);
  EXPECT_EQ(ini::readString(file, "GENERAL", "Pswd", "WKRD", 60), "se cret");
  EXPECT_EQ(ini::readString(file, "TCP", "hostname", "", 20), "gw=1");
  EXPECT_EQ(ini::readString(file, "TCP", "Empty", "def", 20), "");
  EXPECT_EQ(ini::readString(file, "TCP", "last", "", 20), "tail");
}

TEST(IniRead, IntegersTakeTheLeadingDigits) {
  TempDir dir;
  const std::string file = dir.file("t.ini");
  writeFile(file, "[S]\na=12abc\nb=abc\nc=\nd=-5\ne=99999999999\nf=0019200\n");
  EXPECT_EQ(ini::readInt(file, "S", "a", 1), 12u);
  EXPECT_EQ(ini::readInt(file, "S", "b", 1), 0u);
  EXPECT_EQ(ini::readInt(file, "S", "c", 1), 0u);
  EXPECT_EQ(ini::readInt(file, "S", "d", 1), 0u);
  EXPECT_EQ(ini::readInt(file, "S", "e", 1), UINT_MAX);
  EXPECT_EQ(ini::readInt(file, "S", "f", 1), 19200u);
}

TEST(IniRead, StringsAreCutToTheBuffer) {
  TempDir dir;
  const std::string file = dir.file("t.ini");
  writeFile(file, "[TCP]\nHostName=abcdefghijklmnopqrstuvwxyz\n");
  EXPECT_EQ(ini::readString(file, "TCP", "HostName", "", 20), "abcdefghijklmnopqrs");
  EXPECT_EQ(ini::readString(file, "TCP", "Missing", "0123456789", 5), "0123");
  EXPECT_EQ(ini::readString(file, "TCP", "HostName", "", 1), "");
  EXPECT_EQ(ini::readString(file, "TCP", "HostName", "", 0), "");
}

TEST(IniWrite, CreatesFileSectionAndKeyWithPrivateMode) {
  TempDir dir;
  const std::string file = dir.file("TERMINA.INI");
  ASSERT_TRUE(ini::writeString(file, "General", "Port", "1"));
  EXPECT_EQ(modeOf(file), 0600u);
  ASSERT_TRUE(ini::writeString(file, "General", "pswd", "\xCF\xE0\xF0"));  // 1251 bytes kept as they are
  ASSERT_TRUE(ini::writeString(file, "TCP", "Mode", "1"));
  EXPECT_EQ(readFile(file), "[General]\nPort=1\npswd=\xCF\xE0\xF0\n\n[TCP]\nMode=1\n");
  EXPECT_EQ(ini::readString(file, "general", "PSWD", "", 60), "\xCF\xE0\xF0");
  EXPECT_EQ(entriesIn(dir.path()), 1) << "no temporary file is left behind";
}

TEST(IniWrite, ReplacesInPlaceAndKeepsEverythingElse) {
  TempDir dir;
  const std::string file = dir.file("t.ini");
  writeFile(file,
            "; driver settings\r\n"
            "[General]\r\n"
            "Port = 2 \r\n"
            "Unknown=x\r\n"
            "\r\n"
            "[TCP]\r\n"
            "; gateway\r\n"
            "HostName=10.0.0.1\r\n");
  ::chmod(file.c_str(), 0644);
  ASSERT_TRUE(ini::writeString(file, "general", "PORT", "5"));
  ASSERT_TRUE(ini::writeString(file, "General", "pswd", "abc"));
  ASSERT_TRUE(ini::writeString(file, "TCP", "HostPort", "7000"));
  EXPECT_EQ(readFile(file),
            "; driver settings\r\n"
            "[General]\r\n"
            "Port=5\r\n"
            "Unknown=x\r\n"
            "pswd=abc\r\n"
            "\r\n"
            "[TCP]\r\n"
            "; gateway\r\n"
            "HostName=10.0.0.1\r\n"
            "HostPort=7000\r\n");
  EXPECT_EQ(modeOf(file), 0644u) << "an existing file keeps its mode";
}

TEST(IniWrite, FileWithoutFinalLineEndGainsOne) {
  TempDir dir;
  const std::string file = dir.file("t.ini");
  writeFile(file, "[General]\nPort=1");
  ASSERT_TRUE(ini::writeString(file, "General", "Speed", "9600"));
  EXPECT_EQ(readFile(file), "[General]\nPort=1\nSpeed=9600\n");
}

TEST(IniWrite, FailuresLeaveTheOldFileUntouched) {
  TempDir dir;
  EXPECT_FALSE(ini::writeString(dir.file("missing/t.ini"), "General", "Port", "1"));
  EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));

  const std::string file = dir.file("t.ini");
  const std::string before = "[General]\npswd=old\n";
  writeFile(file, before);
  // A line break would smuggle extra keys or sections into the file.
  EXPECT_FALSE(ini::writeString(file, "General", "pswd", "x\n[TCP]\nMode=1"));
  EXPECT_FALSE(ini::writeString(file, "General", "pswd", "x\rMode=1"));
  EXPECT_FALSE(ini::writeString(file, "Gen]eral", "pswd", "x"));
  EXPECT_FALSE(ini::writeString(file, "General", "a=b", "x"));
  EXPECT_FALSE(ini::writeString(file, "General", " ", "x"));
  EXPECT_EQ(readFile(file), before);
  EXPECT_EQ(entriesIn(dir.path()), 1);
}

TEST(IniWrite, SymbolicLinkStaysALink) {
  TempDir dir;
  const std::string real = dir.file("real.ini");
  const std::string link = dir.file("link.ini");
  writeFile(real, "[General]\nPort=1\n");
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
  ASSERT_TRUE(ini::writeString(link, "General", "Port", "2"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(readFile(real), "[General]\nPort=2\n");
}

}  // namespace
