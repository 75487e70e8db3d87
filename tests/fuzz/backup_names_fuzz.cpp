// SPDX-License-Identifier: GPL-3.0-or-later
// The backups' names from any bytes: a registration number the register
// sends becomes a name part that cannot leave the folder or be empty, and a
// directory entry is taken for a backup exactly when it builds back into
// the same name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "backup_names.h"
#include "fuzz_check.h"

using namespace termina::app;

namespace {

bool safeChar(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-'; }

BackupStamp stampOf(const std::string& s) {
  const auto n = [&](std::size_t at, std::size_t len) { return std::stoi(s.substr(at, len)); };
  return {n(0, 4), n(4, 2), n(6, 2), n(9, 2), n(11, 2), n(13, 2)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);

  const std::string reg = SafeRegistrationPart(in);
  FUZZ_CHECK(!reg.empty());
  if (reg != kUnregistered) {
    FUZZ_CHECK(reg.size() <= kRegistrationPartMax);
    FUZZ_CHECK(reg.find_first_not_of('-') != std::string::npos);
    for (char c : reg) FUZZ_CHECK(safeChar(c));
  }
  const std::string model = SafeModelPart(in, 77);
  FUZZ_CHECK(!model.empty() && model.find('/') == std::string::npos && model.find('.') == std::string::npos &&
             model.find('_') == std::string::npos);
  const std::string name = BackupFileName(BackupPrefix(model, reg), {2026, 12, 9, 2, 3, 4}, 1, "frc");
  const auto own = ParseBackupName(name);
  FUZZ_CHECK(own && own->prefix == BackupPrefix(model, reg) && own->stamp == "20261209-020304");

  if (const auto p = ParseBackupName(in)) {
    FUZZ_CHECK(p->prefix.find('/') == std::string::npos && !p->prefix.empty() && p->prefix[0] != '.');
    FUZZ_CHECK(p->ext == "frc" || p->ext == "nvr");
    FUZZ_CHECK(BackupFileName(p->prefix, stampOf(p->stamp), p->sequence, p->ext) == in);
  }
  return 0;
}
