// SPDX-License-Identifier: GPL-3.0-or-later
// The byte layout of the settings file, apart from the sequences that fill
// it, so that the reader can be fuzzed without a driver.
#include <cstring>

#include "settings_file.h"

namespace termina::app {
namespace {

constexpr uint8_t kMark[2] = {'f', 'r'};

// Calls visit(offset, record) for every record of the file in its place:
// the one list of where each record lives, for writing and for reading.
template <typename Records, typename Visit>
void forEachRecord(Records& r, Visit&& visit) {
  for (std::size_t n = 0; n < r.tables.size(); ++n) visit(kOffsetTables + n * kRecordSize, r.tables[n]);
  for (std::size_t n = 0; n < r.header.size(); ++n) visit(kOffsetHeader + n * kRecordSize, r.header[n]);
  for (std::size_t n = 0; n < r.footer.size(); ++n) visit(kOffsetFooter + n * kRecordSize, r.footer[n]);
  for (std::size_t n = 0; n < r.payments.size(); ++n) visit(kOffsetPayments + n * kRecordSize, r.payments[n]);
  visit(kOffsetTaxLine, r.taxLine);
  for (std::size_t i = 0; i < r.taxNames.size(); ++i) {
    visit(kOffsetTaxes + i * 2 * kTaxRecordSize, r.taxNames[i]);
    visit(kOffsetTaxes + i * 2 * kTaxRecordSize + kTaxRecordSize, r.taxRates[i]);
  }
  visit(kOffsetAutoPayment, r.autoPayment);
}

}  // namespace

std::vector<uint8_t> BuildSettingsFile(const SettingsRecords& r) {
  std::vector<uint8_t> out(kSettingsFileSize, 0);
  out[0] = kMark[0];
  out[1] = kMark[1];
  out[kOffsetVersion] = static_cast<uint8_t>(r.version & 0xFF);
  out[kOffsetVersion + 1] = static_cast<uint8_t>(r.version >> 8);
  forEachRecord(r, [&](std::size_t offset, const auto& record) {
    std::memcpy(out.data() + offset, record.data(), record.size());
  });
  return out;
}

std::optional<SettingsRecords> ParseSettingsFile(std::span<const uint8_t> in) {
  if (in.size() < kSettingsFileSize || in[0] != kMark[0] || in[1] != kMark[1]) return std::nullopt;
  SettingsRecords r;
  r.version = static_cast<uint16_t>(in[kOffsetVersion] | (in[kOffsetVersion + 1] << 8));
  forEachRecord(
      r, [&](std::size_t offset, auto& record) { std::memcpy(record.data(), in.data() + offset, record.size()); });
  return r;
}

}  // namespace termina::app
