// SPDX-License-Identifier: GPL-3.0-or-later
// Bulk data: memory blocks (E1, E7) and the logo stream (E2, E3).
#include <cctype>

#include "codec.h"
#include "model.h"
#include "model_support.h"

namespace termina::sim {

using namespace detail;

// ---- memory ----------------------------------------------------------------

std::vector<uint8_t> RegisterModel::memory(uint16_t area, uint32_t address, size_t count) const {
  std::vector<uint8_t> out(count, 0);
  auto it = mem_.find(area);
  if (it == mem_.end()) return out;
  for (size_t i = 0; i < count && address + i < it->second.size(); ++i) out[i] = it->second[address + i];
  return out;
}

void RegisterModel::setMemory(uint16_t area, uint32_t address, const std::vector<uint8_t>& bytes) {
  auto& a = mem_[area];
  if (a.size() < 0x10000) a.resize(0x10000, 0);
  for (size_t i = 0; i < bytes.size() && address + i < a.size(); ++i) a[address + i] = bytes[i];
  // An image is taken once the block holding its checksum has arrived; the
  // blocks before it are only stored.
  const uint32_t checksumAt = kNvrAddress + static_cast<uint32_t>(nvrLength(st_.version)) - 1;
  if (area == kNvrArea && address <= checksumAt && address + bytes.size() > checksumAt) takeWrittenNvr();
  changed_ = true;
}

Outcome RegisterModel::cmdReadMemory(const std::vector<std::string>& f) {
  long long area, addr, count;
  if (f.size() < 3 || !parseInt(f[0], area) || !parseInt(f[1], addr) || !parseInt(f[2], count)) return reply(kBadParam);
  if (area < 0 || area > 15 || addr < 0 || count < 1 || count > 32 || addr + count > 0x10000) return reply(kBadParam);
  std::vector<uint8_t> bytes =
      memory(static_cast<uint16_t>(area), static_cast<uint32_t>(addr), static_cast<size_t>(count));
  if (truncatedMem_) bytes.resize(bytes.size() / 2);
  std::string hex = hexUpper(bytes);
  if (lowerMem_)
    for (char& ch : hex) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return reply(kOk, {hex});
}

Outcome RegisterModel::cmdWriteMemory(const std::vector<std::string>& f) {
  long long area, addr, count;
  if (f.size() < 4 || !parseInt(f[0], area) || !parseInt(f[1], addr) || !parseInt(f[2], count)) return reply(kBadParam);
  if (area < 0 || area > 15 || addr < 0 || count < 1 || count > 32 || addr + count > 0x10000) return reply(kBadParam);
  if (f[3].size() != static_cast<size_t>(count) * 2) return reply(kBadParam);
  std::vector<uint8_t> bytes = unhex(f[3]);
  if (bytes.size() != static_cast<size_t>(count)) return reply(kBadParam);
  setMemory(static_cast<uint16_t>(area), static_cast<uint32_t>(addr), bytes);
  return reply(kOk);
}

// ---- logo ------------------------------------------------------------------

Outcome RegisterModel::cmdLogoHeader(const std::vector<std::string>& f) {
  long long n;
  if (f.empty() || !parseInt(f[0], n) || n < 2 || n > 65537) return reply(kBadParam);
  if (st_.doc >> 4) return reply(kBadStatus);
  Outcome o;
  o.kind = Outcome::LogoHeader;
  o.logoLength = static_cast<size_t>(n);
  return o;
}

Outcome RegisterModel::finishLogo(const std::vector<uint8_t>& stream, bool complete) {
  if (!complete) return reply(kStalled);
  if (stream.empty() || stream[0] != 0x1B) return reply(kBadParam);
  st_.logo = stream;
  changed_ = true;
  return reply(kOk);
}

Outcome RegisterModel::cmdClearLogo(const std::vector<std::string>&) {
  st_.logo.clear();
  return reply(kOk);
}

}  // namespace termina::sim
