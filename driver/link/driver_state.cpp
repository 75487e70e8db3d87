// SPDX-License-Identifier: LGPL-2.1-or-later
#include "driver_state.h"

#include <cstring>

namespace termina::link {

std::optional<uint8_t> Channel::readByte(int serialTimeoutMs) {
  {
    std::lock_guard g(lock_);
    if (aheadPos_ < aheadLen_) return ahead_[aheadPos_++];
  }
  // Wait without the lock so that a purge or a CAN from another thread is
  // never held up by a silent line.
  std::array<uint8_t, 256> buf;
  std::size_t n =
      tcpMode() ? tcp.receive(buf.data(), buf.size()) : serial.read(buf.data(), buf.size(), serialTimeoutMs);
  if (n == 0) return std::nullopt;
  std::lock_guard g(lock_);
  std::memcpy(ahead_.data(), buf.data(), n);
  aheadPos_ = 1;
  aheadLen_ = n;
  return ahead_[0];
}

std::size_t Channel::write(const uint8_t* data, std::size_t n, bool purgeFirst) {
  if (tcpMode()) return tcp.send(data, n);
  if (purgeFirst) purgeInput();
  return serial.write(data, n, kSerialTimeoutMs);
}

void Channel::purgeInput() {
  std::lock_guard g(lock_);
  aheadPos_ = aheadLen_ = 0;
  serial.purgeInput();
}

void Channel::closeSerial() {
  std::lock_guard g(lock_);
  aheadPos_ = aheadLen_ = 0;
  serial.close();
}

void Channel::closeAll() {
  tcp.close();
  closeSerial();
}

namespace {
thread_local DriverState* t_bound = nullptr;
}

DriverState& defaultState() {
  static DriverState s;
  return s;
}

DriverState& state() { return t_bound ? *t_bound : defaultState(); }

DriverState* boundSession() { return t_bound; }

SessionScope::SessionScope(DriverState& s) : previous_(t_bound) { t_bound = &s; }
SessionScope::~SessionScope() { t_bound = previous_; }

}  // namespace termina::link
