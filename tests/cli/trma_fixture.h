// SPDX-License-Identifier: GPL-3.0-or-later
// A driver root of its own for runs of the real trma: the folder of the
// INI file and of the COM<n> links, and trma started with --root in an
// environment of its own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "run_process.h"
#include "temp_dir.h"

namespace termina::test {

class TrmaRoot : public ::testing::Test {
 protected:
  TempDir dir;
  std::string root = dir.file("root");
  std::string ini = root + "/c/Program Files/Orvelsoft/TERMINA.INI";

  void SetUp() override { std::filesystem::create_directories(root + "/dev"); }

  // trma with `--root` and the given leading options before `args`.
  ProcessResult runTrma(std::vector<std::string> leading, const std::vector<std::string>& args) {
    leading.insert(leading.begin(), {"--root", root});
    leading.insert(leading.end(), args.begin(), args.end());
    return runProcess(TRMA_EXE, leading, {"TERMINA_ROOT=" + root, "HOME=" + dir.path(), "TERMINA_TRACE"});
  }
};

}  // namespace termina::test
