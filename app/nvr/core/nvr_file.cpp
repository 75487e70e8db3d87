// SPDX-License-Identifier: GPL-3.0-or-later
#include "nvr_file.h"

#include "file_replace.h"

#include <bit>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace termina::app {
namespace {

// The file's fields in order, as one list both directions walk.
template <typename Record, typename U32, typename F64>
void Walk(Record& r, U32&& u32, F64&& f64) {
  u32(r.shift);
  u32(r.document);
  u32(r.report);
  u32(r.receipt);
  for (auto* v : {&r.cash, &r.carried, &r.annulled, &r.paidIn, &r.paidOut, &r.deferred, &r.discSales, &r.markupSales,
                  &r.discReturns, &r.markupReturns})
    f64(*v);
  for (auto& v : r.sales) f64(v);
  for (auto& v : r.returns) f64(v);
  for (auto& v : r.taxSales) f64(v);
  for (auto& v : r.taxReturns) f64(v);
  for (auto& v : r.deptSales) f64(v);
  for (auto& v : r.deptReturns) f64(v);
}

}  // namespace

std::vector<uint8_t> EncodeNvrFile(const NvrRecord& r) {
  std::vector<uint8_t> out;
  out.reserve(kNvrFileSize);
  const auto put = [&out](uint64_t v, int size) {
    for (int i = 0; i < size; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  Walk(
      r, [&](uint32_t v) { put(v, 4); }, [&](double v) { put(std::bit_cast<uint64_t>(v), 8); });
  return out;
}

bool DecodeNvrFile(std::span<const uint8_t> data, NvrRecord& r) {
  if (data.size() != kNvrFileSize) return false;
  NvrRecord next = r;
  std::size_t at = 0;
  bool ok = true;
  const auto get = [&](int size) {
    uint64_t v = 0;
    for (int i = 0; i < size; ++i) v |= static_cast<uint64_t>(data[at + i]) << (8 * i);
    at += size;
    return v;
  };
  Walk(
      next, [&](uint32_t& v) { v = static_cast<uint32_t>(get(4)); },
      [&](double& v) {
        v = std::bit_cast<double>(get(8));
        ok = ok && IsStorableMoney(v);
      });
  if (!ok) return false;
  RecomputeNvrTotals(next);
  r = next;
  return true;
}

bool SaveNvrFile(const std::string& path, const NvrRecord& r, std::string* why) {
  const std::vector<uint8_t> bytes = EncodeNvrFile(r);
  ReplaceError error;
  int number;
  if (ReplaceFile(path, bytes, &error, &number)) return true;
  // Failures are told by the name the caller gave, not the temporary one.
  if (why)
    *why = error == ReplaceError::NotRegularFile ? path + ": не обычный файл" : path + ": " + std::strerror(number);
  return false;
}

bool LoadNvrFile(const std::string& path, NvrRecord& r, std::string* why) {
  std::string unused;
  std::string& reason = why ? *why : unused;
  // One byte more than a file holds tells a longer file apart.
  int number = 0;
  const auto bytes = ReadPlainFile(path, kNvrFileSize + 1, &number);
  if (!bytes) {
    reason = number ? path + ": " + std::strerror(number) : path + ": не обычный файл";
    return false;
  }
  const std::size_t got = bytes->size();
  if (got != kNvrFileSize) {
    reason = path + ": размер файла не " + std::to_string(kNvrFileSize) + " байта";
    return false;
  }
  if (!DecodeNvrFile(*bytes, r)) {
    reason = path + ": в файле сумма вне допустимого диапазона";
    return false;
  }
  return true;
}

}  // namespace termina::app
