// The byte layout of the settings file, apart from the sequences that fill
// it, so that the reader can be fuzzed without a driver.
#include <cstring>

#include "settings_file.h"

namespace termina::app {
namespace {

constexpr uint8_t kMark[2] = {'f', 'r'};

template <std::size_t N>
void put(std::vector<uint8_t>& out, std::size_t offset, const std::array<char, N>& record) {
  std::memcpy(out.data() + offset, record.data(), N);
}

template <std::size_t N>
void take(std::span<const uint8_t> in, std::size_t offset, std::array<char, N>& record) {
  std::memcpy(record.data(), in.data() + offset, N);
}

}  // namespace

std::vector<uint8_t> BuildSettingsFile(const SettingsRecords& r) {
  std::vector<uint8_t> out(kSettingsFileSize, 0);
  out[0] = kMark[0];
  out[1] = kMark[1];
  out[kOffsetVersion] = static_cast<uint8_t>(r.version & 0xFF);
  out[kOffsetVersion + 1] = static_cast<uint8_t>(r.version >> 8);
  for (std::size_t n = 0; n < r.tables.size(); ++n) put(out, kOffsetTables + n * kRecordSize, r.tables[n]);
  for (std::size_t n = 0; n < r.header.size(); ++n) put(out, kOffsetHeader + n * kRecordSize, r.header[n]);
  for (std::size_t n = 0; n < r.footer.size(); ++n) put(out, kOffsetFooter + n * kRecordSize, r.footer[n]);
  for (std::size_t n = 0; n < r.payments.size(); ++n) put(out, kOffsetPayments + n * kRecordSize, r.payments[n]);
  put(out, kOffsetTaxLine, r.taxLine);
  for (std::size_t i = 0; i < r.taxNames.size(); ++i) {
    put(out, kOffsetTaxes + i * 2 * kTaxRecordSize, r.taxNames[i]);
    put(out, kOffsetTaxes + i * 2 * kTaxRecordSize + kTaxRecordSize, r.taxRates[i]);
  }
  put(out, kOffsetAutoPayment, r.autoPayment);
  return out;
}

std::optional<SettingsRecords> ParseSettingsFile(std::span<const uint8_t> in) {
  if (in.size() < kSettingsFileSize || in[0] != kMark[0] || in[1] != kMark[1]) return std::nullopt;
  SettingsRecords r;
  r.version = static_cast<uint16_t>(in[kOffsetVersion] | (in[kOffsetVersion + 1] << 8));
  for (std::size_t n = 0; n < r.tables.size(); ++n) take(in, kOffsetTables + n * kRecordSize, r.tables[n]);
  for (std::size_t n = 0; n < r.header.size(); ++n) take(in, kOffsetHeader + n * kRecordSize, r.header[n]);
  for (std::size_t n = 0; n < r.footer.size(); ++n) take(in, kOffsetFooter + n * kRecordSize, r.footer[n]);
  for (std::size_t n = 0; n < r.payments.size(); ++n) take(in, kOffsetPayments + n * kRecordSize, r.payments[n]);
  take(in, kOffsetTaxLine, r.taxLine);
  for (std::size_t i = 0; i < r.taxNames.size(); ++i) {
    take(in, kOffsetTaxes + i * 2 * kTaxRecordSize, r.taxNames[i]);
    take(in, kOffsetTaxes + i * 2 * kTaxRecordSize + kTaxRecordSize, r.taxRates[i]);
  }
  take(in, kOffsetAutoPayment, r.autoPayment);
  return r;
}

}  // namespace termina::app
