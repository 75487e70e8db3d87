// SPDX-License-Identifier: LGPL-2.1-or-later
#include "driver_state.h"

#include <cstring>

namespace termina::link {

std::optional<uint8_t> Channel::readByte(int waitMs) {
  {
    std::lock_guard g(lock_);
    if (aheadPos_ < aheadLen_) return ahead_[aheadPos_++];
  }
  const int full = fullWaitMs();
  const int wait = waitMs < 0 || waitMs > full ? full : waitMs;
  // Wait without the lock so that a purge or a CAN from another thread is
  // never held up by a silent line.
  std::array<uint8_t, 256> buf;
  std::size_t n = tcpMode() ? tcp.receive(buf.data(), buf.size(), wait) : serial.read(buf.data(), buf.size(), wait);
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

std::string Channel::takeArrived() {
  std::string out;
  {
    std::lock_guard g(lock_);
    out.assign(reinterpret_cast<const char*>(ahead_.data() + aheadPos_), aheadLen_ - aheadPos_);
    aheadPos_ = aheadLen_ = 0;
  }
  if (!tcpMode()) return out;
  std::array<uint8_t, 256> buf;
  // Bounded, so that a peer that never stops sending cannot hold the call.
  for (int i = 0; i < 64; ++i) {
    std::size_t n = tcp.receive(buf.data(), buf.size(), 0);
    if (n == 0) break;
    out.append(reinterpret_cast<const char*>(buf.data()), n);
  }
  return out;
}

void Channel::purgeInput() {
  std::lock_guard g(lock_);
  aheadPos_ = aheadLen_ = 0;
  serial.purgeInput();
}

void Channel::closeSerial() {
  std::lock_guard g(lock_);
  aheadPos_ = aheadLen_ = 0;
  replyOwed = false;
  serial.close();
}

void Channel::closeAll() {
  tcp.close();
  replyOwed = false;
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
