// SPDX-License-Identifier: GPL-3.0-or-later
// Runs every file of the given folders (or single files) through the
// harness once, the way libFuzzer replays a corpus, so the stored corpus and
// every crash input ever found are regression tests in a build without
// libFuzzer.  Exits non-zero when a folder is missing or holds no file, so a
// mistyped path cannot pass silently.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

namespace {

bool runFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", p.c_str());
    return false;
  }
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // A copy of exactly the file's size, so a read past the end is caught.
  std::vector<uint8_t> data(bytes.begin(), bytes.end());
  LLVMFuzzerTestOneInput(data.empty() ? nullptr : data.data(), data.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t ran = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path arg(argv[i]);
    std::error_code ec;
    if (std::filesystem::is_directory(arg, ec)) {
      std::vector<std::filesystem::path> files;
      for (const auto& e : std::filesystem::directory_iterator(arg))
        if (e.is_regular_file() && e.path().filename().string()[0] != '.') files.push_back(e.path());
      std::sort(files.begin(), files.end());
      for (const auto& f : files) {
        if (!runFile(f)) return 1;
        ++ran;
      }
    } else if (std::filesystem::is_regular_file(arg, ec)) {
      if (!runFile(arg)) return 1;
      ++ran;
    } else {
      std::fprintf(stderr, "no such corpus folder or file: %s\n", argv[i]);
      return 1;
    }
  }
  std::printf("%zu inputs replayed\n", ran);
  return ran > 0 ? 0 : 1;
}
