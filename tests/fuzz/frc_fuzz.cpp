// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a settings file (.frc) from any bytes.  A file is accepted
// exactly when it holds the whole layout and begins with the mark "fr";
// what is accepted builds back into the file's first 1749 bytes, so no
// record is lost, moved or invented on the way.
#include "fuzz_check.h"
#include "settings_file.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

using namespace termina::app;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::span<const uint8_t> in(data, size);
  const auto records = ParseSettingsFile(in);
  const bool expected = size >= kSettingsFileSize && data[0] == 'f' && data[1] == 'r';
  FUZZ_CHECK(records.has_value() == expected);
  if (!records) return 0;
  FUZZ_CHECK(records->version == (data[2] | data[3] << 8));
  const auto rebuilt = BuildSettingsFile(*records);
  FUZZ_CHECK(rebuilt.size() == kSettingsFileSize);
  FUZZ_CHECK(std::equal(rebuilt.begin(), rebuilt.end(), data));
  return 0;
}
