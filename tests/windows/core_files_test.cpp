// SPDX-License-Identifier: GPL-3.0-or-later
// The register sequences' file access on Windows (file_replace_win32.cpp):
// a settings file or NVR backup replaced whole under a Cyrillic name, read
// back within a limit, a folder told apart from a missing file, nothing
// left behind; the narrow name a driver call opens such a file by.  Run by tools/windows under Wine in a folder of its
// own.
#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "file_replace.h"

#include <windows.h>
// The system's ReplaceFile macro is not the function under test.
#undef ReplaceFile

namespace {

int g_failures = 0;

void Check(bool ok, const std::string& what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
  if (!ok) ++g_failures;
}

int FilesIn(const std::wstring& folder) {
  WIN32_FIND_DATAW d;
  HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return 0;
  int n = 0;
  do {
    if (!(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++n;
  } while (FindNextFileW(h, &d));
  FindClose(h);
  return n;
}

}  // namespace

int main() {
  using namespace termina::app;
  // A folder of our own, named in Cyrillic.
  const std::string folder = "проверка_файлов";
  const std::wstring wfolder = L"проверка_файлов";
  CreateDirectoryW(wfolder.c_str(), nullptr);
  const std::string file = folder + "\\настройки.frc";

  const std::vector<uint8_t> first = {'f', 'r', 0, 1, 2, 0x1A, '\r', '\n', 0xFF};
  ReplaceError error = ReplaceError::System;
  int number = -1;
  Check(ReplaceFile(file, first, &error, &number) && error == ReplaceError::None && number == 0,
        "a new file is written under a Cyrillic name");
  int readNumber = -1;
  auto back = ReadPlainFile(file, 100, &readNumber);
  Check(back && *back == first && readNumber == 0, "it reads back byte for byte (no text-mode changes)");
  back = ReadPlainFile(file, 3);
  Check(back && back->size() == 3 && (*back)[1] == 'r', "a read stops at its limit");

  // Replacing keeps a read-only file read-only and leaves no temporary file.
  SetFileAttributesW((wfolder + L"\\настройки.frc").c_str(), FILE_ATTRIBUTE_READONLY);
  const std::vector<uint8_t> second(1749, 0x42);
  Check(ReplaceFile(file, second), "an existing read-only file is replaced");
  back = ReadPlainFile(file, 4000);
  const DWORD attributes = GetFileAttributesW((wfolder + L"\\настройки.frc").c_str());
  Check(back && *back == second && (attributes & FILE_ATTRIBUTE_READONLY), "whole, and still read-only");
  Check(FilesIn(wfolder) == 1, "no temporary file is left beside it");

  // A folder is no plain file; a missing file is a system failure.
  Check(!ReplaceFile(folder, first, &error, &number) && error == ReplaceError::NotRegularFile,
        "a folder is not replaced");
  Check(!ReadPlainFile(folder, 10, &readNumber) && readNumber == 0, "a folder is not read, and is no system failure");
  Check(!ReadPlainFile(folder + "\\нет.frc", 10, &readNumber) && readNumber == ENOENT, "a missing file is ENOENT");
  Check(!ReplaceFile(folder + "\\нет\\файл.frc", first, &error, &number) && error == ReplaceError::System &&
            number == ENOENT,
        "a missing folder is ENOENT");

  // The name a driver call opens a file by (narrow, the ANSI code page):
  // the Cyrillic file is found under it whatever the system's code page.
  const auto driverName = DriverFilePath(file);
  std::vector<uint8_t> opened;
  if (driverName)
    if (std::FILE* f = std::fopen(driverName->c_str(), "rb")) {
      int c;
      while ((c = std::fgetc(f)) != EOF) opened.push_back(static_cast<uint8_t>(c));
      std::fclose(f);
    }
  Check(opened == second, "the driver's name of a Cyrillic file opens it narrow (" + driverName.value_or("none") + ")");
  Check(DriverFilePath("C:\\logo.bmp") == std::optional<std::string>("C:\\logo.bmp"), "a plain name stays as it is");

  SetFileAttributesW((wfolder + L"\\настройки.frc").c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW((wfolder + L"\\настройки.frc").c_str());
  RemoveDirectoryW(wfolder.c_str());
  std::printf("%s: %d failed\n", g_failures ? "FAILED" : "passed", g_failures);
  return g_failures ? 1 : 0;
}
